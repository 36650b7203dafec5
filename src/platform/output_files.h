// Files the program writes for the user (converted songs, recordings): each is written under a
// temporary name in the folder of its final name and renamed over that name only when it is
// complete, so a user's file is only ever replaced by a whole new one. A file abandoned (a
// failure, a stop request, a second Ctrl+C) leaves no trace: whatever was at the final name
// stays as it was.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tessaro::platform {

// The final name that stands for standard output.
inline constexpr char standardOutputName[] = "-";

// One output under way. Destroyed without a commit, its temporary file is removed.
class PendingFile {
 public:
  virtual ~PendingFile() = default;
  // The temporary file's path, for a writer that opens files by name.
  virtual const std::string& path() const = 0;
  // The temporary file, open for binary writing at its start; null when it cannot be opened.
  // The pending file owns it: a writer never closes it.
  virtual std::FILE* stream() = 0;
  // Closes the stream, puts the file's bytes on disk and renames it over the final name (for
  // standard output: copies it there); false with the reason in plain words, the temporary
  // file then removed and the final name untouched.
  virtual bool commit(std::string& problem) = 0;
};

struct PendingFileOpen {
  std::unique_ptr<PendingFile> file;  // set on success
  std::string problem;                // plain words on failure, without the name
};

class OutputFiles {
 public:
  virtual ~OutputFiles() = default;
  // Begins the file finalPath: a new temporary file, its name ending with suffix (the type's
  // extension, for writers that choose the format by name), in the folder of finalPath, or of
  // the file it points to when it is a symbolic link (the link stays and its target is
  // replaced). A final name that exists keeps its permissions; one that may not be written is
  // refused. standardOutputName is written to a temporary file in the system's temporary folder
  // and copied out whole at the commit.
  virtual PendingFileOpen begin(const std::string& finalPath, const std::string& suffix) = 0;
};

}  // namespace tessaro::platform
