#include "common/log.h"

#include <cstdarg>
#include <vector>

namespace tessaro {

void Log::print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length < 0) {
    va_end(args);
    return;
  }
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  write(std::string(text.data(), static_cast<size_t>(length)));
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
