#include "stream/midi_stream.h"

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
  endPartial();
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

void MidiStreamDecoder::drop(StreamDrop what) {
  switch (what) {
    case StreamDrop::tooLong:
      ++drops_.tooLong;
      break;
    case StreamDrop::cut:
      ++drops_.cut;
      break;
    case StreamDrop::stray:
      ++drops_.stray;
      break;
  }
  sink_.dropped(what);
}

void MidiStreamDecoder::endPartial() {
  if (exclusive_ == Exclusive::collecting) drop(StreamDrop::cut);
  exclusive_ = Exclusive::none;
  systemExclusive_.clear();
  // The data bytes of a message left unfinished belong to nothing now.
  for (size_t i = 1; i < have_; ++i) drop(StreamDrop::stray);
  have_ = 0;
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

void MidiStreamDecoder::exclusiveByte(uint8_t byte) {
  if (exclusive_ == Exclusive::skipping) return;  // the rest of one already dropped
  // Room is kept for the end byte: the whole message, 0xF0 to 0xF7, stays within the bound.
  if (systemExclusive_.size() + 2 > limit_) {
    systemExclusive_.clear();
    exclusive_ = Exclusive::skipping;
    drop(StreamDrop::tooLong);
    return;
  }
  systemExclusive_.push_back(byte);
}

void MidiStreamDecoder::dataByte(uint8_t byte) {
  if (exclusive_ != Exclusive::none) {
    exclusiveByte(byte);
    return;
  }
  if (have_ == 0) {
    if (runningStatus_ == 0) {
      drop(StreamDrop::stray);  // data without any status: nothing to attach it to
      return;
    }
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

void MidiStreamDecoder::feed(uint8_t byte) {
  if (byte >= 0xF8) {
    // Real-time: delivered at once, without disturbing a message under way.
    sink_.message({&byte, 1});
    return;
  }
  if (byte < 0x80) {
    dataByte(byte);
    return;
  }
  if (byte == 0xF7) {
    bool whole = exclusive_ == Exclusive::collecting;
    if (whole) {
      systemExclusive_.push_back(byte);
      sink_.message(systemExclusive_);
      exclusive_ = Exclusive::none;
    }
    // An end byte without a start is a system-common byte of its own: it ends running status.
    endPartial();
    runningStatus_ = 0;
    return;
  }
  // Any other status byte ends whatever was under way. An unfinished system exclusive is
  // dropped, not delivered cut short: half a parameter message must not reach the module.
  endPartial();
  if (byte == 0xF0) {
    runningStatus_ = 0;
    exclusive_ = Exclusive::collecting;
    systemExclusive_.push_back(byte);
    return;
  }
  startMessage(byte);
}

}  // namespace tessaro::platform
