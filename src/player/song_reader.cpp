// Standard MIDI File reader and track store: loads the header and every track's bytes as
// stored, with the checks and console messages of a failed load.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

#include "player/engine.h"

namespace tessaro {

namespace {

constexpr size_t readBufferSize = 19000;
constexpr int32_t largeTrackUnits = 4096;  // 16-byte units: tracks above 64 KB
constexpr int32_t esc = 27;

uint8_t* defaultAllocate(size_t size) {
  return new (std::nothrow) uint8_t[size];
}

uint8_t* allocateTrackBlock(SongData& song, size_t size) {
  uint8_t* block = song.allocate ? song.allocate(size) : defaultAllocate(size);
  if (block != nullptr) song.allocationStack.push_back(block);
  return block;
}

// Blocks are released in the reverse order of their allocation; a release out of that order
// is reported and done all the same.
void releaseTrackBlock(SongData& song, uint8_t* block, Log* log) {
  if (block == nullptr) return;
  auto& stack = song.allocationStack;
  if (!stack.empty() && stack.back() == block) {
    stack.pop_back();
  } else {
    if (log != nullptr) log->print("inordered memory release.\n");
    for (auto it = stack.begin(); it != stack.end(); ++it) {
      if (*it == block) {
        stack.erase(it);
        break;
      }
    }
  }
  delete[] block;
}

bool readTag(Engine& engine, const char* tag) {
  for (int i = 0; tag[i] != '\0'; ++i) {
    if (readSongByte(engine) != static_cast<unsigned char>(tag[i])) return false;
  }
  return true;
}

// A chunk tag of four printable characters that is not the one expected: a chunk of another
// kind, which the file format says to skip.
bool isForeignChunk(const int tag[4]) {
  for (int i = 0; i < 4; ++i) {
    if (tag[i] < 0x20 || tag[i] > 0x7E) return false;
  }
  return !(tag[0] == 'M' && tag[1] == 'T' && tag[2] == 'r' && tag[3] == 'k');
}

void skipBytes(Engine& engine, int64_t count) {
  for (int64_t i = 0; i < count && engine.reader.readerClosed == 0; ++i) readSongByte(engine);
}

// Bytes of the file not read yet; a file whose size is not known counts as the largest song.
int64_t leftInFile(const SongReader& reader) {
  int64_t size = reader.fileSize >= 0 ? reader.fileSize : MaxSongBytes;
  return std::max<int64_t>(size - reader.offset, 0);
}

SongFileKind kindOf(std::filesystem::file_type type) {
  using Type = std::filesystem::file_type;
  switch (type) {
    case Type::regular:
      return SongFileKind::regular;
    case Type::directory:
      return SongFileKind::directory;
    case Type::fifo:
      return SongFileKind::fifo;
    case Type::block:
    case Type::character:
      return SongFileKind::device;
    case Type::socket:
      return SongFileKind::socket;
    default:
      return SongFileKind::other;
  }
}

// Looks at what the path names before anything opens it: only a regular file of at most
// MaxSongBytes is read (an open of a FIFO without a writer would wait for ever). A path that
// cannot be examined (missing, not allowed, a name the library cannot convert) is left to the
// open, which says why.
int examineSongFile(SongData& song, const char* fileName) {
  song.fileKind = SongFileKind::regular;
  song.fileBytes = -1;
  try {
    const std::filesystem::path path(fileName);
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return loadOk;
    song.fileKind = kindOf(status.type());
    if (song.fileKind != SongFileKind::regular) return loadNotAFile;
    auto size = std::filesystem::file_size(path, error);
    if (!error) song.fileBytes = static_cast<int64_t>(size);
  } catch (const std::exception&) {
    return loadOk;
  }
  return song.fileBytes > MaxSongBytes ? loadTooLarge : loadOk;
}

// Reads one chunk's body into track slot index: the large-track question, the allocation
// with its pause, the copy and the End of Track test. 0 or a load result code.
int readTrackBody(Engine& engine, int index, bool askForLargeTracks) {
  SongData& song = engine.song;
  TrackData& track = song.tracks[static_cast<size_t>(index)];
  int32_t length = readSong32(engine);
  // The file ended inside the length word, or the length is past 2 GB (more than any file
  // holds): either way the file ends inside the track.
  if (length < 0 || engine.reader.readerClosed != 0) return loadTruncated;
  int32_t units = static_cast<int32_t>((static_cast<int64_t>(length | 15) + 1) / 16);
  if (units > largeTrackUnits && askForLargeTracks) {
    engine.log.print("Are you sure to get over 64kB (%04X) segments? ", units);
    if (engine.observer.largeTrackAnswer() == esc) return loadNoMemory;
    engine.log.print("\n");
  }
  // A length beyond the end of the file cannot be filled: no more than what is left of the file
  // is taken or read, and the track then ends inside the file.
  int64_t readable = std::min<int64_t>(length, leftInFile(engine.reader));
  uint8_t* block = allocateTrackBlock(song, static_cast<size_t>((readable | 15) + 1));
  engine.clock.sleepMs(50);
  if (block == nullptr) {
    engine.log.print("memory getting failed.\n");
    return loadNoMemory;
  }
  track.block = block;
  // The track's bytes in one read: a large song loads at the speed of the file. When the file
  // ends inside the track, the bytes read are kept: their whole events play as a track without
  // its End of Track plays.
  SongReader& reader = engine.reader;
  size_t got = 0;
  if (readable > 0 && reader.readerClosed == 0)
    got = std::fread(block, 1, static_cast<size_t>(readable), reader.file);
  reader.offset += static_cast<int64_t>(got);
  track.length = static_cast<int32_t>(got);
  if (got < static_cast<size_t>(length)) {
    closeSongReader(engine);
    return loadTruncated;
  }
  int a = 254, b = 254, c = 254;
  for (int32_t i = std::max(length - 3, 0); i < length; ++i) {
    a = b;
    b = c;
    c = block[i];
  }
  if (a != 0xFF && b != 0x2F && c != 0x00) {
    engine.log.print("End of Track undetected.(%02X:%02X:%02X)\n", a, b, c);
    closeSongReader(engine);
    return loadNoEndOfTrack;
  }
  return loadOk;
}

// Ends a load that failed inside a track: only the tracks read whole stay in the song, and a
// track that the file's end cut short with the bytes it has; nothing plays a track without
// stored bytes. The failed track's block is released.
int failLoad(Engine& engine, int stored, int code) {
  SongData& song = engine.song;
  song.failedTrack = stored;
  if (code == loadTruncated && stored < MaxTracks + 1) {
    const TrackData& cut = song.tracks[static_cast<size_t>(stored)];
    if (cut.block != nullptr && cut.length > 0) ++stored;
  }
  for (int i = std::min<int>(song.trackCount, MaxTracks + 1) - 1; i >= stored; --i) {
    TrackData& track = song.tracks[static_cast<size_t>(i)];
    releaseTrackBlock(song, track.block, &engine.log);
    track = TrackData{};
  }
  song.trackCount = stored;
  return code;
}

int readXfChunks(Engine& engine) {
  SongData& song = engine.song;
  if (!readTag(engine, "FIH")) return loadNotSmf;
  skipBytes(engine, static_cast<uint32_t>(readSong32(engine)));
  if (!readTag(engine, "XFKM")) return loadNotSmf;
  int index = song.trackCount;
  ++song.trackCount;
  int code = readTrackBody(engine, index, true);
  if (code != loadOk) return failLoad(engine, index, code);
  closeSongReader(engine);
  return loadOk;
}

}  // namespace

SongData::SongData() = default;

SongData::~SongData() {
  while (!allocationStack.empty()) {
    delete[] allocationStack.back();
    allocationStack.pop_back();
  }
}

SongReader::~SongReader() {
  if (file != nullptr) std::fclose(file);
}

int openSongReader(Engine& engine, const char* fileName) {
  closeSongReader(engine);
  SongReader& reader = engine.reader;
  reader.file = std::fopen(fileName, "rb");
  if (reader.file == nullptr) {
    engine.log.print("Cannot open (RD) : %s\n", fileName);
    return -1;
  }
  reader.readerClosed = 0;
  if (!reader.buffer) reader.buffer.reset(new (std::nothrow) char[readBufferSize]);
  if (!reader.buffer ||
      std::setvbuf(reader.file, reader.buffer.get(), _IOFBF, readBufferSize) != 0) {
    engine.log.print("Buffering failed.(RD)\n");
    closeSongReader(engine);
    return -1;
  }
  reader.offset = 0;
  reader.fileSize = -1;
  if (std::fseek(reader.file, 0, SEEK_END) == 0) {
    long size = std::ftell(reader.file);
    if (size >= 0 && std::fseek(reader.file, 0, SEEK_SET) == 0) reader.fileSize = size;
  }
  return 0;
}

int readSongByte(Engine& engine) {
  SongReader& reader = engine.reader;
  if (reader.readerClosed != 0 || reader.file == nullptr) return -1;
  int byte = std::fgetc(reader.file);
  if (byte == EOF) {
    closeSongReader(engine);
    return -1;
  }
  ++reader.offset;
  return byte;
}

// Missing bytes past the end count as 0xFF each.
int32_t readSong16(Engine& engine) {
  uint32_t value = 0;
  for (int i = 0; i < 2; ++i)
    value = value << 8 | (static_cast<uint32_t>(readSongByte(engine)) & 0xFF);
  return static_cast<int32_t>(value);
}

int32_t readSong32(Engine& engine) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i)
    value = value << 8 | (static_cast<uint32_t>(readSongByte(engine)) & 0xFF);
  return static_cast<int32_t>(value);
}

