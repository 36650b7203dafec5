// A complete player in virtual time: an engine wired to a virtual clock and a capture serial
// port (COM1), so a test can load a song, play it on the test thread and read every byte
// with its exact virtual time.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <utility>

#include "common/exit_handlers.h"
#include "common/log.h"
#include "midiout/midi_port.h"
#include "player/engine.h"
#include "support/smf.h"
#include "support/virtual_platform.h"

namespace tessaro::testing {

struct PlayerRig {
  VirtualClock clock;
  CaptureSerialPorts serial{clock};
  CaptureMidiOutputs midi{clock};
  Log log;
  ExitHandlers exits;
  PlaybackOptions options;
  std::atomic<bool> repaint{false};
  MidiPort port{clock, serial, midi, log, exits, options.DispLevel, repaint};
  Engine engine{clock, log, port, options, repaint};
  uint32_t start = 0;

  // Port 1 is a serial line (exact bytes); port 0 the message device.
  explicit PlayerRig(int portSelector = 1) {
    log.startCapture();
    openMidiPort(port, portSelector, platform::MidiOutputs::mapper);
    serial.writes.clear();
    log.clearCaptured();
  }

  int load(const Bytes& file) {
    TempFile temp(file);
    return loadSong(engine, temp.path().c_str());
  }

  // Loads, prepares and plays the whole song on this thread; the player's result.
  int play(const Bytes& file) {
    load(file);
    return playPrepared(preparePlayback(engine));
  }
  int playPrepared(int prepared) {
    EXPECT_EQ(prepared, 0);
    start = clock.now;
    return playerThread(engine);
  }

  // Every write after the song started, with its time from the start, leaving out the
  // channel volumes that every song begins with.
  std::vector<std::pair<uint32_t, Bytes>> sent() const {
    std::vector<std::pair<uint32_t, Bytes>> out;
    for (const auto& w : serial.writes) {
      bool startVolume =
          w.bytes.size() == 3 && (w.bytes[0] & 0xF0) == 0xB0 && w.bytes[1] == 7 && w.time == start;
      if (!startVolume) out.emplace_back(w.time - start, w.bytes);
    }
    return out;
  }
  std::vector<Bytes> sentBytes() const {
    std::vector<Bytes> out;
    for (const auto& [time, bytes] : sent()) out.push_back(bytes);
    return out;
  }
};

// Note-ons minus note-offs per channel and note in a byte stream, read as a module reads it.
inline std::map<std::pair<int, int>, int> soundingOnWire(const Bytes& wire) {
  std::map<std::pair<int, int>, int> sounding;
  int status = 0;
  Bytes data;
  for (size_t i = 0; i < wire.size(); ++i) {
    uint8_t b = wire[i];
    if (b >= 0xF8) continue;
    if (b == 0xF0) {
      while (i < wire.size() && wire[i] != 0xF7) ++i;
      status = 0;
      continue;
    }
    if (b & 0x80) {
      status = b;
      data.clear();
      continue;
    }
    if (status == 0 || status >= 0xF0) continue;
    data.push_back(b);
    size_t need = (status >= 0xC0 && status < 0xE0) ? 1 : 2;
    if (data.size() < need) continue;
    int kind = status & 0xF0;
    auto key = std::make_pair(status & 0x0F, static_cast<int>(data[0]));
    if (kind == 0x90 && data[1] > 0) ++sounding[key];
    if ((kind == 0x80 || (kind == 0x90 && data[1] == 0)) && sounding[key] > 0) --sounding[key];
    data.clear();
  }
  for (auto it = sounding.begin(); it != sounding.end();) {
    it = it->second == 0 ? sounding.erase(it) : std::next(it);
  }
  return sounding;
}

}  // namespace tessaro::testing
