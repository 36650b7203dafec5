// A player rig for the translation: a prepared engine with a chosen target, the entry points
// fed with messages written as hex, and what a module hears read back from the wire as hex.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "support/player_rig.h"
#include "translate/translate.h"

namespace tessaro::testing {

enum class To { none, xg, gm };
enum class Song { undecided, gs, xg };  // the convention the song has shown so far

inline void setTarget(Engine& engine, To target) {
  engine.targets.setAll(target == To::xg ? -1 : 0, target == To::gm ? -1 : 0, 0);
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

// A prepared engine whose entry points the test calls directly, as the player would.
struct TranslateRig : PlayerRig {
  explicit TranslateRig(To target, Song song = Song::undecided) {
    options.initialConventionFlags = 0;
    Track t;
    load(smf(0, 480, {t.end()}));
    preparePlayback(engine);
    setTarget(engine, target);
    PlayerState& s = engine.state;
    s.gsDetected = song == Song::gs ? -1 : 0;
    s.xgDetected = song == Song::xg ? -1 : 0;
    s.undetected = song == Song::undecided ? -1 : 0;
    s.volumeChanged = 0;
    repaint = false;
    serial.writes.clear();
  }

  // A system exclusive, handed over in a buffer of exactly its length so that a read past its
  // end is caught by the address sanitizer; or a channel message, translated, then sent as the
  // player sends it unless the translation consumed it.
  void feed(const Bytes& message, int32_t track = 0) {
    PlayerState& s = engine.state;
    if (message[0] == 0xF0) {
      Bytes body(message.begin() + 1, message.end());
      translateSystemExclusive(engine, body.data(), static_cast<int32_t>(body.size()));
      return;
    }
    int32_t count = static_cast<int32_t>(message.size()) - 1;
    std::copy(message.begin() + 1, message.end(), s.messageBuffer.begin());
    s.outputStatus = message[0];
    if (!translateChannelMessage(engine, track, message[0], count))
      sendLongMessage(port, s.outputStatus, s.messageBuffer.data(), count);
  }
  void feed(const std::string& messages) {
    for (const Bytes& m : messagesOf(hex(messages))) feed(m);
  }

  std::string heard(size_t from = 0) const { return heardOn(serial.writes, from); }
};

}  // namespace tessaro::testing
