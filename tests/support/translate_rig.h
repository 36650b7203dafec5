// The translation stage on its own: a translator with a chosen target and song convention, fed
// messages written as hex, and the actions it asks for read back as hex (what a module would
// hear) with the pauses and notices beside them. Also what a module hears of a whole song from
// the wire, for the song tests on the player rig.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "common/playback_options.h"
#include "support/player_rig.h"
#include "translate/translate.h"

namespace tessaro::testing {

enum class To { none, xg, gm };
enum class Song { undecided, gs, xg };  // the convention the song has shown so far

inline Target targetOf(To target) {
  return target == To::xg ? Target::xg : target == To::gm ? Target::gm : Target::none;
}
inline void setTarget(PlaybackOptions& options, To target) {
  options.target = targetOf(target);
}

inline Bytes hex(const std::string& text) {
  std::istringstream in(text);
  Bytes out;
  std::string word;
  while (in >> word) out.push_back(static_cast<uint8_t>(std::stoi(word, nullptr, 16)));
  return out;
}

inline std::string hexOf(const Bytes& bytes) {
  std::string out;
  char cell[4];
  for (uint8_t b : bytes) {
    std::snprintf(cell, sizeof cell, out.empty() ? "%02X" : " %02X", b);
    out += cell;
  }
  return out;
}

// Splits bytes into messages, each from its status byte (a system exclusive up to its F7).
inline std::vector<Bytes> messagesOf(const Bytes& bytes) {
  std::vector<Bytes> out;
  for (uint8_t b : bytes) {
    bool open = !out.empty() && out.back()[0] == 0xF0 && out.back().back() != 0xF7;
    if ((b & 0x80) && !open) out.emplace_back();
    if (!out.empty()) out.back().push_back(b);
  }
  return out;
}

inline int dataCount(int status) {
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2) return 2;
  return (status < 0xE0 || status == 0xF1 || status == 0xF3) ? 1 : 0;
}

// What a module hears from the writes from `from` on, every message with its status byte.
// Every write must be one whole message, a status byte (or running status) and its data bytes
// all below 0x80, or a system exclusive from F0 to F7, whose inside is the song's own.
inline std::string heardOn(const std::vector<Captured>& writes, size_t from = 0) {
  Bytes heard;
  int running = 0;
  for (size_t i = 0; i < writes.size(); ++i) {
    const Bytes& b = writes[i].bytes;
    if (b.empty()) {
      ADD_FAILURE() << "empty write at " << writes[i].time;
      continue;
    }
    bool sysex = b[0] == 0xF0 || b[0] == 0xF7;
    if (b[0] >= 0x80 && !sysex) running = b[0];
    size_t data = b.size() - (b[0] >= 0x80 ? 1 : 0);
    bool whole = sysex ? (b[0] == 0xF7 || b.back() == 0xF7)
                       : running != 0 && static_cast<int>(data) == dataCount(running) &&
                             std::all_of(b.end() - static_cast<long>(data), b.end(),
                                         [](uint8_t d) { return d < 0x80; });
    EXPECT_TRUE(whole) << "write " << hexOf(b) << " at " << writes[i].time;
    if (i < from) continue;
    if (!sysex && b[0] < 0x80) heard.push_back(static_cast<uint8_t>(running));
    heard.insert(heard.end(), b.begin(), b.end());
  }
  return hexOf(heard);
}

// An XG module's set-up in place of a GS song's reset.
inline std::string xgSetup(int variation) {
  return "F0 43 10 4C 00 00 7E 00 F7 F0 43 10 4C 02 01 00 01 01 F7 F0 43 10 4C 02 01 5A 01 F7 "
         "F0 43 10 4C 02 01 40 01 0" +
         std::to_string(variation) + " F7 B9 00 7F B9 20 00 C9 00 B9 00 00";
}
inline const std::string gmSystemOn = "F0 7E 7F 09 01 F7";

// What the translation asked for, in order: the messages as a module hears them (each with its
// status byte), the pauses and the notices.
class RecordedActions : public translate::Actions {
 public:
  void sendShort(int status, int data1, int data2) override {
    record(
        {static_cast<uint8_t>(status), static_cast<uint8_t>(data1), static_cast<uint8_t>(data2)});
  }
  void sendLong(int status, const uint8_t* data, int32_t length) override {
    Bytes message{static_cast<uint8_t>(status)};
    message.insert(message.end(), data, data + length);
    record(message);
  }
  void pause(int32_t shiftMs, int32_t sleepMs) override {
    shifted += static_cast<uint32_t>(shiftMs);
    if (sleepMs > 0) sleeps.push_back(sleepMs);
    steps.push_back("pause " + std::to_string(shiftMs) + "/" + std::to_string(sleepMs));
  }
  void resetSent() override {
    ++resets;
    steps.emplace_back("reset");
  }
  void masterVolumeCut(int32_t cut) override {
    cuts.push_back(cut);
    steps.push_back("cut " + std::to_string(cut));
  }

  Bytes heard;                     // every message, status bytes written out
  std::vector<std::string> steps;  // messages as hex, pauses and notices, in order
  uint32_t shifted = 0;            // the play clock held back in all
  std::vector<int32_t> sleeps;
  int resets = 0;
  std::vector<int32_t> cuts;

 private:
  // Every message must be whole: its status, then data bytes below 0x80, a system exclusive up
  // to its F7.
  void record(const Bytes& message) {
    bool sysex = message[0] == 0xF0;
    bool whole = sysex ? message.back() == 0xF7
                       : message[0] >= 0x80 &&
                             static_cast<int>(message.size()) - 1 == dataCount(message[0]) &&
                             std::all_of(message.begin() + 1, message.end(),
                                         [](uint8_t d) { return d < 0x80; });
    EXPECT_TRUE(whole) << "message " << hexOf(message);
    heard.insert(heard.end(), message.begin(), message.end());
    steps.push_back(hexOf(message));
  }
};

// A translator at a song's start with the target and the convention the song has shown.
struct TranslateRig {
  translate::Translator translator;
  translate::EventContext context;
  RecordedActions out;

  explicit TranslateRig(To target, Song song = Song::undecided) {
    translator.startSong();
    context.target = targetOf(target);
    translator.shown = song == Song::gs   ? SongConvention::gs
                       : song == Song::xg ? SongConvention::xg
                                          : SongConvention::undecided;
  }

  // A system exclusive, handed over in a buffer of exactly its length so that a read past its
  // end is caught by the address sanitizer; or a channel message, translated, then sent as the
  // player sends it unless the translation consumed it.
  void feed(const Bytes& message) {
    if (message[0] == 0xF0) {
      Bytes body(message.begin() + 1, message.end());
      translator.systemExclusive(body.data(), static_cast<int32_t>(body.size()), context, out);
      return;
    }
    translate::ChannelMessage m;
    m.status = message[0];
    m.count = static_cast<int32_t>(message.size()) - 1;
    for (size_t i = 1; i < message.size() && i <= 2; ++i) m.data[i - 1] = message[i];
    if (translator.channelMessage(m, context, out)) out.sendLong(m.status, m.data.data(), m.count);
  }
  void feed(const std::string& messages) {
    for (const Bytes& m : messagesOf(hex(messages))) feed(m);
  }

  std::string heard() const { return hexOf(out.heard); }
};

}  // namespace tessaro::testing
