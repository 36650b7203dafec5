// Play lists: .m3u and .m3u8 files among the songs. One name a line, relative to the list's
// folder; '#' lines (#EXTM3U, #EXTINF, comments) and blank lines are skipped; lines end in LF or
// CR LF; a UTF-8 byte-order mark is skipped. What cannot be played (a URL, a missing entry, a
// line too long) is said on the error stream as "tessaro: LIST:LINE: what happened" and
// skipped. A list within a list is read in its place, to a bounded depth; a list that includes
// itself is said and not read again. Only regular files are read as lists, whole and of a
// bounded size.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/log.h"
#include "platform/platform.h"

namespace tessaro {

// The name ends in .m3u or .m3u8, in any letter case.
bool isPlayListName(const std::string& name);

class PlayListReader {
 public:
  using NameConverter = std::function<std::string(const std::string&)>;

  // fromUtf8: the names of a UTF-8 list (.m3u8, or one that begins with a byte-order mark) as
  // the system's file calls take them; none: as they stand.
  PlayListReader(platform::FileSystem& files, Log& log, platform::PathRules paths = {},
                 NameConverter fromUtf8 = {})
      : files_(files), log_(log), paths_(paths), fromUtf8_(std::move(fromUtf8)) {}

  // The songs the list names, in order, with the lists within it read in their place. A list
  // that cannot be read is said and gives none.
  std::vector<std::string> songsOf(const std::string& list);

 private:
  struct Reading;
  struct Line;
  std::string readList(const std::string& path, Reading& reading);
  void takeLine(std::string_view text, const Line& line, Reading& reading);
  void takeList(const std::string& path, const std::string& name, const Line& line,
                Reading& reading);
  bool isSong(const std::string& path, const std::string& name, const std::string& where);

  platform::FileSystem& files_;
  Log& log_;
  platform::PathRules paths_;
  NameConverter fromUtf8_;
};

}  // namespace tessaro
