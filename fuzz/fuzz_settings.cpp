// Fuzz target: the input as the settings file's content, read by both passes.
#include <cstdio>
#include <cstdlib>

#include "support/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure = tessaro::testing::runSettingsInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "fuzz_settings: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
