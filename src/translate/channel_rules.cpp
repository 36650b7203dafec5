// Channel rules: program changes, notes and controllers of the song for the target module.
// Program changes may be replaced by messages of their own; notes may move to channel 10 or
// get another note number or velocity; controllers may get another value. Bank selects are
// recorded here for the program-change rules, and every channel volume gets the player's
// volume offset, whether or not the song is translated.
#include <algorithm>

#include "translate/rule_support.h"
#include "translate/translate.h"

namespace tessaro {

using namespace translation;

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
void gsDrumNote(PlayerState& s, const ChannelState& ch, int status) {
  uint8_t* data = s.messageBuffer.data();
  if (ch.userDrumSet == 0x40 || ch.userDrumSet == 0x41) {
    int set = ch.userDrumSet - 0x40;
    int32_t playedAs =
        s.UserDrumTable[static_cast<size_t>((set * 128 + data[0]) * 16 + userDrumPlayedAs)];
    if (playedAs >= 0) data[0] = static_cast<uint8_t>(dataByte(playedAs));
    return;
  }
  int velocity = data[1];
  int floor = ((status & 0xF0) == 0x90 && velocity > 0) ? 1 : 0;
  data[1] = static_cast<uint8_t>(std::max(velocity - velocityTrim(ch, data[0]), floor));
}

void translateNote(Engine& engine, int status) {
  PlayerState& s = engine.state;
  int channel = status & 0x0F;
  const ChannelState& ch = channelOf(engine, channel);
  Target target = targetOf(engine, channel);
  if (target == Target::none) return;
  int onChannel10 = (status & 0xF0) | 9;
  if (s.xgDetected != 0 && target == Target::gm && ch.xgDrumChannel != 0) {
    s.outputStatus = onChannel10;
    return;
  }
  if (s.gsDetected == 0 || ch.rhythmMode == 0) return;
  gsDrumNote(s, ch, status);
  // A GM module has its drums on channel 10 only, user drum sets included.
  if (target == Target::gm) s.outputStatus = onChannel10;
}

// Drum parts of a GS song are mixed louder than XG and GM kits: their volume is lowered.
int drumVolumeTrim(const ChannelState& ch) {
  if (ch.rhythmMode == 1) return 8;
  if (ch.rhythmMode == 2) return ch.program == 53 ? 28 : 20;
  return 0;
}

// Reverb send of a GS song: raised for XG and GM modules, whose reverb is weaker at equal send.
int reverbSend(Engine& engine, const ChannelState& ch, int value) {
  const PlayerState& s = engine.state;
  if (s.gsDetected == 0 || !translated(engine, 0) || value == 0) return value;
  const auto& offsets = ch.rhythmMode != 0 ? s.reverbOffsetDrum : s.reverbOffsetNormal;
  return dataByte(value + offsets[static_cast<size_t>(std::clamp(ch.program, 0, 255))]);
}

void translateController(Engine& engine, int32_t track, int channel) {
  PlayerState& s = engine.state;
  ChannelState& ch = channelOf(engine, channel);
  uint8_t* data = s.messageBuffer.data();
  int value = data[1];
  bool knownTrack = track >= 0 && track < static_cast<int32_t>(s.cursors.size());
  switch (data[0]) {
    case 0:
      if (knownTrack) s.cursors[static_cast<size_t>(track)].trackBankMsb = value;
      ch.bankMsb = value;
      break;
    case 32:
      if (knownTrack) s.cursors[static_cast<size_t>(track)].trackBankLsb = value;
      ch.bankLsb = value;
      break;
    case 91:
      data[1] = static_cast<uint8_t>(reverbSend(engine, ch, value));
      break;
    case 7:
      if (s.gsDetected != 0 && translated(engine, channel))
        value = std::max(value - drumVolumeTrim(ch), 0);
      ch.volume = value;
      data[1] = static_cast<uint8_t>(dataByte(static_cast<int64_t>(value) + s.volumeOffset));
      break;
    default:
      break;
  }
}

}  // namespace

bool translateChannelMessage(Engine& engine, int32_t track, int status, int32_t count) {
  PlayerState& s = engine.state;
  // Data bytes leave the program as 7-bit values, whatever the song's file holds.
  for (int32_t i = 0; i < std::min<int32_t>(count, 2); ++i)
    s.messageBuffer[static_cast<size_t>(i)] &= 0x7F;
  int channel = status & 0x0F;
  switch (status & 0xF0) {
    case 0xC0:
      return translateProgramChange(engine, channel);
    case 0x80:
    case 0x90:
      translateNote(engine, status);
      return false;
    case 0xB0:
      if (count >= 2) translateController(engine, track, channel);
      return false;
    default:
      return false;
  }
}

}  // namespace tessaro
