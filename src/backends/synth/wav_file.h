// A 16-bit PCM RIFF/WAVE file written as it grows. The sizes in its header are brought up to
// date now and then and at close, so that even a run cut short leaves a file players read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tessaro::platform::synth {

class WavFile {
 public:
  WavFile() = default;
  ~WavFile() { close(); }
  WavFile(const WavFile&) = delete;
  WavFile& operator=(const WavFile&) = delete;

  // Creates (or empties) the file and writes its header; false with error() set on failure.
  bool open(const std::string& path, int sampleRate, int channels);
  // Appends interleaved frames of channels samples each; false once a write has failed.
  bool append(const int16_t* samples, size_t frames);
  // Writes the present sizes into the header and flushes.
  void updateHeader();
  // Brings the header up to date and closes the file; false when any write failed.
  bool close();

  bool isOpen() const { return file_ != nullptr; }
  uint64_t frames() const { return dataBytes_ / bytesPerFrame(); }
  // What failed first ("cannot write: No space left on device"), without the file's name.
  const std::string& error() const { return error_; }

 private:
  uint32_t bytesPerFrame() const { return static_cast<uint32_t>(channels_) * 2; }
  void fail(const char* what);

  std::FILE* file_ = nullptr;
  int channels_ = 2;
  uint64_t dataBytes_ = 0;
  bool failed_ = false;
  std::string error_;
  std::vector<uint8_t> staging_;  // samples in the file's byte order
};

}  // namespace tessaro::platform::synth
