// Pieces shared by the translation rules: which module a channel is translated for, and the
// channel messages the rules send in place of the song's own.
#pragma once

#include <algorithm>
#include <cstdint>

#include "player/engine.h"

namespace tessaro::translation {

enum class Target { none, xg, gm };

// The module a channel's output is translated for. At most one of the two flags is set; should
// both be, GM wins, as the rules for GM are the ones that keep drums on channel 10.
inline Target targetOf(const Engine& engine, int channel) {
  if (engine.targets.toGm[static_cast<size_t>(channel)] != 0) return Target::gm;
  if (engine.targets.toXg[static_cast<size_t>(channel)] != 0) return Target::xg;
  return Target::none;
}

inline bool translated(const Engine& engine, int channel) {
  return targetOf(engine, channel) != Target::none;
}

// A value for a data byte: whatever was computed, limited to 0..127.
inline int dataByte(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, 0, 127));
}

inline ChannelState& channelOf(Engine& engine, int channel) {
  return engine.state.channels[static_cast<size_t>(channel)];
}

// Controller `number` = value on a channel; outputStatus follows the controller status.
inline void sendController(Engine& engine, int channel, int number, int64_t value) {
  engine.state.outputStatus = 0xB0 + channel;
  sendShortMessage(engine.port, 0xB0 + channel, number, dataByte(value));
}

// A program change, sent as a one-byte long message like the song's own.
inline void sendProgram(Engine& engine, int channel, int64_t program) {
  engine.state.outputStatus = 0xC0 + channel;
  uint8_t data = static_cast<uint8_t>(dataByte(program));
  sendLongMessage(engine.port, 0xC0 + channel, &data, 1);
}

// Non-registered parameter msb/lsb = value.
inline void sendNrpn(Engine& engine, int channel, int msb, int lsb, int64_t value) {
  sendController(engine, channel, 99, msb);
  sendController(engine, channel, 98, lsb);
  sendController(engine, channel, 6, value);
}

// Registered parameter 127/127: no parameter is selected any more, so later data entry of the
// song changes nothing by accident.
inline void sendNullParameter(Engine& engine, int channel) {
  sendController(engine, channel, 100, 127);
  sendController(engine, channel, 101, 127);
}

// Program change with the bank select values held back: the bank controllers that are not 0
// are set to 0 for the program change and restored after it.
inline void sendPlainBank(Engine& engine, int channel, int program) {
  const ChannelState& ch = channelOf(engine, channel);
  if (ch.bankMsb != 0) sendController(engine, channel, 0, 0);
  if (ch.bankLsb != 0) sendController(engine, channel, 32, 0);
  sendProgram(engine, channel, program);
  if (ch.bankMsb != 0) sendController(engine, channel, 0, ch.bankMsb);
  if (ch.bankLsb != 0) sendController(engine, channel, 32, ch.bankLsb);
}

// Rules of the program change (0xCn): true when the program change is consumed.
bool translateProgramChange(Engine& engine, int channel);

// Parameter rules of a Roland message (device, model and command already matched).
void applyRolandParameter(Engine& engine, const uint8_t* m, int32_t n);

}  // namespace tessaro::translation
