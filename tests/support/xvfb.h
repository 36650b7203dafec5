// A virtual X display for end-to-end runs of the window: Xvfb picks a free display number and
// is stopped when the object goes. Screenshots come from xwd, read as 24-bit pixels.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace tessaro::testing {

class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    // Xvfb writes the number to its standard output, which is the pipe.
    std::vector<std::string> args{"Xvfb", "-displayfd", "1",         "-screen",
                                  "0",    "800x600x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    int error = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (error != 0) {
      pid_ = -1;
      close(fds[0]);
      return;
    }
    // Xvfb writes its display number once it accepts connections, then a newline in a write
    // of its own; the pipe must stay open for both or Xvfb gives up.
    std::string text;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') text += c;
    close(fds[0]);
    if (!text.empty()) name_ = ":" + text;
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", empty when Xvfb could not be started.
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

struct Pixel {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Pixel&) const = default;
};

struct Screenshot {
  int width = 0, height = 0;
  std::vector<Pixel> pixels;
  Pixel at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// The output of a shell command.
inline std::string commandOutput(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// An xwd dump of a 24/32-bit TrueColor window: big-endian header words, a colour table, then
// rows of 32-bit pixels in the byte order the header gives.
inline bool readXwd(const std::string& data, Screenshot& shot) {
  auto word = [&](size_t i) {
    if (data.size() < (i + 1) * 4) return 0u;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + i * 4;
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  };
  uint32_t headerSize = word(0), width = word(4), height = word(5), byteOrder = word(7),
           bitsPerPixel = word(11), bytesPerLine = word(12), colours = word(19);
  if (bitsPerPixel != 32 || width == 0 || height == 0) return false;
  size_t offset = headerSize + static_cast<size_t>(colours) * 12;
  if (data.size() < offset + static_cast<size_t>(bytesPerLine) * height) return false;
  shot.width = static_cast<int>(width);
  shot.height = static_cast<int>(height);
  shot.pixels.resize(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const auto* p =
          reinterpret_cast<const unsigned char*>(data.data()) + offset + y * bytesPerLine + x * 4;
      uint32_t v = byteOrder == 0 ? (p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24)
                                  : (uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]);
      shot.pixels[y * width + x] = {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                                    static_cast<uint8_t>(v)};
    }
  }
  return true;
}

}  // namespace tessaro::testing
