// Every public test song, for every target, converted into a MIDI file: the file holds exactly
// the messages a live session sends on its serial line (the program run in virtual time), in
// the same order and at the same milliseconds from the song's first message. Only the wait
// between the song's end and its stop is left out.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/app_rig.h"
#include "support/corpus.h"
#include "support/smf_reader.h"

namespace tessaro::testing {
namespace {

// How long a live session lets a song that ended by itself ring before its stop.
constexpr int64_t ringMs = 2000;
const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

struct Case {
  std::string song;
  std::string target;  // "xg", "gm" or "nc"
};

std::vector<Case> cases() {
  std::vector<Case> out;
  for (const std::string& song : corpusSongs())
    for (const char* target : {"xg", "gm", "nc"}) out.push_back({song, target});
  return out;
}

class CorpusConversion : public ::testing::TestWithParam<Case> {};

TEST_P(CorpusConversion, FileHoldsTheLiveWire) {
  const Case& c = GetParam();
  AppRig live;
  live.run({"/com1", "/" + c.target, c.song});
  std::vector<Captured> sent = live.serial.writes;
  ASSERT_EQ(sent.back().bytes, gmSystemOn);
  sent.pop_back();  // the one that ends the run

  const std::string dir = makeTempDir("tessaro-conversion-");
  AppRig offline;
  int status = offline.run({"/" + c.target, "-o", dir + "/", c.song});
  const std::string name = std::filesystem::path(c.song).stem().string() + "." + c.target;
  MidiFileRead file = readMidiFile(dir + "/" + name + ".mid");
  std::filesystem::remove_all(dir);
  if (status == 1) {
    // Nothing to play: the live session sent nothing for the song either.
    EXPECT_TRUE(sent.empty()) << offline.out();
    EXPECT_EQ(file.problem, "no MThd header of 6 bytes and MTrk");
    return;
  }
  ASSERT_EQ(status, 0) << offline.out();
  ASSERT_EQ(file.problem, "");
  EXPECT_EQ(file.format, 0);
  EXPECT_EQ(file.division, 500);
  std::vector<FileEvent> wire = file.wire();
  ASSERT_EQ(wire.size(), sent.size());
  EXPECT_EQ(wire.back().bytes, gmSystemOn);
  const int64_t shift = int64_t(sent[0].time) - wire[0].time;
  bool stopped = false;
  for (size_t i = 0; i < wire.size(); ++i) {
    SCOPED_TRACE(i);
    // A message in running status after a text event has its status byte written out.
    const Bytes& w = wire[i].bytes;
    const Bytes& s = sent[i].bytes;
    EXPECT_TRUE(w == s || (s.size() == 2 && w.size() == 3 && Bytes(w.begin() + 1, w.end()) == s));
    // The stop's note-offs and its GM System On come ringMs sooner than in the live session.
    const int64_t at = int64_t(sent[i].time) - wire[i].time;
    stopped = stopped || at != shift;
    EXPECT_EQ(at, stopped ? shift + ringMs : shift);
    EXPECT_TRUE(!stopped || (s[0] & 0xF0) == 0x80 || s == gmSystemOn);
  }
}

INSTANTIATE_TEST_SUITE_P(JazzSoft, CorpusConversion, ::testing::ValuesIn(cases()),
                         [](const auto& info) {
                           return testNameOf(info.param.song) + "_" + info.param.target;
                         });

}  // namespace
}  // namespace tessaro::testing
