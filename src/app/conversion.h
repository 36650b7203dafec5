// The conversion the options ask for (-o) instead of playing, and the rules that keep a user's
// files safe from the program's own outputs.
#pragma once

#include <functional>

#include "app/program.h"

namespace tessaro {

// Runs the second passes of the settings file and the command line (secondPasses), which gather
// the songs and the direct bytes, then converts the songs offline with the options they set.
// Returns the exit status: 0 every song converted, 1 some failed or the output cannot be
// written, 2 a usage error (the output one of the songs included), 128 + the signal (130
// without one) when a stop request ended it.
int runOfflineConversion(App& app, const std::function<void()>& secondPasses);

// Writes the lines held back since the start, once the first pass has said where the console
// goes: to standard error when standard output carries the converted file (-o -).
void placeConsole(App& app);

// False, with one line naming both, when the recording the default output makes (TESSARO_WAV)
// would be written over one of the songs; the recording is then discarded.
bool recordingSparesTheSongs(App& app);

}  // namespace tessaro
