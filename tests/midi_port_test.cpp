// The output port as a module sees it: the exact bytes on a serial line and the exact words
// and blocks on the message device, for sequences of sends, plus the lines a user reads when
// opening or sending fails.
#include "midiout/midi_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/virtual_platform.h"

namespace {

using tessaro::ExitHandlers;
using tessaro::Log;
using tessaro::MidiPort;
using tessaro::platform::SerialOpenResult;
using tessaro::testing::CaptureMidiOut;
using tessaro::testing::CaptureMidiOutputs;
using tessaro::testing::CaptureSerialPorts;
using tessaro::testing::VirtualClock;
namespace platform = tessaro::platform;

constexpr uint32_t kMapper = 0xFFFFFFFFu;

struct Rig {
  VirtualClock clock;
  CaptureSerialPorts serial{clock};
  CaptureMidiOutputs midi{clock};
  Log log;
  ExitHandlers exits;
  MidiPort port;
  explicit Rig(platform::MidiOutputs* outputs = nullptr)
      : port(clock, serial, outputs ? *outputs : midi, log, exits) {
    log.startCapture();
  }
};

std::string hex(const uint8_t* bytes, size_t count) {
  std::string text;
  char cell[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += cell;
  }
  return text;
}

std::vector<std::string> serialWrites(const Rig& rig) {
  std::vector<std::string> out;
  for (const auto& w : rig.serial.writes) out.push_back(hex(w.bytes.data(), w.bytes.size()));
  return out;
}

// "short 643C90" for a packed word, "long F0 7E ..." for a block.
std::vector<std::string> mapperOut(const Rig& rig) {
  std::vector<std::string> out;
  char word[16];
  for (const auto& r : rig.midi.records) {
    if (r.isLong) {
      out.push_back("long " + hex(r.bytes.data(), r.bytes.size()));
    } else {
      std::snprintf(word, sizeof word, "short %X", r.word);
      out.push_back(word);
    }
  }
  return out;
}

std::vector<uint8_t> pattern(size_t count, unsigned seed) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + seed) & 0x7F);
  return bytes;
}

struct Op {
  enum Kind { shortMsg, longMsg, direct } kind;
  int value;
  std::vector<int> data;
};
const auto shortMsg = [](int status, int d1, int d2) { return Op{Op::shortMsg, status, {d1, d2}}; };
const auto longMsg = [](int status, std::vector<int> data) {
  return Op{Op::longMsg, status, data};
};
const auto direct = [](int value) { return Op{Op::direct, value, {}}; };

int send(MidiPort& port, const Op& op) {
  if (op.kind == Op::shortMsg)
    return tessaro::sendShortMessage(port, op.value, op.data[0], op.data[1]);
  if (op.kind == Op::direct) return tessaro::sendDirectByte(port, op.value);
  std::vector<uint8_t> bytes(op.data.begin(), op.data.end());
  return tessaro::sendLongMessage(port, op.value, bytes.data(), static_cast<int>(bytes.size()));
}

void run(MidiPort& port, const std::vector<Op>& ops) {
  for (const Op& op : ops) EXPECT_EQ(send(port, op), 0);
}

// What one device received and the running status left behind.
struct Received {
  std::vector<std::string> out;
  int lastStatus;
};

// The same sends on both devices.
struct SendCase {
  const char* name;
  std::vector<Op> ops;
  Received serial;
  Received mapper;
};

