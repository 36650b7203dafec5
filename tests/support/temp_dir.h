// Fresh temporary directories for tests, under the system's temporary directory, with names no
// other test (or test program running at the same time) uses.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace tessaro::testing {

// Creates the directory and returns its path with '/' separators; empty when none could be made.
inline std::string makeTempDir(const std::string& prefix) {
  namespace fs = std::filesystem;
  static std::atomic<unsigned> counter{0};
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) return {};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = prefix + std::to_string(random()) + "-" + std::to_string(counter++);
    const fs::path dir = base / name;
    if (fs::create_directory(dir, error)) return dir.generic_string();
  }
  return {};
}

// A fresh temporary directory, removed with everything in it at the end, with files written
// into it by name.
class FileTree {
 public:
  FileTree() : root_(makeTempDir("tessaro-tree-")) {}
  ~FileTree() {
    std::error_code error;
    std::filesystem::remove_all(root_, error);
  }
  // Writes the file (making the directories on the way); its full path.
  std::string file(const std::string& name, const std::string& text = "") const {
    std::string full = path(name);
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full, std::ios::binary) << text;
    return full;
  }
  std::string path(const std::string& name) const { return root_ + "/" + name; }

 private:
  std::string root_;
};

}  // namespace tessaro::testing
