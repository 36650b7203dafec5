// A live session on a real thread with the real clock, keys from the main thread: the volume
// keys, G and Esc reach the live thread as requests, which it carries out on the stage it owns
// (the thread sanitizer build checks that nothing else writes what it owns).
#include <gtest/gtest.h>

#include <algorithm>

#include "support/app_rig.h"

namespace tessaro::testing {
namespace {

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

struct RealTimeLive : AppRigOf<SystemClock, SystemThreads> {
  RealTimeLive() {
    console.keepOpen = true;
    inputs.input.keepOpen = true;
    // A note every 40 ms for 20 s, each ended before the next; the run ends long before.
    for (uint32_t i = 0; i < 500; ++i) {
      uint8_t key = static_cast<uint8_t>(0x30 + i % 24);
      inputs.input.at(i * 40, {0x90, key, 0x50}).at(i * 40 + 20, {0x80, key, 0x00});
    }
  }
};

TEST(LiveRealTime, VolumeGAndEscFromTheMainThreadActOnTheLiveThread) {
  RealTimeLive run;
  // Turns of the main loop (25 ms each) after the start: louder, G, then Esc.
  run.console.keys.assign(20, 0);
  run.console.keys.push_back('.');
  run.console.keys.insert(run.console.keys.end(), 10, 0);
  run.console.keys.push_back('g');
  run.console.keys.insert(run.console.keys.end(), 10, 0);
  run.console.keys.push_back(27);
  EXPECT_EQ(run.run({"/com1", "/nc", "-i", "keys"}), 0) << run.out();

  EXPECT_TRUE(run.console.keys.empty()) << "Esc was read";
  std::vector<Bytes> messages = messagesOnWire(run.serial.bytes());
  // Volume up by 12: every channel at 100 + 12.
  for (uint8_t c = 0; c < 16; ++c)
    EXPECT_NE(std::find(messages.begin(), messages.end(), Bytes{uint8_t(0xB0 + c), 7, 112}),
              messages.end())
        << int(c);
  // G, the stop, and the end of the run.
  EXPECT_EQ(std::count(messages.begin(), messages.end(), gmSystemOn), 3);
  EXPECT_FALSE(notesPlayed(run.serial).empty());
  EXPECT_TRUE(soundingOnWire(run.serial.bytes()).empty());
  EXPECT_EQ(run.serial.writes.back().bytes, gmSystemOn);
  EXPECT_EQ(run.program().options.volumeAdd, 12);
}

}  // namespace
}  // namespace tessaro::testing
