// Pieces shared by the translation rules: one step (the state, what it reads of the player and
// where its messages go), and the channel messages the rules send in place of the song's own.
#pragma once

#include <algorithm>
#include <cstdint>

#include "translate/translate.h"

namespace tessaro::translate {

struct Step {
  Translator& state;
  const EventContext& context;
  Actions& out;

  Target target() const { return context.target; }
  bool translated() const { return context.target != Target::none; }
  ChannelState& channel(int c) { return state.channels[static_cast<size_t>(c)]; }
  bool shown(SongConvention convention) const { return state.shown.load() == convention; }
};

// A value for a data byte: whatever was computed, limited to 0..127.
inline int dataByte(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, 0, 127));
}

// Controller `number` = value on a channel.
inline void sendController(Step& step, int channel, int number, int64_t value) {
  step.out.sendShort(0xB0 + channel, number, dataByte(value));
}

// A program change, sent as a one-byte long message like the song's own.
inline void sendProgram(Step& step, int channel, int64_t program) {
  uint8_t data = static_cast<uint8_t>(dataByte(program));
  step.out.sendLong(0xC0 + channel, &data, 1);
}

// Non-registered parameter msb/lsb = value.
inline void sendNrpn(Step& step, int channel, int msb, int lsb, int64_t value) {
  sendController(step, channel, 99, msb);
  sendController(step, channel, 98, lsb);
  sendController(step, channel, 6, value);
}

// Registered parameter 127/127: no parameter is selected any more, so later data entry of the
// song changes nothing by accident.
inline void sendNullParameter(Step& step, int channel) {
  sendController(step, channel, 100, 127);
  sendController(step, channel, 101, 127);
}

// Program change with the bank select values held back: the bank controllers that are not 0
// are set to 0 for the program change and restored after it.
inline void sendPlainBank(Step& step, int channel, int program) {
  const ChannelState& ch = step.channel(channel);
  if (ch.bankMsb != 0) sendController(step, channel, 0, 0);
  if (ch.bankLsb != 0) sendController(step, channel, 32, 0);
  sendProgram(step, channel, program);
  if (ch.bankMsb != 0) sendController(step, channel, 0, ch.bankMsb);
  if (ch.bankLsb != 0) sendController(step, channel, 32, ch.bankLsb);
}

// Rules of the program change (0xCn) with its program: true when the program change is
// consumed.
bool translateProgramChange(Step& step, int channel, int program);

// A GS part that has just become a rhythm part, or a normal part again, selected at once on an
// XG module with its current program: an XG drum kit, or its normal voice through the program
// change rules, as the song's next program change would select it.
void reselectGsPart(Step& step, int channel);

// Parameter rules of a Roland message (device, model and command already matched).
void applyRolandParameter(Step& step, const uint8_t* m, int32_t n);

}  // namespace tessaro::translate
