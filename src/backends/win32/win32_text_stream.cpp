// Text a user named, read as it comes: a disk file, a pipe or standard input (also the
// console, where the names are typed). A pipe is read only when bytes are there, so that every
// read waits at most as long as the caller says and a stop request is seen while nothing comes.
#include <windows.h>

#include <algorithm>

#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {

namespace {

class Win32TextStream : public TextStream {
 public:
  // owned: the handle is closed with the stream (not standard input).
  Win32TextStream(HANDLE handle, DWORD type, bool owned)
      : handle_(handle), type_(type), owned_(owned) {}
  ~Win32TextStream() override {
    if (owned_) CloseHandle(handle_);
  }
  Win32TextStream(const Win32TextStream&) = delete;
  Win32TextStream& operator=(const Win32TextStream&) = delete;

  long read(char* buffer, size_t size, int waitMs) override {
    if (type_ == FILE_TYPE_PIPE) {
      DWORD available = 0;
      if (!PeekNamedPipe(handle_, nullptr, 0, nullptr, &available, nullptr)) {
        if (GetLastError() == ERROR_BROKEN_PIPE) return ended;
        // A pipe that cannot be looked into (as some hosts give) is read as it comes.
        type_ = FILE_TYPE_DISK;
        available = 1;
      }
      if (available == 0) {
        Sleep(static_cast<DWORD>(std::clamp(waitMs, 0, 50)));
        return notYet;
      }
    } else if (type_ == FILE_TYPE_CHAR &&
               WaitForSingleObject(handle_, static_cast<DWORD>(std::max(waitMs, 0))) !=
                   WAIT_OBJECT_0) {
      return notYet;
    }
    DWORD count = 0;
    DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
    if (!ReadFile(handle_, buffer, wanted, &count, nullptr)) {
      DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return ended;
      if (error == ERROR_OPERATION_ABORTED) return notYet;  // Ctrl+C at the console
      return fail(error);
    }
    return static_cast<long>(count);
  }
  std::string reason() const override { return reason_; }

 private:
  long fail(DWORD error) {
    reason_ = systemText(error);
    return failed;
  }

  HANDLE handle_;
  DWORD type_;
  bool owned_;
  std::string reason_;
};

}  // namespace

TextStreamOpen Win32FileSystem::openText(const std::string& path) {
  if (path == "-") {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return {nullptr, "no standard input"};
    DWORD type = GetFileType(input);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE && type != FILE_TYPE_CHAR)
      return {nullptr, "standard input cannot be read"};
    return {std::make_unique<Win32TextStream>(input, type, false), ""};
  }
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return {nullptr, "is a directory"};
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return {nullptr, missing ? "no such file" : systemText(error)};
  }
  DWORD type = GetFileType(file);
  if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
    CloseHandle(file);
    return {nullptr, "is a device, not a file"};
  }
  return {std::make_unique<Win32TextStream>(file, type, true), ""};
}

}  // namespace tessaro::platform::win32
