// Output files on Windows: a temporary file made with CREATE_NEW beside the final name (beside
// the target of a link), moved over the final name with MOVEFILE_REPLACE_EXISTING when complete
// (flushed to disk first when it replaces a file). Each temporary file is opened with
// FILE_SHARE_DELETE and listed, so that the console's control handler can remove it when a second
// Ctrl+C ends the program at once: the system deletes it as the process's handles close.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {

namespace {

std::mutex listMutex;
std::vector<std::string> pendingList;  // guarded by listMutex
bool ending = false;                   // guarded by listMutex: no file may begin

void listPending(const std::string& path) {
  std::lock_guard lock(listMutex);
  pendingList.push_back(path);
}

void unlistPending(const std::string& path) {
  std::lock_guard lock(listMutex);
  for (auto it = pendingList.begin(); it != pendingList.end(); ++it) {
    if (*it != path) continue;
    pendingList.erase(it);
    return;
  }
}

size_t lastSeparator(const std::string& path) {
  return path.find_last_of("\\/");
}

std::string directoryOf(const std::string& path) {
  size_t at = lastSeparator(path);
  return at == std::string::npos ? "." : path.substr(0, at == 0 ? 1 : at);
}

std::string nameOf(const std::string& path) {
  size_t at = lastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

// A final name that is a symbolic link stands for the file it points to.
std::string followLink(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return path;
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;
  char target[MAX_PATH * 4] = {};
  DWORD length = GetFinalPathNameByHandleA(file, target, sizeof target, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (length == 0 || length >= sizeof target) return path;
  std::string resolved(target, length);
  if (resolved.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + resolved.substr(8);
  if (resolved.rfind("\\\\?\\", 0) == 0) return resolved.substr(4);
  return resolved;
}

std::string temporaryFolder() {
  char folder[MAX_PATH + 1] = {};
  DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH) return ".";
  std::string path(folder, length);
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

class Win32PendingFile : public PendingFile {
 public:
  Win32PendingFile(HANDLE handle, std::string path, std::string target, bool replacing)
      : handle_(handle), path_(std::move(path)), target_(std::move(target)), replacing_(replacing) {
    listPending(path_);
  }
  ~Win32PendingFile() override {
    closeFile();
    if (!done_) DeleteFileA(path_.c_str());
    unlistPending(path_);
  }
  Win32PendingFile(const Win32PendingFile&) = delete;
  Win32PendingFile& operator=(const Win32PendingFile&) = delete;

  const std::string& path() const override { return path_; }

  std::FILE* stream() override {
    if (stream_ != nullptr || handle_ == INVALID_HANDLE_VALUE) return stream_;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle_), _O_WRONLY | _O_BINARY);
    if (fd < 0) return nullptr;
    stream_ = _fdopen(fd, "wb");
    if (stream_ == nullptr) {
      _close(fd);
      handle_ = INVALID_HANDLE_VALUE;
    }
    return stream_;
  }

  bool commit(std::string& problem) override {
    DWORD error = closeFile();
    if (error == 0 && target_ == standardOutputName) error = copyToStandardOutput();
    if (error == 0 && target_ != standardOutputName &&
        !MoveFileExA(path_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      error = GetLastError();
    if (error != 0) {
      problem = systemText(error);
      return false;
    }
    done_ = target_ != standardOutputName;
    return true;
  }

 private:
  // Flushes (to disk, when it replaces a file) and closes the file; the first error's code, 0
  // for none.
  DWORD closeFile() {
    DWORD error = 0;
    if (stream_ != nullptr) {
      if (std::fflush(stream_) != 0) error = ERROR_WRITE_FAULT;
      HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_)));
      if (error == 0 && replacing_ && !FlushFileBuffers(handle)) error = GetLastError();
      if (std::fclose(stream_) != 0 && error == 0) error = ERROR_WRITE_FAULT;
    } else if (handle_ != INVALID_HANDLE_VALUE) {
      if (replacing_ && !FlushFileBuffers(handle_)) error = GetLastError();
      CloseHandle(handle_);
    }
    stream_ = nullptr;
    handle_ = INVALID_HANDLE_VALUE;
    return error;
  }

  // The whole file to standard output, as bytes whatever mode the runtime keeps it in.
  DWORD copyToStandardOutput() {
    HANDLE in = CreateFileA(path_.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) return GetLastError();
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD error = 0;
    char buffer[1 << 16];
    for (DWORD got = 0; error == 0;) {
      if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr)) error = GetLastError();
      if (error != 0 || got == 0) break;
      for (DWORD done = 0, written = 0; done < got && error == 0; done += written) {
        if (!WriteFile(out, buffer + done, got - done, &written, nullptr) || written == 0)
          error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
      }
    }
    CloseHandle(in);
    return error;
  }

  HANDLE handle_;
  std::string path_;
  std::string target_;
  bool replacing_;  // a file is at the final name
  std::FILE* stream_ = nullptr;
  bool done_ = false;  // moved over the final name: nothing left to remove
};

PendingFileOpen refused(std::string problem) {
  PendingFileOpen result;
  result.problem = std::move(problem);
  return result;
}

}  // namespace

void removePendingOutputs() {
  std::lock_guard lock(listMutex);
  ending = true;
  for (const std::string& path : pendingList) DeleteFileA(path.c_str());
}

PendingFileOpen Win32OutputFiles::begin(const std::string& finalPath, const std::string& suffix) {
  const bool toOutput = finalPath == standardOutputName;
  const std::string target = toOutput ? finalPath : followLink(finalPath);
  DWORD attributes = toOutput ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return refused(systemText(ERROR_DIRECTORY));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    return refused(systemText(ERROR_ACCESS_DENIED));
  const std::string folder = toOutput ? temporaryFolder() : directoryOf(target);
  const std::string stem = toOutput ? "tessaro" : "." + nameOf(target);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    {
      std::lock_guard lock(listMutex);
      if (ending) return refused(systemText(ERROR_OPERATION_ABORTED));
    }
    char tag[16];
    std::snprintf(
        tag, sizeof tag, "%06lx",
        (GetTickCount() * 2654435761u + GetCurrentProcessId() * 40503u + attempt) & 0xFFFFFFu);
    std::string path = folder + "\\" + stem.substr(0, 150) + ".tessaro-" + tag + suffix;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
    if (file == INVALID_HANDLE_VALUE) return refused(systemText(GetLastError()));
    PendingFileOpen result;
    const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
    result.file = std::make_unique<Win32PendingFile>(file, std::move(path), target, replacing);
    return result;
  }
  return refused(systemText(ERROR_FILE_EXISTS));
}

}  // namespace tessaro::platform::win32
