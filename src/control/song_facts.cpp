#include "control/song_facts.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "player/engine.h"
#include "translate/translate.h"

namespace tessaro {

namespace {

constexpr size_t titleLimit = 60;

// A system exclusive of the song at its tick: the bytes after 0xF0.
struct SysEx {
  int32_t tick;
  const uint8_t* bytes;
  int32_t length;
};

// Takes what the translation would send and sends nothing: only its detection is wanted.
class NoActions : public translate::Actions {
 public:
  void sendShort(int, int, int) override {}
  void sendLong(int, const uint8_t*, int32_t) override {}
  void pause(int32_t, int32_t) override {}
  void resetSent() override {}
  void masterVolumeCut(int32_t) override {}
};

// Reads the events of one stored track without playing them.
class TrackWalk {
 public:
  explicit TrackWalk(const TrackData& track) : bytes_(track.block), length_(track.length) {}

  // Calls event(tick, status, meta type or -1, data, size) for each event until it returns
  // false, the track ends, or its bytes end inside an event.
  template <class Event>
  void walk(Event&& event) {
    int32_t tick = 0;
    int running = 0;
    while (at_ < length_) {
      int64_t delta = quantity();
      if (delta < 0 || at_ >= length_) return;
      tick = static_cast<int32_t>(std::min<int64_t>(tick + delta, INT32_MAX));
      int status = bytes_[at_];
      if (status >= 0x80) {
        ++at_;
      } else if (running == 0) {
        return;
      } else {
        status = running;
      }
      int type = -1;
      if (status == 0xFF) {
        if (at_ >= length_) return;
        type = bytes_[at_++];
      }
      int64_t size = status >= 0xF0 ? quantity() : (status >= 0xC0 && status < 0xE0 ? 1 : 2);
      if (status < 0xF0) running = status;
      if (size < 0 || size > length_ - at_) return;
      if (!event(tick, status, type, bytes_ + at_, static_cast<int32_t>(size))) return;
      at_ += static_cast<int32_t>(size);
    }
  }

 private:
  // A variable-length quantity; -1 when the bytes end inside it or it is too long.
  int64_t quantity() {
    int64_t value = 0;
    for (int i = 0; i < 4 && at_ < length_; ++i) {
      uint8_t b = bytes_[at_++];
      value = value << 7 | (b & 0x7F);
      if ((b & 0x80) == 0) return value;
    }
    return -1;
  }

