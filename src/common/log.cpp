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

void Log::write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (capturing_) {
    captured_ += text;
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fflush(stream_);
}

void Log::startCapture() {
  std::lock_guard<std::mutex> lock(mutex_);
  capturing_ = true;
}

std::string Log::captured() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return captured_;
}

void Log::clearCaptured() {
  std::lock_guard<std::mutex> lock(mutex_);
  captured_.clear();
}

}  // namespace tessaro
