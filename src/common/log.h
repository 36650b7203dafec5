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
  // Writes to the given stream (stdout for the program); errors of use to errors (stderr).
  explicit Log(std::FILE* stream = stdout, std::FILE* errors = stderr)
      : stream_(stream), errors_(errors) {}

  // printf-style output; thread-safe (the player thread prints too).
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes text as it stands.
  void write(const std::string& text);
  // A mistake in how the program was called: to the error stream, as a whole line.
  void error(const std::string& line);
  // An error or warning about one thing the user named (a file, an option, a device), in the
  // one form every such line takes: "tessaro: NAME: what happened", on the error stream.
  void problem(const std::string& name, const std::string& what);

  // Errors only: everything but the error stream's lines is dropped (no banner, no echo, no
  // progress); errors and warnings still go out. Set before other threads print.
  void setQuiet(bool quiet);
  bool quiet() const;

  // Output is kept back from hold() until endHold(), which returns it unwritten, so that a
  // line about what the output belongs to can be written before it.
  void hold();
  std::string endHold();

  // A line shown in place at the bottom of a terminal: each call rewrites it, and any other
  // output wipes it first (it is drawn again by the next call). onErrors: on the error stream
  // (progress), else on the output stream (the status line).
  void showStatus(const std::string& line, bool onErrors = false);
  void clearStatus();

  // From now on the output stream's lines go to the error stream too: standard output carries
  // data (a file written to it).
  void outputOnErrors();

  // Re-encodes the program's own message texts (UTF-8 in the source) for the console: applied
  // to a format that holds non-ASCII characters, before the values are put in, so that file
  // names and other data are printed as their bytes stand. Set before any thread prints.
  using MessageEncoder = std::function<std::string(const std::string&)>;
  void setMessageEncoder(MessageEncoder encoder) { encoder_ = std::move(encoder); }

  // Tests: keep everything printed in memory instead of writing it out. captured() holds both
  // streams in the order written; capturedErrors() only what went to the error stream,
  // capturedOutput() only the rest.
  void startCapture();
  std::string captured() const;
  std::string capturedErrors() const;
  std::string capturedOutput() const;
  void clearCaptured();

 private:
  void put(std::FILE* stream, const std::string& text);

  mutable std::mutex mutex_;
  std::FILE* stream_;
  std::FILE* errors_;
  bool holding_ = false;
  std::string held_;
  bool statusShown_ = false;
  bool quiet_ = false;
  std::FILE* statusStream_ = nullptr;  // where the status line is shown
  MessageEncoder encoder_;
  bool capturing_ = false;
  std::string captured_;
  std::string capturedErrors_;
  std::string capturedOutput_;
};

}  // namespace tessaro