// clang-format off
const std::vector<SendCase> kSendCases = {
    {"repeated status is sent once",
     {shortMsg(0x90, 0x3C, 0x64), shortMsg(0x90, 0x3E, 0x64)},
     {{"90 3C 64", "3E 64"}, 0x90},
     {{"short 643C90", "short 643E"}, 0x90}},
    {"a new status carries its byte",
     {shortMsg(0x90, 0x3C, 0x64), shortMsg(0x80, 0x3C, 0x00)},
     {{"90 3C 64", "80 3C 00"}, 0x80},
     {{"short 643C90", "short 3C80"}, 0x80}},
    {"a status without its top bit never runs",
     {shortMsg(0x40, 1, 2), shortMsg(0x40, 3, 4)},
     {{"40 01 02", "40 03 04"}, 0x40},
     {{"short 20140", "short 40340"}, 0x40}},
    {"note after a system exclusive carries its status",
     {shortMsg(0x90, 1, 2), longMsg(0xF0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}), shortMsg(0x90, 3, 4)},
     {{"90 01 02", "F0 7E 7F 09 01 F7", "90 03 04"}, 0x90},
     {{"short 20190", "long F0 7E 7F 09 01 F7", "short 40390"}, 0x90}},
    {"timing clock keeps running status only on the message device",
     {shortMsg(0x90, 1, 2), direct(0xF8), shortMsg(0x90, 3, 4)},
     {{"90 01 02", "F8", "90 03 04"}, 0x90},
     {{"short 20190", "long F8", "short 403"}, 0x90}},
    {"active sensing keeps running status only on the message device",
     {shortMsg(0xB0, 7, 100), direct(0xFE), shortMsg(0xB0, 7, 90)},
     {{"B0 07 64", "FE", "B0 07 5A"}, 0xB0},
     {{"short 6407B0", "long FE", "short 5A07"}, 0xB0}},
    {"other real-time bytes end running status on both devices",
     {shortMsg(0x90, 1, 2), direct(0xFA), shortMsg(0x90, 3, 4)},
     {{"90 01 02", "FA", "90 03 04"}, 0x90},
     {{"short 20190", "long FA", "short 40390"}, 0x90}},
    {"a direct data byte ends running status on serial",
     {shortMsg(0x90, 1, 2), direct(0x40), shortMsg(0x90, 3, 4)},
     {{"90 01 02", "40", "90 03 04"}, 0x90},
     {{"short 20190", "long 40", "short 403"}, 0x90}},
    {"a direct data byte becomes the serial running status",
     {shortMsg(0x90, 1, 2), direct(0x40)},
     {{"90 01 02", "40"}, 0x40},
     {{"short 20190", "long 40"}, 0x90}},
    {"two data bytes go out as a short message on the message device",
     {shortMsg(0xB0, 7, 100), longMsg(0xB0, {0x0A, 0x40})},
     {{"B0 07 64", "B0 0A 40"}, 0xB0},
     {{"short 6407B0", "short 400A"}, 0xB0}},
    {"program change as a long message",
     {longMsg(0xC5, {0x10})}, {{"C5 10"}, 0xC5}, {{"short 10C5"}, 0xC5}},
    {"a lone status as a long message",
     {longMsg(0xF6, {})}, {{"F6"}, 0xF6}, {{"short F6"}, 0xF6}},
    {"a long message always carries its status and takes over running status",
     {shortMsg(0x90, 1, 2), longMsg(0x90, {3, 4, 5, 6}), shortMsg(0x90, 7, 8)},
     {{"90 01 02", "90 03 04 05 06", "07 08"}, 0x90},
     {{"short 20190", "long 90 03 04 05 06", "short 807"}, 0x90}},
    {"only the low eight bits go out",
     {shortMsg(0x90, 0x13C, 0x264), direct(0x1FA)},
     {{"90 3C 64", "FA"}, 0x1FA},
     {{"short 643C90", "long FA"}, 0x90}},
};
// clang-format on

TEST(MidiPortSends, SerialLineReceivesEachMessageInOneWrite) {
  for (const SendCase& c : kSendCases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    ASSERT_EQ(tessaro::openMidiPort(rig.port, 1, kMapper), 0);
    run(rig.port, c.ops);
    EXPECT_EQ(serialWrites(rig), c.serial.out);
    EXPECT_EQ(rig.port.lastStatus, c.serial.lastStatus);
    EXPECT_EQ(rig.log.captured(), "COM1 Initialized.\n");
  }
}

TEST(MidiPortSends, MessageDeviceReceivesPackedWordsAndBlocks) {
  for (const SendCase& c : kSendCases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    ASSERT_EQ(tessaro::openMidiPort(rig.port, 0, kMapper), 0);
    run(rig.port, c.ops);
    EXPECT_EQ(mapperOut(rig), c.mapper.out);
    EXPECT_EQ(rig.port.lastStatus, c.mapper.lastStatus);
    EXPECT_EQ(rig.log.captured(), "");
  }
}

