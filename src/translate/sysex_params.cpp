// The GS parameters that a GS song's sound depends on, turned into messages any module
// understands (registered parameters, controllers), into the player's volume offset, or into
// the tables that the program-change rules read later.
#include <cstdint>

#include "translate/rule_support.h"

namespace tessaro::translate {

namespace {

// Data byte k of a message: the bytes before the closing 0xF7. A message cut short has no
// data there: missing bytes count as 0, and a byte above 127 counts as 127.
int dataAt(const uint8_t* m, int32_t n, int32_t k) {
  return k < n - 1 ? dataByte(m[k]) : 0;
}

// GS part blocks 40 1x: x = 0 is part 10, 1-9 are parts 1-9, A-F parts 11-16; part n plays
// on channel n.
int partChannel(int block) {
  if (block == 0) return 9;
  return block <= 9 ? block - 1 : block;
}

// The master tune's four nibbles (m[7..10], 0x0018-0x07E8 in tenths of a cent around 0x0400)
// as registered parameter 1, whose 14-bit value spans -100..+100 cents around 0x2000. A
// nibble counts only when the checksum and 0xF7 still follow it.
void masterTune(Step& step, const uint8_t* m, int32_t n) {
  int64_t tenths = 0;
  for (int32_t k = 7; k <= 10; ++k) tenths = tenths << 4 | (k < n - 2 ? m[k] & 0x0F : 0);
  int64_t scaled = (tenths - 0x400) * 8192;
  int64_t rounded = scaled >= 0 ? (scaled + 500) / 1000 : -((-scaled + 500) / 1000);
  int64_t value = std::clamp<int64_t>(0x2000 + rounded, 0, 0x3FFF);
  for (int c = 0; c < ChannelCount; ++c) {
    sendController(step, c, 100, 1);
    sendController(step, c, 101, 0);
    sendController(step, c, 6, value >> 7);
    sendController(step, c, 38, value & 0x7F);
    sendNullParameter(step, c);
  }
}

// Master key shift (0x40 = none) as registered parameter 2, coarse tuning, on every channel.
void masterKeyShift(Step& step, int value) {
  for (int c = 0; c < ChannelCount; ++c) {
    sendController(step, c, 100, 2);
    sendController(step, c, 101, 0);
    sendController(step, c, 6, value);
    sendNullParameter(step, c);
  }
}

// Master volume acts through the volume offset: the song's cut below full volume is taken
// off every channel volume, replacing the cut of its previous master volume.
void masterVolume(Step& step, int value) {
  step.out.masterVolumeCut(127 - value);
}

// A part made a rhythm part (mode 1 or 2: its drum map) or a normal part again (0). An XG module
// knows drum parts only by their bank, so it gets the part's new voice at once rather than at
// the song's next program change, which may never come; a GM module has its drums on channel 10,
// where the notes of a rhythm part are moved.
void useForRhythmPart(Step& step, int channel, int mode) {
  ChannelState& ch = step.channel(channel);
  int before = ch.rhythmMode;
  ch.rhythmMode = mode;
  if (mode == 0) ch.userDrumSet = 0;
  if (step.target() == Target::xg && mode != before) reselectGsPart(step, channel);
}

// User tone (20 yy zz) and user drum set (21 yy zz) parameters: bit 4 of yy is the bank or
// set, its low nibble the parameter, zz the program or note.
void storeUserEntry(std::array<int32_t, UserTableSize>& table, const uint8_t* m, int value) {
  int which = (m[5] & 0x10) != 0 ? 1 : 0;
  int parameter = m[5] & 0x0F;
  int index = m[6];
  if (index > 127) return;  // no such program or note
  table[static_cast<size_t>(((which * 128 + index) * 16) + parameter)] = value;
}

}  // namespace

void applyRolandParameter(Step& step, const uint8_t* m, int32_t n) {
  Translator& s = step.state;
  int a = m[4], b = m[5], c = m[6];
  int value = dataAt(m, n, 7);
  bool partBlock = a == 0x40 && (b & 0xF0) == 0x10;
  if (a == 0x40 && b == 0x00 && c == 0x00) {
    masterTune(step, m, n);
  } else if (a == 0x40 && b == 0x00 && c == 0x05) {
    masterKeyShift(step, value);
  } else if (partBlock && c == 0x1C) {
    sendController(step, partChannel(b & 0x0F), 10, value);
  } else if (a == 0x40 && b == 0x00 && c == 0x04) {
    masterVolume(step, value);
  } else if (partBlock && c == 0x15) {
    useForRhythmPart(step, partChannel(b & 0x0F), value);
  } else if (a == 0x20) {
    storeUserEntry(s.UserToneTable, m, value);
  } else if (a == 0x21) {
    storeUserEntry(s.UserDrumTable, m, value);
  }
}

}  // namespace tessaro::translate
