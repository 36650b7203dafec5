// Program entry on Linux: the POSIX services, the console output, and the run.
#include <string>
#include <vector>

#include "app/program.h"
#include "platform/posix/posix_platform.h"

int main(int argc, char** argv) {
  tessaro::platform::posix::PosixPlatform platform;
  tessaro::Log log(stdout);
  std::vector<std::string> words(argv, argv + argc);
  tessaro::App app(platform.services(), log);
  return tessaro::runProgram(app, words);
}
