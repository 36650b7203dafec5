// Translation of what FLTK delivers into the program's terms: dropped items into paths, keys
// into virtual key numbers.
#include <FL/Enumerations.H>
#include <FL/filename.H>

#include <sstream>

#include "backends/fltk/fltk_window.h"

namespace tessaro::platform::fltk {

namespace {

constexpr const char* fileScheme = "file://";

// A file URI's path: the host part (empty or a name) is dropped, %-escapes are decoded.
std::string uriPath(const std::string& uri) {
  std::string rest = uri.substr(std::char_traits<char>::length(fileScheme));
  size_t slash = rest.find('/');
  if (slash == std::string::npos) return {};
  std::string path = rest.substr(slash);
  fl_decode_uri(path.data());
  return path.c_str();  // decoding shortens the text in place
}

}  // namespace

std::vector<std::string> droppedPaths(const std::string& text) {
  std::vector<std::string> paths;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind(fileScheme, 0) == 0) {
      std::string path = uriPath(line);
      if (!path.empty()) paths.push_back(path);
    } else if (line[0] == '/') {
      paths.push_back(line);
    }
  }
  return paths;
}

int navigationVirtualKey(int fltkKey) {
  switch (fltkKey) {
    case FL_Page_Up:
      return 0x21;
    case FL_Page_Down:
      return 0x22;
    case FL_End:
      return 0x23;
    case FL_Home:
      return 0x24;
    case FL_Left:
      return 0x25;
    case FL_Up:
      return 0x26;
    case FL_Right:
      return 0x27;
    case FL_Down:
      return 0x28;
    case FL_Print:
      return 0x2C;
    case FL_Insert:
      return 0x2D;
    case FL_Delete:
      return 0x2E;
    default:
      return 0;
  }
}

}  // namespace tessaro::platform::fltk
