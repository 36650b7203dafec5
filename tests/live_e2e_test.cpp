// The built program in live mode between two pseudo-terminal pairs: a GS stream goes in on one
// (as from a keyboard or a sequencer on a serial line), the XG wire comes out on the other
// (COM1, as a module receives it). Every wait is bounded.
#include <gtest/gtest.h>

#include "support/program_process.h"
#include "support/wire.h"

namespace tessaro::testing {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const Bytes gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const Bytes xgSystemOn{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// The line the program reads: a raw pseudo-terminal whose master side the test writes to.
class InputLine {
 public:
  InputLine() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    termios mode{};
    tcgetattr(slave_, &mode);
    cfmakeraw(&mode);
    tcsetattr(slave_, TCSANOW, &mode);
    char name[256] = {};
    if (ttyname_r(slave_, name, sizeof name) == 0) path_ = name;
  }
  ~InputLine() {
    closeFarEnd();
    if (slave_ >= 0) ::close(slave_);
  }
  const std::string& path() const { return path_; }
  void send(const Bytes& bytes) { (void)!::write(master_, bytes.data(), bytes.size()); }
  // The keyboard or sequencer goes away: the program's reads of the line end.
  void closeFarEnd() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

bool contains(const Bytes& wire, const Bytes& part) {
  return std::search(wire.begin(), wire.end(), part.begin(), part.end()) != wire.end();
}

// The program translating a GS stream for XG: started, given a reset and two notes (the
// second left sounding), and seen to pass them on.
struct LiveRun {
  InputLine input;
  ProgramProcess program;

  explicit LiveRun(ProgramProcess::Keys keys = ProgramProcess::Keys::pipe)
      : program({"-i", input.path(), "/com1", "/xg"}, "", keys) {}

  void playSomething() {
    ASSERT_FALSE(input.path().empty());
    ASSERT_EQ(program.setupError(), "");
    // The channel volumes every session starts with say the input is being read.
    ASSERT_TRUE(program.waitForWire([](const Bytes& w) { return w.size() >= 48; }, 30s));
    input.send(gsReset);
    input.send({0xC0, 0x10, 0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00, 0x90, 0x40, 0x64});
    ASSERT_TRUE(program.waitForWire(
        [](const Bytes& w) {
          return contains(w, {0x90, 0x40, 0x64});
        },
        30s));
  }
};

// What every way of ending leaves: the note still sounding ended, then the module reset.
void expectStopSequence(const Bytes& wire) {
  EXPECT_TRUE(contains(wire, xgSystemOn));
  EXPECT_FALSE(contains(wire, gsReset)) << "the GS reset is translated, not passed on";
  EXPECT_TRUE(soundingOnWire(wire).empty());
  ASSERT_GE(wire.size(), gmSystemOn.size());
  EXPECT_TRUE(std::equal(gmSystemOn.begin(), gmSystemOn.end(), wire.end() - 6));
}

TEST(LiveOnLines, TheInputsEndEndsTheRunWithTheStopSequence) {
  LiveRun run;
  run.playSomething();
  run.input.closeFarEnd();
  EXPECT_EQ(run.program.finish(30s), 0) << run.program.out();
  expectStopSequence(run.program.wire());
  EXPECT_NE(run.program.out().find("ended: the far end closed the line.\n"), std::string::npos)
      << run.program.out();
}

TEST(LiveOnLines, EscOnTheTerminalEndsTheRun) {
  LiveRun run(ProgramProcess::Keys::terminal);
  run.playSomething();
  run.program.pressKey(27);
  EXPECT_EQ(run.program.finish(30s), 0) << run.program.out();
  expectStopSequence(run.program.wire());
}

}  // namespace
}  // namespace tessaro::testing
