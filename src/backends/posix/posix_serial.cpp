// Serial lines through termios: raw 38400 baud, 8 data bits, no parity, one stop bit, no flow
// control, DTR raised. COMn maps to a device path that the user may choose per port. A device
// open for the output is shared with an input on the same device.
#include <fcntl.h>
#include <glob.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

int PosixSerialLine::write(const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t written = ::write(fd_, bytes + done, count - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
      continue;
    }
    if (written == 0) return EIO;  // a device that takes nothing would loop for ever
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // The line is opened blocking, but a device shared with another program may have been
      // switched to non-blocking; wait for room instead of spinning.
      pollfd output{fd_, POLLOUT, 0};
      if (poll(&output, 1, -1) < 0 && errno != EINTR) return errno;
      continue;
    }
    return errno;
  }
  return 0;
}

std::string PosixSerialLine::describeError(int error) const {
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
  // block here until a modem answers. Writes are made blocking again once CLOCAL is on.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    return failure(Step::open, error, path + ": " + std::strerror(error));
  }

  termios mode{};
  if (tcgetattr(fd, &mode) != 0) {
    const int error = errno;
    ::close(fd);
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
  const int flags = fcntl(fd, F_GETFL);
  if (tcsetattr(fd, TCSANOW, &mode) != 0 || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(fd);
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
  result.line = std::make_unique<PosixSerialLine>(device);
  return result;
}

}  // namespace tessaro::platform::posix
