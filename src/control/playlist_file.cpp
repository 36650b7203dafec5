#include "control/playlist_file.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "control/file_cue.h"
#include "midiout/midi_port.h"

namespace tessaro {

namespace {

constexpr size_t maxListBytes = 16u << 20;
constexpr size_t maxDepth = 8;       // lists within lists
constexpr size_t maxSongs = 100000;  // songs one list gives, its lists' included
constexpr int maxListsRead = 1000;   // lists read for one list, itself included
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

bool endsWithNoCase(const std::string& name, std::string_view ending) {
  if (name.size() < ending.size()) return false;
  std::string_view tail = std::string_view(name).substr(name.size() - ending.size());
  return std::equal(tail.begin(), tail.end(), ending.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

// A scheme of two or more characters before "://" (http://, file://): a drive letter is none.
bool isUrl(const std::string& name) {
  size_t colon = name.find("://");
  if (colon == std::string::npos || colon < 2) return false;
  if (std::isalpha(static_cast<unsigned char>(name[0])) == 0) return false;
  std::string_view scheme = std::string_view(name).substr(1, colon - 1);
  return std::all_of(scheme.begin(), scheme.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
  });
}

// A name from the root, or from a drive (C:\..., C:/...), stands as it is.
bool isAbsolute(const std::string& name, const platform::PathRules& paths) {
  if (name[0] == '/' || name[0] == paths.separator) return true;
  return name.size() >= 3 && std::isalpha(static_cast<unsigned char>(name[0])) != 0 &&
         name[1] == ':' && (name[2] == '/' || name[2] == '\\');
}

std::string trimmed(std::string_view text) {
  const char* blanks = " \t\r";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

// The same list however its path is written, as far as the system can tell; a name the
// library cannot take (bytes of no encoding it knows) as it stands.
std::string listKey(const std::string& path) {
  try {
    std::error_code error;
    std::filesystem::path key = std::filesystem::weakly_canonical(path, error);
    return error ? std::filesystem::path(path).lexically_normal().string() : key.string();
  } catch (const std::exception&) {
    return path;
  }
}

}  // namespace

bool isPlayListName(const std::string& name) {
  return endsWithNoCase(name, ".m3u") || endsWithNoCase(name, ".m3u8");
}

// One call's state: the lists open, from the outermost; the songs so far; how much was read.
struct PlayListReader::Reading {
  std::vector<std::string> open;
  std::vector<std::string> songs;
  int listsRead = 0;
  bool full = false;  // the song limit was reached: nothing more is read
};

// Where a line stands: its list, its number from 1, the list's folder and its text's encoding.
struct PlayListReader::Line {
  std::string list;
  int number;
  std::string directory;
  bool utf8;
  std::string where() const { return list + ":" + std::to_string(number); }
};

std::vector<std::string> PlayListReader::songsOf(const std::string& list) {
  Reading reading;
  std::string problem = readList(list, reading);
  if (!problem.empty()) log_.problem(list, problem);
  return std::move(reading.songs);
}

// Reads the list's lines into the reading; why it could not be read, or nothing.
std::string PlayListReader::readList(const std::string& path, Reading& reading) {
  if (reading.listsRead >= maxListsRead)
    return "more than " + std::to_string(maxListsRead) + " lists: not read";
  platform::FileBytes file = files_.readRegularFile(path, maxListBytes);
  if (!file.read) return file.reason;
  ++reading.listsRead;
  std::string_view text = file.bytes;
  bool marked = text.substr(0, byteOrderMark.size()) == byteOrderMark;
  if (marked) text.remove_prefix(byteOrderMark.size());
  // Names below the list's folder, whichever separator its path is written with.
  size_t folder = std::max(directoryPart(path, paths_.separator, paths_.skipLeadBytes).size(),
                           directoryPart(path, '/', paths_.skipLeadBytes).size());
  Line line{path, 0, path.substr(0, folder), marked || endsWithNoCase(path, ".m3u8")};
  reading.open.push_back(listKey(path));
  while (!text.empty() && !reading.full) {
    size_t end = std::min(text.find('\n'), text.size());
    ++line.number;
    takeLine(text.substr(0, end), line, reading);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  reading.open.pop_back();
  return {};
}

void PlayListReader::takeLine(std::string_view text, const Line& line, Reading& reading) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (text.size() > CuePathLimit) {
    log_.problem(line.where(),
                 "a line longer than " + std::to_string(CuePathLimit) + " bytes: skipped");
    return;
  }
  std::string name = trimmed(text);
  if (name.empty() || name[0] == '#') return;
  if (isUrl(name)) {
    log_.problem(line.where(), name + ": a URL; only files are played");
    return;
  }
  if (line.utf8 && fromUtf8_) name = fromUtf8_(name);
  std::string path = isAbsolute(name, paths_) ? name : line.directory + name;
  if (isPlayListName(path)) {
    takeList(path, name, line, reading);
  } else if (isSong(path, name, line.where())) {
    if (reading.songs.size() >= maxSongs) {
      log_.problem(line.where(), "more than " + std::to_string(maxSongs) +
                                     " songs: the rest of the list is not read");
      reading.full = true;
      return;
    }
    reading.songs.push_back(path);
  }
}

void PlayListReader::takeList(const std::string& path, const std::string& name, const Line& line,
                              Reading& reading) {
  std::string problem;
  if (std::find(reading.open.begin(), reading.open.end(), listKey(path)) != reading.open.end()) {
    problem = "the list includes itself: not read again";
  } else if (reading.open.size() >= maxDepth) {
    problem = "lists within lists more than " + std::to_string(maxDepth) + " deep: not read";
  } else {
    problem = readList(path, reading);
  }
  if (!problem.empty()) log_.problem(line.where(), name + ": " + problem);
}

// A file the player can take: there, not a directory, a MIDI file by its extension (as the
// settings file takes them) and a path the play list holds.
bool PlayListReader::isSong(const std::string& path, const std::string& name,
                            const std::string& where) {
  platform::PathFacts facts = files_.examine(path);
  std::string extension;
  extensionPart(path.substr(directoryPart(path, paths_.separator, paths_.skipLeadBytes).size()),
                extension, paths_.skipLeadBytes);
  std::string problem;
  if (facts.kind != platform::PathFacts::Kind::file) {
    problem = facts.reason;
  } else if (extension.empty() || matchesPrefixNoCase(extension.c_str(), ".MID") != 0) {
    problem = "not a MIDI file (.mid)";
  } else if (path.size() > CuePathLimit) {
    problem = "the path is longer than " + std::to_string(CuePathLimit) + " bytes";
  }
  if (!problem.empty()) log_.problem(where, name + ": " + problem);
  return problem.empty();
}

}  // namespace tessaro
