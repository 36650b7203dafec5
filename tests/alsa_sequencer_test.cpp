// What reaches an ALSA port: the sequencer events made from the device's words and blocks
// (running status expanded, one- and two-byte messages, system exclusive whole, real-time
// bytes), and the line a user reads when the port cannot be opened. The events are made
// without a sequencer, so this runs on machines without one.
#include <alsa/asoundlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "backends/alsa/alsa_events.h"
#include "backends/alsa/alsa_sequencer.h"
#include "stream/midi_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;
using tessaro::platform::MidiStreamDecoder;
using tessaro::platform::alsa::AlsaEventSink;

// An event as a short text: its kind and the fields that kind carries.
std::string describe(const snd_seq_event_t& e) {
  auto note = [&](const char* kind) {
    return std::string(kind) + " ch" + std::to_string(e.data.note.channel) + " " +
           std::to_string(e.data.note.note) + " " + std::to_string(e.data.note.velocity);
  };
  auto control = [&](const char* kind) {
    return std::string(kind) + " ch" + std::to_string(e.data.control.channel) + " " +
           std::to_string(e.data.control.param) + " " + std::to_string(e.data.control.value);
  };
  switch (e.type) {
    case SND_SEQ_EVENT_NOTEON:
      return note("noteon");
    case SND_SEQ_EVENT_NOTEOFF:
      return note("noteoff");
    case SND_SEQ_EVENT_KEYPRESS:
      return note("keypress");
    case SND_SEQ_EVENT_CONTROLLER:
      return control("controller");
    case SND_SEQ_EVENT_PGMCHANGE:
      return control("program");
    case SND_SEQ_EVENT_CHANPRESS:
      return control("pressure");
    case SND_SEQ_EVENT_PITCHBEND:
      return control("bend");
    case SND_SEQ_EVENT_SONGPOS:
      return control("songpos");
    case SND_SEQ_EVENT_CLOCK:
      return "clock";
    case SND_SEQ_EVENT_START:
      return "start";
    case SND_SEQ_EVENT_SENSING:
      return "sensing";
    case SND_SEQ_EVENT_RESET:
      return "reset";
    case SND_SEQ_EVENT_TUNE_REQUEST:
      return "tune request";
    case SND_SEQ_EVENT_SYSEX: {
      const auto* bytes = static_cast<const uint8_t*>(e.data.ext.ptr);
      char edges[32];
      std::snprintf(edges, sizeof edges, " %02X..%02X", bytes[0], bytes[e.data.ext.len - 1]);
      return "sysex " + std::to_string(e.data.ext.len) + edges;
    }
    default:
      return "type " + std::to_string(e.type);
  }
}

using Input = std::variant<uint32_t, Bytes>;

std::vector<std::string> eventsFor(const std::vector<Input>& inputs) {
  std::vector<std::string> events;
  AlsaEventSink sink([&](snd_seq_event_t& e) { events.push_back(describe(e)); });
  EXPECT_TRUE(sink.ready());
  MidiStreamDecoder decoder(sink);
  for (const Input& input : inputs) {
    if (const auto* word = std::get_if<uint32_t>(&input)) {
      decoder.shortMessage(*word);
    } else {
      decoder.bytes(std::get<Bytes>(input));
    }
  }
  return events;
}

TEST(AlsaSequencer, WordsAndBlocksBecomeSequencerEvents) {
  Bytes longDump(4000, 0x22);
  longDump.front() = 0xF0;
  longDump.back() = 0xF7;
  const struct {
    const char* name;
    std::vector<Input> in;
    std::vector<std::string> out;
  } cases[] = {
      {"note on, then running status",
       {0x403C90u, 0x00003Cu},
       {"noteon ch0 60 64", "noteon ch0 60 0"}},
      {"note off with its velocity", {0x203C82u}, {"noteoff ch2 60 32"}},
      {"controller", {0x6407BBu}, {"controller ch11 7 100"}},
      {"program change takes one byte",
       {0x0010C5u, 0x7F11u},
       {"program ch5 0 16", "program ch5 0 17"}},
      {"channel pressure", {0x0040D1u}, {"pressure ch1 0 64"}},
      {"key pressure", {0x303CA0u}, {"keypress ch0 60 48"}},
      {"pitch bend centre and top", {0x4000E0u, 0x7F7FE0u}, {"bend ch0 0 0", "bend ch0 0 8191"}},
      {"GS Reset whole",
       {Bytes{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}},
       {"sysex 11 F0..F7"}},
      {"a long dump in one event", {longDump}, {"sysex 4000 F0..F7"}},
      {"real-time bytes",
       {Bytes{0xF8}, Bytes{0xFA}, Bytes{0xFE}, Bytes{0xFF}},
       {"clock", "start", "sensing", "reset"}},
      {"real-time inside a note", {Bytes{0x90, 0x3C, 0xF8, 0x40}}, {"clock", "noteon ch0 60 64"}},
      {"system common",
       {Bytes{0xF2, 0x10, 0x01}, Bytes{0xF6}},
       {"songpos ch0 0 144", "tune request"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(eventsFor(c.in), c.out);
  }
}

bool hasSequencer() {
  struct stat info {};
  return ::stat("/dev/snd/seq", &info) == 0;
}

TEST(AlsaSequencer, NoSequencerFailsTheOpenInPlainWords) {
  if (hasSequencer()) GTEST_SKIP() << "this machine has a sequencer";
  auto result = tessaro::platform::alsa::openSequencerOutput("128:0");
  EXPECT_EQ(result.device, nullptr);
  EXPECT_EQ(result.reason.rfind("no ALSA sequencer on this machine (", 0), 0u) << result.reason;
  EXPECT_NE(result.reason.find("TESSARO_MIDI_PORT=128:0"), std::string::npos) << result.reason;
}

TEST(AlsaSequencer, UnknownPortFailsTheOpenInPlainWords) {
  if (!hasSequencer()) GTEST_SKIP() << "no sequencer on this machine";
  for (const char* name : {"no-such-client-of-tessaro", "127:99"}) {
    auto result = tessaro::platform::alsa::openSequencerOutput(name);
    EXPECT_EQ(result.device, nullptr);
    EXPECT_EQ(result.reason.rfind("no such ALSA port: \"" + std::string(name) + "\"", 0), 0u)
        << result.reason;
  }
}

}  // namespace
