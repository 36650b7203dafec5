// The Windows services as far as they can be seen without devices: file search, the program's
// paths and name rules, the Japanese console text, the clock's waits, the player thread's
// start and end, priorities and the failures of ports that do not exist. Runs under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "backends/win32/win32_platform.h"
#include "common/log.h"
#include "control/file_cue.h"
#include "support/recording_commands.h"
#include "support/temp_dir.h"

namespace tessaro::testing {
namespace {

using platform::FileMatch;
using namespace platform::win32;

// Names as FindFirstFileA gives them, with directories marked.
std::vector<std::string> describe(const std::vector<FileMatch>& matches) {
  std::vector<std::string> out;
  for (const FileMatch& match : matches) out.push_back(match.name + (match.isDirectory ? "/" : ""));
  return out;
}

class FileSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = makeTempDir("tessaro-win32-");
    ASSERT_FALSE(dir.empty());
    std::ofstream(dir + "/song.mid") << "MThd";
    std::ofstream(dir + "/notes.txt") << "text";
    std::filesystem::create_directory(dir + "/folder");
    std::filesystem::create_directory(dir + "/only");
    std::filesystem::create_directory(dir + "/only/inner");
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string dir;
  Win32FileSystem files;
};

TEST_F(FileSearch, FindsNamesAndPatternsWithoutTheirDirectory) {
  struct Row {
    std::string pattern;  // relative to the test directory
    size_t limit;
    std::vector<std::string> expected;
  };
  const std::vector<Row> rows = {
      {"song.mid", 2, {"song.mid"}},
      {"SONG.MID", 2, {"song.mid"}},  // names are found in any case
      {"*.mid", 2, {"song.mid"}},
      {"*.txt", 2, {"notes.txt"}},
      {"folder", 2, {"folder/"}},
      {"missing.mid", 2, {}},
      {"*.wav", 2, {}},
      {"song.mid", 0, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pattern);
    EXPECT_EQ(describe(files.findFiles(dir + "\\" + row.pattern, row.limit)), row.expected);
  }
  // A pattern matching many names gives no more than the limit.
  EXPECT_EQ(files.findFiles(dir + "\\*", 2).size(), 2u);
}

// Only a disk file is read as a list; a device (NUL, a COM port, the console) is never read.
TEST_F(FileSearch, OnlyDiskFilesAreReadWhole) {
  for (auto [path, bytes] : {std::pair{dir + "\\song.mid", "MThd"},
                             {"NUL", "not a regular file (a pipe or a device)"}}) {
    platform::FileBytes read = files.readRegularFile(path, 100);
    EXPECT_EQ(read.read ? read.bytes : read.reason, bytes) << path;
  }
}

TEST_F(FileSearch, TheCueTakesTheFirstMatchThatIsNoDirectory) {
  std::string name = "x";
  EXPECT_EQ(findFileName(files, dir + "\\song.mid", name), 0);
  EXPECT_EQ(name, "song.mid");
  // A directory with no match after it, and a pattern whose matches are all directories.
  EXPECT_EQ(findFileName(files, dir + "\\folder", name), -1);
  EXPECT_EQ(name, "");
  EXPECT_EQ(findFileName(files, dir + "\\only\\*", name), -2);  // ".", ".." and inner
  EXPECT_EQ(findFileName(files, dir + "\\nothing.mid", name), -1);
}

// A settings file saved as UTF-8 (as editors now do) names files that the system's ...A calls
// know by their ANSI code page name: the name is found, and the cue holds the name as the song
// loader can open it. Without the conversion the file is not found.
TEST_F(FileSearch, Utf8SettingsNamesAreFoundUnderTheirSystemNames) {
  // "é" is in every Western code page; the name is made through the wide calls.
  std::ofstream(std::filesystem::path(dir) / std::filesystem::path(u8"caf\u00e9.mid")) << "MThd";
  const std::string settings = dir + "/tessaro.ini";
  std::ofstream(settings, std::ios::binary) << "\"" << dir << "/caf\xC3\xA9.mid\"\n";
  Win32Environment environment;
  if (GetACP() == CP_UTF8 || environment.nativeFileName("caf\xC3\xA9") == "caf?")
    GTEST_SKIP() << "code page " << GetACP();
  for (bool converted : {true, false}) {
    SCOPED_TRACE(converted ? "converted" : "as it stands");
    RecordingCommands commands;
    Log log;
    log.startCapture();
    SettingsReader reader;
    SettingsPass pass{commands, log, files, dir + "/", 2};
    if (converted)
      pass.fromUtf8 = [&](const std::string& name) { return environment.nativeFileName(name); };
    ASSERT_TRUE(readSettingsPass(reader, pass, settings));
    EXPECT_EQ(commands.calls.size(), converted ? 1u : 0u) << log.captured();
    if (converted) {
      std::string queued = environment.nativeFileName(dir + "/caf\xC3\xA9.mid");
      EXPECT_EQ(commands.text(), "queue " + queued);
      EXPECT_TRUE(std::filesystem::exists(queued));
    }
  }
}

TEST(Win32Environment, ProgramPathAndSettingsBesideIt) {
  Win32Environment environment;
  const std::string path = environment.programPath("word0");
  ASSERT_GT(path.size(), 4u);
  EXPECT_NE(path, "word0");
  EXPECT_TRUE(std::filesystem::exists(path)) << path;
  const platform::PathRules rules = environment.pathRules();
  EXPECT_EQ(rules.separator, '\\');
  EXPECT_EQ(rules.skipLeadBytes, GetACP() == 932);
  const std::string dir = directoryPart(path, rules.separator, rules.skipLeadBytes);
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '\\');
  EXPECT_EQ(environment.settingsPath(dir), dir + "tessaro.ini");
  EXPECT_FALSE(environment.oldSystem());
}

