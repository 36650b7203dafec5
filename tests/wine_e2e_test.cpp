// The Windows build run under Wine beside the Linux build: the same song sent to COM1 gives the
// same bytes on the wire, the MIDI mapper of a machine without a sequencer fails with the
// start-up's message, and the status window opens on a virtual display.
//
// The Windows program is named by TESSARO_WINDOWS_EXE (CI sets it after the cross build); the
// tests are skipped without it or without Wine. Wine's COM1 is pointed at a fixed link through
// the prefix's port table, and each run points that link at its own pseudo-terminal.
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/program_process.h"
#include "support/smf.h"
#include "support/xvfb.h"

namespace tessaro::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Runs a command to its end with the given environment entries added; its exit code or -1.
int runQuietly(const std::vector<std::string>& words, const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.insert(env.end(), extra.begin(), extra.end());
  std::vector<std::string> args = words;
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  };
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int error = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, pointers(args).data(),
                           pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A Wine prefix of the tests' own, made once per test program.
class WinePrefix {
 public:
  static WinePrefix& get() {
    static WinePrefix prefix;
    return prefix;
  }
  bool ready() const { return ready_; }
  const std::string& path() const { return path_; }
  // The link Wine's COM1 opens; re-pointed at each run's pseudo-terminal.
  std::string com1Link() const { return path_ + "/com1-line"; }
  // The link Wine's COM2 opens (a live input's line).
  std::string com2Link() const { return path_ + "/com2-line"; }
  std::vector<std::string> environment() const {
    return {"WINEPREFIX=" + path_, "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
  }

 private:
  WinePrefix() {
    path_ = (fs::temp_directory_path() / ("tessaro-wine-" + std::to_string(getuid()))).string();
    std::error_code ignored;
    fs::create_directories(path_, ignored);
    const std::vector<std::string> env = environment();
    ready_ = runQuietly({"wineboot", "-i"}, env) == 0 &&
             runQuietly({"wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM1", "/d",
                         com1Link(), "/f"},
                        env) == 0 &&
             runQuietly({"wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM2", "/d",
                         com2Link(), "/f"},
                        env) == 0 &&
             runQuietly({"wineserver", "-w"}, env) == 0;
  }
  std::string path_;
  bool ready_ = false;
};

std::string windowsExe() {
  const char* exe = std::getenv("TESSARO_WINDOWS_EXE");
  return exe != nullptr && fs::exists(exe) ? fs::absolute(exe).string() : std::string();
}

// A Linux path as the Windows program sees it, on Wine's drive Z.
std::string onDriveZ(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

class WineRun : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = windowsExe();
    if (exe_.empty()) GTEST_SKIP() << "TESSARO_WINDOWS_EXE does not name the Windows build";
    if (commandOutput("command -v wine").empty()) GTEST_SKIP() << "Wine is not installed";
    ASSERT_TRUE(WinePrefix::get().ready()) << "the Wine prefix could not be made";
  }

  // The launch of the Windows program under Wine, its COM1 on the run's pseudo-terminal. A
  // serial driver leaves the line's bytes alone; the pseudo-terminal is made raw to match.
  ProgramProcess::Launch underWine() const {
    ProgramProcess::Launch launch;
    launch.program = "wine";
    launch.leadingWords = {exe_};
    const std::string link = WinePrefix::get().com1Link();
    launch.beforeStart = [link](const std::string& ptyPath) {
      int fd = ::open(ptyPath.c_str(), O_RDWR | O_NOCTTY);
      if (fd < 0) return false;
      termios mode{};
      bool raw = tcgetattr(fd, &mode) == 0;
      if (raw) {
        cfmakeraw(&mode);
        raw = tcsetattr(fd, TCSANOW, &mode) == 0;
      }
      ::close(fd);
      std::error_code error;
      fs::remove(link, error);
      fs::create_symlink(ptyPath, link, error);
      return raw && !error;
    };
    return launch;
  }

  std::string exe_;
};

