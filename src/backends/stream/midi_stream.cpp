#include "backends/stream/midi_stream.h"

namespace tessaro::platform {

int dataBytesAfter(uint8_t status) {
  if (status < 0x80) return 0;
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 1 : 2;  // Cn, Dn take one
  switch (status) {
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
      return 1;
    case 0xF2:  // song position
      return 2;
    default:
      return 0;
  }
}

void MidiStreamDecoder::shortMessage(uint32_t word) {
  const uint8_t bytes[3] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                            static_cast<uint8_t>(word >> 16)};
  dropPartial();
  if (bytes[0] == 0xF0) {
    // A system exclusive short enough to be packed: its bytes up to its end.
    for (uint8_t byte : bytes) {
      feed(byte);
      if (byte == 0xF7) break;
    }
    return;
  }
  if (bytes[0] >= 0x80) {
    feed(bytes[0]);
    for (int i = 0; i < dataBytesAfter(bytes[0]); ++i) feed(bytes[i + 1]);
    return;
  }
  // Running status: the data bytes alone, as many as the status in force takes.
  if (runningStatus_ == 0) return;
  for (int i = 0; i < dataBytesAfter(runningStatus_); ++i) feed(bytes[i]);
}

void MidiStreamDecoder::bytes(std::span<const uint8_t> block) {
  for (uint8_t byte : block) feed(byte);
}

void MidiStreamDecoder::dropPartial() {
  have_ = 0;
  inSystemExclusive_ = false;
  systemExclusive_.clear();
}

void MidiStreamDecoder::startMessage(uint8_t status) {
  // Channel messages set the running status; system-common messages end it.
  runningStatus_ = status < 0xF0 ? status : 0;
  message_[0] = status;
  have_ = 1;
  need_ = 1 + static_cast<size_t>(dataBytesAfter(status));
  if (have_ == need_) {
    sink_.message({message_.data(), have_});
    have_ = 0;
  }
}

void MidiStreamDecoder::feed(uint8_t byte) {
  if (byte >= 0xF8) {
    // Real-time: delivered at once, without disturbing a message under way.
    sink_.message({&byte, 1});
    return;
  }
  if (byte == 0xF7) {
    if (inSystemExclusive_) {
      systemExclusive_.push_back(byte);
      sink_.message(systemExclusive_);
    }
    // An end byte without a start is a system-common byte of its own: it ends running status.
    dropPartial();
    runningStatus_ = 0;
    return;
  }
  if (byte == 0xF0) {
    dropPartial();
    runningStatus_ = 0;
    inSystemExclusive_ = true;
    systemExclusive_.push_back(byte);
    return;
  }
  if (byte >= 0x80) {
    // A status byte ends whatever was under way. An unfinished system exclusive is dropped, not
    // delivered cut short: half a parameter message must not reach the module.
    dropPartial();
    startMessage(byte);
    return;
  }
  if (inSystemExclusive_) {
    if (systemExclusive_.size() >= maxSystemExclusive) {
      dropPartial();
      return;
    }
    systemExclusive_.push_back(byte);
    return;
  }
  if (have_ == 0) {
    if (runningStatus_ == 0) return;  // data without any status: nothing to attach it to
    message_[0] = runningStatus_;
    have_ = 1;
    need_ = 1 + static_cast<size_t>(dataBytesAfter(runningStatus_));
  }
  message_[have_++] = byte;
  if (have_ == need_) {
    sink_.message({message_.data(), have_});
    have_ = 0;
  }
}

}  // namespace tessaro::platform
