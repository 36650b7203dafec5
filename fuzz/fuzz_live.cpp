// Fuzz target: control bytes and a MIDI byte stream, read by a live session in virtual time
// against a capture line, cut into reads of varying size; the run's checks must hold.
#include <cstdio>
#include <cstdlib>

#include "support/fuzz_live.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure = tessaro::testing::runLiveInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "fuzz_live: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
