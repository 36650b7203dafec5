// COM ports: opened with CreateFileA, set to 38400 baud, 8 data bits, no parity and one stop bit
// with every other setting of the driver kept, reads that return at once, writes without a
// time-out, and DTR raised. A port open for the output is shared with an input on it.
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

std::string systemText(unsigned long error) {
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    --length;
  return std::string(text, length);
}

ComHandle::~ComHandle() {
  CloseHandle(handle);
}

int Win32SerialLine::write(const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(count - done);
    if (!WriteFile(handle_, bytes + done, piece, &written, nullptr)) {
      const DWORD error = GetLastError();
      return error != 0 ? static_cast<int>(error) : ERROR_WRITE_FAULT;
    }
    // Writes have no time-out, so a short count means the driver took nothing more.
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return 0;
}

std::string Win32SerialPorts::deviceName(int port) {
  return "\\\\.\\COM" + std::to_string(port);
}

SerialOpenResult Win32SerialPorts::open(int port) {
  using Step = SerialOpenResult::Step;
  const std::string shortName = "COM" + std::to_string(port);
  HANDLE handle = CreateFileA(deviceName(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  SetCommTimeouts(handle, &timeouts);
  EscapeCommFunction(handle, SETDTR);

  auto shared = std::make_shared<ComHandle>(handle);
  open_[port] = shared;
  SerialOpenResult result;
  result.line = std::make_unique<Win32SerialLine>(shared);
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
