#include "app/settings_text.h"

#include <cstdio>
#include <filesystem>

namespace tessaro {

namespace {

constexpr int endOfFileMark = 0x1A;

// The file as it is read, line by line: a line that is text is kept; one that holds control
// bytes or is longer than settingsLineLimit is dropped and noted, its line end kept. At most one
// line's worth is held back while reading. A file with NUL bytes, or with more lines of control
// bytes than are named one by one, is binary (or UTF-16): none of it is read.
class TextLines {
 public:
  TextLines(std::vector<uint8_t>& text, std::vector<SettingsProblem>& problems)
      : text_(text), problems_(problems) {}

  void feed(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      const uint8_t c = bytes[i];
      const bool lineEnd = c == '\r' || c == '\n' || c == endOfFileMark;
      if (c == '\n' && afterReturn_) {
        text_.push_back(c);  // CR LF ends one line
      } else if (lineEnd) {
        endLine();
        text_.push_back(c);
      } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
        notText_ = true;
        nul_ = nul_ || c == 0;
      } else if (line_.size() < settingsLineLimit) {
        line_.push_back(c);
      } else {
        tooLong_ = true;
      }
      afterReturn_ = c == '\r';
    }
  }
  void finish() { endLine(); }
  // Why the file is no text at all; empty when it is text.
  std::string binary() const {
    if (nul_) return "not a text file (it holds NUL bytes: saved as UTF-16?); not read";
    if (notTextLines_ <= settingsProblemsNamed) return "";
    return "not a text file (" + std::to_string(notTextLines_) +
           " lines hold control bytes); not read";
  }

 private:
  void endLine() {
    if (notText_) ++notTextLines_;
    if (notText_ || tooLong_) {
      problems_.push_back({number_, notText_ ? "not text (control bytes); the line is skipped"
                                             : "longer than " + std::to_string(settingsLineLimit) +
                                                   " bytes; the line is skipped"});
    } else {
      text_.insert(text_.end(), line_.begin(), line_.end());
    }
    line_.clear();
    notText_ = tooLong_ = false;
    ++number_;
  }

  std::vector<uint8_t>& text_;
  std::vector<SettingsProblem>& problems_;
  std::vector<uint8_t> line_;
  int number_ = 1;
  bool afterReturn_ = false;
  bool notText_ = false;
  bool tooLong_ = false;
  bool nul_ = false;
  size_t notTextLines_ = 0;
};

std::string notRegular(std::filesystem::file_type type) {
  using std::filesystem::file_type;
  switch (type) {
    case file_type::directory:
      return "is a directory";
    case file_type::fifo:
      return "is a FIFO (a pipe), not a file";
    case file_type::character:
    case file_type::block:
      return "is a device, not a file";
    default:
      return "is not a regular file";
  }
}

}  // namespace

bool readSettingsText(const std::string& path, std::vector<uint8_t>& text,
                      std::vector<SettingsProblem>& problems) {
  text.clear();
  // Looked at before the open: a FIFO would hold the open (or the reading) for ever, a device
  // such as /dev/zero never ends.
  std::error_code error;
  std::filesystem::file_type type = std::filesystem::status(path, error).type();
  if (error || type == std::filesystem::file_type::not_found) return false;
  if (type != std::filesystem::file_type::regular) {
    problems.push_back({0, notRegular(type) + "; not read"});
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  TextLines lines(text, problems);
  uint8_t block[4096];
  size_t total = 0;
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, file)) > 0) {
    lines.feed(block, count);
    total += count;
    if (total >= settingsByteLimit && std::fgetc(file) != EOF) {
      problems.push_back({0, "larger than " + std::to_string(settingsByteLimit >> 20) +
                                 " MB; the rest is not read"});
      break;
    }
  }
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    text.clear();
    return false;
  }
  lines.finish();
  if (std::string why = lines.binary(); !why.empty()) {
    text.clear();
    problems = {{0, why}};
    return false;
  }
  return true;
}

}  // namespace tessaro
