// Output files on Linux: a temporary file made with O_EXCL beside the final name (beside the
// target of a link), renamed over the final name when complete. A file that replaces one that
// was there is put on disk with fsync first, so that not even a crash of the system between
// the two can leave the old file replaced by an empty one; a new file, which replaces nothing,
// is left to the system's own pace. Every
// temporary file is listed where a signal handler can reach it without locks or allocation, so
// that a program ended at once by a second Ctrl+C removes them before it goes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {

namespace {

// The list of temporary files under way. A slot is free (0), taken by the thread that fills or
// empties it (1), or listed (2); a thread and the signal handler each claim a listed slot with
// a compare-and-swap before they touch its path, so neither ever reads a path half written.
constexpr size_t listSlots = 1024;
constexpr size_t pathBytes = PATH_MAX;
enum SlotState : int { slotFree = 0, slotTaken = 1, slotListed = 2 };

struct Slot {
  std::atomic<int> state{slotFree};
  char path[pathBytes];
};
Slot pendingList[listSlots];
// Set by the handler: the program is ending, no temporary file may begin.
std::atomic<bool> ending{false};
static_assert(std::atomic<int>::is_always_lock_free);

int listPending(const std::string& path) {
  if (path.size() >= pathBytes) return -1;
  for (size_t i = 0; i < listSlots; ++i) {
    int expected = slotFree;
    if (!pendingList[i].state.compare_exchange_strong(expected, slotTaken)) continue;
    std::memcpy(pendingList[i].path, path.c_str(), path.size() + 1);
    pendingList[i].state.store(slotListed);
    return static_cast<int>(i);
  }
  return -1;
}

void unlistPending(int slot) {
  if (slot < 0) return;
  int expected = slotListed;
  // Claimed by the handler meanwhile: the program is ending; the slot stays taken.
  if (pendingList[slot].state.compare_exchange_strong(expected, slotTaken))
    pendingList[slot].state.store(slotFree);
}

std::string systemError(int error) {
  return std::strerror(error);
}

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a final name stands for: a symbolic link is followed to its target (which need not
// exist yet), so that the link stays and the file it names is replaced.
bool followLinks(std::string& path, std::string& problem) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::string target(PATH_MAX, '\0');
    ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
      problem = systemError(length < 0 ? errno : ENAMETOOLONG);
      return false;
    }
    target.resize(static_cast<size_t>(length));
    path = target[0] == '/' ? target : directoryOf(path) + "/" + target;
  }
  problem = systemError(ELOOP);
  return false;
}

std::string randomTag() {
  static constexpr char letters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937 random(static_cast<unsigned>(
      std::random_device{}() ^
      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())));
  std::string tag(6, 'x');
  for (char& c : tag) c = letters[random() % (sizeof letters - 1)];
  return tag;
}

std::string temporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && folder[0] == '/' ? folder : "/tmp";
}

