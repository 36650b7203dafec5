// Faults around the output and the songs while the program plays, in virtual time with the
// player on its own thread: a serial line that goes away or stalls, a message device that
// refuses messages, files changed after they were queued, and memory that cannot be had.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/lockstep_app.h"

namespace tessaro::testing {
namespace {

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// A note held from the start under `notes` short notes a quarter of a second apart.
Bytes longSong(int notes, uint8_t channel = 0) {
  Track t;
  const uint8_t on = static_cast<uint8_t>(0x90 + channel);
  const uint8_t off = static_cast<uint8_t>(0x80 + channel);
  t.ev(0, {on, 0x24, 0x50});
  for (int i = 0; i < notes; ++i) {
    uint8_t key = static_cast<uint8_t>(0x30 + i % 24);
    t.ev(i == 0 ? 0 : 120, {on, key, 0x64}).ev(120, {off, key, 0x00});
  }
  t.ev(120, {off, 0x24, 0x00}).end();
  return smf(0, 480, {t});
}

Bytes oneNote(uint8_t channel, uint8_t key) {
  Track t;
  t.ev(0, {static_cast<uint8_t>(0x90 + channel), key, 0x64});
  t.ev(240, {static_cast<uint8_t>(0x80 + channel), key, 0x00}).end();
  return smf(0, 480, {t});
}

int noteOns(const Bytes& wire, int channel) {
  std::vector<Bytes> messages = messagesOnWire(wire);
  return static_cast<int>(std::count_if(messages.begin(), messages.end(), [&](const Bytes& m) {
    return m.size() == 3 && m[0] == 0x90 + channel && m[2] > 0;
  }));
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The line goes away in the middle of a message, a few notes into the first song: the user is
// told once, the song ends at once without waiting for it to ring out, the rest of the list is
// not played to a device that is gone, and the run ends with status 1 so that a script can tell.
TEST(LostSerialLine, IsReportedOnceAndEndsTheRun) {
  LockstepApp app;
  app.serial.onWrite = [&app] {
    if (app.serial.failAfter == FaultySerialPorts::never && noteOns(app.serial.wire, 0) >= 5)
      app.serial.failAfter = app.serial.wire.size() + 1;
  };
  TempFile first(longSong(120)), second(oneNote(2, 0x50));
  EXPECT_EQ(app.run({"/com1", "/nc", first.path(), second.path()}), 1);

  std::string out = app.out();
  EXPECT_EQ(count(out, "Error Sending"), 1u) << out;
  EXPECT_NE(out.find(".5 Error Sending "), std::string::npos) << out;
  EXPECT_NE(out.find(" msg to COM \n"), std::string::npos) << out;
  EXPECT_EQ(app.errors(),
            "tessaro: COM1: takes no more data (/dev/ttyUSB0: Input/output error): playback "
            "stops\n");
  EXPECT_EQ(count(out, "takes no more data"), 1u);
  EXPECT_EQ(app.serial.writesAfterFailure, 0) << "nothing more is written to a line that is gone";
  EXPECT_EQ(app.threads.created, 1);
  EXPECT_EQ(noteOns(app.serial.wire, 2), 0);
  // The stop's turn, its silencing and the waits of the port's closing (500 ms each for the
  // port and its serial layer); neither the 2000 ms a song is left to ring nor the 1500 ms
  // before the run's last reset.
  EXPECT_LT(app.clock.now() - app.serial.failedAt, 1500u);
}

// A line that is gone before any song (the direct bytes of the options fail): the program does
// not sit waiting for a file it could not play, and says why once.
TEST(LostSerialLine, BeforeAnySongEndsTheWaitForFiles) {
  LockstepApp app;
  app.serial.failAfter = 0;
  EXPECT_EQ(app.run({"/com1", "#90", "#3C", "#40"}), 1);
  std::string out = app.out();
  EXPECT_EQ(count(out, ".5 Error Sending direct msg to COM "), 1u) << out;
  EXPECT_EQ(count(out, "takes no more data"), 1u) << out;
  EXPECT_EQ(app.serial.writesAfterFailure, 0);
  EXPECT_EQ(app.threads.created, 0);
}

// A peer that stops reading for a second and a half (less than the line's time-out): every
// byte still arrives, in order, and the song catches up with its own time afterwards.
TEST(StalledSerialLine, LosesNothingAndPlaysOnInTime) {
  auto play = [](int32_t stallMs, Bytes& wire, std::vector<uint32_t>& times) {
    LockstepApp app;
    app.serial.stallAt = 120;
    app.serial.stallMs = stallMs;
    TempFile first(longSong(40)), second(oneNote(2, 0x50));
    EXPECT_EQ(app.run({"/com1", "/nc", first.path(), second.path()}), 0);
    wire = app.serial.wire;
    times = app.serial.times;
    if (stallMs > 0) {
      EXPECT_GT(app.serial.stallEnd, 0u);
    }
  };
  Bytes smooth, stalled;
  std::vector<uint32_t> smoothTimes, stalledTimes;
  play(0, smooth, smoothTimes);
  play(1500, stalled, stalledTimes);
  EXPECT_EQ(stalled, smooth);
  // The last note of the first song (its held note's end) falls when it would have anyway.
  const Bytes lastNote{0x80, 0x24, 0x00};
  auto at = [&](const Bytes& wire) {
    return static_cast<size_t>(
        std::search(wire.begin(), wire.end(), lastNote.begin(), lastNote.end()) - wire.begin());
  };
  ASSERT_LT(at(smooth), smooth.size());
  EXPECT_EQ(stalledTimes[at(stalled)], smoothTimes[at(smooth)]);
}

// Esc or Ctrl+C while a write waits for a peer that reads nothing: the write is ended at once,
// the player stops within moments, and the stop sequence goes out (here the peer reads again):
// its messages carry their status bytes, every note sounding is ended, and the run goes on as
// after that stop.
TEST(HeldSerialLine, EscOrCtrlCEndsTheWaitAtOnce) {
  struct Row {
    const char* name;
    bool ctrlC;
    int songs;  // songs that sound a note on channel 3 afterwards
  } rows[] = {{"Esc", false, 1}, {"Ctrl+C", true, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LockstepApp app;
    app.serial.stallAt = 120;
    app.serial.stallMs = 60000;
    uint32_t stopAt = 0;
    app.console.onRead = [&](int) {
      if (!app.serial.stalling || stopAt != 0) return;
      stopAt = app.clock.now();
      if (row.ctrlC) app.console.stopRequested = true;
      if (!row.ctrlC) app.console.keys.push_back(27);
    };
    TempFile first(longSong(120)), second(oneNote(2, 0x50));
    EXPECT_EQ(app.run({"/so", "/com1", "/nc", first.path(), second.path()}), 0) << app.out();

    std::vector<size_t> ends;
    std::vector<Bytes> messages = messagesOnWire(app.serial.wire, &ends);
    auto off = std::find(messages.begin(), messages.end(), Bytes{0x80, 0x24, 0x00});
    ASSERT_NE(off, messages.end()) << app.out();
    uint32_t silencedAt = app.serial.times[ends[static_cast<size_t>(off - messages.begin())]];
    ASSERT_GT(stopAt, 0u);
    // The turn that takes the key, one poll of the stop (20 ms) and the notes before the held
    // one, 3 ms each: well within half a second, far from the 60 s the peer would hold.
    EXPECT_LE(silencedAt - stopAt, 500u);
    EXPECT_TRUE(soundingOnWire(app.serial.wire).empty());
    EXPECT_EQ(noteOns(app.serial.wire, 2), row.songs);
    EXPECT_EQ(app.out().find("takes no more data"), std::string::npos) << app.out();
  }
}

// Asking a song to stop interrupts the port from the main thread: the player's sends fail at
// once from then on, without waiting on the line, until the song's stop resumes the output for
// its stop sequence, whose first message carries its status byte.
TEST(HeldSerialLine, AnInterruptStandsUntilTheStopResumesTheOutput) {
  VirtualClock clock;
  FaultySerialPorts serial(clock);
  CaptureMidiOutputs midi(clock);
  Log log;
  log.startCapture();
  ExitHandlers exits;
  MidiPort port(clock, serial, midi, log, exits);
  ASSERT_EQ(openMidiPort(port, 1, platform::MidiOutputs::mapper), 0);
  EXPECT_EQ(sendShortMessage(port, 0x90, 0x30, 0x40), 0);
  std::thread([&port] { interruptOutput(port); }).join();
  EXPECT_EQ(sendShortMessage(port, 0x90, 0x31, 0x40), -1);
  EXPECT_EQ(sendShortMessage(port, 0x90, 0x32, 0x40), -1);
  resumeOutput(port);
  EXPECT_EQ(sendShortMessage(port, 0x90, 0x30, 0x00), 0);
  EXPECT_EQ(serial.wire, (Bytes{0x90, 0x30, 0x40, 0x90, 0x30, 0x00}));
  EXPECT_FALSE(outputLost(port));
}

// A message device that starts refusing messages mid-song: each refusal is reported in the
// device's own words and the run goes on, as its callers do not act on a failed send.
TEST(MessageDeviceErrors, AreReportedAndTheRunGoesOn) {
  LockstepApp app;
  app.console.onRead = [&app](int reads) {
    if (reads == 41) {
      app.midi.last->shortResult = platform::midiError;
      app.midi.last->longResult = platform::midiError;
    }
  };
  TempFile first(longSong(8)), second(oneNote(2, 0x50));
  EXPECT_EQ(app.run({"/so", "/nc", first.path(), second.path()}), 0);
  std::string out = app.out();
  EXPECT_NE(out.find("Error Sending short msg to MIDI mapper "), std::string::npos) << out;
  EXPECT_NE(out.find("Error Sending long msg to MIDI mapper "), std::string::npos) << out;
  EXPECT_EQ(app.threads.created, 2);
  // Every message was still offered to the device: the song played on to its end, the stop
  // ended the held note and the next song was sent.
  auto offered = [&](uint32_t word) {
    return std::any_of(
        app.midi.records.begin(), app.midi.records.end(),
        [&](const CaptureMidiOut::Record& r) { return !r.isLong && r.word == word; });
  };
  EXPECT_TRUE(offered(0x643790)) << "the song's last note";
  EXPECT_TRUE(offered(0x645092)) << "the next song's note";
}

// Files queued at start-up and changed while the first song plays: one deleted, one replaced
// by something else, one cut short. Each is reported as the load finds it; the first two are
// skipped, the cut one plays the events it still holds whole (three notes); the last,
// untouched, plays.
TEST(QueuedFiles, ChangedBeforeTheirTurnAreReportedAndSkipped) {
  LockstepApp app;
  TempFile first(oneNote(0, 0x40)), deleted(oneNote(1, 0x41)), replaced(oneNote(1, 0x42)),
      truncated(longSong(8, 1)), good(oneNote(2, 0x50));
  bool changed = false;
  app.serial.onWrite = [&] {
    if (changed || noteOns(app.serial.wire, 0) == 0) return;
    changed = true;
    std::filesystem::remove(deleted.path());
    std::ofstream(replaced.path(), std::ios::binary | std::ios::trunc) << "RIFF\4\0\0\0WAVE";
    std::filesystem::resize_file(truncated.path(), 40);
  };
  EXPECT_EQ(app.run({"/com1", "/nc", first.path(), deleted.path(), replaced.path(),
                     truncated.path(), good.path()}),
            1);
  std::string out = app.out();
  EXPECT_NE(out.find("Cannot open (RD) : " + deleted.path() + "\n"), std::string::npos) << out;
  EXPECT_EQ(count(out, "Initailize Result Code = -1\n"), 2u) << out;
  EXPECT_EQ(noteOns(app.serial.wire, 0), 1);
  EXPECT_EQ(noteOns(app.serial.wire, 1), 3);
  EXPECT_EQ(noteOns(app.serial.wire, 2), 1);
  EXPECT_TRUE(soundingOnWire(app.serial.wire).empty());
}

// Memory for a track cannot be had, at the first track or at a later one: the loader says so,
// what was loaded of the song is let go (none of it plays), and the next song plays. Blocks
// come from the hook and go back through the song's own release, which the sanitizer build
// checks for leaks.
TEST(TrackMemory, FailureSkipsTheWholeSongAndTheNextPlays) {
  for (int failingCall : {1, 3}) {
    SCOPED_TRACE(failingCall);
    LockstepApp app;
    int calls = 0;
    app.setUp = [&](App& a) {
      a.engine.song.allocate = [&calls, failingCall](size_t size) -> uint8_t* {
        return ++calls == failingCall ? nullptr : new uint8_t[size];
      };
    };
    Track notes, patch, text;
    notes.ev(0, {0x90, 0x40, 0x64}).ev(240, {0x80, 0x40, 0x00}).end();
    patch.ev(0, {0xC1, 0x05}).end();
    text.text(0, "words").end();
    TempFile first(smf(1, 480, {notes, patch, text})), second(oneNote(2, 0x50));
    EXPECT_EQ(app.run({"/com1", "/nc", first.path(), second.path()}), 1);
    std::string out = app.out();
    EXPECT_NE(out.find("memory getting failed.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Initailize Result Code = -1\n"), std::string::npos) << out;
    EXPECT_EQ(noteOns(app.serial.wire, 0), 0);
    EXPECT_EQ(noteOns(app.serial.wire, 2), 1);
    EXPECT_EQ(calls, failingCall + 1) << "the next song's one track";
  }
}

}  // namespace
}  // namespace tessaro::testing
