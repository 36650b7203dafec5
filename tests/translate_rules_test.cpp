// The translation rules one message at a time: a song's message in, what the module hears
// out, for each target, the convention the song has shown and the part the message plays on.
#include <gtest/gtest.h>

#include "support/translate_rig.h"
#include "translate/xg_tables.h"

using tessaro::translate::xgDrumKitExists;
using tessaro::translate::xgVoiceExists;

namespace tessaro::testing {
namespace {

const std::string gsReset = "F0 41 10 42 12 40 00 7F 00 41 F7";
const std::string xgOn = "F0 43 10 4C 00 00 7E 00 F7";
const std::string sc88Mode1 = "F0 41 10 42 12 00 00 7F 00 01 F7";
const std::string sc88Mode2 = "F0 41 10 42 12 00 00 7F 01 00 F7";
const std::string partLevel = "F0 41 10 42 12 40 11 19 64 0A F7";

// A GS data set to device 0x10 at address `address` with its data and a checksum.
std::string gs(const std::string& address, const std::string& data) {
  return "F0 41 10 42 12 " + address + " " + data + " 00 F7 ";
}

// The pattern on all 16 channels, "Bn" standing for each channel's controller status.
std::string everyChannel(const std::string& pattern) {
  std::string out;
  for (int c = 0; c < 16; ++c) {
    std::string one = pattern;
    for (size_t at = one.find("Bn"); at != std::string::npos; at = one.find("Bn"))
      one.replace(at, 2, hexOf({static_cast<uint8_t>(0xB0 + c)}));
    out += (out.empty() ? "" : " ") + one;
  }
  return out;
}
std::string fineTuning(const std::string& msbLsb) {
  std::string v = msbLsb.substr(0, 2) + " Bn 26 " + msbLsb.substr(3);
  return everyChannel("Bn 64 01 Bn 65 00 Bn 06 " + v + " Bn 64 7F Bn 65 7F");
}

struct SysExCase {
  const char* name;
  To target;
  Song before;
  std::string message;
  Song after;
  std::string heard;
};

class SysExRules : public ::testing::TestWithParam<SysExCase> {};

SongConvention conventionOf(Song song) {
  return song == Song::gs   ? SongConvention::gs
         : song == Song::xg ? SongConvention::xg
                            : SongConvention::undecided;
}

TEST_P(SysExRules, HeardAndMarked) {
  const SysExCase& c = GetParam();
  TranslateRig rig(c.target, c.before);
  rig.feed(c.message);
  EXPECT_EQ(rig.heard(), c.heard);
  EXPECT_EQ(rig.translator.shown, conventionOf(c.after));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SysExRules, ::testing::Values(
    SysExCase{"GsResetToXg", To::xg, Song::undecided, gsReset, Song::gs, xgSetup(0)},
    SysExCase{"GsResetToAllDevices", To::xg, Song::undecided, "F0 41 7F 42 12 40 00 7F 00 41 F7",
              Song::gs, xgSetup(0)},
    SysExCase{"GsResetToGm", To::gm, Song::undecided, gsReset, Song::gs, gmSystemOn},
    SysExCase{"GsResetUntranslated", To::none, Song::undecided, gsReset, Song::gs, gsReset},
    SysExCase{"XgOnToXg", To::xg, Song::undecided, xgOn, Song::xg, xgOn},
    SysExCase{"XgOnToGm", To::gm, Song::undecided, xgOn, Song::xg, gmSystemOn},
    SysExCase{"XgOnUntranslated", To::none, Song::undecided, xgOn, Song::xg, xgOn},
    SysExCase{"LaterXgOnMakesAGsSongXg", To::xg, Song::gs, xgOn, Song::xg, xgOn},
    SysExCase{"Sc88Mode1ToXg", To::xg, Song::undecided, sc88Mode1, Song::gs, xgSetup(1)},
    SysExCase{"Sc88Mode1ToGm", To::gm, Song::undecided, sc88Mode1, Song::gs, gmSystemOn},
    SysExCase{"Sc88Mode2IsDropped", To::xg, Song::undecided, sc88Mode2, Song::undecided, ""},
    SysExCase{"Sc88Mode2UntranslatedMarksGs", To::none, Song::undecided, sc88Mode2, Song::gs, sc88Mode2},
    SysExCase{"RolandUntranslatedKeepsXg", To::none, Song::xg, partLevel, Song::xg, partLevel},
    SysExCase{"PartParameterWithoutReset", To::xg, Song::undecided, partLevel, Song::gs, xgSetup(1)},
    SysExCase{"PartPanWithoutResetToGm", To::gm, Song::undecided, gs("40 11 1C", "30"), Song::gs,
              gmSystemOn + " B0 0A 30"},
    SysExCase{"RolandAfterXgOn", To::xg, Song::xg, partLevel, Song::gs, xgSetup(1)},
    SysExCase{"PartParameterIsDropped", To::xg, Song::gs, partLevel, Song::gs, ""},
    SysExCase{"InsertionEffectIsDropped", To::xg, Song::gs, gs("40 03 00", "01"), Song::gs, ""},
    SysExCase{"DisplayIsDropped", To::xg, Song::gs, "F0 41 10 45 12 10 00 00 41 42 2D F7",
              Song::gs, ""},
    SysExCase{"OtherDeviceIsDropped", To::xg, Song::gs, "F0 41 11 42 12 40 11 1C 30 00 F7",
              Song::gs, ""},
    SysExCase{"ShortRolandPasses", To::xg, Song::undecided, "F0 41 10 42 12 40 00 F7",
              Song::undecided, "F0 41 10 42 12 40 00 F7"},
    SysExCase{"OtherMakersPass", To::xg, Song::gs, "F0 43 10 4C 02 01 00 01 10 F7", Song::gs, "F0 43 10 4C 02 01 00 01 10 F7"},
    SysExCase{"UniversalPasses", To::xg, Song::gs, gmSystemOn, Song::gs, gmSystemOn},
    SysExCase{"MasterTuneCentre", To::xg, Song::gs, gs("40 00 00", "00 04 00 00"), Song::gs, fineTuning("40 00")},
    // +12.8 cents: 128 tenths above the centre are 1049 of the 8192 steps per 100 cents.
    SysExCase{"MasterTuneEveryNibble", To::xg, Song::gs, gs("40 00 00", "00 04 08 00"), Song::gs,
              fineTuning("48 19")},
    SysExCase{"MasterTuneHighest", To::gm, Song::gs, gs("40 00 00", "00 07 0E 08"), Song::gs, fineTuning("7F 7F")},
    SysExCase{"MasterTuneLowest", To::xg, Song::gs, gs("40 00 00", "00 00 01 08"), Song::gs, fineTuning("00 00")},
    SysExCase{"MasterTuneMasksNibbles", To::xg, Song::gs, gs("40 00 00", "F0 F4 F0 F0"), Song::gs,
              fineTuning("40 00")},
    // The last nibble's place holds the checksum: the nibble is missing and counts as 0.
    SysExCase{"MasterTuneCutShort", To::xg, Song::gs, "F0 41 10 42 12 40 00 00 00 04 00 05 F7",
              Song::gs, fineTuning("40 00")},
    SysExCase{"MasterKeyShift", To::xg, Song::gs, gs("40 00 05", "4C"), Song::gs, everyChannel("Bn 64 02 Bn 65 00 Bn 06 4C Bn 64 7F Bn 65 7F")},
    SysExCase{"MasterKeyShiftLimited", To::xg, Song::gs, gs("40 00 05", "99"), Song::gs, everyChannel("Bn 64 02 Bn 65 00 Bn 06 7F Bn 64 7F Bn 65 7F")},
    SysExCase{"PanOfPart3", To::xg, Song::gs, gs("40 13 1C", "30"), Song::gs, "B2 0A 30"},
    SysExCase{"PanOfPart10", To::xg, Song::gs, gs("40 10 1C", "7F"), Song::gs, "B9 0A 7F"},
    SysExCase{"PanOfPart11", To::gm, Song::gs, gs("40 1A 1C", "00"), Song::gs, "BA 0A 00"},
    SysExCase{"PanToAllDevices", To::xg, Song::gs, "F0 41 7F 42 12 40 1F 1C 20 00 F7", Song::gs,
              "BF 0A 20"},
    SysExCase{"PanLimited", To::xg, Song::gs, gs("40 11 1C", "C0"), Song::gs, "B0 0A 7F"},
    SysExCase{"PanWithoutData", To::xg, Song::gs, "F0 41 10 42 12 40 11 1C F7", Song::gs, "B0 0A 00"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// State a GS song's parameters leave for the channel rules, and the master volume's cut.
TEST(SysExState, ParametersSetTheState) {
  using State = translate::Translator;
  using Read = int32_t (*)(const State&, const RecordedActions&);
  auto cut = [](const State&, const RecordedActions& out) {
    return out.cuts.empty() ? -1 : out.cuts.back();
  };
  struct Case {
    std::string messages;
    Read read;
    int32_t expected;
  } cases[] = {
      {gs("40 11 15", "02"), [](const State& s, const auto&) { return s.channels[0].rhythmMode; },
       2},
      {gs("40 11 15", "02"), [](const State& s, const auto&) { return s.channels[1].rhythmMode; },
       0},
      {gs("40 10 15", "00"), [](const State& s, const auto&) { return s.channels[9].rhythmMode; },
       0},
      {gs("40 10 15", "00"), [](const State& s, const auto&) { return s.channels[9].userDrumSet; },
       0},
      {gs("40 10 15", "02"), [](const State& s, const auto&) { return s.channels[9].userDrumSet; },
       0x40},
      {gs("40 1A 15", "01"), [](const State& s, const auto&) { return s.channels[10].rhythmMode; },
       1},
      {gs("40 19 15", "01"), [](const State& s, const auto&) { return s.channels[8].rhythmMode; },
       1},
      {gs("20 11 05", "40"),
       [](const State& s, const auto&) { return s.UserToneTable[133 * 16 + 1]; }, 0x40},
      {gs("21 0C 26", "E0"),
       [](const State& s, const auto&) { return s.UserDrumTable[38 * 16 + 12]; }, 0x7F},
      {gs("20 1F 80", "10") + gs("21 1F F6", "10"),
       [](const State& s, const auto&) {
         return static_cast<int32_t>(
             std::count(s.UserToneTable.begin(), s.UserToneTable.end(), -1) +
             std::count(s.UserDrumTable.begin(), s.UserDrumTable.end(), -1));
       },
       8192},
      {gs("40 00 04", "64"), cut, 27},
      {gs("40 00 04", "64") + gs("40 00 04", "7F"), cut, 0},
      {gs("40 00 04", "64") + gs("40 00 04", "50"), cut, 47},
      {gs("40 00 04", "E0"), cut, 0},
  };
  for (const Case& c : cases) {
    TranslateRig rig(To::xg, Song::gs);
    rig.translator.channels[9].userDrumSet = 0x40;
    rig.feed(c.messages);
    EXPECT_EQ(c.read(rig.translator, rig.out), c.expected) << c.messages;
  }
}

TEST(SysExSetUp, ExactMessagesAndPauses) {
  TranslateRig rig(To::xg);
  rig.feed(gsReset);
  const std::vector<std::string> expected = {
      "reset",        xgOn,
      "pause 100/50", "F0 43 10 4C 02 01 00 01 01 F7",
      "pause 20/20",  "F0 43 10 4C 02 01 5A 01 F7",
      "pause 100/20", "F0 43 10 4C 02 01 40 01 00 F7",
      "pause 820/20", "B9 00 7F",
      "B9 20 00",     "C9 00",
      "B9 00 00",     "pause 20/10",
  };
  EXPECT_EQ(rig.out.steps, expected);
  EXPECT_EQ(rig.out.shifted, 1060u);
}

TEST(SysExPause, ResetsAndFastForward) {
  struct Case {
    To target;
    bool fastForward;
    std::string message;
    uint32_t shift;
    std::vector<int32_t> sleeps;
    bool repaint;
  } cases[] = {
      {To::gm, false, xgOn, 100, {50}, true},  // the GM reset step
      {To::none, true, gmSystemOn, 50, {50}, true},
      {To::xg, true, xgOn, 50, {50}, true},
      {To::none, true, gsReset, 50, {50}, true},
      {To::xg, true, "F0 43 10 4C 02 01 00 01 10 F7", 4, {4}, false},
      {To::none, false, gmSystemOn, 0, {}, false},
      {To::xg, true, gsReset, 1060, {50, 20, 20, 20, 10}, true},  // the set-up's pauses only
  };
  for (const Case& c : cases) {
    TranslateRig rig(c.target);
    rig.context.fastForward = c.fastForward;
    rig.feed(c.message);
    EXPECT_EQ(rig.out.shifted, c.shift) << c.message;
    EXPECT_EQ(rig.out.sleeps, c.sleeps) << c.message;
    EXPECT_EQ(rig.out.resets != 0, c.repaint) << c.message;
  }
}

// Every Roland address rule cut short at each length, or padded with bytes above 127: no read
// past the message (its buffer has exactly its length), only 7-bit data on the wire.
TEST(SysExBadInput, ShortAndOverflowingRolandMessages) {
  for (To target : {To::xg, To::gm, To::none}) {
    for (const char* address : {"40 00 00", "40 00 05", "40 11 1C", "40 00 04", "40 11 15",
                                "20 11 05", "21 11 26", "40 00 7F", "00 00 7F"}) {
      for (const char* fill : {"", "E5", "E5 E5", "E5 E5 E5", "00 00", "00 00 00 00 00"}) {
        TranslateRig rig(target);
        rig.feed("F0 41 10 42 12 " + std::string(address) + " " + fill + " F7 B0 07 64");
        rig.heard();
      }
    }
    for (const char* m : {"F0 F7", "F0 41 F7", "F0 43 F7", "F0 7E F7", "F0 43 10 4C 00 F7"}) {
      TranslateRig rig(target);
      rig.feed(m);
      EXPECT_EQ(rig.heard(), m);
      EXPECT_EQ(rig.translator.shown, SongConvention::undecided);
    }
  }
}

// The state of the message's channel before the message.
struct Part {
  int rhythmMode = 0;
  int bankMsb = 0;
  int bankLsb = 0;
  int program = 0;
  int userDrumSet = 0;
  int xgDrumChannel = 0;
};

struct Case {
  const char* name;
  To target;
  Song song;
  Part part;
  std::string in;
  std::string heard;
};

class ChannelRules : public ::testing::TestWithParam<Case> {};

// User drum entries of every case: set 0 plays note 38 as 40, set 1 plays it as 41.
TEST_P(ChannelRules, Heard) {
  const Case& c = GetParam();
  TranslateRig rig(c.target, c.song);
  translate::Translator& s = rig.translator;
  s.UserDrumTable[38 * 16 + 12] = 40;
  s.UserDrumTable[(128 + 38) * 16 + 12] = 41;
  translate::ChannelState& ch = s.channels[messagesOf(hex(c.in)).back()[0] & 0x0F];
  ch.rhythmMode = c.part.rhythmMode;
  ch.bankMsb = c.part.bankMsb;
  ch.bankLsb = c.part.bankLsb;
  ch.program = c.part.program;
  ch.userDrumSet = c.part.userDrumSet;
  ch.xgDrumChannel = c.part.xgDrumChannel;
  rig.feed(c.in);
  EXPECT_EQ(rig.heard(), c.heard);
}

const Part rhythm1{.rhythmMode = 1};
const Part rhythm2{.rhythmMode = 2};
const Part kit8Lsb3{.rhythmMode = 1, .bankLsb = 3, .program = 8};
const Part kit32Lsb2{.rhythmMode = 1, .bankLsb = 2, .program = 32};
const Part userDrums0{.rhythmMode = 1, .userDrumSet = 0x40};
const Part userDrums1{.rhythmMode = 1, .userDrumSet = 0x41};
const std::string xgKitNrpn = " B9 63 1C B9 62 53 B9 06 58 B9 64 7F B9 65 7F";
// User tone 5 of bank 0: bank 30/02, program 12, parameters 3 and 9.
const std::string userTone5 = gs("20 00 05", "02") + gs("20 01 05", "30") + gs("20 02 05", "12") +
                              gs("20 03 05", "50") + gs("20 09 05", "22");
const std::string userToneNrpns = "B0 63 01 B0 62 08 B0 06 50 B0 63 01 B0 62 66 B0 06 22";
// User drum set 1: note 36 parameters 2 and 6; note 38 moved to 40 with parameter 4.
const std::string userDrums =
    gs("21 12 24", "50") + gs("21 16 24", "10") + gs("21 1C 26", "28") + gs("21 14 26", "30");
const std::string userDrumNrpns =
    "B9 63 1A B9 62 24 B9 06 50 B9 63 1E B9 62 24 B9 06 10 B9 63 1C B9 62 28 B9 06 30 B9 64 7F "
    "B9 65 7F";

// clang-format off
INSTANTIATE_TEST_SUITE_P(ProgramChange, ChannelRules, ::testing::Values(
    Case{"GsVariation", To::xg, Song::gs, {.bankMsb = 8}, "C0 04", "B0 00 00 C0 04 B0 00 08"},
    Case{"SoundEffect", To::xg, Song::gs, {.bankMsb = 1}, "C3 7D",
         "B3 00 40 B3 20 00 C3 50 B3 00 01 B3 20 00"},
    Case{"SoundEffectOf120", To::xg, Song::gs, {.bankMsb = 6}, "C0 78",
         "B0 00 40 B0 20 00 C0 05 B0 00 06 B0 20 00"},
    Case{"SoundEffectOf127", To::xg, Song::gs, {.bankMsb = 3}, "C0 7F",
         "B0 00 40 B0 20 00 C0 72 B0 00 03 B0 20 00"},
    Case{"SoundEffectBankOutOfRange", To::xg, Song::gs, {.bankMsb = 10}, "C0 7D",
         "B0 00 00 C0 7D B0 00 0A"},
    Case{"LsbWithoutXgVoice", To::xg, Song::gs, {.bankLsb = 2}, "C0 00", "B0 20 00 C0 00 B0 20 02"},
    Case{"LsbWithXgVoice", To::xg, Song::gs, {.bankLsb = 1}, "C0 00", "C0 00"},
    Case{"BothBanksWithoutXgVoice", To::xg, Song::gs, {.bankMsb = 8, .bankLsb = 2}, "C0 04",
         "B0 00 00 B0 20 00 C0 04 B0 00 08 B0 20 02"},
    Case{"Program98OfBank3", To::xg, Song::gs, {.bankMsb = 3}, "C0 62",
         "B0 00 00 B0 20 00 C0 64 B0 00 03 B0 20 00"},
    Case{"XgBankKeepsItsMsb", To::xg, Song::gs, {.bankMsb = 126, .bankLsb = 3}, "C0 0A",
         "B0 20 00 C0 0A B0 20 03"},
    Case{"Bank00Passes", To::xg, Song::gs, {}, "C0 04", "C0 04"},
    Case{"GsToGm", To::gm, Song::gs, {.bankMsb = 8, .bankLsb = 2}, "C0 04",
         "B0 00 00 B0 20 00 C0 04 B0 00 08 B0 20 02"},
    Case{"GsToGmBank00", To::gm, Song::gs, {}, "C0 04", "C0 04"},
    Case{"KitThatExists", To::xg, Song::gs, rhythm1, "C9 19",
         "B9 00 7F B9 20 00 C9 19 B9 00 00 B9 20 00" + xgKitNrpn},
    Case{"Map2WithoutXgKitBelow49", To::xg, Song::gs, rhythm2, "C1 1E",
         "B1 00 7F B1 20 00 C1 01 B1 00 00 B1 20 00 B1 63 1C B1 62 53 B1 06 58 B1 64 7F B1 65 7F"},
    Case{"Map1WithoutXgKitFrom49", To::xg, Song::gs, rhythm1, "C1 38",
         "B1 00 7F B1 20 00 C1 00 B1 00 00 B1 20 00"},
    Case{"KitToGm", To::gm, Song::gs, rhythm1, "C9 19", ""},
    // A part made a drum part, or a normal part again, by a GS part message (part 1 on channel 1).
    Case{"RhythmPartAtOnceToXg", To::xg, Song::gs, {.program = 25}, gs("40 11 15", "01"),
         "B0 00 7F B0 20 00 C0 19"},
    Case{"NormalPartAgainToXg", To::xg, Song::gs, {.rhythmMode = 2, .bankMsb = 8, .program = 4},
         gs("40 11 15", "00"), "B0 00 00 B0 20 00 B0 00 00 C0 04 B0 00 08"},
    Case{"UserToneToXg", To::xg, Song::gs, {.bankMsb = 64}, userTone5 + "C0 05",
         "B0 00 30 B0 20 02 C0 12 " + userToneNrpns + " B0 64 7F B0 65 7F B0 00 40 B0 20 00"},
    Case{"UserToneToGm", To::gm, Song::gs, {.bankMsb = 64}, userTone5 + "C0 05",
         "B0 00 00 B0 20 00 C0 12 " + userToneNrpns + " B0 64 7F B0 65 7F B0 00 40 B0 20 00"},
    Case{"UnsetUserTone", To::xg, Song::gs, {.bankMsb = 65}, userTone5 + "C0 05",
         "B0 00 00 B0 20 00 C0 05 B0 64 7F B0 65 7F B0 00 41 B0 20 00"},
    Case{"UserDrumSetToXg", To::xg, Song::gs, {.rhythmMode = 1, .bankMsb = 65}, userDrums + "C9 00",
         "B9 00 7F B9 20 00 C9 00 B9 00 41 B9 20 00" + xgKitNrpn + " " + userDrumNrpns},
    Case{"UserDrumSetToGm", To::gm, Song::gs, {.rhythmMode = 1, .bankMsb = 65}, userDrums + "C2 00",
         userDrumNrpns},
    Case{"XgDrumVoiceToGm", To::gm, Song::xg, {.bankMsb = 127}, "C2 00", ""},
    Case{"XgBankToGm", To::gm, Song::xg, {.bankLsb = 5}, "C2 0A", "B2 20 00 C2 0A B2 20 05"},
    Case{"XgBank00ToGm", To::gm, Song::xg, {}, "C2 0A", "C2 0A"},
    Case{"XgSongToXg", To::xg, Song::xg, {.bankMsb = 127}, "C2 00", "C2 00"},
    Case{"GsUntranslated", To::none, Song::gs, {.bankMsb = 8}, "C0 04", "C0 04"},
    Case{"UndecidedSong", To::xg, Song::undecided, {.bankMsb = 8}, "C0 04", "C0 04"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Notes, ChannelRules, ::testing::Values(
    Case{"Note24", To::xg, Song::gs, rhythm1, "99 18 64", "99 18 62"},
    Case{"Note40", To::xg, Song::gs, rhythm1, "99 28 64", "99 28 60"},
    Case{"Note38", To::xg, Song::gs, rhythm1, "99 26 64", "99 26 64"},
    Case{"Note38OfKit8Lsb3", To::xg, Song::gs, kit8Lsb3, "99 26 64", "99 26 5C"},
    Case{"Note45OfKit8Lsb3", To::xg, Song::gs, kit8Lsb3, "99 2D 64", "99 2D 64"},
    Case{"Note43OfKit32Lsb2", To::xg, Song::gs, kit32Lsb2, "99 2B 64", "99 2B 62"},
    Case{"Note45OfKit32Lsb2", To::xg, Song::gs, kit32Lsb2, "99 2D 64", "99 2D 5C"},
    Case{"Note47OfKit32Lsb2", To::xg, Song::gs, kit32Lsb2, "99 2F 64", "99 2F 5C"},
    Case{"Note48OfKit32Lsb2", To::xg, Song::gs, kit32Lsb2, "99 30 64", "99 30 60"},
    Case{"Note50OfKit32Lsb2", To::xg, Song::gs, kit32Lsb2, "99 32 64", "99 32 60"},
    Case{"SoftNoteOnStaysOn", To::xg, Song::gs, rhythm1, "99 28 03", "99 28 01"},
    Case{"NoteOffStopsAtZero", To::xg, Song::gs, rhythm1, "89 28 02", "89 28 00"},
    Case{"DrumToGm", To::gm, Song::gs, rhythm2, "91 18 64 81 18 40", "99 18 62 89 18 3E"},
    Case{"NormalPartToGm", To::gm, Song::gs, {}, "91 18 64", "91 18 64"},
    Case{"UserDrumNote", To::xg, Song::gs, userDrums1, "99 26 64", "99 29 64"},
    Case{"UserDrumNoteUntrimmed", To::xg, Song::gs, userDrums0, "99 28 64", "99 28 64"},
    Case{"UserDrumNoteToGm", To::gm, Song::gs, userDrums0, "92 26 64", "99 28 64"},
    Case{"XgDrumVoiceToGm", To::gm, Song::xg, {.xgDrumChannel = 1}, "92 3C 64", "99 3C 64"},
    Case{"XgNormalToGm", To::gm, Song::xg, {}, "92 3C 64", "92 3C 64"},
    Case{"XgDrumVoiceToXg", To::xg, Song::xg, {.xgDrumChannel = 1}, "92 3C 64", "92 3C 64"},
    Case{"DrumUntranslated", To::none, Song::gs, rhythm1, "91 18 64", "91 18 64"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Controllers, ChannelRules, ::testing::Values(
    Case{"Reverb", To::xg, Song::gs, {}, "B0 5B 28", "B0 5B 50"},
    Case{"ReverbOf98", To::xg, Song::gs, {.program = 98}, "B0 5B 28", "B0 5B 23"},
    Case{"ReverbOfDrums", To::xg, Song::gs, rhythm1, "B9 5B 28", "B9 5B 2D"},
    Case{"ReverbZero", To::xg, Song::gs, {}, "B0 5B 00", "B0 5B 00"},
    Case{"ReverbLimited", To::xg, Song::gs, {}, "B0 5B 64", "B0 5B 7F"},
    Case{"ReverbToGm", To::gm, Song::gs, {}, "B0 5B 28", "B0 5B 50"},
    Case{"ReverbOfXgSong", To::xg, Song::xg, {}, "B0 5B 28", "B0 5B 28"},
    Case{"ReverbUntranslated", To::none, Song::gs, {}, "B0 5B 28", "B0 5B 28"},
    Case{"DrumVolumeMap1", To::xg, Song::gs, rhythm1, "B9 07 64", "B9 07 5C"},
    Case{"DrumVolumeMap2", To::xg, Song::gs, rhythm2, "B1 07 64", "B1 07 50"},
    Case{"DrumVolumeMap2Kit53", To::gm, Song::gs, {.rhythmMode = 2, .program = 53}, "B1 07 64",
         "B1 07 48"},
    Case{"DrumVolumeStopsAtZero", To::xg, Song::gs, rhythm1, "B9 07 05", "B9 07 00"},
    Case{"NormalVolume", To::xg, Song::gs, {}, "B0 07 64", "B0 07 64"},
    Case{"DrumVolumeUntranslated", To::none, Song::gs, rhythm1, "B9 07 64", "B9 07 64"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// A song's data bytes above 127 (a broken file) leave as 7-bit values.
TEST(ChannelBadInput, DataBytesAbove127AreMasked) {
  for (To target : {To::none, To::xg}) {
    for (auto [in, heard] :
         {std::pair{"C0 85", "C0 05"}, std::pair{"90 3C C0", "90 3C 40"},
          std::pair{"B0 0A FF", "B0 0A 7F"}, std::pair{"F2 81 02", "F2 01 02"}}) {
      TranslateRig rig(target, Song::gs);
      rig.feed(hex(in));
      EXPECT_EQ(rig.heard(), heard);
    }
  }
}

TEST(ChannelVolume, OffsetWithAndWithoutTranslation) {
  struct Case {
    To target;
    int rhythmMode;
    int32_t offset;
    std::string in, heard;
    int32_t recorded;
  } cases[] = {
      {To::none, 0, 0, "B5 07 64", "B5 07 64", 100},
      {To::none, 0, -30, "B5 07 64", "B5 07 46", 100},
      {To::none, 0, 40, "B5 07 64", "B5 07 7F", 100},
      {To::none, 0, -256, "B5 07 7F", "B5 07 00", 127},
      {To::xg, 1, 10, "B5 07 64", "B5 07 66", 92},
      {To::gm, 2, -100, "B5 07 64", "B5 07 00", 80},
  };
  for (const Case& c : cases) {
    TranslateRig rig(c.target, Song::gs);
    rig.context.volumeOffset = c.offset;
    rig.translator.channels[5].rhythmMode = c.rhythmMode;
    rig.feed(c.in);
    EXPECT_EQ(rig.heard(), c.heard) << c.offset;
    EXPECT_EQ(rig.translator.channels[5].volume, c.recorded) << c.offset;
  }
}

TEST(ChannelBank, RecordedPerChannel) {
  TranslateRig rig(To::xg, Song::gs);
  rig.feed("B4 00 08 B4 20 02");
  EXPECT_EQ(rig.heard(), "B4 00 08 B4 20 02");
  const translate::ChannelState& ch = rig.translator.channels[4];
  EXPECT_EQ(std::make_pair(ch.bankMsb, ch.bankLsb), std::make_pair(8, 2));
}

// The voice list as written down: LSB 0 for every program, 346 further voices, 18 drum kits.
TEST(XgTables, Counts) {
  int voices = 0, kits = 0;
  for (int p = 0; p < 128; ++p) {
    for (int lsb = 0; lsb < 128; ++lsb) voices += xgVoiceExists(p, lsb);
    kits += xgDrumKitExists(p);
  }
  EXPECT_EQ(voices, 128 + 346);
  EXPECT_EQ(kits, 18);
  EXPECT_FALSE(xgVoiceExists(128, 0) || xgDrumKitExists(-1));
}

}  // namespace
}  // namespace tessaro::testing
