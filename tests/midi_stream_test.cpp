// The MIDI stream decoder as a live input uses it: bytes in as they come, in blocks of any
// size, whole messages out, and what cannot be a message dropped and counted.
#include "stream/midi_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaro::platform {
namespace {

using Bytes = std::vector<uint8_t>;

struct Collect : MidiSink {
  std::vector<Bytes> messages;
  int told = 0;
  void message(std::span<const uint8_t> bytes) override {
    messages.emplace_back(bytes.begin(), bytes.end());
  }
  void dropped(StreamDrop) override { ++told; }
};

TEST(MidiStreamDecoder, BytesInWholeMessagesOutAndWhatIsDroppedCounted) {
  struct Row {
    const char* name;
    size_t limit;
    std::vector<Bytes> blocks;  // as the input's reads bring them
    std::vector<Bytes> messages;
    StreamDrops drops;
  } rows[] = {
      {"running status",
       64,
       {{0x90, 0x3C, 0x40, 0x3E, 0x40}},
       {{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x40}},
       {}},
      {"running status of a one-byte message",
       64,
       {{0xC0, 0x05, 0x06}},
       {{0xC0, 0x05}, {0xC0, 0x06}},
       {}},
      {"a message split over reads",
       64,
       {{0x90}, {0x3C}, {0x40, 0x3E}, {0x40}},
       {{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x40}},
       {}},
      {"a real-time byte inside a message goes first",
       64,
       {{0x90, 0x3C, 0xF8, 0x40}},
       {{0xF8}, {0x90, 0x3C, 0x40}},
       {}},
      {"a real-time byte keeps the running status",
       64,
       {{0x90, 0x3C, 0x40, 0xFE, 0x3E, 0x40}},
       {{0x90, 0x3C, 0x40}, {0xFE}, {0x90, 0x3E, 0x40}},
       {}},
      {"a real-time byte inside a system exclusive",
       64,
       {{0xF0, 0x7D, 0xFA, 0x01}, {0xF7}},
       {{0xFA}, {0xF0, 0x7D, 0x01, 0xF7}},
       {}},
      {"a system exclusive split over reads",
       64,
       {{0xF0, 0x7D}, {0x01, 0x02}, {0xF7}},
       {{0xF0, 0x7D, 0x01, 0x02, 0xF7}},
       {}},
      {"a system exclusive as long as the bound",
       6,
       {{0xF0, 1, 2, 3, 4, 0xF7}},
       {{0xF0, 1, 2, 3, 4, 0xF7}},
       {}},
      {"a system exclusive past the bound is dropped whole",
       6,
       {{0xF0, 1, 2, 3}, {4, 5, 0xF7, 0x90, 0x3C, 0x40}},
       {{0x90, 0x3C, 0x40}},
       {1, 0, 0}},
      {"a system exclusive cut by a status byte",
       64,
       {{0xF0, 0x7D, 0x01, 0x90, 0x3C, 0x40}},
       {{0x90, 0x3C, 0x40}},
       {0, 1, 0}},
      {"a system exclusive cut by another",
       64,
       {{0xF0, 0x7D, 0x01, 0xF0, 0x7D, 0x02, 0xF7}},
       {{0xF0, 0x7D, 0x02, 0xF7}},
       {0, 1, 0}},
      {"data bytes before any status",
       64,
       {{0x3C, 0x40, 0x90, 0x3C, 0x40}},
       {{0x90, 0x3C, 0x40}},
       {0, 0, 2}},
      {"a message cut short by a status byte",
       64,
       {{0x90, 0x3C, 0x80, 0x3C, 0x00}},
       {{0x80, 0x3C, 0x00}},
       {0, 0, 1}},
      {"system common ends the running status",
       64,
       {{0x90, 0x3C, 0x40, 0xF6, 0x3E, 0x40}},
       {{0x90, 0x3C, 0x40}, {0xF6}},
       {0, 0, 2}},
      {"an end byte without a start ends the running status",
       64,
       {{0x90, 0x3C, 0x40, 0xF7, 0x3E, 0x40}},
       {{0x90, 0x3C, 0x40}},
       {0, 0, 2}},
      {"system common messages by their own lengths",
       64,
       {{0xF1, 0x10, 0xF2, 0x01, 0x02, 0xF3, 0x05, 0xF6}},
       {{0xF1, 0x10}, {0xF2, 0x01, 0x02}, {0xF3, 0x05}, {0xF6}},
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Collect sink;
    MidiStreamDecoder decoder(sink, row.limit);
    for (const Bytes& block : row.blocks) decoder.bytes(block);
    EXPECT_EQ(sink.messages, row.messages);
    EXPECT_EQ(decoder.drops().tooLong, row.drops.tooLong);
    EXPECT_EQ(decoder.drops().cut, row.drops.cut);
    EXPECT_EQ(decoder.drops().stray, row.drops.stray);
    EXPECT_EQ(static_cast<uint64_t>(sink.told), row.drops.total()) << "each drop is told";
  }
}

}  // namespace
}  // namespace tessaro::platform
