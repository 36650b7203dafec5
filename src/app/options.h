// Options: the one vocabulary of the command line (and, with its own number syntax, the
// settings file). The first pass takes the COM port and the usage request; the second pass
// applies everything else, sends direct bytes and appends file names to the cue.
#pragma once

#include <string>
#include <vector>

#include "app/file_cue.h"
#include "common/log.h"
#include "common/playback_options.h"
#include "player/engine.h"

namespace tessaro {

// What the option passes write to.
struct OptionSinks {
  PlaybackOptions& options;
  Engine& engine;  // targets, repeat count, fade values, volume, direct bytes
  FileCue& cue;
  Log& log;
};

// Hexadecimal digits from the start of text; stops at the first other character.
int parseHexText(const char* text);
// Signed decimal: leading white space, an optional sign, digits; no digits gives 0.
int parseDecimal(const char* text);

void printUsage(Log& log);
// The fade speed: 100 is 3 units every 210 ms. Returns the speed after its lower bound.
int applyFadeSpeed(Engine& engine, int speed);
// The conversion options /xg, /gm, /nc and /nx, by their two letters (upper case).
void applyConversion(OptionSinks& sinks, char first, char second);

// A word of the form /dir/name: a file name, not an option.
bool isAbsolutePathWord(const std::string& word);

// First pass over the command-line words (word 0, the program path, is skipped). True when
// the usage text was asked for and printed: the program then ends.
bool commandLineFirstPass(OptionSinks& sinks, const std::vector<std::string>& words);
void commandLineSecondPass(OptionSinks& sinks, const std::vector<std::string>& words);

}  // namespace tessaro
