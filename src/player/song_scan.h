// The song as it stands at a tick, read from its bytes without playing it: what a module holds
// after every event before the tick (the system exclusives since the song's last reset, and per
// channel the bank, program, controllers, registered and non-registered parameters, pitch bend
// and channel pressure last set), the tempo then, and every track's cursor at the tick's first
// event, as the player would leave it. A seek sends this state and plays on from the cursors.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/conventions.h"
#include "player/player_state.h"
#include "player/song_data.h"

namespace tessaro {

// A registered (RPN) or non-registered (NRPN) parameter with the data last entered for it.
struct ParameterValue {
  bool nrpn = false;
  uint8_t msb = 0, lsb = 0;
  int8_t dataMsb = -1, dataLsb = -1;  // -1: none entered
};

struct ChannelAtTick {
  std::array<int8_t, 128> controllers;  // last value of each controller, -1 none
  int16_t program = -1;
  int16_t bend = -1;  // 14 bits
  int16_t pressure = -1;
  int8_t mode = -1;  // the last of the mode controllers 124-127, -1 none
  int8_t modeValue = 0;
  std::vector<ParameterValue> parameters;  // in the order first entered
  // The parameter the channel's data entry goes to: none (0), registered (1), non-registered
  // (2), with the numbers last selected of each kind.
  int selected = 0;
  std::array<uint8_t, 2> rpn{127, 127}, nrpn{127, 127};
  ChannelAtTick() { controllers.fill(-1); }
};

struct SongAtTick {
  int32_t tick = 0;
  bool pastEnd = false;  // every track ended before the tick
  int32_t endTick = 0;   // then: the tick the song ended at
  int32_t tempo = 500000;
  bool noteSeen = false;   // a note-on was played before the tick
  bool resetSeen = false;  // systemExclusives begins with the song's last reset
  std::vector<std::vector<uint8_t>> systemExclusives;  // bytes after 0xF0, up to 0xF7
  std::array<ChannelAtTick, ChannelCount> channels;
  std::array<TrackCursor, MaxTracks + 1> cursors{};
};

// The song at tick, from its start; the events at the tick itself are not part of it.
SongAtTick songAtTick(const SongData& song, int32_t tick);

// Takes one channel message into a channel's state.
void keepChannelState(ChannelAtTick& channel, int status, int data1, int data2);

}  // namespace tessaro
