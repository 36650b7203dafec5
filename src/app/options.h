// Options: the command line's words turned into commands, through one table of option tokens.
// Requests that end the run (help, version, the port list) are given before anything starts;
// the first pass takes the output port; the second pass takes everything else, in the order
// given, sending direct bytes and queuing file names.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "control/commands.h"

namespace tessaro {

// Hexadecimal digits from the start of text; stops at the first other character.
int parseHexText(const char* text);
// Signed decimal: leading white space, an optional sign, digits; no digits gives 0.
int parseDecimal(const char* text);

// A word of the form /dir/name: a file name, not an option.
bool isAbsolutePathWord(const std::string& word);

// What the parser asks of the system about a word.
struct WordFacts {
  // The word names an existing file or directory; none: nothing exists.
  std::function<bool(const std::string&)> exists = {};
  std::string home;      // what a leading ~/ stands for; empty: left as it is
  char separator = '/';  // the system's own, besides '/', in ./ ../ and ~/
};

// When the commands of a word are given.
enum class Stage { requests, first, second };

struct OptionToken;

// The words after the program's path, each taken as an option (with its value) or a file name.
struct CommandLine {
  struct Item {
    const OptionToken* token;  // none: a file name
    std::string word;          // the word, or the file name as it is to be opened
    std::string value;         // the option's value or number text
  };
  std::vector<Item> items;
  std::string error;  // a word that is no option: the run ends with this line
};

// words[0] is the program's path and is skipped.
CommandLine parseCommandLine(const std::vector<std::string>& words, const WordFacts& facts);
// Gives the commands of one stage in the order of the words. For the requests: true when one
// was given (only the first is), after which the run ends.
bool applyCommandLine(Commands& commands, const CommandLine& line, Stage stage);

}  // namespace tessaro
