// Turns a MIDI byte stream back into whole messages: running status expanded, system exclusive
// collected from its 0xF0 to its 0xF7 (across as many blocks as it comes in, up to a bound its
// user chooses), system common messages read by MIDI's own lengths, and real-time bytes
// delivered where they fall, even inside another message, without disturbing it. What cannot
// be a whole message is dropped and counted: a system exclusive past the bound or cut short by
// a status byte, and data bytes with no status to belong to. The message devices (the built-in
// synthesizer, the ALSA sequencer) and the live input share it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessaro::platform {

// What the decoder drops.
enum class StreamDrop {
  tooLong,  // a system exclusive longer than the bound
  cut,      // a system exclusive cut short by a status byte
  stray,    // a data byte with no status to belong to
};

// Counts of what was dropped, by kind.
struct StreamDrops {
  uint64_t tooLong = 0;
  uint64_t cut = 0;
  uint64_t stray = 0;
  uint64_t total() const { return tooLong + cut + stray; }
};

// Receives whole messages, each with its status byte: a channel or system-common message, one
// real-time byte, or a system exclusive from 0xF0 to 0xF7 inclusive.
class MidiSink {
 public:
  virtual ~MidiSink() = default;
  virtual void message(std::span<const uint8_t> bytes) = 0;
  // Something was dropped (and counted); told at once, for whoever reports it as it happens.
  virtual void dropped(StreamDrop /*what*/) {}
};

// Data bytes that follow a status byte (0 for real-time and for system exclusive, which is
// framed by its end byte instead).
int dataBytesAfter(uint8_t status);

class MidiStreamDecoder {
 public:
  // The bound of the message devices: a system exclusive longer than this (0xF0 to 0xF7) is
  // dropped rather than held without end.
  static constexpr size_t maxSystemExclusive = size_t{1} << 20;

  explicit MidiStreamDecoder(MidiSink& sink, size_t systemExclusiveLimit = maxSystemExclusive)
      : sink_(sink), limit_(systemExclusiveLimit < 2 ? 2 : systemExclusiveLimit) {}

  // A packed short message, status in the low byte; a word without a status byte holds the
  // data bytes of a message in the running status. The word is one whole message: a message
  // left unfinished by earlier blocks is given up.
  void shortMessage(uint32_t word);
  // Bytes that continue the stream; a message may be split over several blocks.
  void bytes(std::span<const uint8_t> block);

  const StreamDrops& drops() const { return drops_; }

 private:
  enum class Exclusive { none, collecting, skipping };

  void feed(uint8_t byte);
  void startMessage(uint8_t status);
  void dataByte(uint8_t byte);
  void exclusiveByte(uint8_t byte);
  // A status byte ends whatever was under way: a system exclusive being collected is dropped
  // as cut short.
  void endPartial();
  void drop(StreamDrop what);

  MidiSink& sink_;
  size_t limit_;
  StreamDrops drops_;
  uint8_t runningStatus_ = 0;  // channel status in force, 0 for none
  std::array<uint8_t, 3> message_{};
  size_t have_ = 0;  // bytes in message_, status included; 0 when no message is under way
  size_t need_ = 0;  // bytes the message under way needs, status included
  Exclusive exclusive_ = Exclusive::none;
  std::vector<uint8_t> systemExclusive_;
};

}  // namespace tessaro::platform
