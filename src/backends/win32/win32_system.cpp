// File patterns through FindFirstFileA, and facts about the user, the system and the program.
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
