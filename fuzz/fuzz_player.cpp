// Fuzz target: control bytes and a Standard MIDI File, loaded and played to the end (or to the
// stop) in virtual time against a capture device, then stopped; the run's checks must hold.
#include <cstdio>
#include <cstdlib>

#include "support/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure = tessaro::testing::runPlayerInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "fuzz_player: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
