#include "common/log.h"

#include <cstdarg>
#include <vector>

namespace tessaro {

namespace {

bool isAscii(const char* text) {
  for (; *text != '\0'; ++text)
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  return true;
}

}  // namespace

void Log::print(const char* format, ...) {
  std::string encoded;
  const char* text = format;
  if (encoder_ && !isAscii(format)) {
    encoded = encoder_(format);
    text = encoded.c_str();
  }
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, text, copy);
  va_end(copy);
  if (length < 0) {
    va_end(args);
    return;
  }
  std::vector<char> out(static_cast<size_t>(length) + 1);
  std::vsnprintf(out.data(), out.size(), text, args);
  va_end(args);
  write(std::string(out.data(), static_cast<size_t>(length)));
}

namespace {

// Carriage return, then erase to the end of the line: the terminal's line is empty again.
constexpr char wipeLine[] = "\r\x1b[K";

}  // namespace

void Log::put(std::FILE* stream, const std::string& text) {
  if (statusShown_) {
    statusShown_ = false;
    put(statusStream_, wipeLine);
  }
  if (capturing_) {
    captured_ += text;
    (stream == errors_ && stream != stream_ ? capturedErrors_ : capturedOutput_) += text;
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void Log::write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (quiet_) return;
  if (holding_) {
    held_ += text;
    return;
  }
  put(stream_, text);
}

void Log::error(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  put(errors_, line + "\n");
}

void Log::problem(const std::string& name, const std::string& what) {
  error("tessaro: " + name + ": " + what);
}

void Log::hold() {
  std::lock_guard<std::mutex> lock(mutex_);
  holding_ = true;
}

std::string Log::endHold() {
  std::lock_guard<std::mutex> lock(mutex_);
  holding_ = false;
  std::string out;
  out.swap(held_);
  return out;
}

void Log::setQuiet(bool quiet) {
  std::lock_guard<std::mutex> lock(mutex_);
  quiet_ = quiet;
}

bool Log::quiet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return quiet_;
}

void Log::showStatus(const std::string& line, bool onErrors) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (quiet_) return;
  statusShown_ = false;
  statusStream_ = onErrors ? errors_ : stream_;
  put(statusStream_, "\r" + line + "\x1b[K");
  statusShown_ = true;
}

void Log::clearStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (statusShown_) put(statusStream_, "");
}

void Log::outputOnErrors() {
  std::lock_guard<std::mutex> lock(mutex_);
  stream_ = errors_;
}

void Log::startCapture() {
  std::lock_guard<std::mutex> lock(mutex_);
  capturing_ = true;
}

std::string Log::captured() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return captured_;
}

std::string Log::capturedErrors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return capturedErrors_;
}

std::string Log::capturedOutput() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return capturedOutput_;
}

void Log::clearCaptured() {
  std::lock_guard<std::mutex> lock(mutex_);
  captured_.clear();
  capturedErrors_.clear();
  capturedOutput_.clear();
}

}  // namespace tessaro