TEST(MidiPortSends, LongMessagesOfAnySizeArriveWhole) {
  // Larger than the port's first buffer, then smaller, then larger again.
  const std::vector<std::vector<uint8_t>> bodies = {pattern(5000, 1), pattern(3, 2),
                                                    pattern(1500, 3), pattern(5000, 4)};
  for (int selector : {0, 1}) {
    SCOPED_TRACE(selector == 0 ? "message device" : "serial");
    Rig rig;
    ASSERT_EQ(tessaro::openMidiPort(rig.port, selector, kMapper), 0);
    for (const auto& body : bodies)
      ASSERT_EQ(
          tessaro::sendLongMessage(rig.port, 0xF0, body.data(), static_cast<int>(body.size())), 0);
    std::vector<std::vector<uint8_t>> got;
    if (selector == 0) {
      for (const auto& r : rig.midi.records) got.push_back(r.bytes);
    } else {
      for (const auto& w : rig.serial.writes) got.push_back(w.bytes);
    }
    ASSERT_EQ(got.size(), bodies.size());
    for (size_t i = 0; i < bodies.size(); ++i) {
      std::vector<uint8_t> expected{0xF0};
      expected.insert(expected.end(), bodies[i].begin(), bodies[i].end());
      EXPECT_EQ(got[i], expected) << "message " << i;
    }
  }
}

TEST(MidiPortSends, GmSystemOnResetsTheModuleAndIsCounted) {
  for (int selector : {0, 1}) {
    Rig rig;
    ASSERT_EQ(tessaro::openMidiPort(rig.port, selector, kMapper), 0);
    EXPECT_EQ(tessaro::sendGmSystemOn(rig.port), 0);
    EXPECT_EQ(rig.port.resets, 1u);
    EXPECT_EQ(
        selector == 0 ? mapperOut(rig) : serialWrites(rig),
        std::vector<std::string>{selector == 0 ? "long F0 7E 7F 09 01 F7" : "F0 7E 7F 09 01 F7"});
    EXPECT_EQ(rig.port.lastStatus, 0xF0);
  }
}

