#include "backends/synth/wav_file.h"

#include <cerrno>
#include <cstring>

namespace tessaro::platform::synth {

namespace {

constexpr uint32_t headerBytes = 44;
// The largest data chunk whose size the 32-bit RIFF fields can still state.
constexpr uint64_t maxDataBytes = 0xFFFFFFFFull - (headerBytes - 8);

void put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
  put16(at, value);
  put16(at + 2, value >> 16);
}

}  // namespace

void WavFile::fail(const char* what) {
  if (!failed_) error_ = std::string(what) + ": " + std::strerror(errno);
  failed_ = true;
}

bool WavFile::open(const std::string& path, int sampleRate, int channels) {
  close();
  channels_ = channels;
  dataBytes_ = 0;
  failed_ = false;
  error_.clear();
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    fail("cannot create");
    return false;
  }
  uint8_t header[headerBytes] = {};
  std::memcpy(header, "RIFF", 4);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put32(header + 16, 16);  // size of the format chunk
  put16(header + 20, 1);   // integer PCM
  put16(header + 22, static_cast<uint32_t>(channels));
  put32(header + 24, static_cast<uint32_t>(sampleRate));
  put32(header + 28, static_cast<uint32_t>(sampleRate) * bytesPerFrame());
  put16(header + 32, bytesPerFrame());
  put16(header + 34, 16);  // bits per sample
  std::memcpy(header + 36, "data", 4);
  if (std::fwrite(header, 1, headerBytes, file_) != headerBytes) {
    fail("cannot write");
    return false;
  }
  updateHeader();
  return !failed_;
}

bool WavFile::append(const int16_t* samples, size_t frames) {
  if (file_ == nullptr || failed_) return false;
  uint64_t bytes = static_cast<uint64_t>(frames) * bytesPerFrame();
  if (dataBytes_ + bytes > maxDataBytes) {
    // Past what a WAV file can hold: the rest of the run is not recorded.
    errno = EFBIG;
    fail("cannot write more");
    return false;
  }
  // Samples go out little-endian whatever the machine's order.
  size_t count = frames * static_cast<size_t>(channels_);
  staging_.resize(count * 2);
  for (size_t i = 0; i < count; ++i) put16(&staging_[i * 2], static_cast<uint16_t>(samples[i]));
  if (std::fwrite(staging_.data(), 1, staging_.size(), file_) != staging_.size()) {
    fail("cannot write");
    return false;
  }
  dataBytes_ += bytes;
  return true;
}

void WavFile::updateHeader() {
  if (file_ == nullptr) return;
  uint8_t riffSize[4];
  uint8_t dataSize[4];
  put32(riffSize, static_cast<uint32_t>(dataBytes_ + headerBytes - 8));
  put32(dataSize, static_cast<uint32_t>(dataBytes_));
  long end = std::ftell(file_);
  bool ok = std::fseek(file_, 4, SEEK_SET) == 0 && std::fwrite(riffSize, 1, 4, file_) == 4 &&
            std::fseek(file_, 40, SEEK_SET) == 0 && std::fwrite(dataSize, 1, 4, file_) == 4 &&
            std::fseek(file_, end, SEEK_SET) == 0 && std::fflush(file_) == 0;
  if (!ok) fail("cannot write");
}

bool WavFile::close() {
  if (file_ == nullptr) return !failed_;
  updateHeader();
  if (std::fclose(file_) != 0) fail("cannot write");
  file_ = nullptr;
  return !failed_;
}

}  // namespace tessaro::platform::synth
