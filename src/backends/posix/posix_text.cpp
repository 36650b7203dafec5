// Text a user named, read as it comes: a regular file, a pipe (a FIFO, or bash's <(...)) or
// standard input. The open never waits for a pipe's writer, and every read waits at most as
// long as the caller says, so that a stop request is seen while nothing comes.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {

namespace {

class PosixTextStream : public TextStream {
 public:
  // owned: the descriptor is closed with the stream (not standard input).
  PosixTextStream(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~PosixTextStream() override {
    if (owned_) ::close(fd_);
  }
  PosixTextStream(const PosixTextStream&) = delete;
  PosixTextStream& operator=(const PosixTextStream&) = delete;

  long read(char* buffer, size_t size, int waitMs) override {
    pollfd input{fd_, POLLIN, 0};
    int ready = ::poll(&input, 1, waitMs);
    if (ready < 0) return errno == EINTR ? notYet : fail(errno);
    if (ready == 0) return notYet;
    ssize_t count = ::read(fd_, buffer, size);
    if (count >= 0) return static_cast<long>(count);
    return errno == EAGAIN || errno == EINTR ? notYet : fail(errno);
  }
  std::string reason() const override { return reason_; }

 private:
  long fail(int error) {
    reason_ = std::strerror(error);
    return failed;
  }

  int fd_;
  bool owned_;
  std::string reason_;
};

// Why a file of this kind is no text to read; empty when it is one.
std::string refusal(mode_t mode, bool standardInput) {
  if (S_ISREG(mode) || S_ISFIFO(mode)) return "";
  if (S_ISDIR(mode)) return "is a directory";
  // Standard input may be a terminal the user types the names on, or /dev/null.
  if (standardInput && S_ISCHR(mode)) return "";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
  return "is not a file that can be read (a socket?)";
}

}  // namespace

TextStreamOpen PosixFileSystem::openText(const std::string& path) {
  struct stat info {};
  if (path == "-") {
    if (::fstat(STDIN_FILENO, &info) != 0) return {nullptr, std::strerror(errno)};
    std::string refused = refusal(info.st_mode, true);
    if (!refused.empty()) return {nullptr, refused};
    return {std::make_unique<PosixTextStream>(STDIN_FILENO, false), ""};
  }
  // Looked at before the open, so that a device is never opened; the open itself does not wait,
  // since a FIFO without a writer would hold an ordinary open for ever.
  if (::stat(path.c_str(), &info) == 0) {
    std::string refused = refusal(info.st_mode, false);
    if (!refused.empty()) return {nullptr, refused};
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    int error = errno;
    return {nullptr, error == ENOENT ? "no such file" : std::strerror(error)};
  }
  std::string refused =
      ::fstat(fd, &info) != 0 ? std::strerror(errno) : refusal(info.st_mode, false);
  if (!refused.empty()) {
    ::close(fd);
    return {nullptr, refused};
  }
  return {std::make_unique<PosixTextStream>(fd, true), ""};
}

}  // namespace tessaro::platform::posix
