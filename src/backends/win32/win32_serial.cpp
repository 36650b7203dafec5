// COM ports: opened with CreateFileA, set to 38400 baud, 8 data bits, no parity and one stop bit
// with every other setting of the driver kept, reads that return at once, and DTR raised. Writes
// are overlapped, so that another thread can end one, and have a time-out: a line held for
// serialWriteTimeoutMs (flow control, a module that reads nothing) counts as failed instead of
// holding the program. A port open for the output is shared with an input on it.
#include <windows.h>

#include <cstdio>

#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {

namespace {

SerialOpenResult failure(SerialOpenResult::Step step, DWORD error, std::string reason) {
  SerialOpenResult result;
  result.failedStep = step;
  result.error = static_cast<int>(error);
  result.reason = std::move(reason);
  return result;
}

std::string openFailureReason(const std::string& port, DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return port + ": no such port on this machine";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return port + ": in use by another program";
    default:
      return port + ": " + systemText(error);
  }
}

}  // namespace

ComHandle::~ComHandle() {
  CloseHandle(handle);
}

Win32SerialLine::Win32SerialLine(std::shared_ptr<ComHandle> port, std::string name)
    : port_(std::move(port)),
      handle_(port_->handle),
      name_(std::move(name)),
      done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      wake_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

Win32SerialLine::~Win32SerialLine() {
  // What a held line still holds is dropped, so that closing does not wait for it.
  if (held_) PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
  if (done_ != nullptr) CloseHandle(done_);
  if (wake_ != nullptr) CloseHandle(wake_);
}

// One overlapped WriteFile, waited for: 0 with the count the port took, serialWriteInterrupted,
// or the system's error code.
int Win32SerialLine::writePiece(const uint8_t* bytes, unsigned long count, unsigned long& written) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = done_;
  ResetEvent(done_);
  written = 0;
  if (!WriteFile(handle_, bytes, count, nullptr, &overlapped)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return static_cast<int>(error);
    // The port's time-out ends the write; the wait has a bound of its own all the same.
    const DWORD bound = serialWriteTimeoutMs + 1000;
    HANDLE events[2] = {done_, wake_};
    const DWORD which = WaitForMultipleObjects(2, events, FALSE, bound);
    if (which != WAIT_OBJECT_0) {
      CancelIoEx(handle_, &overlapped);
      DWORD ignored = 0;
      GetOverlappedResult(handle_, &overlapped, &ignored, TRUE);
      return which == WAIT_OBJECT_0 + 1 ? serialWriteInterrupted : ERROR_TIMEOUT;
    }
  }
  DWORD took = 0;
  if (!GetOverlappedResult(handle_, &overlapped, &took, TRUE)) {
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<int>(error) : ERROR_WRITE_FAULT;
  }
  written = took;
  return 0;
}

int Win32SerialLine::write(const uint8_t* bytes, size_t count) {
  if (done_ == nullptr || wake_ == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  size_t done = 0;
  while (done < count) {
    if (interrupted_.load()) return serialWriteInterrupted;
    unsigned long written = 0;
    const int error = writePiece(bytes + done, static_cast<unsigned long>(count - done), written);
    if (error == ERROR_TIMEOUT) held_ = true;
    if (error != 0) return error;
    // A write the time-out ended with nothing taken: the line is held.
    if (written == 0) {
      held_ = true;
      return ERROR_TIMEOUT;
    }
    done += written;
  }
  return 0;
}

void Win32SerialLine::interrupt() {
  interrupted_.store(true);
  if (wake_ != nullptr) SetEvent(wake_);
}

void Win32SerialLine::resume() {
  if (wake_ != nullptr) ResetEvent(wake_);
  interrupted_.store(false);
}

std::string Win32SerialLine::describeError(int error) const {
  if (error == serialWriteInterrupted) return name_ + ": the write was interrupted";
  if (error == ERROR_TIMEOUT)
    return name_ + ": took no data for " + std::to_string(serialWriteTimeoutMs / 1000) +
           " s (the line is held)";
  return name_ + ": " + systemText(static_cast<DWORD>(error));
}

std::string Win32SerialPorts::deviceName(int port) {
  return "\\\\.\\COM" + std::to_string(port);
}

SerialOpenResult Win32SerialPorts::open(int port) {
  using Step = SerialOpenResult::Step;
  const std::string shortName = "COM" + std::to_string(port);
  HANDLE handle = CreateFileA(deviceName(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return failure(Step::open, error, openFailureReason(shortName, error));
  }

  DCB settings{};
  settings.DCBlength = sizeof settings;
  if (!GetCommState(handle, &settings)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    return failure(Step::getState, error,
                   shortName + ": not a serial port (" + systemText(error) + ")");
  }
  settings.BaudRate = CBR_38400;
  settings.ByteSize = 8;
  settings.Parity = NOPARITY;
  settings.StopBits = ONESTOPBIT;
  if (!SetCommState(handle, &settings)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    return failure(Step::setState, error,
                   shortName + ": cannot set 38400 baud 8N1 (" + systemText(error) + ")");
  }

  // A write ends after the time-out with what the port took; the rest of a long message that
  // goes out slowly is written again, and a write that took nothing means the line is held.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutConstant = serialWriteTimeoutMs;
  SetCommTimeouts(handle, &timeouts);
  EscapeCommFunction(handle, SETDTR);

  auto shared = std::make_shared<ComHandle>(handle);
  open_[port] = shared;
  SerialOpenResult result;
  result.line = std::make_unique<Win32SerialLine>(shared, shortName);
  return result;
}

std::shared_ptr<ComHandle> Win32SerialPorts::openShared(int port, std::string& reason) {
  auto found = open_.find(port);
  if (found != open_.end()) {
    if (std::shared_ptr<ComHandle> shared = found->second.lock()) return shared;
  }
  SerialOpenResult opened = open(port);
  if (!opened.line) reason = opened.reason;
  return opened.line ? static_cast<Win32SerialLine&>(*opened.line).port() : nullptr;
}

}  // namespace tessaro::platform::win32
