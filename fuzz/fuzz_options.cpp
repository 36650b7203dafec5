// Fuzz target: the input as command-line words (split at NUL and white space), through both
// option passes.
#include <cstdio>
#include <cstdlib>

#include "support/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure = tessaro::testing::runOptionsInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "fuzz_options: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
