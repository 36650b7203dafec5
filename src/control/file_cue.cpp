#include "control/file_cue.h"

namespace tessaro {

void clearCue(FileCue& cue) {
  for (std::string& entry : cue.entries) entry.clear();
  cue.length = 0;
  cue.current = 0;
  cue.droppedCount = 0;
  cue.backlog.clear();
}

bool appendEntry(FileCue& cue, const std::string& name) {
  if (cue.length >= CueCapacity || name.size() > CuePathLimit) return false;
  cue.entries[static_cast<size_t>(cue.length)] = name;
  ++cue.length;
  return true;
}

void dropPlayedEntries(FileCue& cue, CueView& view) {
  while (cue.current >= 1 && cue.length >= 2) {
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
