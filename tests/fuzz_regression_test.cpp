// Inputs with which the fuzz targets found faults, replayed through the targets' own checks
// (tests/data/fuzz/<target>/ and the rows below), and each fault as bytes in, bytes out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/fuzz_checks.h"
#include "support/fuzz_live.h"
#include "support/player_rig.h"
#include "support/translate_rig.h"

namespace {

using tessaro::testing::Bytes;
using tessaro::testing::hex;
using tessaro::testing::hexOf;
using tessaro::testing::PlayerRig;
using tessaro::testing::smf;
using tessaro::testing::Track;

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using TargetRun = std::string (*)(const uint8_t*, size_t);

TEST(FuzzFindings, StoredInputsPassTheirTargetsChecks) {
  const std::pair<const char*, TargetRun> targets[] = {
      {"player", tessaro::testing::runPlayerInput},
      {"settings", tessaro::testing::runSettingsInput},
      {"options", tessaro::testing::runOptionsInput},
      {"live", tessaro::testing::runLiveInput},
  };
  std::filesystem::path root = std::filesystem::path(TESSARO_TEST_DATA) / "fuzz";
  int inputs = 0;
  for (const auto& [name, run] : targets) {
    if (!std::filesystem::is_directory(root / name)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(root / name)) {
      Bytes input = readFile(entry.path());
      EXPECT_EQ(run(input.data(), input.size()), "") << entry.path();
      ++inputs;
    }
  }
  EXPECT_GT(inputs, 0);
}

// Control bytes of the player target: serial line or message device, no translation.
const Bytes serialNoTranslation = {0x02, 0x00, 0x00, 0x00};
const Bytes deviceNoTranslation = {0x06, 0x00, 0x00, 0x00};
const Bytes serialToXg = {0x00, 0x00, 0x00, 0x00};
const Bytes deviceToGm = {0x05, 0x00, 0x00, 0x00};

struct PlayerRow {
  const char* name;
  Bytes controls;
  Bytes song;
};

Bytes oneTrack(const Track& track) {
  return smf(0, 96, {track});
}

// A note around an event: what a module hears before and after it.
Track noteAround(const Bytes& event) {
  Track t;
  t.ev(0, {0x90, 60, 100}).raw(0, event).ev(10, {0x80, 60, 0});
  return t.end();
}

// Controller messages at tick 0, each spaced by the set-up pause, then a note at measure 3.
Track setUp(int count) {
  Track t;
  for (int i = 0; i < count; ++i) t.ev(0, {0xB0, 0x07, static_cast<uint8_t>(i & 0x7F)});
  t.ev(0, {0x90, 60, 100}).ev(768, {0x90, 62, 100}).ev(96, {0x80, 60, 0});
  return t.end(96);
}

TEST(FuzzFindings, PlayerInputsPassTheChecks) {
  const PlayerRow rows[] = {
      {"a system exclusive holding a system reset byte, serial", serialNoTranslation,
       oneTrack(noteAround(hex("F0 07 7F 7F FF 02 00 00 F7")))},
      {"a system exclusive holding a note-on, message device", deviceNoTranslation,
       oneTrack(noteAround(hex("F0 06 41 10 91 3C 40 F7")))},
      {"a GS message holding a status byte, translated to XG", serialToXg,
       oneTrack(noteAround(hex("F0 0A 41 10 42 12 40 11 15 82 18 F7")))},
      {"two escapes of two bytes each, message device", deviceNoTranslation,
       oneTrack(noteAround(hex("F7 02 10 20 00 F7 02 10 20")))},
      {"song position pointers in a row, message device, to GM", deviceToGm,
       oneTrack(noteAround(hex("F2 10 20 00 F2 10 20")))},
      {"an escape that opens a system exclusive, between a note's on and off", serialNoTranslation,
       oneTrack(noteAround(hex("F7 03 F0 7E 7F")))},
      {"a note-on sent in an escape, stopped before its note-off",
       {0x02, 0x00, 0x00, 0x01},
       oneTrack(Track()
                    .ev(0, {0xF7, 0x03, 0x90, 0x3C, 0x40})
                    .ev(2000, {0xF7, 0x03, 0x80, 0x3C, 0x00})
                    .end())},
      {"system exclusives of one and two bytes, message device", deviceNoTranslation,
       oneTrack(noteAround(hex("F0 01 F7 00 F0 02 7D F7")))},
      {"system exclusives of one and two bytes, message device, to GM", deviceToGm,
       oneTrack(noteAround(hex("F0 01 F7 00 F0 02 7D F7")))},
      {"500 set-up messages at tick 0, stopped after 100 ms",
       {0x02, 0x00, 0x00, 0x01},
       oneTrack(setUp(500))},
      {"500 set-up messages skipped over to measure 2, stopped after 100 ms",
       {0x02, 0x02, 0x00, 0x01},
       oneTrack(setUp(500))},
  };
  for (const PlayerRow& row : rows) {
    Bytes input = row.controls + row.song;
    EXPECT_EQ(tessaro::testing::runPlayerInput(input.data(), input.size()), "") << row.name;
  }
}

// A system exclusive with a status byte inside is not sent; the song plays on around it.
TEST(FuzzFindings, SystemExclusiveWithAStatusByteInsideIsNotSent) {
  struct Row {
    const char* name;
    const char* event;
    const char* heard;
  };
  const Row rows[] = {
      {"system reset inside", "F0 07 7F 7F FF 02 00 00 F7", "90 3C 64 80 3C 00"},
      {"note-on inside", "F0 06 41 10 91 3C 40 F7", "90 3C 64 80 3C 00"},
      {"well-formed, for contrast", "F0 05 7E 7F 09 01 F7", "90 3C 64 F0 7E 7F 09 01 F7 80 3C 00"},
  };
  for (const Row& row : rows) {
    PlayerRig rig;
    rig.play(oneTrack(noteAround(hex(row.event))));
    Bytes heard;
    for (const Bytes& write : rig.sentBytes()) heard = heard + write;
    EXPECT_EQ(hexOf(heard), row.heard) << row.name;
  }
}

// Notes that escape events send raw are ended by the stop like any other note.
TEST(FuzzFindings, NotesSentInEscapesAreEndedByTheStop) {
  struct Row {
    const char* name;
    const char* escapes;
    const char* silenced;
  };
  const Row rows[] = {
      {"one note-on", "F7 03 90 3C 40", "80 3C 00"},
      {"two notes, one ended in the escape", "F7 07 91 3C 40 3E 40 3C 00", "81 3E 00"},
      {"note-on of velocity 0 ends it", "F7 03 92 3C 40 00 F7 03 92 3C 00", ""},
      {"note-off under running status", "F7 06 93 3C 40 83 3C 00", ""},
      {"a real-time byte inside", "F7 04 94 3C F8 40", "84 3C 00"},
      {"cut short", "F7 02 95 3C", ""},
  };
  for (const Row& row : rows) {
    PlayerRig rig;
    rig.play(oneTrack(Track().raw(0, hex(row.escapes)).end()));
    size_t played = rig.serial.writes.size();
    tessaro::stopPlayback(rig.engine);
    Bytes silence;
    for (size_t i = played; i < rig.serial.writes.size(); ++i) {
      const Bytes& write = rig.serial.writes[i].bytes;
      if (write[0] != 0xF0) silence = silence + write;
    }
    EXPECT_EQ(hexOf(silence), row.silenced) << row.name;
  }
}

// On the message device a repeated system message is sent with its status byte each time:
// running status belongs to channel messages.
TEST(FuzzFindings, RepeatedSystemMessagesKeepTheirStatusOnTheMessageDevice) {
  PlayerRig rig(0);
  const uint8_t data[] = {0x10, 0x20};
  rig.midi.records.clear();
  tessaro::sendLongMessage(rig.port, 0xF7, data, 2);
  tessaro::sendLongMessage(rig.port, 0xF7, data, 2);
  tessaro::sendLongMessage(rig.port, 0xF2, data, 2);
  tessaro::sendLongMessage(rig.port, 0xF2, data, 2);
  tessaro::sendShortMessage(rig.port, 0x90, 0x3C, 0x40);
  tessaro::sendShortMessage(rig.port, 0x90, 0x3E, 0x40);
  std::vector<uint32_t> words;
  for (const auto& record : rig.midi.records) words.push_back(record.word);
  EXPECT_EQ(words,
            (std::vector<uint32_t>{0x2010F7, 0x2010F7, 0x2010F2, 0x2010F2, 0x403C90, 0x403E}));
}

// A system exclusive reaches the message device whole as a long message, however short.
TEST(FuzzFindings, ShortSystemExclusivesAreLongMessagesOnTheMessageDevice) {
  const Bytes bodies[] = {{0xF7}, {0x7D, 0xF7}, {0x7E, 0x7F, 0x09, 0x01, 0xF7}};
  for (const Bytes& body : bodies) {
    PlayerRig rig(0);
    rig.midi.records.clear();
    tessaro::sendLongMessage(rig.port, 0xF0, body.data(), static_cast<int>(body.size()));
    ASSERT_EQ(rig.midi.records.size(), 1u);
    EXPECT_TRUE(rig.midi.records[0].isLong) << hexOf(body);
    EXPECT_EQ(rig.midi.records[0].bytes, Bytes{0xF0} + body);
  }
}

}  // namespace
