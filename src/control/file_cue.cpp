#include "control/file_cue.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

namespace tessaro {

namespace {

// A number below bound from the generator's 32-bit words, each value equally likely: the words
// past the last whole multiple of bound are drawn again.
uint32_t below(std::mt19937& random, uint32_t bound) {
  const uint64_t words = uint64_t{1} << 32;
  const uint64_t taken = words - words % bound;
  uint64_t word;
  do {
    word = random() & 0xFFFFFFFFu;
  } while (word >= taken);
  return static_cast<uint32_t>(word % bound);
}

// Every entry and waiting name, in order, taken out of the list.
std::vector<std::string> takeAll(FileCue& cue) {
  std::vector<std::string> names = std::move(cue.played);
  for (int32_t i = 0; i < cue.length; ++i)
    names.push_back(std::move(cue.entries[static_cast<size_t>(i)]));
  names.insert(names.end(), cue.backlog.begin(), cue.backlog.end());
  return names;
}

// The list made anew of names, from its first song; the window shows it afresh.
void refill(FileCue& cue, CueView& view, const std::vector<std::string>& names) {
  clearCue(cue);
  for (const std::string& name : names) {
    if (!appendEntry(cue, name)) cue.backlog.push_back(name);
  }
  view.ListTop = 0;
  view.SelectedEntry = -1;
  view.titleLength = -1;
}

// The song played before the one that just played goes in front of it.
void stepBack(FileCue& cue, CueView& view) {
  if (cue.played.empty()) return;  // the first song: it plays again
  if (cue.length == CueCapacity) {
    cue.backlog.push_front(std::move(cue.entries[CueCapacity - 1]));
    --cue.length;
  }
  for (int32_t i = cue.length; i > cue.current; --i)
    cue.entries[static_cast<size_t>(i)] = std::move(cue.entries[static_cast<size_t>(i) - 1]);
  cue.entries[static_cast<size_t>(cue.current)] = std::move(cue.played.back());
  cue.played.pop_back();
  ++cue.length;
  --cue.droppedCount;
  if (view.SelectedEntry >= cue.current) ++view.SelectedEntry;
  if (view.SelectedEntry >= cue.length) view.SelectedEntry = -1;  // moved to the backlog
  view.titleLength = -1;
}

}  // namespace

void clearCue(FileCue& cue) {
  for (std::string& entry : cue.entries) entry.clear();
  cue.length = 0;
  cue.current = 0;
  cue.droppedCount = 0;
  cue.backlog.clear();
  cue.played.clear();
  cue.after = SongMove::next;
  cue.roundPlayed = false;
}

bool appendEntry(FileCue& cue, const std::string& name) {
  if (cue.length >= CueCapacity || name.size() > CuePathLimit) return false;
  cue.entries[static_cast<size_t>(cue.length)] = name;
  ++cue.length;
  return true;
}

void dropPlayedEntries(FileCue& cue, CueView& view) {
  while (cue.current >= 1 && cue.length >= 2) {
    cue.played.push_back(std::move(cue.entries[0]));
    for (int32_t i = 0; i + 1 < cue.length; ++i)
      cue.entries[static_cast<size_t>(i)] = std::move(cue.entries[static_cast<size_t>(i) + 1]);
    cue.entries[static_cast<size_t>(cue.length) - 1].clear();
    --cue.current;
    --cue.length;
    ++cue.droppedCount;
    --view.titleLength;
    --view.titlePosition;
    if (view.SelectedEntry != -1) --view.SelectedEntry;
    if (view.ListTop > cue.length - 1) view.ListTop = cue.length - 1;
  }
  while (!cue.backlog.empty() && appendEntry(cue, cue.backlog.front())) cue.backlog.pop_front();
}

void beginList(FileCue& cue, CueView& view, Log& log) {
  if (!cue.order.shuffle) return;
  uint32_t seed = seedShuffle(cue.order, cue.random);
  std::vector<std::string> names = takeAll(cue);
  shuffleNames(names, cue.random);
  refill(cue, view, names);
  log.print("Shuffled (seed %u)\n", static_cast<unsigned>(seed));
}

void advanceCue(FileCue& cue, CueView& view, bool songPlayed) {
  cue.roundPlayed = cue.roundPlayed || songPlayed;
  if (std::exchange(cue.after, SongMove::next) == SongMove::previous) {
    stepBack(cue, view);
    return;
  }
  ++cue.current;
  if (cue.current < cue.length || !cue.order.loop || !cue.roundPlayed) return;
  const std::string last = cue.entries[static_cast<size_t>(cue.current) - 1];
  std::vector<std::string> names = takeAll(cue);
  if (cue.order.shuffle) {
    shuffleNames(names, cue.random);
    // The song that just ended does not start the new round at once.
    if (names.size() > 1 && names.front() == last) std::swap(names.front(), names.back());
  }
  refill(cue, view, names);
}

bool seedFromText(const std::string& text, uint32_t& seed) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  unsigned long long value = std::stoull(text);
  if (value > UINT32_MAX) return false;
  seed = static_cast<uint32_t>(value);
  return true;
}

uint32_t seedShuffle(const ListOrder& order, std::mt19937& random) {
  uint32_t seed = order.seed;
  if (!order.seeded) {
    try {
      seed = std::random_device{}();
    } catch (const std::exception&) {
      // No source of randomness: the time stands in for one.
      seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
  }
  random.seed(seed);
  return seed;
}

void shuffleNames(std::vector<std::string>& names, std::mt19937& random) {
  // Fisher-Yates, from the end: each place takes one of the names not yet placed.
  for (size_t i = names.size(); i > 1; --i)
    std::swap(names[i - 1], names[below(random, static_cast<uint32_t>(i))]);
}

bool isLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::string directoryPart(const std::string& path, char separator, bool skipLeadBytes) {
  size_t end = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(path[i]);
    if (skipLeadBytes && isLeadByte(byte)) {
      ++i;
      continue;
    }
    if (path[i] == separator) end = i + 1;
  }
  return path.substr(0, end);
}

int extensionPart(const std::string& name, std::string& extension, bool skipLeadBytes) {
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(name[i]);
    if (skipLeadBytes && isLeadByte(byte)) {
      ++i;
      continue;
    }
    if (name[i] == '.') dot = i;
  }
  if (dot == std::string::npos) {
    extension.clear();
    return 0;
  }
  extension = name.substr(dot);
  return -1;
}

int findFileName(platform::FileSystem& files, const std::string& pattern, std::string& name) {
  name.clear();
  std::vector<platform::FileMatch> matches = files.findFiles(pattern, 2);
  if (matches.empty()) return -1;
  const platform::FileMatch* match = &matches[0];
  if (match->isDirectory) {
    if (matches.size() < 2) return -1;
    match = &matches[1];
    if (match->isDirectory) return -2;
  }
  name = match->name;
  return 0;
}

}  // namespace tessaro
