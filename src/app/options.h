// Options: the command line's words turned into commands. The first pass takes the COM port
// and the usage request; the second pass takes everything else, in the order given, sending
// direct bytes and queuing file names.
#pragma once

#include <string>
#include <vector>

#include "common/log.h"
#include "control/commands.h"

namespace tessaro {

// Hexadecimal digits from the start of text; stops at the first other character.
int parseHexText(const char* text);
// Signed decimal: leading white space, an optional sign, digits; no digits gives 0.
int parseDecimal(const char* text);

void printUsage(Log& log);

// A word of the form /dir/name: a file name, not an option.
bool isAbsolutePathWord(const std::string& word);

// First pass over the command-line words (word 0, the program path, is skipped). True when
// the usage text was asked for and printed: the program then ends.
bool commandLineFirstPass(Commands& commands, Log& log, const std::vector<std::string>& words);
void commandLineSecondPass(Commands& commands, const std::vector<std::string>& words);

}  // namespace tessaro
