// PlayerState: what the file player keeps of the song it plays: timing, the cursors and the
// chain, the repeat and loop points. Only the thread that owns the player writes it (the player
// thread while a song plays, the main thread between songs); the fields the window and the
// status line read while a song plays are atomic and published by that thread alone.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "common/conventions.h"
#include "player/song_data.h"
#include "stage/translation_stage.h"

namespace tessaro {

constexpr int32_t DefaultSpeedDivisor = 1000;
constexpr int MessageBufferSize = 1024;

// Where one track is in its stored bytes.
struct TrackCursor {
  int32_t position = 0;       // index of the next unread byte
  int32_t nextTick = 0;       // absolute tick of the next event
  int32_t runningStatus = 0;  // last status byte, meta and system exclusive included
  int32_t channelStatus = 0;  // last channel status, which running status resumes after
                              // a system-exclusive or meta event
  uint8_t deltaPending = 0;   // the next event's delta time was already read and added
  uint8_t active = 0;         // End of Track not yet met
  int32_t endTick = 0;
  int32_t chainNext = -1;  // next track in the EventChain
  int32_t trackBankMsb = 0;
  int32_t trackBankLsb = 0;
};

// The song's last controller values, program and pitch bend on one channel, -1 where it has
// sent none yet: what a jump back to a loop start brings the channel back to.
struct ChannelChase {
  std::array<int8_t, 128> controllers;
  int16_t program = -1;
  int16_t bend = -1;  // 14 bits
  ChannelChase() { controllers.fill(-1); }
};
using ChaseState = std::array<ChannelChase, ChannelCount>;

// The song as it stood at the start of the tick of a repeat or loop point to come, before any
// track played an event of that tick.
struct TickStart {
  int32_t tick = -1;  // -1 none taken
  int32_t chainHead = -1;
  std::array<TrackCursor, MaxTracks + 1> cursors{};
  NoteCounts sounding{};
};

// Where a repeat jumps back to: the cursors and channel volumes as they were at the mark, the
// notes then sounding and, for a loop start, the channels' controllers and programs.
struct RepeatPoint {
  int32_t markTick = 0;           // tick of the mark
  int32_t markTrack = -1;         // track that held the mark; -1 none: the song start
  int32_t markChainHead = -1;     // chainHead when the mark was met
  bool markTrackChained = false;  // the saved chain already holds the mark's track
  bool loop = false;              // a loop start: controllers and programs are chased
  std::array<TrackCursor, MaxTracks + 1> cursors{};
  std::array<int32_t, ChannelCount> volume{};
  NoteCounts sounding{};
  ChaseState chase;
};

struct PlayerState {
  // Timing. The position and the speed are published for the window and the status line.
  std::atomic<int32_t> nowTick{0};
  int32_t tempo = 500000;
  int32_t usPerTick = 0;
  int32_t usRemainder = 0;
  std::atomic<int32_t> speedDivisor{DefaultSpeedDivisor};
  int32_t msBase = 0;
  int32_t songStart = 0;
  uint8_t fastForward = 0;
  uint8_t firstNoteSeen = 0;
  std::atomic<int32_t> measure{0};
  std::atomic<int32_t> beat{0};
  std::atomic<int32_t> tickInBeat{0};

  // Control. threadStatus is published: 1 prepared, 2 playing, 0 stopped.
  uint8_t playRequest = 0;
  uint8_t stopRequested = 0;  // a stop request ended the song
  std::atomic<int32_t> threadStatus{0};
  // The data bytes of the channel message, or the text of the meta event, being played.
  std::array<uint8_t, MessageBufferSize> messageBuffer{};

  std::array<TrackCursor, MaxTracks + 1> cursors{};
  int32_t chainHead = -1;

  // Pause and seek. paused is published for the window's title and the status line.
  std::atomic<bool> paused{false};
  uint8_t pauseAsked = 0;     // a pause to begin at the next wait
  int32_t pausedTick = 0;     // where a paused song stands
  uint8_t chaseOnResume = 0;  // the module was reset while paused: its state is sent again
  int32_t seekTarget = -1;    // the tick a seek asked for goes to; -1 none
  uint8_t moved = 0;          // a seek moved the song while the player waited

  // Repeats. The count is published for the window and the status line.
  std::atomic<int32_t> repeatCount{0};
  uint8_t repeatSetByUser = 0;
  uint8_t jumpSeen = 0;
  RepeatPoint repeatPoint;
  // The ticks at which the song sets a repeat or loop point, in order (found by preparation),
  // the next one to come, and the song's state at the start of the last one reached.
  std::vector<int32_t> pointTicks;
  size_t nextPointTick = 0;
  TickStart tickStart;
  // The song's loop markers act: it has some, and no repeat markers, which would come first.
  uint8_t loopMarkers = 0;
  ChaseState chase;  // kept while loop markers act
};

}  // namespace tessaro
