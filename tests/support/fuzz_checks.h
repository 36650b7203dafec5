// Runs of arbitrary input through the song reader with the player, the settings reader and the
// command-line passes, with the checks that must hold for any input: what reached the output
// is well-formed MIDI, every note is silenced after the stop, the player ends in bounded
// virtual time and the play list never overflows. Shared by the fuzz targets and the
// regression tests that replay their findings; no test framework here, a failed check is a
// message (empty when everything held).
#pragma once

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/options.h"
#include "app/settings.h"
#include "control/commands.h"
#include "control/file_cue.h"
#include "player/engine.h"
#include "support/player_stack.h"
#include "support/smf.h"
#include "support/wire.h"

namespace tessaro::testing {

// The controls a player input begins with, before the song's bytes.
struct FuzzControls {
  enum class Target { xg, gm, none };
  Target target = Target::xg;
  bool messageDevice = false;  // the message device instead of the serial line
  bool fade = false;           // a fade-out asked for as the song starts
  int32_t repeat = 0;          // the user's repeat count, 0 none
  int32_t measure = 0;         // start measure from 1, 0 the start
  int32_t beat = 0;            // start beat from 1, 0 beat 1
  int32_t volume = 0;          // the user's volume add value
  int32_t stopAfterMs = 0;     // the user stops the song this long after it starts; 0 never
};

constexpr size_t FuzzControlBytes = 4;
// Virtual time after which the main thread stops a song that has not ended by itself.
constexpr uint32_t FuzzPlayCapMs = 30u * 60u * 1000u;
// Messages after which the main thread stops it, whatever the time.
constexpr size_t FuzzMessageCap = 200000;
// The player's longest single sleep, and the longest a stop request may go unanswered: one
// wait piece and a margin.
constexpr uint32_t FuzzWaitPieceMs = 210;
constexpr uint32_t FuzzStopLatencyMs = 300;

inline FuzzControls decodeControls(const uint8_t* data) {
  FuzzControls c;
  int target = data[0] & 3;
  c.target = target == 1   ? FuzzControls::Target::gm
             : target == 2 ? FuzzControls::Target::none
                           : FuzzControls::Target::xg;
  c.messageDevice = (data[0] & 4) != 0;
  c.fade = (data[0] & 8) != 0;
  c.repeat = (data[0] >> 4) & 3;
  c.measure = data[1] & 0x0F;
  c.beat = (data[1] >> 4) & 3;
  c.volume = static_cast<int8_t>(data[2]);
  c.stopAfterMs = data[3] == 0 ? 0 : data[3] * 100;
  return c;
}

inline int wireDataCount(int status) {
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2) return 2;
  return (status < 0xE0 || status == 0xF1 || status == 0xF3) ? 1 : 0;
}

inline std::string fuzzHex(const Bytes& bytes, size_t limit = 24) {
  std::string out;
  char cell[4];
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    std::snprintf(cell, sizeof cell, out.empty() ? "%02X" : " %02X", bytes[i]);
    out += cell;
  }
  if (bytes.size() > limit) out += " ...";
  return out;
}

// Every write must be one whole message: a status byte (or running status) with exactly its
// data bytes, all below 0x80, or a system exclusive from F0 to its one F7. An escape event
// (F7 first) carries the song's own bytes and is not framed. Empty when all writes hold.
inline std::string checkFraming(const std::vector<Captured>& writes) {
  int running = 0;
  for (const Captured& w : writes) {
    const Bytes& b = w.bytes;
    if (b.empty()) return "empty write at " + std::to_string(w.time);
    auto fail = [&](const char* what) {
      return std::string(what) + ": " + fuzzHex(b) + " at " + std::to_string(w.time);
    };
    auto allData = [&](size_t from, size_t to) {
      return std::all_of(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to),
                         [](uint8_t d) { return d < 0x80; });
    };
    if (b[0] == 0xF0) {
      if (b.size() < 2 || b.back() != 0xF7) return fail("system exclusive without its F7");
      if (!allData(1, b.size() - 1)) return fail("status byte inside a system exclusive");
      running = 0;
      continue;
    }
    if (b[0] == 0xF7) {
      running = 0;
      continue;
    }
    size_t first = 0;
    int status = b[0];
    if (b[0] >= 0x80) {
      first = 1;
      if (b[0] < 0xF0) running = b[0];
      if (b[0] < 0xF8 && b[0] >= 0xF0) running = 0;
    } else {
      if (running == 0) return fail("data bytes without a status");
      status = running;
    }
    if (b.size() - first != static_cast<size_t>(wireDataCount(status)))
      return fail("wrong number of data bytes");
    if (!allData(first, b.size())) return fail("data byte above 0x7F");
  }
  return {};
}

