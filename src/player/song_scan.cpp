#include "player/song_scan.h"

#include <algorithm>

#include "player/track_walk.h"
#include "translate/translate.h"

namespace tessaro {

namespace {

// The controllers that are state a module keeps (not data entry, parameter numbers, increments,
// the sound-off and reset requests, or the mode messages, which are kept apart).
bool keptController(int k) {
  return k != 6 && k != 38 && !(k >= 96 && k <= 101) && k < 120;
}

// Reset All Controllers: the modulation, the expression and the pedals are back at their
// defaults, as are the pitch bend, the pressure and the parameter chosen; the module keeps
// every other controller, the program and the parameters' values.
void resetControllers(ChannelAtTick& channel) {
  for (int k : {1, 11, 64, 65, 66, 67}) channel.controllers[static_cast<size_t>(k)] = -1;
  channel.bend = -1;
  channel.pressure = -1;
  channel.selected = 0;
  channel.rpn = {127, 127};
  channel.nrpn = {127, 127};
}

ParameterValue* selectedParameter(ChannelAtTick& channel) {
  if (channel.selected == 0) return nullptr;
  bool nrpn = channel.selected == 2;
  const std::array<uint8_t, 2>& number = nrpn ? channel.nrpn : channel.rpn;
  if (!nrpn && number[0] == 127 && number[1] == 127) return nullptr;  // the null parameter
  for (ParameterValue& p : channel.parameters)
    if (p.nrpn == nrpn && p.msb == number[0] && p.lsb == number[1]) return &p;
  channel.parameters.push_back({nrpn, number[0], number[1], -1, -1});
  return &channel.parameters.back();
}

void keepController(ChannelAtTick& channel, int k, int value) {
  switch (k) {
    case 99:
    case 98:
      channel.selected = 2;
      channel.nrpn[k == 99 ? 0 : 1] = static_cast<uint8_t>(value);
      return;
    case 101:
    case 100:
      channel.selected = 1;
      channel.rpn[k == 101 ? 0 : 1] = static_cast<uint8_t>(value);
      return;
    case 6:
    case 38:
      if (ParameterValue* p = selectedParameter(channel))
        (k == 6 ? p->dataMsb : p->dataLsb) = static_cast<int8_t>(value);
      return;
    case 121:
      resetControllers(channel);
      return;
    default:
      break;
  }
  if (k >= 124) {
    channel.mode = static_cast<int8_t>(k);
    channel.modeValue = static_cast<int8_t>(value);
  } else if (keptController(k)) {
    channel.controllers[static_cast<size_t>(k)] = static_cast<int8_t>(value);
  }
}

// The track whose next event comes first before tick, earlier tracks first at equal ticks;
// -1 when none has an event before it. Tracks found at their end are ended.
int32_t nextTrack(std::vector<TrackWalker>& walkers, SongAtTick& at, int32_t tracks) {
  int32_t best = -1;
  int64_t bestTick = at.tick;
  for (int32_t t = 0; t < tracks; ++t) {
    TrackCursor& cursor = at.cursors[static_cast<size_t>(t)];
    if (cursor.active == 0) continue;
    int64_t tick = walkers[static_cast<size_t>(t)].nextTick();
    if (tick < 0) {
      cursor.active = 0;
      cursor.endTick = cursor.nextTick;
      continue;
    }
    if (tick < bestTick) {
      best = t;
      bestTick = tick;
    }
  }
  return best;
}

void keepEvent(SongAtTick& at, TrackCursor& cursor, const WalkedEvent& e) {
  if (e.status == 0xF0) {
    if (translate::isModuleReset(e.body, e.length)) {
      at.systemExclusives.clear();
      at.channels = {};
      at.resetSeen = true;
    }
    at.systemExclusives.emplace_back(e.body, e.body + e.length);
  } else if (e.status == 0xFF && e.type == 0x51) {
    at.tempo = e.body[0] << 16 | e.body[1] << 8 | e.body[2];
  } else if (e.status < 0xF0) {
    if ((e.status & 0xF0) == 0x90 && e.data[1] > 0) at.noteSeen = true;
    if ((e.status & 0xF0) == 0xB0 && e.data[0] == 0) cursor.trackBankMsb = e.data[1];
    if ((e.status & 0xF0) == 0xB0 && e.data[0] == 32) cursor.trackBankLsb = e.data[1];
    keepChannelState(at.channels[static_cast<size_t>(e.status & 0x0F)], e.status, e.data[0],
                     e.data[1]);
  }
}

}  // namespace

void keepChannelState(ChannelAtTick& channel, int status, int data1, int data2) {
  switch (status & 0xF0) {
    case 0xB0:
      keepController(channel, data1 & 0x7F, data2 & 0x7F);
      break;
    case 0xC0:
      channel.program = static_cast<int16_t>(data1 & 0x7F);
      break;
    case 0xD0:
      channel.pressure = static_cast<int16_t>(data1 & 0x7F);
      break;
    case 0xE0:
      channel.bend = static_cast<int16_t>((data1 & 0x7F) | (data2 & 0x7F) << 7);
      break;
    default:
      break;
  }
}

SongAtTick songAtTick(const SongData& song, int32_t tick) {
  SongAtTick at;
  at.tick = std::max(tick, 0);
  const int32_t tracks = song.trackCount;
  std::vector<TrackWalker> walkers;
  walkers.reserve(static_cast<size_t>(tracks));
  for (int32_t t = 0; t < tracks; ++t) {
    TrackCursor& cursor = at.cursors[static_cast<size_t>(t)];
    cursor = TrackCursor{};
    cursor.active = 255;
    walkers.emplace_back(song.tracks[static_cast<size_t>(t)], cursor);
  }
  WalkedEvent e;
  for (int32_t t; (t = nextTrack(walkers, at, tracks)) >= 0;) {
    TrackCursor& cursor = at.cursors[static_cast<size_t>(t)];
    TrackWalker::Step step = walkers[static_cast<size_t>(t)].next(e);
    if (step == TrackWalker::Step::broken) {
      cursor.active = 0;
      cursor.endTick = cursor.nextTick;
    } else if (step == TrackWalker::Step::event) {
      keepEvent(at, cursor, e);
    }
  }
  at.pastEnd = true;
  for (int32_t t = 0; t < tracks; ++t) {
    const TrackCursor& cursor = at.cursors[static_cast<size_t>(t)];
    if (cursor.active != 0) at.pastEnd = false;
    at.endTick = std::max(at.endTick, cursor.endTick);
  }
  return at;
}

}  // namespace tessaro
