// The built program on its default output, the built-in synthesizer, as a user on a machine
// without sound runs it: the song rendered into the WAV file TESSARO_WAV names, with the
// player's timing; and the line a user reads when the default output cannot be opened.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/program_process.h"
#include "support/smf.h"
#include "support/wav_reader.h"

namespace tessaro::testing {
namespace {

// Two piano notes of half a second, the second starting two seconds after the first.
Bytes twoNotes() {
  Track t;
  t.tempo(0, 500000)
      .ev(0, {0xC0, 0x00})
      .ev(0, {0x90, 0x3C, 0x64})
      .ev(480, {0x80, 0x3C, 0x00})
      .ev(1440, {0x90, 0x43, 0x64})
      .ev(480, {0x80, 0x43, 0x00})
      .end(0);
  return smf(0, 480, {t});
}

TEST(SynthProgram, RendersTheSongIntoAWavFileAsItPlays) {
  TempFile song(twoNotes());
  const std::string wavPath = song.dir() + "/out.wav";
  ProgramProcess run({"/nc", song.path()}, "", ProgramProcess::Keys::pipe,
                     {"TESSARO_WAV=" + wavPath});
  ASSERT_EQ(run.setupError(), "");
  run.closeInput();
  ASSERT_EQ(run.finish(), 0) << run.out();
  const WavSound wav = readWav(wavPath);
  std::remove(wavPath.c_str());
  ASSERT_EQ(wav.problem, "");
  EXPECT_EQ(wav.rate, 44100);
  EXPECT_EQ(wav.channels, 2);

  // The file covers the run from the opened output to its close: all of it but the two
  // seconds before the output opens, the SoundFont's loading and the process's start and end
  // (slow under sanitizers).
  EXPECT_LE(wav.seconds(), run.seconds() - 1.9);
  EXPECT_GE(wav.seconds(), run.seconds() - 6.0);
  // What is waited from the open to the first note, the song, and what is waited after it
  // (about 1.6 s, 2.5 s and 3.7 s), with room for a slow machine.
  EXPECT_GT(wav.seconds(), 7.5);
  EXPECT_LT(wav.seconds(), 12.0);

  const int audible = 300;
  const size_t first = wav.firstAbove(audible);
  ASSERT_LT(first, wav.frames()) << "no sound at all";
  const double firstAt = double(first) / wav.rate;
  // Silence, but for dither, until the player has started.
  EXPECT_GT(firstAt, 1.5);
  EXPECT_LT(wav.rms(0, firstAt - 0.01), 2.0);
  EXPECT_GT(wav.rms(firstAt + 0.02, firstAt + 0.4), 300.0);
  // The second note two seconds after the first, as the song has it, with a quiet gap.
  const size_t second = wav.firstAbove(audible, wav.frameAt(firstAt + 1.5));
  ASSERT_LT(second, wav.frames()) << "no second note";
  EXPECT_NEAR(double(second) / wav.rate - firstAt, 2.0, 0.05);
  EXPECT_LT(wav.rms(firstAt + 1.3, firstAt + 1.9), 50.0);
  EXPECT_GT(wav.rms(firstAt + 2.02, firstAt + 2.4), 300.0);
  // Silent again at the end, once the notes are over and the module was reset.
  EXPECT_LT(wav.rms(wav.seconds() - 1.0, wav.seconds()), 2.0);
}

struct FailureCase {
  const char* name;
  std::vector<std::string> environment;
  std::string line;
  std::vector<std::string> words = {};  // before the song
};

TEST(SynthProgram, AnOutputThatCannotOpenEndsTheRunWithItsReason) {
  TempFile song(twoNotes());
  const std::string empty = song.dir() + "/no-fonts";
  ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
  std::vector<FailureCase> cases = {
      {"missing SoundFont",
       {"TESSARO_SOUNDFONT=" + song.dir() + "/none.sf2"},
       "no SoundFont: " + song.dir() + "/none.sf2 (TESSARO_SOUNDFONT): No such file or directory"},
      {"directory without SoundFonts",
       {"TESSARO_SOUNDFONT=" + empty},
       "no SoundFont: " + empty + " (TESSARO_SOUNDFONT): no .sf2 file in this directory"},
      {"the option's SoundFont missing, which wins over the variable's",
       {"TESSARO_SOUNDFONT=" + empty},
       "no SoundFont: " + song.dir() + "/none.sf2 (--soundfont): No such file or directory",
       {"--soundfont", song.dir() + "/none.sf2"}},
  };
  struct stat info {};
  if (::stat("/dev/snd/seq", &info) != 0) {
    cases.push_back({"ALSA port on a machine without a sequencer",
                     {"TESSARO_MIDI_PORT=128:0"},
                     "no ALSA sequencer on this machine (No such file or directory), so "
                     "TESSARO_MIDI_PORT=128:0 cannot be reached"});
  }
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> words = c.words;
    words.push_back(song.path());
    ProgramProcess run(words, "", ProgramProcess::Keys::pipe, c.environment);
    ASSERT_EQ(run.setupError(), "");
    run.closeInput();
    EXPECT_EQ(run.finish(), 1);
    const std::string out = run.out();
    EXPECT_NE(out.find("Initializing MIDI System ... \nMIDI Mapper Out Open Error.\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(run.err(), "tessaro: MIDI output: " + c.line + "\n");
    EXPECT_EQ(out.find("Already Used"), std::string::npos) << out;
  }
  rmdir(empty.c_str());
}

}  // namespace
}  // namespace tessaro::testing
