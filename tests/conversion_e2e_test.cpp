// The built program converting and recording as a user runs it: whatever happens (an output
// named like a song, a song that fails, a link, Ctrl+C, a second Ctrl+C, a full disk), a file
// the user had is either left as it was or replaced by a complete new one, and nothing is left
// half written under a final name. Every wait is bounded; none is measured.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/program_process.h"
#include "support/small_disk.h"
#include "support/smf.h"
#include "support/smf_reader.h"
#include "support/wav_reader.h"

namespace tessaro::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A short song (two notes in a second), and a long one: a note held for twenty minutes, whose
// audio takes seconds to render.
Bytes shortSong() {
  Track t;
  t.ev(0, {0x90, 0x3C, 0x64}).ev(480, {0x80, 0x3C, 0}).ev(0, {0x90, 0x40, 0x64});
  return smf(0, 480, {t.ev(480, {0x80, 0x40, 0}).end()});
}

Bytes longSong() {
  Track t;
  t.tempo(0, 1000000).ev(0, {0x90, 0x3C, 0x64}).ev(1200 * 1000, {0x80, 0x3C, 0});
  return smf(0, 1000, {t.end()});
}

// A folder of the test's own with files the user has.
struct Folder {
  TempFile first{shortSong(), "a.mid"};
  const std::string& path() const { return first.dir(); }
  std::string at(const std::string& name) const { return path() + "/" + name; }
  void put(const std::string& name, const Bytes& bytes) const {
    fs::create_directories(fs::path(at(name)).parent_path());
    std::ofstream(at(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  void put(const std::string& name, const std::string& text) const {
    put(name, Bytes(text.begin(), text.end()));
  }
  std::string content(const std::string& name) const {
    std::ifstream in(at(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Temporary files of the program's, anywhere in the folder.
  std::vector<std::string> leftovers() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(path()))
      if (entry.path().filename().string().find(".tessaro-") != std::string::npos)
        found.push_back(entry.path().filename().string());
    return found;
  }
  // Waits until the temporary file of the program's for name is there; false when the bound
  // passed.
  bool waitForTemporary(const std::string& name) const {
    for (auto giveUp = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < giveUp; std::this_thread::sleep_for(10ms))
      for (const std::string& leftover : leftovers())
        if (leftover.rfind("." + name + ".tessaro-", 0) == 0) return true;
    return false;
  }
};

ProgramLaunch in(const Folder& folder) {
  ProgramLaunch launch;
  launch.directory = folder.path();
  return launch;
}

TEST(ConversionProgram, NeverWritesOverWhatTheUserHas) {
  const struct Row {
    const char* name;
    std::vector<std::string> words;
    std::vector<std::string> environment;
    int status;
    std::string said;  // on standard error
    std::function<void(const Folder&)> check;
  } rows[] = {
      {"an output that is one of the songs",
       {"-o", "./", "a.mid", "a.xg.mid"},
       {},
       2,
       "tessaro: ./a.xg.mid: is one of the songs (a.xg.mid): it would be written over\n",
       [](const Folder& f) {
         EXPECT_EQ(f.content("a.xg.mid"), "old");
         EXPECT_FALSE(fs::exists(f.at("a.xg.xg.mid")));
       }},
      {"two songs of one name",
       {"-o", "out/", "a.mid", "b/a.mid"},
       {},
       0,
       "",
       [](const Folder& f) {
         EXPECT_EQ(readMidiFile(f.at("out/a.xg.mid")).problem, "");
         EXPECT_EQ(readMidiFile(f.at("out/a-2.xg.mid")).problem, "");
       }},
      {"a conversion that fails",
       {"-o", "e.mid", "bad.mid"},
       {},
       1,
       "tessaro: bad.mid: not converted: not a Standard MIDI File\n",
       [](const Folder& f) { EXPECT_EQ(f.content("e.mid"), "old"); }},
      {"a link as the output",
       {"-o", "link.mid", "a.mid"},
       {},
       0,
       "",
       [](const Folder& f) {
         EXPECT_TRUE(fs::is_symlink(f.at("link.mid")));
         EXPECT_EQ(readMidiFile(f.at("target.mid")).problem, "");
       }},
      {"a link as the output of a conversion that fails",
       {"-o", "link.mid", "bad.mid"},
       {},
       1,
       "",
       [](const Folder& f) {
         EXPECT_TRUE(fs::is_symlink(f.at("link.mid")));
         EXPECT_EQ(f.content("target.mid"), "old");
       }},
      {"a recording named like the song",
       {"in.mid"},
       {"TESSARO_WAV=in.mid"},
       2,
       "tessaro: in.mid: is one of the songs (in.mid): the recording (TESSARO_WAV) would be "
       "written over it\n",
       [](const Folder& f) { EXPECT_EQ(f.content("in.mid"), f.content("a.mid")); }},
      {"a recording of a run that plays nothing",
       {"missing.mid"},
       {"TESSARO_WAV=rec.wav"},
       1,
       "tessaro: rec.wav: nothing was played, so nothing was recorded\n",
       [](const Folder& f) { EXPECT_EQ(f.content("rec.wav"), "old"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Folder folder;
    folder.put("a.xg.mid", "old");
    folder.put("e.mid", "old");
    folder.put("target.mid", "old");
    folder.put("rec.wav", "old");
    folder.put("bad.mid", "not a song");
    folder.put("b/a.mid", shortSong());
    folder.put("in.mid", shortSong());
    fs::create_symlink("target.mid", folder.at("link.mid"));
    ProgramProcess run(row.words, "", ProgramProcess::Keys::pipe, row.environment, in(folder));
    ASSERT_EQ(run.setupError(), "");
    run.closeInput();
    EXPECT_EQ(run.finish(30s), row.status) << run.out() << run.err();
    EXPECT_NE(run.err().find(row.said), std::string::npos) << run.err();
    row.check(folder);
    EXPECT_TRUE(folder.leftovers().empty());
  }
}

// Ctrl+C during a conversion stops it at once: the songs converted stay, the one under way is
// abandoned and a file that was at its name stays. A second signal while it stops ends it at
// once, its temporary files removed all the same; SIGKILL, which nothing can catch, leaves a
// temporary file and never a half file under a final name.
TEST(ConversionProgram, StopsOnASignalAndLeavesNoPartialFile) {
  const struct Row {
    const char* name;
    std::vector<int> signals;
    bool leftover;
  } rows[] = {
      {"Ctrl+C", {SIGINT}, false},
      {"a request to terminate", {SIGTERM}, false},
      {"the terminal closing", {SIGHUP}, false},
      {"a second Ctrl+C while stopping", {SIGINT, SIGINT}, false},
      {"SIGKILL", {SIGKILL}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Folder folder;
    folder.put("long.mid", longSong());
    folder.put("long.xg.wav", "old");
    ProgramProcess run({"-j", "1", "-o", "*.wav", "a.mid", "long.mid"}, "",
                       ProgramProcess::Keys::pipe, {}, in(folder));
    ASSERT_EQ(run.setupError(), "");
    ASSERT_TRUE(folder.waitForTemporary("long.xg.wav"));
    for (int signal : row.signals) {
      run.sendSignal(signal);
      std::this_thread::sleep_for(5ms);
    }
    // Stopped well before the long song's twenty minutes could have been rendered.
    EXPECT_EQ(run.finish(5s), -1);
    EXPECT_FALSE(run.timedOut());
    EXPECT_EQ(run.endedBySignal(), row.signals.front());
    EXPECT_EQ(readWav(folder.at("a.xg.wav")).problem, "");
    EXPECT_EQ(folder.content("long.xg.wav"), "old");
    EXPECT_EQ(folder.leftovers().empty(), !row.leftover);
    // One stop request ends in the summary; the second may or may not come before it.
    const bool summed = run.out().find("Stopped: 1 of 2 songs converted") != std::string::npos;
    if (row.signals.size() == 1) {
      EXPECT_EQ(summed, row.signals[0] != SIGKILL) << run.out();
    }
  }
}

// A recording ended by Ctrl+C is kept, whole up to the stop.
TEST(ConversionProgram, ARecordingStoppedByCtrlCIsKept) {
  Folder folder;
  folder.put("long.mid", longSong());
  ProgramProcess run({"long.mid"}, "", ProgramProcess::Keys::pipe, {"TESSARO_WAV=rec.wav"},
                     in(folder));
  ASSERT_EQ(run.setupError(), "");
  // Some time into the song, so that its note sounds in the recording.
  for (auto giveUp = std::chrono::steady_clock::now() + 20s;
       run.out().find("[1/1] long.mid") == std::string::npos &&
       std::chrono::steady_clock::now() < giveUp;)
    std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(1s);
  run.sendSignal(SIGINT);
  EXPECT_EQ(run.finish(10s), -1);
  EXPECT_EQ(run.endedBySignal(), SIGINT);
  const WavSound wav = readWav(folder.at("rec.wav"));
  EXPECT_EQ(wav.problem, "");
  EXPECT_GT(wav.rms(0, wav.seconds()), 30.0);
  EXPECT_TRUE(folder.leftovers().empty());
}

// Standard output carries the file whole, and every console line goes to standard error; a
// standard output that cannot take it fails the run.
TEST(ConversionProgram, StandardOutputCarriesTheFile) {
  Folder folder;
  ProgramProcess run({"-o", "-", "a.mid"}, "", ProgramProcess::Keys::pipe, {}, in(folder));
  ASSERT_EQ(run.setupError(), "");
  EXPECT_EQ(run.finish(30s), 0) << run.err();
  folder.put("out.mid", run.out());
  MidiFileRead file = readMidiFile(folder.at("out.mid"));
  EXPECT_EQ(file.problem, "");
  EXPECT_NE(run.err().find("Tessaro - MIDI file player"), std::string::npos);
  EXPECT_NE(run.err().find("1 song converted"), std::string::npos);

  ProgramLaunch full = in(folder);
  full.program = "/bin/sh";
  full.leadingWords = {"-c", "exec \"$0\" \"$@\" >/dev/full", TESSARO_BINARY};
  ProgramProcess toFull({"-o", "-", "a.mid"}, "", ProgramProcess::Keys::pipe, {}, full);
  ASSERT_EQ(toFull.setupError(), "");
  EXPECT_EQ(toFull.finish(30s), 1);
  EXPECT_NE(toFull.err().find("tessaro: standard output: cannot write: No space left on device\n"),
            std::string::npos)
      << toFull.err();
}

// A recording that runs out of space ends the run with status 1 and says so; the file that was
// at its name stays.
TEST(ConversionProgram, ARecordingOnAFullDiskFails) {
  SmallDisk disk;
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  disk.put("rec.wav", "old");
  disk.fill();
  Folder folder;
  const std::string recording = disk.path() + "/rec.wav";
  ProgramProcess run({"a.mid"}, "", ProgramProcess::Keys::pipe, {"TESSARO_WAV=" + recording},
                     in(folder));
  ASSERT_EQ(run.setupError(), "");
  run.closeInput();
  EXPECT_EQ(run.finish(30s), 1);
  // Said on standard error once the recording fails, or with the output's failure to open when
  // not even its temporary file can be made.
  EXPECT_NE((run.err() + run.out()).find(recording), std::string::npos) << run.err();
  std::ifstream old(recording);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
}

}  // namespace
}  // namespace tessaro::testing
