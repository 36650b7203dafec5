// SongData: one Standard MIDI File as loaded: the header values and every track's bytes
// exactly as stored. The player decodes the tracks in place while it plays.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

constexpr int MaxTracks = 128;
// The largest song file read: the largest public songs are a few MB, and a file beyond this is
// not a song a module can play.
constexpr int64_t MaxSongBytes = 64 * 1024 * 1024;

// What the loader found at a song's path before opening it: songs are read from regular files
// only (a FIFO without a writer would hold the open for ever; a FIFO or a device can give bytes
// without end).
enum class SongFileKind { regular, directory, fifo, device, socket, other };

struct TrackData {
  int32_t length = 0;        // bytes of the chunk
  uint8_t* block = nullptr;  // the bytes, in a block rounded up to a multiple of 16
};

struct SongData {
  std::string name;  // the path the song was loaded from, as given
  int32_t headerLength = 0;
  int32_t format = 0;
  int32_t trackCount = 0;   // tracks stored; 0 when no song is loaded
  int32_t failedTrack = 0;  // after a failed load, the index of the track it failed in
  // What the last load found at its path, and the file's size in bytes (-1: not known).
  SongFileKind fileKind = SongFileKind::regular;
  int64_t fileBytes = -1;
  int32_t division = 0;  // ticks per quarter note, or an SMPTE division (see usPerTickOf)
  std::array<TrackData, MaxTracks + 1> tracks{};  // one more for an XF karaoke chunk

  // Track blocks in allocation order; released last first.
  std::vector<uint8_t*> allocationStack;
  // Allocation of a track block; null when memory cannot be had. Tests replace it.
  std::function<uint8_t*(size_t)> allocate;

  SongData();
  ~SongData();
  SongData(const SongData&) = delete;
  SongData& operator=(const SongData&) = delete;
};

// --- Time division ---------------------------------------------------------------------------
// The header's division is ticks per quarter note, or, with its high bit set, an SMPTE division:
// the high byte is minus the frames a second (-24, -25, -29 for 29.97 drop-frame, -30) and the
// low byte the ticks a frame. An SMPTE song's ticks are real time: tempo events do not change
// them. These are the one rule by which ticks become time, wherever that happens.

inline bool isSmpteDivision(int32_t division) {
  return (division & 0x8000) != 0;
}

// Frames a second of an SMPTE division as a fraction: 29.97 drop-frame is 30000/1001 (the frame
// count drops labels, not frames, so its frames come at 29.97 a second). {0, 1} for a frame
// code that is none of the four.
struct FrameRate {
  int32_t frames;
  int32_t per;
};
inline FrameRate frameRateOf(int32_t division) {
  switch (static_cast<int8_t>((division >> 8) & 0xFF)) {
    case -24:
      return {24, 1};
    case -25:
      return {25, 1};
    case -29:
      return {30000, 1001};
    case -30:
      return {30, 1};
    default:
      return {0, 1};
  }
}

// A division the player can time: ticks per quarter note above 0, or an SMPTE division of one
// of the four frame rates with at least one tick a frame.
inline bool isTimedDivision(int32_t division) {
  if (!isSmpteDivision(division)) return division > 0;
  return frameRateOf(division).frames > 0 && (division & 0xFF) > 0;
}

// Microseconds a tick lasts at tempo (microseconds per quarter note), rounded to the nearest:
// tempo / division, or for an SMPTE division one second / (frames x ticks a frame) whatever the
// tempo. 0 for a division that cannot be timed.
inline int32_t usPerTickOf(int32_t division, int32_t tempo) {
  if (!isTimedDivision(division)) return 0;
  if (!isSmpteDivision(division)) return (tempo + division / 2) / division;
  FrameRate rate = frameRateOf(division);
  int64_t ticksPer = static_cast<int64_t>(rate.frames) * (division & 0xFF);
  int64_t us = (1000000LL * rate.per + ticksPer / 2) / ticksPer;
  return static_cast<int32_t>(us);
}

// Ticks of a quarter note, for measures and beats: the division, or for an SMPTE song the ticks
// of half a second (a quarter note at the default tempo of 120 a minute); at least 1.
inline int32_t ticksPerQuarterOf(int32_t division) {
  if (!isSmpteDivision(division)) return std::max(division, 1);
  int32_t quarter = static_cast<int32_t>(500000 / std::max(usPerTickOf(division, 500000), 1));
  return std::max(quarter, 1);
}

// The buffered byte reader over the file being loaded.
struct SongReader {
  std::FILE* file = nullptr;
  std::unique_ptr<char[]> buffer;
  uint8_t readerClosed = 255;  // 0 while open, 255 after close or end of file
  int64_t fileSize = -1;       // bytes in the file; -1 when unknown (not seekable)
  int64_t offset = 0;          // bytes read so far

  SongReader() = default;
  ~SongReader();
  SongReader(const SongReader&) = delete;
  SongReader& operator=(const SongReader&) = delete;
};

}  // namespace tessaro