// The rules of a Japanese system (code page 932).
TEST(Win32Environment, ShiftJisNamesSplitOnlyAtRealBackslashes) {
  const platform::PathRules rules{'\\', true};
  struct Row {
    std::string path;
    std::string directory;
    std::string extension;
  };
  // 0x83 0x5C is the katakana so, 0x95 0x5C the kanji for display: both end in the byte of '\'.
  const std::vector<Row> rows = {
      {"C:\\music\\song.mid", "C:\\music\\", ".mid"},
      {"C:\\music\\\x83\x5C.mid", "C:\\music\\", ".mid"},
      {"C:\\\x95\x5C\\a.MIDI", "C:\\\x95\x5C\\", ".MIDI"},
      {"\x83\x5C", "", ""},
      {"song", "", ""},
      {"\\song.mid", "\\", ".mid"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(directoryPart(row.path, rules.separator, rules.skipLeadBytes), row.directory);
    std::string extension;
    extensionPart(row.path.substr(row.directory.size()), extension, rules.skipLeadBytes);
    EXPECT_EQ(extension, row.extension);
  }
}

TEST(Win32Text, JapaneseMessagesReachTheConsoleInCodePage932) {
  struct Row {
    std::string utf8;
    std::string cp932;
  };
  const std::vector<Row> rows = {
      {"MIDI Device is Already Used by another application.\n",
       "MIDI Device is Already Used by another application.\n"},
      {"\nMIDI は他のアプリケーションが使用中です.\n",
       "\nMIDI \x82\xCD\x91\xBC\x82\xCC\x83\x41\x83\x76\x83\x8A\x83\x50\x81\x5B\x83\x56\x83\x87"
       "\x83\x93\x82\xAA\x8E\x67\x97\x70\x92\x86\x82\xC5\x82\xB7.\n"},
      {"ドラッグ＆ドロップ",
       "\x83\x68\x83\x89\x83\x62\x83\x4F\x81\x95\x83\x68\x83\x8D\x83\x62\x83\x76"},
      {"\xFF not UTF-8", "\xFF not UTF-8"},  // left as it stands
      {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(utf8ToCodePage(row.utf8, 932), row.cp932) << row.utf8;
}

TEST(Win32Text, TheLogConvertsItsOwnTextButNotTheValuesPutIn) {
  Log log;
  log.startCapture();
  log.setMessageEncoder([](const std::string& text) { return utf8ToCodePage(text, 932); });
  // A Shift-JIS file name printed through an English format, then through a Japanese one.
  log.print("MIDI file: %s \n", "\x83\x5C.mid");
  log.print("%s は\n", "\x83\x5C");
  EXPECT_EQ(log.captured(), "MIDI file: \x83\x5C.mid \n\x83\x5C \x82\xCD\n");
}

TEST(Win32Clock, SleepsAdvanceTheTicksByAtLeastTheirLength) {
  for (bool highResolution : {true, false}) {
    SCOPED_TRACE(highResolution ? "waitable timer" : "Sleep");
    Win32Clock clock(highResolution);
    if (!highResolution) {
      EXPECT_FALSE(clock.highResolution());
    }
    for (int32_t ms : {1, 5, 20}) {
      const uint32_t before = clock.tickMs();
      clock.sleepMs(ms);
      EXPECT_GE(static_cast<int32_t>(clock.tickMs() - before), ms);
    }
    // Nothing to wait for: the call returns without sleeping (nothing to measure but that it
    // returns at all).
    clock.sleepMs(0);
    clock.sleepMs(-5);
  }
}

// The main thread and the player thread sleep on the one clock at the same time; neither may
// take the other's wake-up and sleep for ever.
TEST(Win32Clock, TwoThreadsSleepAtTheSameTime) {
  Win32Clock clock;
  std::atomic<int> otherSleeps{0};
  std::thread other([&] {
    for (int i = 0; i < 30; ++i, ++otherSleeps) clock.sleepMs(2);
  });
  for (int i = 0; i < 20; ++i) clock.sleepMs(3);
  other.join();
  EXPECT_EQ(otherSleeps.load(), 30);
}

TEST(Win32PlayerThread, RunsItsBodyOnlyAfterResume) {
  Win32Threads threads;
  std::atomic<int> runs{0};
  {
    auto thread = threads.createSuspended([&runs] { ++runs; });
    EXPECT_TRUE(thread->setTimeCritical());
    EXPECT_FALSE(thread->hasEnded());
    EXPECT_EQ(runs.load(), 0);
    thread->resume();
    while (!thread->hasEnded()) Win32Clock(false).sleepMs(1);
    EXPECT_EQ(runs.load(), 1);
  }
  // A thread never resumed goes without running its body.
  {
    auto unused = threads.createSuspended([&runs] { ++runs; });
  }
  EXPECT_EQ(runs.load(), 1);
}

TEST(Win32Priorities, MainThreadGoesLowestAndBack) {
  Win32Priorities priorities;
  int saved = 99;
  ASSERT_TRUE(priorities.getMainPriority(saved));
  ASSERT_TRUE(priorities.setMainPriorityLowest());
  int lowered = 99;
  ASSERT_TRUE(priorities.getMainPriority(lowered));
  EXPECT_EQ(lowered, -2);  // THREAD_PRIORITY_LOWEST
  EXPECT_TRUE(priorities.setMainPriority(saved));
  int restored = 99;
  ASSERT_TRUE(priorities.getMainPriority(restored));
  EXPECT_EQ(restored, saved);
}

// Names piped to the program are not keys: a pipe on standard input is never read (keys come
// from the console alone), and its bytes are left for whoever reads standard input.
TEST(Win32ConsoleInput, APipeIsNeverReadAsKeys) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  HANDLE savedInput = GetStdHandle(STD_INPUT_HANDLE);
  SetStdHandle(STD_INPUT_HANDLE, readEnd);
  std::vector<int> keys;
  DWORD left = 0;
  {
    Win32ConsoleInput console(false);
    DWORD written = 0;
    WriteFile(writeEnd, "f\x1B\xE9", 3, &written, nullptr);
    for (int i = 0; i < 4; ++i) keys.push_back(console.readKey());
    PeekNamedPipe(readEnd, nullptr, 0, nullptr, &left, nullptr);

    Win32ConsoleInput released(false);
    released.release();
    keys.push_back(released.readKey());
  }
  SetStdHandle(STD_INPUT_HANDLE, savedInput);
  CloseHandle(writeEnd);
  CloseHandle(readEnd);
  EXPECT_EQ(keys, (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(left, 3u);
}

// Ctrl+C stops the run as Esc at the last song would; a second Ctrl+C is left to the system.
TEST(Win32ConsoleInput, CtrlCIsAStopRequestOnce) {
  resetConsoleInterrupt();
  Win32ConsoleInput console(false);
  EXPECT_FALSE(takeConsoleControl(CTRL_CLOSE_EVENT));
  EXPECT_FALSE(console.interrupted());
  EXPECT_TRUE(takeConsoleControl(CTRL_C_EVENT));
  EXPECT_TRUE(console.interrupted());
  EXPECT_FALSE(takeConsoleControl(CTRL_BREAK_EVENT));
  resetConsoleInterrupt();
  EXPECT_TRUE(takeConsoleControl(CTRL_BREAK_EVENT));
  resetConsoleInterrupt();
  EXPECT_FALSE(console.interrupted());
}

// The temporary file of an output under way can be removed while it is still open, as the
// console's control handler removes it when a second Ctrl+C ends the program at once.
TEST(Win32OutputFiles, AFileUnderWayCanBeRemovedWhileOpen) {
  const std::string dir = makeTempDir("tessaro-win32-");
  Win32OutputFiles files;
  platform::PendingFileOpen pending = files.begin(dir + "\\out.mid", ".mid");
  ASSERT_NE(pending.file, nullptr) << pending.problem;
  std::FILE* stream = pending.file->stream();
  ASSERT_NE(stream, nullptr);
  std::fputs("half", stream);
  std::fflush(stream);
  EXPECT_NE(DeleteFileA(pending.file->path().c_str()), 0);
  pending.file.reset();
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  std::filesystem::remove_all(dir);
}

TEST(Win32SerialPorts, NamesAndAMissingPort) {
  EXPECT_EQ(Win32SerialPorts::deviceName(3), "\\\\.\\COM3");
  EXPECT_EQ(Win32SerialPorts::deviceName(12), "\\\\.\\COM12");
  Win32SerialPorts ports;
  platform::SerialOpenResult result = ports.open(97);
  EXPECT_EQ(result.line, nullptr);
  EXPECT_EQ(result.failedStep, platform::SerialOpenResult::Step::open);
  EXPECT_NE(result.error, 0);
  EXPECT_EQ(result.reason.rfind("COM97: ", 0), 0u) << result.reason;
}

TEST(Win32MidiOutputs, AnUnknownDeviceIsRefusedWithAReason) {
  Win32MidiOutputs outputs;
  platform::MidiOpenResult result = outputs.open(0x7FFF);
  EXPECT_EQ(result.device, nullptr);
  EXPECT_NE(result.error, 0u);
  EXPECT_FALSE(result.reason.empty());
}

TEST(Win32MidiOutputs, TheMapperTakesShortAndLongMessages) {
  Win32MidiOutputs outputs;
  platform::MidiOpenResult result = outputs.open(platform::MidiOutputs::mapper);
  if (!result.device) GTEST_SKIP() << "no MIDI output here: " << result.reason;
  platform::MidiOutDevice& device = *result.device;
  EXPECT_EQ(device.shortMessage(0x0000B0u | (123u << 8)), platform::midiOk);  // all notes off
  const uint8_t gmSystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  EXPECT_EQ(device.prepareLong(gmSystemOn, sizeof gmSystemOn), platform::midiOk);
  EXPECT_EQ(device.sendLong(gmSystemOn, sizeof gmSystemOn), platform::midiOk);
  uint32_t released = device.unprepareLong(gmSystemOn, sizeof gmSystemOn);
  for (int i = 0; i < 1000 && released == platform::midiErrorStillPlaying; ++i) {
    Win32Clock(false).sleepMs(1);
    released = device.unprepareLong(gmSystemOn, sizeof gmSystemOn);
  }
  EXPECT_EQ(released, platform::midiOk);
}

}  // namespace
}  // namespace tessaro::testing
