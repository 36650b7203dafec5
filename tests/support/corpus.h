// The public test songs (TESSARO_CORPUS_DIR), by path in name order, and a test name for each.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaro::testing {

inline std::vector<std::string> corpusSongs() {
  std::vector<std::string> songs;
  std::filesystem::path dir = std::filesystem::path(TESSARO_CORPUS_DIR) / "jazz-soft";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    if (entry.path().extension() == ".mid") songs.push_back(entry.path().string());
  }
  std::sort(songs.begin(), songs.end());
  return songs;
}

// The song's name with every character that a test name cannot hold as '_'.
inline std::string testNameOf(const std::string& path) {
  std::string name = std::filesystem::path(path).stem().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

}  // namespace tessaro::testing
