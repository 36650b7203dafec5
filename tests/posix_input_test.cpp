// MIDI inputs on Linux: a serial line on a pseudo-terminal read as it comes, woken from
// another thread, ended when its far end closes, and shared with the output when it is the
// same device; a sequencer port that is not there named in words.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {
namespace {

using Status = InputRead::Status;
constexpr int32_t longWait = 30000;  // a bound that fails the test, never a measurement

struct Pty {
  int master = -1, slave = -1;
  std::string path;
  Pty() {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
    termios mode{};
    tcgetattr(slave, &mode);
    cfmakeraw(&mode);
    tcsetattr(slave, TCSANOW, &mode);
    path = ttyname(slave);
  }
  ~Pty() {
    closeMaster();
    if (slave >= 0) ::close(slave);
  }
  void closeMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
};

// The descriptors of this process open on path.
int openOn(const std::string& path) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == path) ++count;
  }
  return count;
}

TEST(SerialInput, BytesAsTheyComeAWakeAndTheFarEndClosing) {
  Pty line;
  ASSERT_FALSE(line.path.empty());
  PosixSerialPorts serial;
  PosixMidiInputs inputs(serial);
  MidiInputOpen opened = inputs.open(line.path);
  ASSERT_TRUE(opened.input) << opened.reason;
  MidiInput& input = *opened.input;

  const uint8_t sent[] = {0x90, 0x3C, 0x40};
  ASSERT_EQ(::write(line.master, sent, sizeof sent), 3);
  uint8_t buffer[16];
  InputRead got = input.read(buffer, sizeof buffer, longWait);
  ASSERT_EQ(got.status, Status::bytes);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + got.count), std::vector<uint8_t>(sent, sent + 3));

  // A wake from another thread ends a read that has nothing to take.
  std::thread waker([&input] { input.wake(); });
  got = input.read(buffer, sizeof buffer, longWait);
  waker.join();
  EXPECT_EQ(got.status, Status::none);

  line.closeMaster();
  got = input.read(buffer, sizeof buffer, longWait);
  EXPECT_EQ(got.status, Status::ended);
  EXPECT_EQ(input.endReason(), "the far end closed the line");
}

TEST(SerialInput, TheOutputsDeviceIsOpenedOnce) {
  Pty line;
  PosixSerialPorts serial;
  ASSERT_TRUE(serial.chooseDevice(line.path));
  SerialOpenResult output = serial.open(1);
  ASSERT_TRUE(output.line) << output.reason;
  int before = openOn(line.path);
  PosixMidiInputs inputs(serial);
  MidiInputOpen input = inputs.open(line.path);
  ASSERT_TRUE(input.input) << input.reason;
  EXPECT_EQ(openOn(line.path), before);
  // The input keeps the device open after the output has let it go, and reads it.
  output.line.reset();
  EXPECT_EQ(openOn(line.path), before);
  const uint8_t clock = 0xF8;
  ASSERT_EQ(::write(line.master, &clock, 1), 1);
  uint8_t buffer[4];
  EXPECT_EQ(input.input->read(buffer, sizeof buffer, longWait).status, Status::bytes);
  input.input.reset();
  EXPECT_EQ(openOn(line.path), before - 1);
}

TEST(MidiInputs, WhatCannotBeReadIsSaidInWords) {
  PosixSerialPorts serial;
  PosixMidiInputs inputs(serial);
  MidiInputOpen file = inputs.open("/dev/null");
  EXPECT_FALSE(file.input);
  EXPECT_EQ(file.reason.substr(0, 30), "/dev/null: not a serial device");
  // No sequencer here, or no such port on it: either way in words, never a crash.
  MidiInputOpen port = inputs.open("no-such-client-of-tessaro-tests");
  EXPECT_FALSE(port.input);
  EXPECT_FALSE(port.reason.empty());
}

}  // namespace
}  // namespace tessaro::platform::posix