// A GS song with what the translation rewrites for XG: the reset, part parameters, a drum part,
// bank selects and programs, a long system exclusive, running status across a meta event.
Bytes gsSong() {
  Track conductor;
  conductor.tempo(0, 400000).text(0, "wine").end(960);
  Track t;
  t.ev(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
  t.ev(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x0F, 0xF7});
  t.ev(0, {0xB0, 0x00, 0x08}).ev(0, {0x20, 0x00}).ev(0, {0xC0, 0x19});
  t.ev(0, {0xB1, 0x00, 0x00}).ev(0, {0xC1, 0x30});
  Bytes longSysex{0xF0};
  Bytes body{0x43, 0x10, 0x4C, 0x08, 0x00, 0x00};
  for (int i = 0; i < 1500; ++i) body.push_back(static_cast<uint8_t>(i & 0x7F));
  body.push_back(0xF7);
  Bytes length = vlq(static_cast<uint32_t>(body.size()));
  longSysex.insert(longSysex.end(), length.begin(), length.end());
  longSysex.insert(longSysex.end(), body.begin(), body.end());
  t.raw(0, longSysex);
  t.ev(0, {0x90, 0x3C, 0x64}).ev(0, {0x40, 0x64}).text(60, "marker", 0x06).ev(0, {0x43, 0x64});
  t.ev(0, {0x9A, 0x24, 0x70}).ev(0, {0xE0, 0x00, 0x50}).ev(0, {0xB0, 0x07, 0x60});
  t.ev(240, {0x80, 0x3C, 0x00}).ev(0, {0x40, 0x00}).ev(0, {0x43, 0x00}).ev(0, {0x8A, 0x24, 0});
  t.ev(0, {0x91, 0x48, 0x50}).ev(480, {0x81, 0x48, 0x00}).end();
  return smf(1, 480, {conductor, t});
}

struct WireCase {
  const char* name;
  std::vector<std::string> options;
};

// The same song through COM1: the Linux build and the Windows build put the same bytes on the
// wire, from the first reset to the last note-off and GM System On.
TEST_F(WineRun, SameBytesOnComOneAsTheLinuxBuild) {
  TempFile song(gsSong(), "gs.mid");
  const std::string scale = std::string(TESSARO_TEST_DATA) + "/songs/test-c-major-scale.mid";
  const WireCase cases[] = {
      {"untranslated", {"/com1", "/nc"}},
      {"to XG", {"/com1"}},
      {"to GM", {"/com1", "/gm"}},
  };
  for (const WireCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto words = [&](const std::string& gs, const std::string& sc) {
      std::vector<std::string> w = c.options;
      w.push_back(gs);
      w.push_back(sc);
      return w;
    };
    ProgramProcess native(words(song.path(), scale));
    ASSERT_EQ(native.setupError(), "");
    ASSERT_EQ(native.finish(120s), 0) << native.out();

    ProgramProcess windows(words(onDriveZ(song.path()), onDriveZ(scale)), "",
                           ProgramProcess::Keys::pipe, WinePrefix::get().environment(),
                           underWine());
    ASSERT_EQ(windows.setupError(), "");
    int code = windows.finish(180s);
    ASSERT_EQ(code, 0) << windows.out();
    ASSERT_GT(native.wire().size(), 1500u);
    EXPECT_EQ(windows.wire(), native.wire());
    EXPECT_NE(windows.out().find("COM1 Initialized."), std::string::npos) << windows.out();
  }
}

// Wine without a sequencer has no MIDI output: the open fails, the start-up says so and the
// program ends with status 1. (The console's lines end in CR LF, as Windows writes text.)
TEST_F(WineRun, MidiMapperWithoutASequencerFailsCleanly) {
  if (fs::exists("/dev/snd/seq")) GTEST_SKIP() << "this machine has a sequencer";
  TempFile song(gsSong(), "gs.mid");
  ProgramProcess windows({onDriveZ(song.path())}, "", ProgramProcess::Keys::pipe,
                         WinePrefix::get().environment(), underWine());
  ASSERT_EQ(windows.setupError(), "");
  EXPECT_EQ(windows.finish(60s), 1);
  EXPECT_NE(windows.out().find("MIDI Mapper Out Open Error.\r\n"), std::string::npos)
      << windows.out();
  EXPECT_NE(windows.out().find("MIDI Device is Already Used by another application.\r\n"),
            std::string::npos)
      << windows.out();
  EXPECT_TRUE(windows.wire().empty());
}

