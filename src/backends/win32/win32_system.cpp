// File patterns through FindFirstFileA, small files read whole, and facts about the user, the
// system and the program.
#include <windows.h>

#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {

std::vector<FileMatch> Win32FileSystem::findFiles(const std::string& pattern, size_t limit) {
  std::vector<FileMatch> matches;
  if (limit == 0 || pattern.empty()) return matches;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return matches;
  do {
    FileMatch match;
    match.name = found.cFileName;
    match.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    matches.push_back(std::move(match));
  } while (matches.size() < limit && FindNextFileA(search, &found));
  FindClose(search);
  return matches;
}

namespace {

std::string windowsError(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return "no such file";
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
    return "cannot be opened (access denied or in use)";
  return "cannot be read (Windows error " + std::to_string(error) + ")";
}

}  // namespace

FileBytes Win32FileSystem::readRegularFile(const std::string& path, size_t limit) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {false, {}, windowsError(GetLastError())};
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {false, {}, "is a directory"};
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {false, {}, windowsError(GetLastError())};
  FileBytes result;
  LARGE_INTEGER size{};
  if (GetFileType(file) != FILE_TYPE_DISK) {
    result.reason = "not a regular file (a pipe or a device)";
  } else if (!GetFileSizeEx(file, &size)) {
    result.reason = windowsError(GetLastError());
  } else if (static_cast<uint64_t>(size.QuadPart) > limit) {
    result.reason = "larger than " + std::to_string(limit) + " bytes";
  } else {
    char block[65536];
    DWORD count = 0;
    bool ok = true;
    while (result.bytes.size() <= limit &&
           (ok = ReadFile(file, block, sizeof block, &count, nullptr) != 0) && count > 0)
      result.bytes.append(block, count);
    if (!ok) {
      result.reason = windowsError(GetLastError());
    } else if (result.bytes.size() > limit) {
      result.reason = "larger than " + std::to_string(limit) + " bytes";
    } else {
      result.read = true;
    }
  }
  CloseHandle(file);
  if (!result.read) result.bytes.clear();
  return result;
}

bool Win32Environment::japaneseUser() {
  return PRIMARYLANGID(GetUserDefaultLangID()) == LANG_JAPANESE;
}

bool Win32Environment::oldSystem() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const DWORD version = GetVersion();
#pragma GCC diagnostic pop
  return LOBYTE(LOWORD(version)) <= 4;
}

std::string Win32Environment::programPath(const std::string& word0) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return word0;
    // A name that fills the buffer has been cut short: try again with more room.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return word0;
    path.resize(path.size() * 2);
  }
}

PathRules Win32Environment::pathRules() {
  return PathRules{'\\', GetACP() == 932};
}

std::string Win32Environment::nativeFileName(const std::string& utf8) {
  return utf8ToCodePage(utf8, CP_ACP);
}

std::string Win32Environment::settingsPath(const std::string& programDir) {
  return programDir + "tessaro.ini";
}

}  // namespace tessaro::platform::win32