// The message device's records as the bytes a module would receive: short words cut to
// their message length, running status as the data bytes alone.
inline std::vector<Captured> recordsAsWrites(const std::vector<CaptureMidiOut::Record>& records) {
  std::vector<Captured> writes;
  int running = 0;
  for (const auto& r : records) {
    if (r.isLong) {
      writes.push_back({r.time, r.bytes});
      if (!r.bytes.empty() && r.bytes[0] >= 0x80) running = r.bytes[0] < 0xF0 ? r.bytes[0] : 0;
      continue;
    }
    uint8_t b0 = static_cast<uint8_t>(r.word), b1 = static_cast<uint8_t>(r.word >> 8),
            b2 = static_cast<uint8_t>(r.word >> 16);
    Bytes bytes;
    if (b0 & 0x80) {
      bytes.push_back(b0);
      if (b0 < 0xF0) running = b0;
      int n = wireDataCount(b0);
      if (n >= 1) bytes.push_back(b1);
      if (n >= 2) bytes.push_back(b2);
    } else {
      bytes.push_back(b0);
      if (running == 0 || wireDataCount(running) == 2) bytes.push_back(b1);
    }
    writes.push_back({r.time, bytes});
  }
  return writes;
}

// A clock that plays the main thread's part: once the song has played past the cap, or the
// user's stop time, it asks the player to stop, as the stop operation does.
class StoppingClock : public VirtualClock {
 public:
  void sleepMs(int32_t ms) override {
    VirtualClock::sleepMs(ms);
    check();
  }
  void check() {
    if (state == nullptr || stopRequestedAt != 0) return;
    uint32_t played = now - startedAt;
    if (played >= capMs || (userStopMs != 0 && played >= userStopMs) ||
        messageCount() >= maxMessages)
      requestStop();
  }
  void requestStop() {
    stopRequestedAt = now;
    state->playRequest = 0;
    state->threadStatus = 0;
  }
  std::function<size_t()> messageCount = [] { return size_t{0}; };
  PlayerState* state = nullptr;
  uint32_t startedAt = 0;
  uint32_t capMs = FuzzPlayCapMs;
  uint32_t userStopMs = 0;
  size_t maxMessages = FuzzMessageCap;
  uint32_t stopRequestedAt = 0;
};

// The player's notes and waits give the clock its chance to stop a song that sends without
// ever sleeping.
struct CheckingObserver : PlayerObserver {
  void noteChanged(int, int, bool) override { clock->check(); }
  void waiting() override { clock->check(); }
  StoppingClock* clock = nullptr;
};

struct FuzzPlayerRig : PlayerStack<StoppingClock, CheckingObserver> {
  FuzzPlayerRig() { observer.clock = &clock; }
};

inline Target targetOf(FuzzControls::Target target) {
  return target == FuzzControls::Target::xg   ? Target::xg
         : target == FuzzControls::Target::gm ? Target::gm
                                              : Target::none;
}

// Plays one player input (controls, then the song) as the main loop plays a song: load,
// prepare, position, volume, the player thread in virtual time, then the stop. Empty when
// every check held, else what failed.
inline std::string runPlayerInput(const uint8_t* data, size_t size) {
  if (size < FuzzControlBytes) return {};
  FuzzControls controls = decodeControls(data);
  Bytes song(data + FuzzControlBytes, data + size);

  FuzzPlayerRig rig;
  rig.log.startCapture();
  Engine& engine = rig.engine;
  openMidiPort(rig.port, controls.messageDevice ? 0 : 1, platform::MidiOutputs::mapper);
  rig.options.target = targetOf(controls.target);
  rig.options.volumeAdd = controls.volume;
  rig.options.skipToMeasure = controls.measure;
  rig.options.skipToBeat = controls.beat;
  if (controls.repeat != 0) rig.session.request({RequestKind::setRepeats, controls.repeat});
  auto messages = [&rig] { return rig.serial.writes.size() + rig.midi.records.size(); };
  rig.clock.messageCount = messages;

  {
    TempFile file(song);
    loadSong(engine, file.path().c_str());
  }
  int prepared = preparePlayback(engine);
  if (prepared == 0 && (controls.measure >= 1 || controls.beat >= 1))
    positionToMeasure(engine, controls.measure > 0 ? controls.measure - 1 : 0,
                      controls.beat > 0 ? controls.beat - 1 : 0);
  engine.stage.userVolumeChanged();
  if (controls.fade) engine.stage.startFade();

  rig.clock.state = &engine.state;
  rig.clock.startedAt = rig.clock.now;
  rig.clock.userStopMs = static_cast<uint32_t>(controls.stopAfterMs);
  playerThread(engine);
  uint32_t ended = rig.clock.now;
  rig.clock.state = nullptr;

  std::string failure;
  if (rig.clock.stopRequestedAt != 0 && ended - rig.clock.stopRequestedAt > FuzzStopLatencyMs)
    failure = "the player went on for " + std::to_string(ended - rig.clock.stopRequestedAt) +
              " ms after the stop request";
  // The stop is asked for after the sleep that passed the cap, itself at most one wait piece.
  if (ended - rig.clock.startedAt > FuzzPlayCapMs + FuzzWaitPieceMs + FuzzStopLatencyMs)
    failure = "the player ran " + std::to_string(ended - rig.clock.startedAt) + " ms";

  stopPlayback(engine);
  freeSong(engine);

  std::vector<Captured> writes =
      controls.messageDevice ? recordsAsWrites(rig.midi.records) : rig.serial.writes;
  if (failure.empty()) failure = checkFraming(writes);
  if (failure.empty()) {
    Bytes wire;
    for (const Captured& w : writes) wire.insert(wire.end(), w.bytes.begin(), w.bytes.end());
    auto sounding = soundingOnWire(wire);
    if (!sounding.empty()) {
      auto [key, count] = *sounding.begin();
      failure = "after the stop, note " + std::to_string(key.second) + " on channel " +
                std::to_string(key.first + 1) + " still sounds (" + std::to_string(count) +
                " times)";
    }
  }
  if (failure.empty()) {
    for (const auto& channel : engine.stage.sounding()) {
      for (int32_t count : channel) {
        if (count != 0) failure = "the player's note count is not zero after the stop";
      }
    }
  }
  return failure;
}

