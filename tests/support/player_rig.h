// A complete player in virtual time: a session wired to a virtual clock and a capture serial
// port (COM1), so a test can load a song, play it on the test thread and read every byte
// with its exact virtual time.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "support/player_stack.h"
#include "support/smf.h"
#include "support/wire.h"

namespace tessaro::testing {

// The notes the note grid shows lit, as the player reports them, and how often a lit note was
// lit again (a note the grid missed the end of, when the song never strikes a note twice).
struct LitNotes : PlayerObserver {
  std::set<std::pair<int, int>> lit;
  int relit = 0;
  void noteChanged(int channel, int note, bool sounding) override {
    if (sounding)
      relit += !lit.emplace(channel, note).second;
    else
      lit.erase({channel, note});
  }
};

struct PlayerRig : PlayerStack<VirtualClock, LitNotes> {
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

}  // namespace tessaro::testing
