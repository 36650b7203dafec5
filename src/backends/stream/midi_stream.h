// Turns what a message device receives (packed short messages and byte blocks) back into whole
// MIDI messages: running status expanded, system exclusive collected from its 0xF0 to its 0xF7,
// real-time bytes delivered where they fall, even inside another message. The devices that
// need whole messages (the built-in synthesizer, the ALSA sequencer) share it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessaro::platform {

// Receives whole messages, each with its status byte: a channel or system-common message, one
// real-time byte, or a system exclusive from 0xF0 to 0xF7 inclusive.
class MidiSink {
 public:
  virtual ~MidiSink() = default;
  virtual void message(std::span<const uint8_t> bytes) = 0;
};

// Data bytes that follow a status byte (0 for real-time and for system exclusive, which is
// framed by its end byte instead).
int dataBytesAfter(uint8_t status);

class MidiStreamDecoder {
 public:
  // A system exclusive longer than this is dropped rather than held without end.
  static constexpr size_t maxSystemExclusive = size_t{1} << 20;

  explicit MidiStreamDecoder(MidiSink& sink) : sink_(sink) {}

  // A packed short message, status in the low byte; a word without a status byte holds the
  // data bytes of a message in the running status. The word is one whole message: a message
  // left unfinished by earlier blocks is given up.
  void shortMessage(uint32_t word);
  // Bytes that continue the stream; a message may be split over several blocks.
  void bytes(std::span<const uint8_t> block);

 private:
  void feed(uint8_t byte);
  void startMessage(uint8_t status);
  void dropPartial();

  MidiSink& sink_;
  uint8_t runningStatus_ = 0;  // channel status in force, 0 for none
  std::array<uint8_t, 3> message_{};
  size_t have_ = 0;  // bytes in message_, status included; 0 when no message is under way
  size_t need_ = 0;  // bytes the message under way needs, status included
  bool inSystemExclusive_ = false;
  std::vector<uint8_t> systemExclusive_;
};

}  // namespace tessaro::platform
