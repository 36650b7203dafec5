// Conversion of the program's UTF-8 message texts to a Windows code page for the console, and
// the system's own words for its error codes.
#include <windows.h>

#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {

std::string utf8ToCodePage(const std::string& text, unsigned codePage) {
  if (text.empty()) return text;
  const int size = static_cast<int>(text.size());
  const int wideLength =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (wideLength <= 0) return text;
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), wideLength);
  const int length =
      WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return text;
  std::string converted(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideLength, converted.data(), length, nullptr,
                      nullptr);
  return converted;
}

std::string systemText(unsigned long error) {
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    --length;
  return length > 0 ? std::string(text, length) : "error " + std::to_string(error);
}

}  // namespace tessaro::platform::win32
