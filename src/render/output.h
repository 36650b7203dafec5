// Where an offline performance goes: every write on the wire and every text event of the song,
// in the order they happened, each at the time of the session's virtual clock. A file holds one
// part after another (the direct bytes of the options, then each song); a part starts with its
// first event, so the session's fixed waits before it are not written: only settleMs after the
// part before, for the module to take the reset that ended it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaro::render {

inline constexpr uint32_t settleMs = 200;
// Longest ring-out of an audio file after a part's last message.
inline constexpr uint32_t ringOutMs = 2000;

class Output {
 public:
  virtual ~Output() = default;

  // A write on the wire (one message, or one byte, as the serial line takes it).
  void wire(uint32_t clockMs, const uint8_t* bytes, size_t count);
  // A text meta event of the song (types 1-15) as stored.
  void text(uint32_t clockMs, int type, const uint8_t* bytes, size_t count);
  // The part is over (after its stop sequence); the next event starts another.
  void endPart();
  // Completes the file; false with the reason in plain words, without the file's name.
  virtual bool finish(std::string& problem) = 0;

  // Milliseconds from the first event of the part under way (or the last one) to its last.
  uint32_t partLength() const { return last_ - base_; }

 protected:
  virtual void putWire(uint32_t ms, const uint8_t* bytes, size_t count) = 0;
  virtual void putText(uint32_t /*ms*/, int /*type*/, const uint8_t* /*bytes*/, size_t /*count*/) {}
  // The part whose last event was at ms is over; the time from which the output is free.
  virtual uint32_t closePart(uint32_t ms) { return ms; }

 private:
  uint32_t timeOf(uint32_t clockMs);

  bool partOpen_ = false;  // the part under way has events
  bool anything_ = false;  // some part had events
  uint32_t origin_ = 0;    // clock time of the part's first event
  uint32_t base_ = 0;      // output time of the part's first event
  uint32_t last_ = 0;      // output time of the last event
  uint32_t free_ = 0;      // output time from which the next part may start
};

// A Standard MIDI File, format 0, one track, one tick per millisecond (division 500 at the
// default tempo of 500000 us): every message as the wire has it, with running status where the
// wire has it, system exclusives whole, anything else (direct bytes, system common and
// real-time bytes) as escape events; the song's text events as meta events. The track is
// written as it grows, its length put in the header at the end, so memory stays flat however
// long the song.
class MidiFileOutput : public Output {
 public:
  // Writes into stream, positioned at its start and left open (its owner closes it). A null
  // stream fails at finish.
  explicit MidiFileOutput(std::FILE* stream);
  MidiFileOutput(const MidiFileOutput&) = delete;
  MidiFileOutput& operator=(const MidiFileOutput&) = delete;

  // Writes the end of the track and its length, and flushes; false with the reason when any
  // write failed.
  bool finish(std::string& problem) override;

 private:
  void putWire(uint32_t ms, const uint8_t* bytes, size_t count) override;
  void putText(uint32_t ms, int type, const uint8_t* bytes, size_t count) override;
  void delta(uint32_t ms);
  void put(const uint8_t* bytes, size_t count);
  void putLength(size_t length);
  void flush();
  void noteFailure();

  std::FILE* file_;
  bool failed_ = false;         // a write to the file failed
  int error_ = 0;               // its errno
  std::vector<uint8_t> track_;  // track bytes not yet written to the file
  uint64_t trackLength_ = 0;    // track bytes written to the file
  uint32_t tick_ = 0;           // time of the last event in the track
  int fileStatus_ = 0;          // channel status a reader of the file has in force, 0 none
  int wireStatus_ = -1;         // status byte the line last took, as the port counts it
};

// An audio file through a renderer of the platform: each write applied at its sample frame,
// each part rung out until silence (at most ringOutMs).
class AudioFileOutput : public Output {
 public:
  AudioFileOutput(std::unique_ptr<platform::AudioRenderer> renderer, int sampleRate);
  bool finish(std::string& problem) override;

 private:
  void putWire(uint32_t ms, const uint8_t* bytes, size_t count) override;
  uint32_t closePart(uint32_t ms) override;
  uint64_t frameOf(uint32_t ms) const;

  std::unique_ptr<platform::AudioRenderer> renderer_;
  int rate_;
};

}  // namespace tessaro::render