TEST(MidiPortSends, ReleasingThePreviousBlockWaitsWhileTheDeviceStillPlaysIt) {
  struct Case {
    int stillPlaying;
    uint32_t unprepareResult;
    std::string log;
  };
  const Case cases[] = {
      {3, 0, "Error Unpreparing long msg for MIDI mapper : Still Playing (1).\n"},
      {0, 5, "Error Unpreparing long msg for MIDI mapper : Handle Invalid.\n"},
      {0, 11, "Error Unpreparing long msg for MIDI mapper : Address Invalid.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    Rig rig;
    ASSERT_EQ(tessaro::openMidiPort(rig.port, 0, kMapper), 0);
    run(rig.port, {longMsg(0xF0, {1, 2, 3})});
    rig.midi.last->stillPlayingCount = c.stillPlaying;
    rig.midi.last->unprepareResult = c.unprepareResult;
    send(rig.port, longMsg(0xF0, {4, 5, 6}));
    // Nothing to release before the first block; the second waits for the first.
    std::vector<std::string> calls{"prepare", "long"};
    calls.insert(calls.end(), static_cast<size_t>(c.stillPlaying) + 1, "unprepare");
    calls.insert(calls.end(), {"prepare", "long"});
    EXPECT_EQ(rig.midi.calls, calls);
    EXPECT_EQ(rig.clock.sleeps, std::vector<int32_t>(static_cast<size_t>(c.stillPlaying), 1));
    EXPECT_EQ(rig.log.captured(), c.log);
    EXPECT_EQ(mapperOut(rig).back(), "long F0 04 05 06");
  }
}

// A device that keeps reading the block it was given until it lets go of it, and notices
// when the block changes under it.
class HoldingDevice : public platform::MidiOutDevice {
 public:
  explicit HoldingDevice(int playsFor) : playsFor_(playsFor) {}
  uint32_t shortMessage(uint32_t) override { return platform::midiOk; }
  uint32_t prepareLong(const uint8_t*, size_t) override {
    check();
    return platform::midiOk;
  }
  uint32_t sendLong(const uint8_t* data, size_t length) override {
    check();
    held_ = data;
    heldCopy_.assign(data, data + length);
    remaining_ = playsFor_;
    sent.push_back(heldCopy_);
    return platform::midiOk;
  }
  uint32_t unprepareLong(const uint8_t*, size_t) override {
    check();
    if (held_ != nullptr && remaining_ > 0) {
      --remaining_;
      return platform::midiErrorStillPlaying;
    }
    held_ = nullptr;
    return platform::midiOk;
  }
  uintptr_t handleValue() const override { return 1; }

  bool intact = true;
  std::vector<std::vector<uint8_t>> sent;

 private:
  void check() {
    if (held_ != nullptr && !std::equal(heldCopy_.begin(), heldCopy_.end(), held_)) intact = false;
  }
  int playsFor_;
  int remaining_ = 0;
  const uint8_t* held_ = nullptr;
  std::vector<uint8_t> heldCopy_;
};

class HoldingOutputs : public platform::MidiOutputs {
 public:
  explicit HoldingOutputs(int playsFor) : playsFor_(playsFor) {}
  platform::MidiOpenResult open(uint32_t) override {
    auto device = std::make_unique<HoldingDevice>(playsFor_);
    last = device.get();
    return {std::move(device), 0, ""};
  }
  HoldingDevice* last = nullptr;

 private:
  int playsFor_;
};

TEST(MidiPortSends, NeverOverwritesABlockTheDeviceStillReads) {
  for (int playsFor : {0, 20, INT_MAX}) {
    SCOPED_TRACE(playsFor);
    HoldingOutputs midi(playsFor);
    Rig rig(&midi);
    MidiPort& port = rig.port;
    ASSERT_EQ(tessaro::openMidiPort(port, 0, kMapper), 0);
    const auto first = pattern(600, 11), second = pattern(600, 50), third = pattern(2000, 90);
    tessaro::sendLongMessage(port, 0xF0, first.data(), static_cast<int>(first.size()));
    tessaro::sendLongMessage(port, 0xF0, second.data(), static_cast<int>(second.size()));
    tessaro::sendDirectByte(port, 0xFE);
    tessaro::sendLongMessage(port, 0xF0, third.data(), static_cast<int>(third.size()));
    EXPECT_TRUE(midi.last->intact);
    ASSERT_EQ(midi.last->sent.size(), 4u);
    EXPECT_EQ(midi.last->sent[1].size(), 601u);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), midi.last->sent[1].begin() + 1));
    EXPECT_EQ(midi.last->sent[2], std::vector<uint8_t>{0xFE});
    EXPECT_TRUE(std::equal(third.begin(), third.end(), midi.last->sent[3].begin() + 1));
    rig.exits.runAll();
  }
}

struct FailureCase {
  int selector;  // serial failures fail the write, device failures the named call
  uint32_t CaptureMidiOut::*call;
  uint32_t code;
  Op op;
  std::string log;
};

// clang-format off
const std::vector<FailureCase> kFailureCases = {
    {1, nullptr, 31, shortMsg(0x90, 1, 2), ".31 Error Sending short msg to COM "},
    {1, nullptr, 31, longMsg(0xF0, {1, 0xF7}), ".31 Error Sending long msg to COM "},
    {1, nullptr, 31, direct(0xF8), ".31 Error Sending direct msg to COM "},
    {0, &CaptureMidiOut::shortResult, 5, shortMsg(0x90, 1, 2),
     "Error Sending short msg to MIDI mapper "},
    {0, &CaptureMidiOut::longResult, 5, longMsg(0xF0, {1, 2, 3}),
     "Error Sending long msg to MIDI mapper "},
    {0, &CaptureMidiOut::prepareResult, 5, longMsg(0xF0, {1, 2, 3}),
     "Error Preparing long msg to MIDI mapper : Handle Invalid.\n"},
    {0, &CaptureMidiOut::prepareResult, 11, direct(0xF8),
     "Error Preparing long msg to MIDI mapper : Address Invalid.\n"},
    {0, &CaptureMidiOut::prepareResult, 7, longMsg(0xF0, {1, 2, 3}),
     "Error Preparing long msg to MIDI mapper : Unable to allocate locked memory.\n"},
};
// clang-format on

