// Program entry on Windows: the Win32 services, the console output with the Japanese messages
// in code page 932, and the run. The status window is not part of this build yet: the program
// runs console-only.
#include <string>
#include <vector>

#include "app/program.h"
#include "platform/win32/win32_platform.h"

int main(int argc, char** argv) {
  tessaro::platform::win32::Win32Platform platform;
  tessaro::Log log(stdout);
  log.setMessageEncoder(
      [](const std::string& text) { return tessaro::platform::win32::utf8ToCodePage(text, 932); });
  std::vector<std::string> words(argv, argv + argc);
  tessaro::platform::Services services = platform.services();
  tessaro::App app(services, log);
  return tessaro::runProgram(app, words);
}
