// A file system of a few kilobytes of its own (tmpfs), filled to the brim on request, to see
// what the program does when a disk is full. Mounting needs root (CI runs as root); where it is
// refused, mounted() is false and reason() says why, for the test to skip.
#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tessaro::testing {

class SmallDisk {
 public:
  explicit SmallDisk(size_t kilobytes = 64) : path_(makeTempDir("tessaro-small-disk-")) {
    const std::string options = "size=" + std::to_string(kilobytes) + "k";
    if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      reason_ = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
    }
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  const std::string& path() const { return path_; }

  // A file of this content, as a user's file that was there before.
  void put(const std::string& name, const std::string& content) const {
    if (std::FILE* file = std::fopen((path_ + "/" + name).c_str(), "wb")) {
      std::fwrite(content.data(), 1, content.size(), file);
      std::fclose(file);
    }
  }
  // Takes every byte left, so that the next write fails with "No space left on device".
  void fill() const {
    std::FILE* file = std::fopen((path_ + "/filler").c_str(), "wb");
    if (file == nullptr) return;
    const std::vector<char> block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), file) == block.size() &&
           std::fflush(file) == 0) {
    }
    std::fclose(file);
  }

 private:
  std::string path_;
  bool mounted_ = false;
  std::string reason_;
};

}  // namespace tessaro::testing
