// Options: the command line's words turned into commands, through one table of option tokens.
// A word is read by its form, whatever files exist: a word beginning with '-' is an option ("-"
// alone is standard input, a list of song names); slash words are options unless they are
// paths. Requests that end the run (help, version, the port list) are given before anything
// starts; then what must hold before the banner (quiet); the first pass takes the output port
// and what the outputs need; the second pass takes everything else, in the order given, sending
// direct bytes and queuing file names.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/log.h"
#include "control/commands.h"
#include "platform/platform.h"

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
enum class Stage { requests, early, first, second };

struct OptionToken;

// A word that did not say what the help says it takes, and what was done instead.
struct OptionWarning {
  std::string word;
  std::string what;
};

// The words after the program's path, each taken as an option (with its value) or a file name.
struct CommandLine {
  struct Item {
    const OptionToken* token;  // none: a file name
    std::string word;          // the word, or the file name as it is to be opened
    std::string value;         // the option's value or number text
  };
  std::vector<Item> items;
  std::string error;  // a word that is no option, or a value out of its form: the run ends
  std::vector<OptionWarning> warnings;
};

// words[0] is the program's path and is skipped.
CommandLine parseCommandLine(const std::vector<std::string>& words, const WordFacts& facts);
// Gives the commands of one stage in the order of the words. For the requests: true when one
// was given (only the first is), after which the run ends.
bool applyCommandLine(Commands& commands, const CommandLine& line, Stage stage);

// What a long option (without its two hyphens) is: unknown, a request that ends the run, a
// list of song names, or one that takes a value or none.
enum class LongOption { unknown, request, list, value, flag };
LongOption longOptionKind(const std::string& name);

// After the requests: what holds before the banner (quiet), the warnings on the words, and the
// lists of names read. False when the run ends here (as readNameLists says).
bool settleCommandLine(Commands& commands, CommandLine& line, platform::FileSystem& files,
                       const std::function<bool()>& stop, Log& log);

// The song-name lists the words named (--files-from FILE, "-"), read in their places. Lines
// skipped are told on log. False when a list cannot be read (the line is on log) or the user
// asked to stop while one was read (stop says so): the run ends.
bool readNameLists(CommandLine& line, platform::FileSystem& files,
                   const std::function<bool()>& stop, Log& log);

}  // namespace tessaro
