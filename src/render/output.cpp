#include "render/output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tessaro::render {

namespace {

// Data bytes of a channel status.
size_t channelDataBytes(int status) {
  return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
}

bool isChannelStatus(int status) {
  return status >= 0x80 && status < 0xF0;
}

// A system exclusive whole in one write: F0, data bytes, F7.
bool isWholeSystemExclusive(const uint8_t* bytes, size_t count) {
  return count >= 2 && bytes[0] == 0xF0 && bytes[count - 1] == 0xF7 &&
         std::all_of(bytes + 1, bytes + count - 1, [](uint8_t b) { return b < 0x80; });
}

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value >> 16);
  put16(out, value);
}

}  // namespace

// --- Output ------------------------------------------------------------------------------------

uint32_t Output::timeOf(uint32_t clockMs) {
  if (!partOpen_) {
    partOpen_ = true;
    origin_ = clockMs;
    base_ = anything_ ? std::max(free_, last_ + settleMs) : 0;
    anything_ = true;
  }
  last_ = base_ + (clockMs - origin_);
  return last_;
}

void Output::wire(uint32_t clockMs, const uint8_t* bytes, size_t count) {
  if (count > 0) putWire(timeOf(clockMs), bytes, count);
}

void Output::text(uint32_t clockMs, int type, const uint8_t* bytes, size_t count) {
  putText(timeOf(clockMs), type, bytes, count);
}

void Output::endPart() {
  if (!partOpen_) return;
  partOpen_ = false;
  free_ = closePart(last_);
}

// --- MidiFileOutput ----------------------------------------------------------------------------

constexpr size_t flushBytes = 1 << 16;

// The header first, its track length to be filled in by finish; then the tempo every tick
// count of the file is read with: 500000 us a quarter of 500 ticks.
MidiFileOutput::MidiFileOutput(std::FILE* stream) : file_(stream) {
  track_.reserve(flushBytes);
  static constexpr uint8_t head[] = {'M',  'T',  'h', 'd', 0, 0, 0, 6, 0, 0,  // format 0
                                     0,    1,                                 // one track
                                     0x01, 0xF4,  // ticks a quarter note: one a millisecond
                                     'M',  'T',  'r', 'k', 0, 0, 0, 0};
  static constexpr uint8_t tempo[] = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
  if (file_ != nullptr && std::fwrite(head, 1, sizeof head, file_) != sizeof head) noteFailure();
  put(tempo, sizeof tempo);
}

void MidiFileOutput::noteFailure() {
  if (failed_) return;
  failed_ = true;
  error_ = errno;
}

void MidiFileOutput::flush() {
  if (track_.empty()) return;
  if (file_ != nullptr && !failed_ &&
      std::fwrite(track_.data(), 1, track_.size(), file_) != track_.size())
    noteFailure();
  trackLength_ += track_.size();
  track_.clear();
}

void MidiFileOutput::put(const uint8_t* bytes, size_t count) {
  size_t end = track_.size();
  track_.resize(end + count);
  if (count > 0) std::memcpy(track_.data() + end, bytes, count);
  if (track_.size() >= flushBytes) flush();
}

void MidiFileOutput::putLength(size_t length) {
  uint8_t bytes[5];
  size_t n = 0;
  uint32_t value = static_cast<uint32_t>(length);
  bytes[n++] = static_cast<uint8_t>(value & 0x7F);
  while ((value >>= 7) != 0) bytes[n++] = static_cast<uint8_t>(0x80 | (value & 0x7F));
  while (n > 0) track_.push_back(bytes[--n]);
}

void MidiFileOutput::delta(uint32_t ms) {
  putLength(ms - tick_);
  tick_ = ms;
}

// A channel message goes as it stands; in the line's running status, as data bytes after the
// status when the file has that status in force, or with it written out when an event of the
// file (a text, a system exclusive, an escape) has ended the file's running status. Anything
// that is no whole message of a track goes as an escape event, bytes as they stand.
void MidiFileOutput::putWire(uint32_t ms, const uint8_t* bytes, size_t count) {
  const uint8_t first = bytes[0];
  const bool running = first < 0x80 && count == 2;
  const int status = running ? wireStatus_ : first;
  const bool channel =
      isChannelStatus(status) && count == (running ? 0 : 1) + channelDataBytes(status);
  // The serial line's status: any status byte, and any single byte written directly.
  if (first >= 0x80 || count == 1) wireStatus_ = first;
  delta(ms);
  if (channel) {
    if (running && fileStatus_ != status) track_.push_back(static_cast<uint8_t>(status));
    put(bytes, count);
    fileStatus_ = status;
  } else if (isWholeSystemExclusive(bytes, count)) {
    track_.push_back(0xF0);
    putLength(count - 1);
    put(bytes + 1, count - 1);
    fileStatus_ = 0;
  } else {
    track_.push_back(0xF7);
    putLength(count);
    put(bytes, count);
    fileStatus_ = 0;
  }
}

void MidiFileOutput::putText(uint32_t ms, int type, const uint8_t* bytes, size_t count) {
  delta(ms);
  track_.push_back(0xFF);
  track_.push_back(static_cast<uint8_t>(type));
  putLength(count);
  put(bytes, count);
  fileStatus_ = 0;
}

bool MidiFileOutput::finish(std::string& problem) {
  if (file_ == nullptr) {
    problem = "cannot write";
    return false;
  }
  static constexpr uint8_t endOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};
  track_.insert(track_.end(), endOfTrack, endOfTrack + sizeof endOfTrack);
  flush();
  std::vector<uint8_t> length;
  put32(length, static_cast<uint32_t>(trackLength_));
  if (!failed_ && (std::fseek(file_, 18, SEEK_SET) != 0 ||
                   std::fwrite(length.data(), 1, 4, file_) != 4 || std::fflush(file_) != 0))
    noteFailure();
  if (failed_) problem = std::string("cannot write: ") + std::strerror(error_);
  return !failed_;
}

// --- AudioFileOutput ---------------------------------------------------------------------------

AudioFileOutput::AudioFileOutput(std::unique_ptr<platform::AudioRenderer> renderer, int sampleRate)
    : renderer_(std::move(renderer)), rate_(sampleRate) {}

uint64_t AudioFileOutput::frameOf(uint32_t ms) const {
  return static_cast<uint64_t>(ms) * static_cast<uint64_t>(rate_) / 1000;
}

void AudioFileOutput::putWire(uint32_t ms, const uint8_t* bytes, size_t count) {
  renderer_->play(frameOf(ms), bytes, count);
}

uint32_t AudioFileOutput::closePart(uint32_t ms) {
  renderer_->ringOut(frameOf(ms), frameOf(ringOutMs));
  uint64_t frames = renderer_->frames();
  return static_cast<uint32_t>((frames * 1000 + static_cast<uint64_t>(rate_) - 1) /
                               static_cast<uint64_t>(rate_));
}

bool AudioFileOutput::finish(std::string& problem) {
  return renderer_->finish(problem);
}

}  // namespace tessaro::render