void closeSongReader(Engine& engine) {
  SongReader& reader = engine.reader;
  if (reader.file != nullptr) {
    std::fclose(reader.file);
    reader.file = nullptr;
  }
  reader.readerClosed = 255;
}

int loadSong(Engine& engine, const char* fileName) {
  SongData& song = engine.song;
  if (song.trackCount != 0) freeSong(engine);
  song.failedTrack = 0;
  song.name = fileName;
  if (int refused = examineSongFile(song, fileName); refused != loadOk) {
    closeSongReader(engine);
    return refused;
  }
  if (openSongReader(engine, fileName) != 0) return loadCannotOpen;
  if (!readTag(engine, "MThd")) return loadNotSmf;
  song.headerLength = readSong32(engine);
  song.format = readSong16(engine);
  song.trackCount = readSong16(engine);
  song.division = readSong16(engine);
  if (song.headerLength > 6) skipBytes(engine, static_cast<int64_t>(song.headerLength) - 6);
  // A header cut short is no Standard MIDI File; a division that cannot be timed is said by the
  // load's failure line, which names the song.
  if (engine.reader.readerClosed != 0) {
    song.trackCount = 0;
    return loadNotSmf;
  }
  if (!isTimedDivision(song.division)) {
    song.trackCount = 0;
    closeSongReader(engine);
    return loadBadDivision;
  }
  int stored = 0;
  while (stored < song.trackCount) {
    if (stored > MaxTracks - 1) {
      engine.log.print("Cannot read tracks more than %d (this file %d).\n", MaxTracks,
                       song.trackCount);
      song.trackCount = MaxTracks;
      return loadOk;
    }
    int tag[4];
    for (int& byte : tag) byte = readSongByte(engine);
    if (isForeignChunk(tag)) {
      skipBytes(engine, static_cast<uint32_t>(readSong32(engine)));
      continue;
    }
    if (!(tag[0] == 'M' && tag[1] == 'T' && tag[2] == 'r' && tag[3] == 'k'))
      return failLoad(engine, stored, loadNotSmf);
    int code = readTrackBody(engine, stored, song.format == 1);
    if (code != loadOk) return failLoad(engine, stored, code);
    ++stored;
  }
  if (engine.reader.readerClosed != 0) return loadOk;
  if (readSongByte(engine) != 'X') return loadOk;
  return readXfChunks(engine);
}

int freeSong(Engine& engine) {
  SongData& song = engine.song;
  if (song.trackCount == 0) {
    engine.log.print("Data Memory Already Deleted.\n");
    return 1;
  }
  for (int i = std::min<int>(song.trackCount, MaxTracks + 1) - 1; i >= 0; --i) {
    TrackData& track = song.tracks[static_cast<size_t>(i)];
    releaseTrackBlock(song, track.block, &engine.log);
    track = TrackData{};
  }
  song.trackCount = 0;
  return 0;
}

}  // namespace tessaro
