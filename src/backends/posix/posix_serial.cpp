// Serial lines through termios: raw 38400 baud, 8 data bits, no parity, one stop bit, no flow
// control, DTR raised; writes that wait at most serialWriteTimeoutMs for the line and that
// another thread can end. COMn maps to a device path that the user may choose per port.
#include <fcntl.h>
#include <glob.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {

namespace {

// A write to a line whose far end has gone (a pseudo-terminal, a USB adapter pulled out) must
// fail with EPIPE or EIO rather than end the program through SIGPIPE.
void ignoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] { signal(SIGPIPE, SIG_IGN); });
}

SerialOpenResult failure(SerialOpenResult::Step step, int error, std::string reason) {
  SerialOpenResult result;
  result.failedStep = step;
  result.error = error;
  result.reason = std::move(reason);
  result.busy = error == EBUSY ? Busy::yes : Busy::no;
  return result;
}

std::vector<std::string> globbed(const char* pattern) {
  std::vector<std::string> paths;
  glob_t found{};
  if (glob(pattern, 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) paths.emplace_back(found.gl_pathv[i]);
  }
  globfree(&found);
  return paths;
}

// A built-in port (/dev/ttySn) exists for every place the kernel reserves; one with hardware
// behind it has a UART type other than 0 in sysfs.
bool hasHardware(const std::string& device) {
  std::string attribute = "/sys/class/tty/";
  attribute += device.substr(device.rfind('/') + 1);
  attribute += "/type";
  std::ifstream type(attribute);
  int value = 0;
  return type >> value && value != 0;
}

}  // namespace

SerialDevice::~SerialDevice() {
  ::close(fd);
}

PosixSerialLine::PosixSerialLine(std::shared_ptr<SerialDevice> device, int wake)
    : device_(std::move(device)), fd_(device_->fd), wake_(wake), path_(device_->path) {}

PosixSerialLine::~PosixSerialLine() {
  // Bytes a held line would not take are dropped, so that closing does not wait for them.
  if (held_) tcflush(fd_, TCOFLUSH);
  ::close(wake_);
}

// The line is non-blocking: each write takes what the driver has room for, and a full line is
// waited for with poll, together with the wake-up that interrupt() raises.
int PosixSerialLine::write(const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (interrupted_.load()) return serialWriteInterrupted;
    const ssize_t written = ::write(fd_, bytes + done, count - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
      continue;
    }
    if (written == 0) return EIO;  // a device that takes nothing would loop for ever
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    if (const int waited = waitForRoom(); waited != 0) return waited;
  }
  return 0;
}

// Waits until the line takes bytes again: 0, serialWriteInterrupted, or ETIMEDOUT once it has
// taken nothing for serialWriteTimeoutMs.
int PosixSerialLine::waitForRoom() {
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t waitedMs =
        (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    const int64_t leftMs = serialWriteTimeoutMs - waitedMs;
    if (leftMs <= 0) {
      held_ = true;
      return ETIMEDOUT;
    }
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {wake_, POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(leftMs));
    if (ready < 0 && errno != EINTR) return errno;
    if (interrupted_.load()) return serialWriteInterrupted;
    // Room, or an error or hang-up that the next write reports.
    if (ready > 0 && fds[0].revents != 0) return 0;
    // A wake-up left from an interrupt already resumed is let go.
    uint64_t stale = 0;
    if (ready > 0 && fds[1].revents != 0) (void)!::read(wake_, &stale, sizeof stale);
  }
}

void PosixSerialLine::interrupt() {
  interrupted_.store(true);
  const uint64_t one = 1;
  (void)!::write(wake_, &one, sizeof one);
}

void PosixSerialLine::resume() {
  uint64_t count = 0;
  (void)!::read(wake_, &count, sizeof count);
  interrupted_.store(false);
}

std::string PosixSerialLine::describeError(int error) const {
  if (error == serialWriteInterrupted) return path_ + ": the write was interrupted";
  if (error == ETIMEDOUT)
    return path_ + ": took no data for " + std::to_string(serialWriteTimeoutMs / 1000) +
           " s (the line is held)";
  return path_ + ": " + std::strerror(error);
}

bool PosixSerialPorts::chooseDevice(const std::string& path) {
  chosen_ = path;
  return true;
}

std::vector<std::string> PosixSerialPorts::listDevices() {
  std::vector<std::string> devices;
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/ttyAMA*"}) {
    for (std::string& path : globbed(pattern)) devices.push_back(std::move(path));
  }
  for (std::string& path : globbed("/dev/ttyS*")) {
    if (hasHardware(path)) devices.push_back(std::move(path));
  }
  return devices;
}

std::string PosixSerialPorts::devicePath(int port) const {
  if (!chosen_.empty()) return chosen_;
  const std::string variable = "TESSARO_COM" + std::to_string(port);
  const char* chosen = std::getenv(variable.c_str());
  if (chosen != nullptr && *chosen != '\0') return chosen;
  return "/dev/ttyS" + std::to_string(port - 1);
}

SerialOpenResult PosixSerialPorts::open(int port) {
  return openPath(devicePath(port));
}

std::shared_ptr<SerialDevice> PosixSerialPorts::openShared(const std::string& path,
                                                           std::string& reason) {
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) != nullptr) {
    auto found = open_.find(real);
    if (found != open_.end()) {
      if (std::shared_ptr<SerialDevice> device = found->second.lock()) return device;
    }
  }
  SerialOpenResult opened = openPath(path);
  if (!opened.line) reason = opened.reason;
  return opened.line ? static_cast<PosixSerialLine&>(*opened.line).device() : nullptr;
}

SerialOpenResult PosixSerialPorts::openPath(const std::string& path) {
  using Step = SerialOpenResult::Step;
  ignoreBrokenPipes();

  // Opened without waiting for carrier detect: a line without CLOCAL set yet would otherwise
  // block here until a modem answers. The line stays non-blocking: writes wait in poll, with a
  // time-out and a wake-up.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    return failure(Step::open, error, path + ": " + std::strerror(error));
  }
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    const int error = errno;
    ::close(fd);
    return failure(Step::open, error, path + ": " + std::strerror(error));
  }

  termios mode{};
  if (tcgetattr(fd, &mode) != 0) {
    const int error = errno;
    ::close(fd);
    ::close(wake);
    const std::string what =
        error == ENOTTY ? "not a serial device" : "cannot read the line settings";
    return failure(Step::getState, error, path + ": " + what + " (" + std::strerror(error) + ")");
  }

  cfmakeraw(&mode);
  cfsetispeed(&mode, B38400);
  cfsetospeed(&mode, B38400);
  mode.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  mode.c_cflag |= CS8 | CLOCAL | CREAD;
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &mode) != 0) {
    const int error = errno;
    ::close(fd);
    ::close(wake);
    return failure(Step::setState, error,
                   path + ": cannot set 38400 baud 8N1 (" + std::strerror(error) + ")");
  }

  // A pseudo-terminal or a three-wire adapter has no modem lines and refuses this; the line
  // works without it.
  int dtr = TIOCM_DTR;
  ioctl(fd, TIOCMBIS, &dtr);

  auto device = std::make_shared<SerialDevice>(fd, path);
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) != nullptr) open_[real] = device;
  SerialOpenResult result;
  result.line = std::make_unique<PosixSerialLine>(device, wake);
  return result;
}

}  // namespace tessaro::platform::posix