// Live translation on Windows: a GS stream read from COM2 (with blocking reads bounded by read
// time-outs) goes out on COM1 translated for XG. Wine's serial reads never fail for a line whose
// far end has gone, and the program's keys do not reach it through a pipe there, so the run is
// ended from outside once the wire is seen.
TEST_F(WineRun, LiveFromComTwoToComOne) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios mode{};
  tcgetattr(slave, &mode);
  cfmakeraw(&mode);
  tcsetattr(slave, TCSANOW, &mode);
  std::error_code error;
  fs::remove(WinePrefix::get().com2Link(), error);
  fs::create_symlink(ttyname(slave), WinePrefix::get().com2Link(), error);
  ASSERT_FALSE(error) << error.message();
  ProgramProcess windows({"-i", "COM2", "/com1", "/xg"}, "", ProgramProcess::Keys::pipe,
                         WinePrefix::get().environment(), underWine());
  ASSERT_EQ(windows.setupError(), "");
  ASSERT_TRUE(windows.waitForWire([](const Bytes& w) { return w.size() >= 48; }, 120s))
      << windows.out();
  const Bytes gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  const Bytes notes{0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00};
  (void)!::write(master, gsReset.data(), gsReset.size());
  (void)!::write(master, notes.data(), notes.size());
  const Bytes xgSystemOn{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  auto has = [](const Bytes& wire, const Bytes& part) {
    return std::search(wire.begin(), wire.end(), part.begin(), part.end()) != wire.end();
  };
  EXPECT_TRUE(windows.waitForWire(
      [&](const Bytes& w) {
        return has(w, xgSystemOn) && has(w, {0x80, 0x3C, 0x00});
      },
      60s))
      << windows.out();
  EXPECT_FALSE(has(windows.wire(), gsReset));
  windows.finish(std::chrono::seconds(0));
  runQuietly({"wineserver", "-k"}, WinePrefix::get().environment());
  ::close(master);
  ::close(slave);
}

// On a display the program opens its window with the content's size, plays, and ends by itself
// after the last song.
TEST_F(WineRun, OpensItsWindowOnADisplay) {
  for (const char* tool : {"Xvfb", "xwininfo"}) {
    if (commandOutput(std::string("command -v ") + tool).empty())
      GTEST_SKIP() << tool << " is not installed";
  }
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
  TempFile song(gsSong(), "gs.mid");
  // Wine's desktop process keeps the display it was started with: a fresh one takes this one,
  // and none is left holding it afterwards.
  runQuietly({"wineserver", "-k"}, WinePrefix::get().environment());
  struct EndWineServer {
    ~EndWineServer() { runQuietly({"wineserver", "-k"}, WinePrefix::get().environment()); }
  } endWineServer;
  std::vector<std::string> env = WinePrefix::get().environment();
  env.push_back("DISPLAY=" + display.name());
  ProgramProcess windows({"/com1", onDriveZ(song.path())}, "", ProgramProcess::Keys::pipe, env,
                         underWine());
  ASSERT_EQ(windows.setupError(), "");
  bool found = false;
  std::string tree;
  for (auto until = std::chrono::steady_clock::now() + 60s;
       !found && std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(200ms)) {
    tree = commandOutput("DISPLAY=" + display.name() + " xwininfo -root -tree 2>/dev/null");
    found = std::regex_search(tree, std::regex(R"(\("tessaro\.exe" "tessaro\.exe"\)\s+385x82)"));
  }
  EXPECT_TRUE(found) << tree << "\n" << windows.out();
  EXPECT_EQ(windows.finish(120s), 0) << windows.out();
  EXPECT_FALSE(windows.wire().empty());
}

}  // namespace
}  // namespace tessaro::testing
