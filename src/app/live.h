// Live mode (-i): the program translates what a MIDI input sends, on a live thread of its own,
// instead of playing songs, until Esc, Ctrl+C or the input's end; the main thread meanwhile
// takes the keys, pumps the window and draws the status line, as it does while a song plays.
#pragma once

#include "app/options.h"
#include "app/program.h"

namespace tessaro {

// After the first option pass: song files on the command line, -o, and a --from that names no
// convention do not go with -i. False, with the exit status 2 and the mistake said, when the
// run ends here; true without -i.
bool acceptLiveCall(App& app, const CommandLine& line, int& exitCode);

// The live session, from the opened output to its end; the songs the settings file lists are
// not played (said once). False when the input could not be opened (said in plain words).
bool playLive(App& app);

}  // namespace tessaro
