// Lists of song names, one a line, read from a file or a pipe (--files-from FILE) or from
// standard input ("-"). A list is text: a line holding control bytes (a binary file named by
// mistake) refuses the whole list; blank lines are skipped, and so is a line too long to be a
// name, with the line's number; the reading is bounded in line length and in names.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaro {

inline constexpr size_t nameListLineLimit = 4096;  // bytes of one name, as the system allows
inline constexpr size_t nameListNameLimit = 100000;

struct NameList {
  struct Skipped {
    size_t line = 0;  // from 1
    std::string why;
  };
  std::vector<std::string> names;
  std::vector<Skipped> skipped;
  std::string failure;   // the list is not read: why, in plain words
  bool stopped = false;  // the user asked to stop while it was read
  bool full = false;     // the rest was not read: nameListNameLimit names were there
};

// Splits text into names as it comes, in pieces of any size.
class NameListSplitter {
 public:
  explicit NameListSplitter(NameList& list) : list_(list) {}
  // False once the list has failed or is full: nothing more is taken.
  bool feed(const char* bytes, size_t count);
  // The end of the text: the last line, when it has no line end.
  void finish();

 private:
  void endLine();

  NameList& list_;
  std::string line_;
  size_t number_ = 1;
  bool tooLong_ = false;
};

// Reads the list at path ("-": standard input). stop is asked while nothing comes; once it says
// so the reading ends (stopped).
NameList readNameList(platform::FileSystem& files, const std::string& path,
                      const std::function<bool()>& stop);

}  // namespace tessaro
