// Reads a 16-bit PCM WAV file as the synthesizer writes it, checking its header on the way,
// and measures its loudness over stretches of time.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tessaro::testing {

struct WavSound {
  std::string problem;  // empty when the file is a valid 16-bit PCM WAV file
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;  // interleaved

  size_t frames() const { return channels > 0 ? samples.size() / size_t(channels) : 0; }
  double seconds() const { return rate > 0 ? double(frames()) / rate : 0; }
  size_t frameAt(double second) const {
    return std::min(frames(), static_cast<size_t>(std::max(0.0, second) * rate));
  }
  // Root mean square of every sample between the two times.
  double rms(double from, double to) const {
    size_t a = frameAt(from) * size_t(channels), b = frameAt(to) * size_t(channels);
    if (b <= a) return 0;
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(b - a));
  }
  // The first frame at or after `from` where a sample's magnitude exceeds level; frames() if none.
  size_t firstAbove(int level, size_t from = 0) const {
    for (size_t f = from; f < frames(); ++f) {
      for (int c = 0; c < channels; ++c)
        if (std::abs(int(samples[f * size_t(channels) + size_t(c)])) > level) return f;
    }
    return frames();
  }
};

inline WavSound readWav(const std::string& path) {
  WavSound wav;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  auto u16 = [&](size_t at) { return uint32_t(b[at] | b[at + 1] << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  auto tag = [&](size_t at) { return std::string(b.begin() + long(at), b.begin() + long(at) + 4); };
  if (b.size() < 44) {
    wav.problem = "shorter than a header: " + std::to_string(b.size()) + " bytes";
  } else if (tag(0) != "RIFF" || tag(8) != "WAVE" || tag(12) != "fmt " || tag(36) != "data") {
    wav.problem = "not a RIFF/WAVE file with fmt and data chunks";
  } else if (u32(4) != b.size() - 8) {
    wav.problem =
        "RIFF size " + std::to_string(u32(4)) + " for " + std::to_string(b.size()) + " bytes";
  } else if (u32(40) != b.size() - 44) {
    wav.problem = "data size " + std::to_string(u32(40)) + " for " + std::to_string(b.size() - 44) +
                  " bytes of samples";
  } else if (u32(16) != 16 || u16(20) != 1 || u16(34) != 16) {
    wav.problem = "not 16-bit PCM";
  } else if (u16(32) != u16(22) * 2 || u32(28) != u32(24) * u16(32)) {
    wav.problem = "inconsistent frame size or byte rate";
  } else {
    wav.channels = int(u16(22));
    wav.rate = int(u32(24));
    for (size_t at = 44; at + 1 < b.size(); at += 2) wav.samples.push_back(int16_t(u16(at)));
  }
  return wav;
}

}  // namespace tessaro::testing