// Writes all of count bytes to fd, a piece no larger than a pipe takes at once whenever fd can
// take one, so that a reader that does not read holds the program only until a stop request;
// false with errno set when a write fails or the stop came.
bool writeAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    pollfd ready{fd, POLLOUT, 0};
    int polled = ::poll(&ready, 1, 100);
    if (polled < 0 && errno != EINTR) return false;
    if (stopRequestedBySignal()) {
      errno = EINTR;
      return false;
    }
    if (polled <= 0) continue;
    ssize_t written = ::write(fd, bytes, std::min<size_t>(count, PIPE_BUF));
    if (written < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

class PosixPendingFile : public PendingFile {
 public:
  PosixPendingFile(int fd, std::string path, std::string target, bool replacing)
      : fd_(fd),
        path_(std::move(path)),
        target_(std::move(target)),
        replacing_(replacing),
        slot_(listPending(path_)) {}
  ~PosixPendingFile() override {
    if (!closed_) closeFile();
    if (!done_) ::unlink(path_.c_str());
    unlistPending(slot_);
  }
  PosixPendingFile(const PosixPendingFile&) = delete;
  PosixPendingFile& operator=(const PosixPendingFile&) = delete;

  const std::string& path() const override { return path_; }

  std::FILE* stream() override {
    if (stream_ == nullptr && !closed_) stream_ = ::fdopen(fd_, "wb");
    return stream_;
  }

  bool commit(std::string& problem) override {
    int error = closeFile();
    if (error == 0 && target_ == standardOutputName) error = copyToStandardOutput();
    if (error == 0 && target_ != standardOutputName &&
        ::rename(path_.c_str(), target_.c_str()) != 0)
      error = errno;
    if (error != 0) {
      problem = systemError(error);
      return false;
    }
    done_ = target_ != standardOutputName;
    return true;
  }

 private:
  // Flushes (and syncs, when it replaces a file) and closes the file; the first error's
  // number, 0 for none.
  int closeFile() {
    closed_ = true;
    int error = 0;
    if (stream_ != nullptr && std::fflush(stream_) != 0) error = errno;
    if (error == 0 && replacing_ && ::fsync(fd_) != 0 && errno != EINVAL) error = errno;
    if (stream_ != nullptr ? std::fclose(stream_) != 0 : ::close(fd_) != 0)
      error = error != 0 ? error : errno;
    stream_ = nullptr;
    return error;
  }

  // The whole file to standard output. A reader that has gone is an error, not the end of the
  // program by SIGPIPE, so that the temporary file is still removed.
  int copyToStandardOutput() {
    int in = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno;
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous);
    int error = 0;
    char buffer[1 << 16];
    for (;;) {
      ssize_t got = ::read(in, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        error = got < 0 ? errno : 0;
        break;
      }
      if (!writeAll(STDOUT_FILENO, buffer, static_cast<size_t>(got))) {
        error = errno;
        break;
      }
    }
    sigaction(SIGPIPE, &previous, nullptr);
    ::close(in);
    return error;
  }

  int fd_;
  std::string path_;
  std::string target_;
  bool replacing_;  // a file is at the final name
  int slot_;
  std::FILE* stream_ = nullptr;
  bool closed_ = false;
  bool done_ = false;  // renamed: nothing left to remove
};

PendingFileOpen refused(std::string problem) {
  PendingFileOpen result;
  result.problem = std::move(problem);
  return result;
}

}  // namespace

void removePendingOutputs() {
  ending.store(true);
  for (Slot& slot : pendingList) {
    int expected = slotListed;
    if (slot.state.compare_exchange_strong(expected, slotTaken)) ::unlink(slot.path);
  }
}

PendingFileOpen PosixOutputFiles::begin(const std::string& finalPath, const std::string& suffix) {
  std::string target = finalPath;
  std::string problem;
  if (target != standardOutputName && !followLinks(target, problem)) return refused(problem);
  struct stat info {};
  const bool exists = target != standardOutputName && ::stat(target.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return refused(systemError(EISDIR));
  if (exists && ::access(target.c_str(), W_OK) != 0) return refused(systemError(errno));
  // A long name is cut in the temporary one, which must stay within the system's limit.
  const std::string folder = target == standardOutputName ? temporaryFolder() : directoryOf(target);
  const std::string stem = target == standardOutputName ? "tessaro" : "." + nameOf(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (ending.load()) return refused(systemError(EINTR));
    std::string path = folder + "/" + stem.substr(0, 200) + ".tessaro-" + randomTag() + suffix;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return refused(systemError(errno));
    // The replacement keeps the permissions of the file it replaces.
    if (exists) ::fchmod(fd, info.st_mode & 07777);
    PendingFileOpen result;
    result.file = std::make_unique<PosixPendingFile>(fd, std::move(path), target, exists);
    return result;
  }
  return refused(systemError(EEXIST));
}

}  // namespace tessaro::platform::posix
