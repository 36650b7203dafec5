// The conversion the options ask for (-o) instead of playing.
#pragma once

#include <functional>

#include "app/program.h"

namespace tessaro {

// Runs the second passes of the settings file and the command line (secondPasses), which gather
// the songs and the direct bytes, then converts the songs offline with the options they set.
// Returns the exit status: 0 every song converted, 1 some failed, 2 a usage error or an output
// that cannot be written.
int runOfflineConversion(App& app, const std::function<void()>& secondPasses);

}  // namespace tessaro
