// What a message device makes of what it receives: packed words and byte blocks back into
// whole messages, as the built-in synthesizer and the ALSA sequencer hand them on; that the
// port and the device agree on running status. (That a change of target tells the device its
// convention is a command's effect, tested with the commands.)
#include "stream/midi_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "support/player_rig.h"
#include "support/smf.h"
#include "support/virtual_platform.h"

namespace {

using tessaro::testing::Bytes;
namespace platform = tessaro::platform;

std::string hex(std::span<const uint8_t> bytes) {
  std::string text;
  char cell[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += cell;
  }
  return text;
}

struct Recorder : platform::MidiSink {
  std::vector<std::string> messages;
  void message(std::span<const uint8_t> bytes) override { messages.push_back(hex(bytes)); }
};

// One input of the device: a packed word or a block.
using Input = std::variant<uint32_t, Bytes>;

std::vector<std::string> decode(const std::vector<Input>& inputs) {
  Recorder recorder;
  platform::MidiStreamDecoder decoder(recorder);
  for (const Input& input : inputs) {
    if (const auto* word = std::get_if<uint32_t>(&input)) {
      decoder.shortMessage(*word);
    } else {
      decoder.bytes(std::get<Bytes>(input));
    }
  }
  return recorder.messages;
}

struct DecodeCase {
  const char* name;
  std::vector<Input> in;
  std::vector<std::string> out;
};

TEST(MessageDevice, WordsAndBlocksBecomeWholeMessages) {
  const Bytes gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  const DecodeCase cases[] = {
      {"note on", {0x403C90u}, {"90 3C 40"}},
      {"running status expanded", {0x403C90u, 0x00403Eu}, {"90 3C 40", "90 3E 40"}},
      {"running status of a one-byte message ignores the second byte",
       {0x0010C5u, 0x007F11u},
       {"C5 10", "C5 11"}},
      {"channel pressure takes one byte", {0x7F40D3u}, {"D3 40"}},
      {"pitch bend takes two", {0x4000E1u}, {"E1 00 40"}},
      {"data without any status before it", {0x4040u}, {}},
      {"system exclusive in one block", {gsReset}, {hex(gsReset)}},
      {"an empty system exclusive packed in a word", {0x00F7F0u}, {"F0 F7"}},
      {"system exclusive ends running status",
       {0x403C90u, gsReset, 0x4040u},
       {"90 3C 40", hex(gsReset)}},
      {"real-time inside a message", {Bytes{0x90, 0x3C, 0xF8, 0x40}}, {"F8", "90 3C 40"}},
      {"real-time keeps running status",
       {0x403C90u, Bytes{0xFE}, 0x4040u},
       {"90 3C 40", "FE", "90 40 40"}},
      {"real-time inside a system exclusive",
       {Bytes{0xF0, 0x43, 0xF8, 0x10, 0xF7}},
       {"F8", "F0 43 10 F7"}},
      {"single bytes in separate blocks make one message",
       {Bytes{0x90}, Bytes{0x3C}, Bytes{0x40}},
       {"90 3C 40"}},
      {"running status inside a block",
       {Bytes{0x90, 0x3C, 0x40, 0x3E, 0x41}},
       {"90 3C 40", "90 3E 41"}},
      {"a status byte drops an unfinished system exclusive",
       {Bytes{0xF0, 0x41, 0x10}, Bytes{0xB0, 0x07, 0x64}},
       {"B0 07 64"}},
      {"a word gives up a message left unfinished by a block",
       {Bytes{0x90, 0x3C}, 0x4041u},
       {"90 41 40"}},
      {"system common with its data, ending running status",
       {0x403C90u, Bytes{0xF2, 0x10, 0x20}, Bytes{0xF6}, 0x4040u},
       {"90 3C 40", "F2 10 20", "F6"}},
      {"quarter frame packed in a word", {0x0071F1u}, {"F1 71"}},
      {"an end byte alone ends running status", {0x403C90u, Bytes{0xF7}, 0x4040u}, {"90 3C 40"}},
      {"an escape block carrying a whole system exclusive",
       {Bytes{0xF7, 0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
       {"F0 7E 7F 09 01 F7"}},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decode(c.in), c.out);
  }
}

TEST(MessageDevice, RunawaySystemExclusiveIsDroppedNotHeld) {
  Bytes huge(platform::MidiStreamDecoder::maxSystemExclusive + 10, 0x11);
  huge.front() = 0xF0;
  huge.back() = 0xF7;
  EXPECT_EQ(decode({huge, 0x403C90u}), std::vector<std::string>{"90 3C 40"});
}

// The port (its running status, long messages and direct bytes) in front of a device that
// decodes what it receives: each case lists what the player sends and what the synthesizer
// must play.
struct PortCase {
  const char* name;
  std::function<void(tessaro::MidiPort&)> sends;
  std::vector<std::string> played;
};

TEST(MessageDevice, ThePortAndTheDeviceAgreeOnRunningStatus) {
  using namespace tessaro;
  static const uint8_t one[] = {0x10};
  static const uint8_t two[] = {0x11};
  static const uint8_t pair[] = {0x3E, 0x50};
  const PortCase cases[] = {
      {"same status twice",
       [](MidiPort& p) {
         sendShortMessage(p, 0x90, 0x3C, 0x40);
         sendShortMessage(p, 0x90, 0x3C, 0x00);
       },
       {"90 3C 40", "90 3C 00"}},
      {"program changes with one data byte",
       [](MidiPort& p) {
         sendLongMessage(p, 0xC5, one, 1);
         sendLongMessage(p, 0xC5, two, 1);
       },
       {"C5 10", "C5 11"}},
      {"GM System On between notes",
       [](MidiPort& p) {
         sendShortMessage(p, 0x90, 0x3C, 0x40);
         sendGmSystemOn(p);
         sendLongMessage(p, 0x90, pair, 2);
       },
       {"90 3C 40", "F0 7E 7F 09 01 F7", "90 3E 50"}},
      {"a clock byte leaves running status in force",
       [](MidiPort& p) {
         sendShortMessage(p, 0xB0, 0x07, 0x64);
         sendDirectByte(p, 0xF8);
         sendShortMessage(p, 0xB0, 0x0A, 0x40);
       },
       {"B0 07 64", "F8", "B0 0A 40"}},
      {"direct bytes typed one at a time, then the same status from the player",
       [](MidiPort& p) {
         for (int b : {0x90, 0x3C, 0x40}) sendDirectByte(p, b);
         sendShortMessage(p, 0x90, 0x3C, 0x00);
       },
       {"90 3C 40", "90 3C 00"}},
  };
  for (const PortCase& c : cases) {
    SCOPED_TRACE(c.name);
    tessaro::testing::PlayerRig rig(0);
    c.sends(rig.port);
    Recorder recorder;
    platform::MidiStreamDecoder decoder(recorder);
    for (const auto& r : rig.midi.records) {
      if (r.isLong) {
        decoder.bytes(r.bytes);
      } else {
        decoder.shortMessage(r.word);
      }
    }
    EXPECT_EQ(recorder.messages, c.played);
  }
}

// A song with running status in its tracks, program changes, a system exclusive and two
// channels, played on a serial line and on the message device: the module behind either hears
// the same messages in the same order.
TEST(MessageDevice, ASongSoundsTheSameOnASerialLineAndOnTheDevice) {
  using namespace tessaro::testing;
  Track conductor;
  conductor.tempo(0, 500000).end(0);
  Track music;
  music.ev(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7})
      .ev(0, {0xC0, 0x05})
      .ev(0, {0xC1, 0x30})
      .ev(0, {0x90, 0x3C, 0x50})
      .ev(0, {0x40, 0x50})  // running status
      .ev(0, {0x91, 0x43, 0x50})
      .ev(120, {0xE0, 0x00, 0x48})
      .ev(0, {0x80, 0x3C, 0x00})
      .ev(0, {0x40, 0x00})
      .ev(0, {0x81, 0x43, 0x00})
      .end(0);
  const Bytes song = smf(1, 480, {conductor, music});

  auto heard = [&](int selector) {
    PlayerRig rig(selector);
    rig.play(song);
    Recorder recorder;
    platform::MidiStreamDecoder decoder(recorder);
    decoder.bytes(rig.serial.bytes());
    for (const auto& r : rig.midi.records) {
      if (r.isLong) {
        decoder.bytes(r.bytes);
      } else {
        decoder.shortMessage(r.word);
      }
    }
    return recorder.messages;
  };
  std::vector<std::string> serial = heard(1);
  EXPECT_EQ(heard(0), serial);
  EXPECT_GE(serial.size(), 9u);
}

}  // namespace