TEST(MidiPortSends, FailedSendsTellTheUserAndReturnAnError) {
  for (const FailureCase& c : kFailureCases) {
    SCOPED_TRACE(c.log);
    Rig rig;
    ASSERT_EQ(tessaro::openMidiPort(rig.port, c.selector, kMapper), 0);
    rig.log.clearCaptured();
    if (c.call == nullptr) {
      rig.serial.writeFailure = static_cast<int>(c.code);
    } else {
      rig.midi.last->*c.call = c.code;
    }
    EXPECT_EQ(send(rig.port, c.op), -1);
    EXPECT_EQ(rig.log.captured(), c.log);
    EXPECT_TRUE(rig.serial.writes.empty());
  }
}

// A send that a stop interrupted may have left part of its message on the wire: nothing is said,
// the line has not failed, and the next message carries its status byte, for each kind of send.
TEST(MidiPortSends, AnInterruptedSendEndsRunningStatusButNotTheLine) {
  using Send = std::function<int(MidiPort&)>;
  const Send note = [](MidiPort& p) { return tessaro::sendShortMessage(p, 0x90, 0x3C, 0x40); };
  const uint8_t two[] = {0x3E, 0x40};
  const Send longNote = [&two](MidiPort& p) { return tessaro::sendLongMessage(p, 0x90, two, 2); };
  const Send direct = [](MidiPort& p) { return tessaro::sendDirectByte(p, 0x90); };
  for (const Send& cut : {note, longNote, direct}) {
    Rig rig;
    ASSERT_EQ(tessaro::openMidiPort(rig.port, 1, kMapper), 0);
    rig.log.clearCaptured();
    ASSERT_EQ(note(rig.port), 0);
    rig.serial.writeFailure = platform::serialWriteInterrupted;
    EXPECT_EQ(cut(rig.port), -1);
    rig.serial.writeFailure = 0;
    EXPECT_EQ(note(rig.port), 0);
    EXPECT_EQ(serialWrites(rig), (std::vector<std::string>{"90 3C 40", "90 3C 40"}));
    EXPECT_EQ(rig.log.captured(), "");
    EXPECT_FALSE(tessaro::outputLost(rig.port));
  }
}

struct OpenCase {
  int selector;
  int disp;
  SerialOpenResult::Step failedStep;
  int error;
  int result;
  std::string log;
};

TEST(MidiPortOpen, SerialPortsByNumber) {
  using Step = SerialOpenResult::Step;
  const std::vector<OpenCase> cases = {
      {1, 0, Step::done, 0, 0, "COM1 Initialized.\n"},
      {9, 1, Step::done, 0, 0, "COM9 Initialized.\nMIDI COM9 Open OK.\n"},
      {12, 0, Step::done, 0, 0, "COM12 Initialized.\n"},
      {99, 1, Step::done, 0, 0, "COM99 Initialized.\nMIDI COM99 Open OK.\n"},
      {100, 1, Step::done, 0, -1, ""},
      {-1, 1, Step::done, 0, -1, ""},
      {3, 1, Step::open, 2, -1,
       "tessaro: COM3: line busy\nCannot open COM3 in CreateFile (2)(==ERROR_FILE_NOT_FOUND)\n"},
      {3, 1, Step::open, 123, -1,
       "tessaro: COM3: line busy\nCannot open COM3 in CreateFile (123)(==ERROR_INVALID_NAME)\n"},
      {42, 0, Step::open, 5, -1,
       "tessaro: COM42: line busy\nCannot open COM42 in CreateFile (5)\n"},
      {3, 1, Step::getState, 31, -1, "tessaro: COM3: line busy\nCannot GetCommState (31)\n"},
      {3, 1, Step::setState, 87, -1, "tessaro: COM3: line busy\nCannot SetCommState (87)\n"},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.selector);
    SCOPED_TRACE(c.log);
    Rig rig;
    rig.serial.openFailure.failedStep = c.failedStep;
    rig.serial.openFailure.error = c.error;
    rig.serial.openFailure.reason = "line busy";
    rig.port.lastStatus = 0x90;
    EXPECT_EQ(tessaro::openMidiPort(rig.port, c.selector, kMapper, c.disp != 0), c.result);
    EXPECT_EQ(rig.log.captured(), c.log);
    // Why the device did not open, on the error stream; the port's own words stay on the console.
    bool failed = c.failedStep != Step::done;
    EXPECT_EQ(rig.log.capturedErrors(),
              failed ? "tessaro: COM" + std::to_string(c.selector) + ": line busy\n" : "");
    if (c.selector >= 1 && c.selector <= 99) {
      EXPECT_EQ(rig.serial.opened, std::vector<int>{c.selector});
    } else {
      EXPECT_TRUE(rig.serial.opened.empty());
    }
    EXPECT_TRUE(rig.midi.last == nullptr);
    if (c.result == 0) {
      // A fresh port has no running status: the first note carries its status byte.
      EXPECT_EQ(tessaro::sendShortMessage(rig.port, 0x90, 1, 2), 0);
      EXPECT_EQ(serialWrites(rig), std::vector<std::string>{"90 01 02"});
    }
  }
}

