// Console output of the program: every message line, progress echo and failure report goes
// through one Log, so that tests can capture exactly what a user would have seen.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace tessaro {

class Log {
 public:
  // Writes to the given stream (stdout for the program).
  explicit Log(std::FILE* stream = stdout) : stream_(stream) {}

  // printf-style output; thread-safe (the player thread prints too).
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes text as it stands.
  void write(const std::string& text);

  // Re-encodes the program's own message texts (UTF-8 in the source) for the console: applied
  // to a format that holds non-ASCII characters, before the values are put in, so that file
  // names and other data are printed as their bytes stand. Set before any thread prints.
  using MessageEncoder = std::function<std::string(const std::string&)>;
  void setMessageEncoder(MessageEncoder encoder) { encoder_ = std::move(encoder); }

  // Tests: keep everything printed in memory instead of writing it out.
  void startCapture();
  std::string captured() const;
  void clearCaptured();

 private:
  mutable std::mutex mutex_;
  std::FILE* stream_;
  MessageEncoder encoder_;
  bool capturing_ = false;
  std::string captured_;
};

}  // namespace tessaro
