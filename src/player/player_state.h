// PlayerState: the playback record shared by the main thread, the player thread and the
// display. Values that the other thread writes or reads while a song plays are atomic
// (single flags and 32-bit words); everything else belongs to the player thread while it runs
// and to the main thread before it starts and after it has ended.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "common/conventions.h"
#include "player/song_data.h"

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

// Where a repeat jumps back to: the cursors and channel volumes as they were at the mark.
struct RepeatPoint {
  int32_t markTick = 0;        // tick of the mark; 0 the song start
  int32_t markTrack = -1;      // track that held the mark; -1 none
  int32_t markChainHead = -1;  // chainHead when the mark was met
  std::array<TrackCursor, MaxTracks + 1> cursors{};
  std::array<int32_t, ChannelCount> volume{};
};

struct PlayerState {
  // Timing.
  std::atomic<int32_t> nowTick{0};
  int32_t tempo = 500000;
  int32_t usPerTick = 0;
  int32_t usRemainder = 0;
  std::atomic<int32_t> speedDivisor{DefaultSpeedDivisor};
  int32_t msBase = 0;
  int32_t songStart = 0;
  std::atomic<uint32_t> timeOrigin{0};
  std::atomic<uint8_t> fastForward{0};
  uint8_t firstNoteSeen = 0;
  std::atomic<int32_t> measure{0};
  std::atomic<int32_t> beat{0};
  std::atomic<int32_t> tickInBeat{0};

  // Control.
  std::atomic<uint8_t> playRequest{0};
  std::atomic<int32_t> threadStatus{0};
  // The data bytes of the channel message, or the text of the meta event, being played.
  std::array<uint8_t, MessageBufferSize> messageBuffer{};

  std::array<TrackCursor, MaxTracks + 1> cursors{};
  int32_t chainHead = -1;
  std::array<std::array<int32_t, 128>, ChannelCount> soundingNotes{};

  // Fade-out, volume offset and repeats. The offset is the user's volume add value with the
  // fade and the song's master volume taken off; only setUserVolume and the player change it.
  std::atomic<int32_t> masterVolumeCut{0};
  std::atomic<int32_t> fadeTotal{0};
  std::atomic<int32_t> volumeOffset{0};
  std::atomic<uint8_t> volumeChanged{0};
  std::atomic<uint8_t> fadeActive{0};
  std::atomic<int32_t> fadeInterval{210};
  std::atomic<int32_t> fadeStep{3};
  int32_t fadeLastTime = 0;
  std::atomic<int32_t> repeatCount{0};
  std::atomic<uint8_t> repeatSetByUser{0};
  uint8_t jumpSeen = 0;
  RepeatPoint repeatPoint;
};

}  // namespace tessaro