  const uint8_t* bytes_;
  int32_t length_;
  int32_t at_ = 0;
};

std::string printable(const uint8_t* text, int32_t length) {
  std::string out;
  for (int32_t i = 0; i < length && out.size() < titleLimit; ++i)
    out.push_back(text[i] < 0x20 || text[i] == 0x7F ? ' ' : static_cast<char>(text[i]));
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The first convention the song's system exclusives show, taken in time order.
SongConvention firstConvention(std::vector<SysEx>& messages) {
  std::stable_sort(messages.begin(), messages.end(),
                   [](const SysEx& a, const SysEx& b) { return a.tick < b.tick; });
  auto detector = std::make_unique<translate::Translator>();
  detector->startSong();
  NoActions none;
  for (const SysEx& m : messages) {
    detector->systemExclusive(m.bytes, m.length, translate::EventContext{}, none);
    SongConvention shown = detector->shown;
    if (shown == SongConvention::gs || shown == SongConvention::xg) return shown;
  }
  return SongConvention::undecided;
}

const char* conventionName(SongConvention convention) {
  switch (convention) {
    case SongConvention::gs:
      return "GS";
    case SongConvention::xg:
      return "XG";
    default:
      return "GM";
  }
}

std::string badDivision(int32_t division) {
  if (division == 0) return "has a time division of 0";
  char text[96];
  std::snprintf(text, sizeof text,
                "has an SMPTE time division that cannot be timed (frame code %d, %d ticks a frame)",
                static_cast<int8_t>((division >> 8) & 0xFF), division & 0xFF);
  return text;
}

std::string notAFile(SongFileKind kind) {
  const char* what = "is not a regular file";
  switch (kind) {
    case SongFileKind::directory:
      return "is a directory";
    case SongFileKind::fifo:
      what = "is a FIFO";
      break;
    case SongFileKind::device:
      what = "is a device";
      break;
    case SongFileKind::socket:
      what = "is a socket";
      break;
    default:
      break;
  }
  return std::string(what) + " (songs are read from regular files only)";
}

std::string tooLarge(int64_t bytes) {
  char text[96];
  std::snprintf(text, sizeof text, "is larger than %lld MB (%lld bytes)",
                static_cast<long long>(MaxSongBytes >> 20), static_cast<long long>(bytes));
  return text;
}

}  // namespace

SongFacts readSongFacts(const SongData& song) {
  SongFacts facts;
  facts.division = song.division;
  std::vector<SysEx> messages;
  int32_t count = std::min<int32_t>(song.trackCount, MaxTracks);
  for (int32_t t = 0; t < count; ++t) {
    TrackWalk walk(song.tracks[static_cast<size_t>(t)]);
    walk.walk([&](int32_t tick, int status, int type, const uint8_t* data, int32_t size) {
      facts.endTick = std::max(facts.endTick, tick);
      if (status == 0xF0) messages.push_back({tick, data, size});
      if (type == 0x51 && size == 3)
        facts.tempos.push_back({tick, data[0] << 16 | data[1] << 8 | data[2]});
      if (type == 0x03 && t == 0 && facts.title.empty()) facts.title = printable(data, size);
      return type != 0x2F;
    });
  }
  std::stable_sort(facts.tempos.begin(), facts.tempos.end(),
                   [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
  facts.convention = firstConvention(messages);
  return facts;
}

// Ticks become time by the player's own rule, so that the times shown agree with the music.
int64_t tickToMs(const SongFacts& facts, int32_t tick) {
  if (!isTimedDivision(facts.division)) return 0;
  int64_t us = 0;
  int32_t from = 0;
  int32_t tempo = 500000;
  for (const TempoChange& change : facts.tempos) {
    if (change.tick >= tick) break;
    us += static_cast<int64_t>(change.tick - from) * usPerTickOf(facts.division, tempo);
    from = change.tick;
    tempo = change.tempo;
  }
  us += static_cast<int64_t>(std::max(tick - from, 0)) * usPerTickOf(facts.division, tempo);
  return us / 1000;
}

int32_t tempoAt(const SongFacts& facts, int32_t tick) {
  int32_t tempo = 500000;
  for (const TempoChange& change : facts.tempos) {
    if (change.tick > tick) break;
    tempo = change.tempo;
  }
  return tempo;
}

std::string songHeader(int position, int total, const std::string& name, const SongFacts* facts,
                       Target target) {
  char place[32];
  std::snprintf(place, sizeof place, "[%d/%d] ", position, total);
  std::string line = place + name;
  if (facts == nullptr) return line + "\n";
  if (!facts->title.empty()) line += "  \"" + facts->title + "\"";
  return line + "  " + conventionText(facts->convention, target) + "\n";
}

std::string conventionText(SongConvention convention, Target target) {
  std::string from = conventionName(convention);
  if (target == Target::none) return from + ", untranslated";
  std::string to = target == Target::gm ? "GM" : "XG";
  return from == to ? from : from + " -> " + to;
}

std::string loadFailure(int loadResult, const SongData& song, const platform::PathFacts& path) {
  using Kind = platform::PathFacts::Kind;
  const char* words = nullptr;
  int failedTrack = song.failedTrack;
  int track = failedTrack + 1;  // counted from 1
  switch (loadResult) {
    case loadOk:
      return "";
    case loadCannotOpen:
      return path.kind == Kind::file || path.reason.empty() ? "cannot be opened" : path.reason;
    case loadNotSmf:
      if (path.kind == Kind::directory) return "is a directory";
      if (failedTrack == 0) return "not a Standard MIDI File";
      words = "not a Standard MIDI File after track %d";
      track = failedTrack;
      break;
    case loadNoEndOfTrack:
      words = "track %d has no End of Track";
      break;
    case loadTruncated:
      words = "ends inside track %d";
      break;
    case loadBadDivision:
      return badDivision(song.division);
    case loadNotAFile:
      return notAFile(song.fileKind);
    case loadTooLarge:
      return tooLarge(song.fileBytes);
    case loadNoMemory:
      words = "track %d was not loaded (no memory for it, or declined)";
      break;
    default:
      words = "cannot be loaded (%d)";
      track = loadResult;
      break;
  }
  char text[96];
  std::snprintf(text, sizeof text, words, track);
  return text;
}

std::string startPastEnd(const SongFacts& facts, int32_t measure, int32_t beat) {
  if ((measure < 1 && beat < 1) || facts.division <= 0) return "";
  // As the positioning counts: four quarter notes to a measure.
  const int64_t beats = 4 * static_cast<int64_t>(std::max(measure, 1) - 1) + std::max(beat, 1) - 1;
  const int64_t start = beats * facts.division;
  if (start == 0 || start < facts.endTick) return "";
  const int64_t measureTicks = 4 * static_cast<int64_t>(facts.division);
  const int64_t measures = (facts.endTick + measureTicks - 1) / measureTicks;
  std::string where = "measure " + std::to_string(std::max(measure, 1));
  if (beat > 1) where += " beat " + std::to_string(beat);
  return "starts at " + where + ", past its end (it has " + std::to_string(measures) +
         (measures == 1 ? " measure" : " measures") + "); nothing of it is played";
}

}  // namespace tessaro
