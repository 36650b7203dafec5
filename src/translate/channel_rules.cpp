// Channel rules: program changes, notes and controllers of the song for the target module.
// Program changes may be replaced by messages of their own; notes may move to channel 10 or
// get another note number or velocity; controllers may get another value. Bank selects are
// recorded here for the program-change rules, and every channel volume gets the player's
// volume offset, whether or not the song is translated.
#include <algorithm>

#include "translate/rule_support.h"

namespace tessaro::translate {

namespace {

constexpr int userDrumPlayedAs = 12;  // user drum parameter: the note the entry is played as

// Velocity taken off a GS drum note, so that the drum kits of XG and GM modules sound as loud
// as the GS kits the song was balanced for.
int velocityTrim(const ChannelState& ch, int note) {
  if (note == 24) return 2;
  if (note == 40) return 4;
  if (ch.bankLsb == 3 && ch.program == 8 && note == 38) return 8;
  if (ch.bankLsb == 2 && ch.program == 32) {
    switch (note) {
      case 43:
        return 2;
      case 45:
      case 47:
        return 8;
      case 48:
      case 50:
        return 4;
      default:
        break;
    }
  }
  return 0;
}

// A note of a GS rhythm part: the note a user drum entry is played as, or the velocity trim.
// A trimmed note-on stays a note-on (velocity at least 1): a soft drum hit is kept, not turned
// into a note-off.
void gsDrumNote(Step& step, const ChannelState& ch, ChannelMessage& m) {
  uint8_t* data = m.data.data();
  if (ch.userDrumSet == 0x40 || ch.userDrumSet == 0x41) {
    int set = ch.userDrumSet - 0x40;
    int32_t playedAs =
        step.state
            .UserDrumTable[static_cast<size_t>((set * 128 + data[0]) * 16 + userDrumPlayedAs)];
    if (playedAs >= 0) data[0] = static_cast<uint8_t>(dataByte(playedAs));
    return;
  }
  int velocity = data[1];
  int floor = ((m.status & 0xF0) == 0x90 && velocity > 0) ? 1 : 0;
  data[1] = static_cast<uint8_t>(std::max(velocity - velocityTrim(ch, data[0]), floor));
}

void translateNote(Step& step, ChannelMessage& m) {
  int channel = m.status & 0x0F;
  const ChannelState& ch = step.channel(channel);
  Target target = step.target();
  if (target == Target::none) return;
  int onChannel10 = (m.status & 0xF0) | 9;
  if (step.shown(SongConvention::xg) && target == Target::gm && ch.xgDrumChannel != 0) {
    m.status = onChannel10;
    return;
  }
  if (!step.shown(SongConvention::gs) || ch.rhythmMode == 0) return;
  gsDrumNote(step, ch, m);
  // A GM module has its drums on channel 10 only, user drum sets included.
  if (target == Target::gm) m.status = onChannel10;
}

// Drum parts of a GS song are mixed louder than XG and GM kits: their volume is lowered.
int drumVolumeTrim(const ChannelState& ch) {
  if (ch.rhythmMode == 1) return 8;
  if (ch.rhythmMode == 2) return ch.program == 53 ? 28 : 20;
  return 0;
}

// Reverb send of a GS song: raised for XG and GM modules, whose reverb is weaker at equal send.
int reverbSend(const Step& step, const ChannelState& ch, int value) {
  if (!step.shown(SongConvention::gs) || !step.translated() || value == 0) return value;
  const Translator& t = step.state;
  const auto& offsets = ch.rhythmMode != 0 ? t.reverbOffsetDrum : t.reverbOffsetNormal;
  return dataByte(value + offsets[static_cast<size_t>(std::clamp(ch.program, 0, 255))]);
}

void translateController(Step& step, ChannelMessage& m) {
  ChannelState& ch = step.channel(m.status & 0x0F);
  uint8_t* data = m.data.data();
  int value = data[1];
  switch (data[0]) {
    case 0:
      ch.bankMsb = value;
      break;
    case 32:
      ch.bankLsb = value;
      break;
    case 91:
      data[1] = static_cast<uint8_t>(reverbSend(step, ch, value));
      break;
    case 7:
      if (step.shown(SongConvention::gs) && step.translated())
        value = std::max(value - drumVolumeTrim(ch), 0);
      ch.volume = value;
      data[1] =
          static_cast<uint8_t>(dataByte(static_cast<int64_t>(value) + step.context.volumeOffset));
      break;
    default:
      break;
  }
}

}  // namespace

bool Translator::channelMessage(ChannelMessage& m, const EventContext& context, Actions& out) {
  Step step{*this, context, out};
  // Data bytes leave the program as 7-bit values, whatever the song's file holds.
  for (int32_t i = 0; i < std::min<int32_t>(m.count, 2); ++i)
    m.data[static_cast<size_t>(i)] &= 0x7F;
  switch (m.status & 0xF0) {
    case 0xC0:
      return !translateProgramChange(step, m.status & 0x0F, m.data[0]);
    case 0x80:
    case 0x90:
      translateNote(step, m);
      return true;
    case 0xB0:
      if (m.count >= 2) translateController(step, m);
      return true;
    default:
      return true;
  }
}

void Translator::startSong() {
  reverbOffsetNormal.fill(40);
  reverbOffsetNormal[98] = -5;
  reverbOffsetDrum.fill(5);
  for (ChannelState& channel : channels) {
    channel.volume = -1;
    channel.program = 0;
    channel.xgDrumChannel = 0;
    channel.rhythmMode = 0;
    channel.userDrumSet = 0;
  }
  channels[9].xgDrumChannel = 1;
  channels[9].rhythmMode = 1;
  UserToneTable.fill(-1);
  UserDrumTable.fill(-1);
  for (size_t k = 0; k < drumNoteMap.size(); ++k) drumNoteMap[k] = static_cast<int32_t>(k % 128);
  shown = SongConvention::undecided;
}

}  // namespace tessaro::translate
