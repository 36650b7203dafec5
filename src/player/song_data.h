// SongData: one Standard MIDI File as loaded: the header values and every track's bytes
// exactly as stored. The player decodes the tracks in place while it plays.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace tessaro {

constexpr int MaxTracks = 128;

struct TrackData {
  int32_t length = 0;        // bytes of the chunk
  uint8_t* block = nullptr;  // the bytes, in a block rounded up to a multiple of 16
};

struct SongData {
  int32_t headerLength = 0;
  int32_t format = 0;
  int32_t trackCount = 0;   // tracks stored; 0 when no song is loaded
  int32_t failedTrack = 0;  // after a failed load, the index of the track it failed in
  int32_t division = 0;     // ticks per quarter note
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