TEST(MidiPortOpen, MessageDevice) {
  for (int disp : {0, 1}) {
    Rig rig;
    rig.port.lastStatus = 0x90;
    EXPECT_EQ(tessaro::openMidiPort(rig.port, 0, kMapper, disp != 0), 0);
    EXPECT_EQ(rig.midi.openedId, kMapper);
    EXPECT_TRUE(rig.serial.opened.empty());
    EXPECT_EQ(rig.log.captured(), disp == 0 ? "" : "MIDI Mapper Open OK. (1234)\n");
    EXPECT_EQ(rig.port.lastStatus, -1);
  }
  Rig rig;
  rig.midi.failOpen = true;
  EXPECT_EQ(tessaro::openMidiPort(rig.port, 0, 3, true), -1);
  EXPECT_EQ(rig.midi.openedId, 3u);
  EXPECT_EQ(rig.log.captured(),
            "tessaro: MIDI output: no MIDI output device\nMIDI Mapper Out Open Error.\n");
  EXPECT_EQ(rig.log.capturedErrors(), "tessaro: MIDI output: no MIDI output device\n");
  EXPECT_EQ(tessaro::sendShortMessage(rig.port, 0x90, 1, 2), -1);
}

TEST(MidiPortClose, MessageDeviceIsReleasedAtExit) {
  for (bool pending : {false, true}) {
    SCOPED_TRACE(pending);
    Rig rig;
    ASSERT_EQ(tessaro::openMidiPort(rig.port, 0, kMapper), 0);
    run(rig.port, {shortMsg(0x90, 1, 2)});
    if (pending) run(rig.port, {longMsg(0xF0, {1, 2, 3})});
    rig.midi.calls.clear();
    rig.exits.runAll();
    EXPECT_EQ(rig.midi.calls,
              pending ? std::vector<std::string>{"unprepare"} : std::vector<std::string>{});
    EXPECT_EQ(tessaro::sendShortMessage(rig.port, 0x80, 1, 0), -1);
    EXPECT_EQ(rig.midi.records.size(), pending ? 2u : 1u);
  }
}

TEST(MidiPortClose, SerialLineDrainsBeforeClosing) {
  Rig rig;
  ASSERT_EQ(tessaro::openMidiPort(rig.port, 2, kMapper), 0);
  run(rig.port, {shortMsg(0x90, 1, 2)});
  tessaro::closeMidiPort(rig.port);
  EXPECT_EQ(rig.clock.sleeps, std::vector<int32_t>{500});
  EXPECT_EQ(tessaro::sendShortMessage(rig.port, 0x80, 1, 0), -1);
  EXPECT_EQ(serialWrites(rig), std::vector<std::string>{"90 01 02"});
}

TEST(MatchesPrefixNoCase, LettersMatchInEitherCaseAndNothingElseFolds) {
  struct Case {
    const char* text;
    const char* prefix;
    int result;
  };
  // clang-format off
  const Case cases[] = {
      {"repeat 2", "REPEAT", 0}, {"REP", "REPEAT", -1}, {"song.mid", ".MID", -1},
      {".midi", ".MID", 0},      {".MID", ".mid", 0},   {"anything", "", 0},
      {"", "", 0},               {"", "A", -1},         {"Zz", "zZ", 0},
      {"@", "`", -1},            {"[", "{", -1},        {"\xE0", "\xC0", -1},
      {"1a", "1B", -1},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(tessaro::matchesPrefixNoCase(c.text, c.prefix), c.result)
        << '"' << c.text << "\" vs \"" << c.prefix << '"';
  }
}

}  // namespace
