#include "app/name_list.h"

#include <memory>

namespace tessaro {

namespace {

constexpr int waitSliceMs = 100;  // a stop request is seen at least this often

bool isControl(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\r') || c == 0x7F;
}

bool isBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r") == std::string::npos;
}

}  // namespace

bool NameListSplitter::feed(const char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!list_.failure.empty() || list_.full) return false;
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n') {
      endLine();
    } else if (isControl(c)) {
      list_.failure =
          "line " + std::to_string(number_) + " is not text (a list holds one song name a line)";
    } else if (line_.size() < nameListLineLimit + 1) {
      line_.push_back(static_cast<char>(c));
    } else {
      tooLong_ = true;
    }
  }
  return list_.failure.empty() && !list_.full;
}

void NameListSplitter::finish() {
  if (list_.failure.empty() && !list_.full && !line_.empty()) endLine();
}

void NameListSplitter::endLine() {
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  // Some editors begin a UTF-8 file with a byte-order mark; it is no part of the first name.
  if (number_ == 1 && line_.starts_with("\xEF\xBB\xBF")) line_.erase(0, 3);
  if (tooLong_ || line_.size() > nameListLineLimit) {
    list_.skipped.push_back({number_, "longer than " + std::to_string(nameListLineLimit) +
                                          " bytes: no song name; skipped"});
  } else if (!isBlank(line_)) {
    if (list_.names.size() == nameListNameLimit) {
      list_.full = true;
      return;
    }
    list_.names.push_back(line_);
  }
  line_.clear();
  tooLong_ = false;
  ++number_;
}

NameList readNameList(platform::FileSystem& files, const std::string& path,
                      const std::function<bool()>& stop) {
  NameList list;
  platform::TextStreamOpen opened = files.openText(path);
  if (!opened.stream) {
    list.failure = opened.reason;
    return list;
  }
  NameListSplitter splitter(list);
  auto buffer = std::make_unique<char[]>(1 << 16);
  for (;;) {
    long count = opened.stream->read(buffer.get(), 1 << 16, waitSliceMs);
    if (count == platform::TextStream::ended) break;
    if (count == platform::TextStream::failed) {
      list.failure = opened.stream->reason();
      return list;
    }
    if (count == platform::TextStream::notYet) {
      if (stop && stop()) {
        list.stopped = true;
        return list;
      }
      continue;
    }
    if (!splitter.feed(buffer.get(), static_cast<size_t>(count))) return list;
    if (stop && stop()) {
      list.stopped = true;
      return list;
    }
  }
  splitter.finish();
  return list;
}

}  // namespace tessaro