// A file system in which every name is a file of that name: settings names are looked up
// without touching the disk.
class NameFileSystem : public platform::FileSystem {
 public:
  std::vector<platform::FileMatch> findFiles(const std::string& pattern, size_t limit) override {
    if (pattern.empty() || pattern.back() == '/' || limit == 0) return {};
    size_t slash = pattern.rfind('/');
    return {{slash == std::string::npos ? pattern : pattern.substr(slash + 1), false}};
  }
};

struct FuzzOptionRig : PlayerStack<> {
  StatusView headless;
  NameFileSystem names;  // lists among the names are not read: none is a file to read
  PlayListReader lists{names, log};
  SessionCommands commands{session, headless, lists};

  explicit FuzzOptionRig(bool messageDevice) {
    log.startCapture();
    openMidiPort(port, messageDevice ? 0 : 1, platform::MidiOutputs::mapper);
  }
};

inline std::string checkCue(const FileCue& cue) {
  if (cue.length < 0 || cue.length > CueCapacity)
    return "the play list holds " + std::to_string(cue.length) + " entries";
  for (int32_t i = 0; i < cue.length; ++i) {
    const std::string& entry = cue.entries[static_cast<size_t>(i)];
    if (entry.empty()) return "an empty entry in the play list";
    if (entry.size() > CuePathLimit) return "a play-list entry longer than a path";
  }
  return {};
}

// Both settings passes over the input as the file's content, the first byte choosing the
// output device.
inline std::string runSettingsInput(const uint8_t* data, size_t size) {
  bool messageDevice = size > 0 && (data[0] & 1) != 0;
  FuzzOptionRig rig(messageDevice);
  NameFileSystem files;
  TempFile file(Bytes(data, data + size), "tessaro.ini");
  SettingsReader reader;
  for (int pass = 1; pass <= 2; ++pass) {
    SettingsPass settings{rig.commands, rig.log, files, file.dir() + "/", pass};
    readSettingsPass(reader, settings, file.path());
  }
  std::string failure = checkCue(rig.session.cue);
  if (failure.empty() && !messageDevice) {
    for (const Captured& w : rig.serial.writes) {
      if (w.bytes.size() != 1) return "a direct byte written as " + fuzzHex(w.bytes);
    }
  }
  return failure;
}

// The command line from the input: words separated by NUL or white space, the first word the
// program path; both passes.
inline std::vector<std::string> splitWords(const uint8_t* data, size_t size) {
  std::vector<std::string> words{"tessaro"};
  std::string word;
  for (size_t i = 0; i <= size; ++i) {
    int c = i < size ? data[i] : 0;
    if (c == 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word.push_back(static_cast<char>(c));
    }
  }
  return words;
}

inline std::string runOptionsInput(const uint8_t* data, size_t size) {
  FuzzOptionRig rig(size > 0 && (data[0] & 1) != 0);
  std::vector<std::string> words = splitWords(data, size);
  CommandLine line = parseCommandLine(words, {});
  if (line.error.empty() && !applyCommandLine(rig.commands, line, Stage::requests)) {
    applyCommandLine(rig.commands, line, Stage::first);
    applyCommandLine(rig.commands, line, Stage::second);
  }
  return checkCue(rig.session.cue);
}

}  // namespace tessaro::testing
