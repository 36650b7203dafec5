// Program changes for the target module: GS variations and drum sets for an XG module, one
// tone per program and drums on channel 10 for a GM module, and the song's own user tones and
// user drum sets rebuilt from their stored parameters.
#include <cstdint>

#include "translate/rule_support.h"
#include "translate/xg_tables.h"

namespace tessaro::translate {

namespace {

// GS sound-effect variations (bank MSB 1..maxMsb on programs 120-127) live in the XG
// sound-effect bank (MSB 64) at program MSB + offset.
struct EffectVariation {
  int program;
  int maxMsb;
  int offset;
};

constexpr EffectVariation effectVariations[] = {
    {120, 6, -1}, {121, 1, 15}, {122, 6, 31}, {123, 3, 47},
    {124, 6, 63}, {125, 9, 79}, {126, 5, 95}, {127, 3, 111},
};

// Non-registered parameters (MSB 1) of a user tone, for its parameters 3..10 in order.
constexpr int userToneNrpnLsb[] = {0x08, 0x09, 0x20, 0x21, 0x63, 0x64, 0x66, 0x0A};

// Drum-note parameters (NRPN MSB, LSB the note) of a user drum entry.
struct DrumParameter {
  int parameter;
  int nrpnMsb;
};
constexpr DrumParameter userDrumParameters[] = {{2, 0x1A}, {4, 0x1C}, {5, 0x1D}, {6, 0x1E}};
constexpr int drumPlayedAs = 12;  // user drum parameter: the note the entry is played as

constexpr int entrySize = 16;

bool isUserBank(int msb) {
  return msb == 64 || msb == 65;
}

void restoreBank(Step& step, int channel) {
  const ChannelState& ch = step.channel(channel);
  sendController(step, channel, 0, ch.bankMsb);
  sendController(step, channel, 32, ch.bankLsb);
}

// XG song for a GM module: drum voices (MSB 127) make the channel a drum channel whose notes go
// to channel 10; other banks are held back. True when consumed.
bool xgSongToGm(Step& step, int channel, int program) {
  ChannelState& ch = step.channel(channel);
  if (ch.bankMsb == 127) {
    ch.xgDrumChannel = 1;
    return true;
  }
  if (ch.bankMsb == 0 && ch.bankLsb == 0) return false;
  sendPlainBank(step, channel, program);
  return true;
}

// A user drum set's stored drum parameters, first for the notes that play as themselves, then
// for those moved to another note, so that a moved entry wins over the note it lands on.
void sendUserDrumSet(Step& step, int channel, int set) {
  Translator& s = step.state;
  for (bool movedPass : {false, true}) {
    for (int k = 0; k < 128; ++k) {
      const int32_t* entry = &s.UserDrumTable[static_cast<size_t>((set * 128 + k) * entrySize)];
      bool moved = entry[drumPlayedAs] >= 0;
      if (moved != movedPass) continue;
      int note = moved ? dataByte(entry[drumPlayedAs]) : k;
      s.drumNoteMap[static_cast<size_t>(set * 128 + k)] = note;
      for (const DrumParameter& d : userDrumParameters) {
        int32_t value = entry[d.parameter];
        if (value >= 0) sendNrpn(step, channel, d.nrpnMsb, note, value);
      }
    }
  }
  sendNullParameter(step, channel);
}

// The XG drum kit of a GS rhythm part at this program: the standard kit of its drum map where
// XG has no kit at that program.
void selectXgDrumKit(Step& step, int channel, int program) {
  const ChannelState& ch = step.channel(channel);
  int kit = xgDrumKitExists(program) ? program : ch.rhythmMode - 1;
  sendController(step, channel, 0, 127);
  sendController(step, channel, 32, 0);
  sendProgram(step, channel, kit);
}

// A GS rhythm part: an XG drum kit (the standard kit of the part's drum map when XG has none at
// that program), nothing for GM, whose drums are on channel 10 anyway; then the song's user
// drum set, when it selected one.
void gsRhythmPart(Step& step, int channel, int program) {
  ChannelState& ch = step.channel(channel);
  if (ch.bankMsb == 64) ch.userDrumSet = 0x40;
  if (ch.bankMsb == 65) ch.userDrumSet = 0x41;
  Target target = step.target();
  int output = target == Target::gm ? 9 : channel;
  if (target == Target::xg) {
    selectXgDrumKit(step, channel, program);
    restoreBank(step, channel);
    if (program < 49) {
      sendNrpn(step, channel, 0x1C, 0x53, 0x58);
      sendNullParameter(step, channel);
    }
  }
  if (isUserBank(ch.bankMsb)) sendUserDrumSet(step, output, ch.bankMsb - 64);
}

// A GS user tone (bank MSB 64 or 65) rebuilt from its stored parameters. A bank parameter the
// song never set selects bank 0, a program never set is the song's own program.
void gsUserTone(Step& step, int channel, int program) {
  Translator& s = step.state;
  const ChannelState& ch = step.channel(channel);
  int bank = ch.bankMsb == 65 ? 1 : 0;
  const int32_t* entry = &s.UserToneTable[static_cast<size_t>((bank * 128 + program) * entrySize)];
  auto setOr = [](int32_t value, int unset) { return value >= 0 ? value : unset; };
  bool gm = step.target() == Target::gm;
  sendController(step, channel, 0, gm ? 0 : setOr(entry[1], 0));
  sendController(step, channel, 32, gm ? 0 : setOr(entry[0], 0));
  sendProgram(step, channel, setOr(entry[2], program));
  for (int i = 0; i < 8; ++i) {
    int32_t value = entry[3 + i];
    if (value >= 0) sendNrpn(step, channel, 1, userToneNrpnLsb[i], value);
  }
  sendNullParameter(step, channel);
  restoreBank(step, channel);
}

// A GS bank and program for an XG module. True when consumed; bank 0/0 needs nothing.
bool gsToXg(Step& step, int channel, int program) {
  const ChannelState& ch = step.channel(channel);
  int msb = ch.bankMsb, lsb = ch.bankLsb;
  if (program == 98 && msb == 3) {
    sendController(step, channel, 0, 0);
    sendController(step, channel, 32, 0);
    sendProgram(step, channel, 100);
    restoreBank(step, channel);
    return true;
  }
  for (const EffectVariation& v : effectVariations) {
    if (v.program != program || msb < 1 || msb > v.maxMsb) continue;
    sendController(step, channel, 0, 64);
    sendController(step, channel, 32, 0);
    sendProgram(step, channel, msb + v.offset);
    restoreBank(step, channel);
    return true;
  }
  if (msb == 0 && lsb == 0) return false;
  if (msb == 64 || msb == 126 || msb == 127) {
    // Already XG banks: only the LSB is held back.
    if (lsb != 0) sendController(step, channel, 32, 0);
    sendProgram(step, channel, program);
    if (lsb != 0) sendController(step, channel, 32, lsb);
  } else if (!xgVoiceExists(program, lsb)) {
    sendPlainBank(step, channel, program);
  } else {
    // The XG voice at this LSB exists: only the GS variation MSB is held back.
    if (msb != 0) sendController(step, channel, 0, 0);
    sendProgram(step, channel, program);
    if (msb != 0) sendController(step, channel, 0, msb);
  }
  return true;
}

}  // namespace

bool translateProgramChange(Step& step, int channel, int program) {
  ChannelState& ch = step.channel(channel);
  ch.program = program;
  Target target = step.target();
  if (step.shown(SongConvention::xg) && target == Target::gm && xgSongToGm(step, channel, program))
    return true;
  if (!step.shown(SongConvention::gs) || !step.translated()) return false;
  if (ch.rhythmMode != 0) {
    gsRhythmPart(step, channel, program);
    return true;
  }
  if (isUserBank(ch.bankMsb)) {
    gsUserTone(step, channel, program);
    return true;
  }
  if (target == Target::gm) {
    if (ch.bankMsb == 0 && ch.bankLsb == 0) return false;
    sendPlainBank(step, channel, program);
    return true;
  }
  return target == Target::xg && gsToXg(step, channel, program);
}

void reselectGsPart(Step& step, int channel) {
  ChannelState& ch = step.channel(channel);
  if (ch.rhythmMode != 0) {
    selectXgDrumKit(step, channel, ch.program);
    return;
  }
  // The drum bank the part was left on is left for the melodic bank 0 first.
  sendController(step, channel, 0, 0);
  sendController(step, channel, 32, 0);
  if (!translateProgramChange(step, channel, ch.program)) sendProgram(step, channel, ch.program);
}

}  // namespace tessaro::translate
