// Program entry on Windows: the Win32 services, the status window with its text in the system's
// Shift-JIS font, the console output with the Japanese messages in code page 932, and the run.
#include <string>
#include <vector>

#include "app/program.h"
#include "backends/win32/win32_glyphs.h"
#include "backends/win32/win32_platform.h"
#include "backends/win32/win32_window.h"

int main(int argc, char** argv) {
  tessaro::platform::win32::Win32Platform platform;
  tessaro::platform::win32::Win32WindowSystem windows;
  tessaro::platform::win32::Win32GlyphSource glyphs;
  tessaro::Log log(stdout);
  log.setMessageEncoder(
      [](const std::string& text) { return tessaro::platform::win32::utf8ToCodePage(text, 932); });
  std::vector<std::string> words(argv, argv + argc);
  tessaro::platform::Services services = platform.services();
  services.windows = &windows;
  services.glyphs = &glyphs;
  tessaro::App app(services, log);
  return tessaro::runProgram(app, words);
}
