#include "app/options.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace tessaro {

namespace {

char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The character at index i, or NUL past the end.
char at(const std::string& word, size_t i) {
  return i < word.size() ? word[i] : '\0';
}

bool isComWord(const std::string& word) {
  return upper(at(word, 1)) == 'C' && upper(at(word, 2)) == 'O' && upper(at(word, 3)) == 'M';
}

bool isOptionWord(const std::string& word) {
  return (word[0] == '/' || word[0] == '-') && !isAbsolutePathWord(word);
}

// The slash options by their letters after the slash, tested in order (so that /so and /com
// come before /s and /c); the number follows the first letter.
struct SlashOption {
  const char* letters;
  void (*apply)(Commands& commands, const char* number);
};

constexpr SlashOption slashOptions[] = {
    {"NX", [](Commands& c, const char*) { c.setConversion(Conversion::off, Echo::confirm); }},
    {"NC", [](Commands& c, const char*) { c.setConversion(Conversion::allOff, Echo::confirm); }},
    {"XG", [](Commands& c, const char*) { c.setConversion(Conversion::xg, Echo::confirm); }},
    {"GM", [](Commands& c, const char*) { c.setConversion(Conversion::gm, Echo::confirm); }},
    {"SO", [](Commands& c, const char*) { c.setConsoleMode(); }},
    {"CO", [](Commands&, const char*) {}},  // the COM port, taken by the first pass
    {"V", [](Commands& c, const char* n) { c.setVolume(parseDecimal(n)); }},
    {"F", [](Commands& c, const char* n) { c.setFadeSpeed(parseDecimal(n)); }},
    {"S", [](Commands& c, const char* n) { c.setFadeStep(parseDecimal(n)); }},
    {"C", [](Commands& c, const char* n) { c.setFadeInterval(parseDecimal(n)); }},
};

bool lettersMatch(const std::string& word, const char* letters) {
  for (size_t i = 0; letters[i] != '\0'; ++i) {
    if (upper(at(word, i + 1)) != letters[i]) return false;
  }
  return true;
}

// -o FILE, --output FILE, --output=FILE; -j N, -jN, --jobs N, --jobs=N: an offline conversion.
// The words the option takes (0: none of these); without commands they are only counted.
size_t outputOption(Commands* commands, const std::vector<std::string>& words, size_t i) {
  const std::string& word = words[i];
  bool output = word == "-o" || word == "--output" || word.rfind("--output=", 0) == 0;
  bool joined = word.rfind("-j", 0) == 0 && std::isdigit(static_cast<uint8_t>(at(word, 2)));
  if (!output && !joined && word != "-j" && word != "--jobs" && word.rfind("--jobs=", 0) != 0)
    return 0;
  size_t from = joined ? 2 : word.find('=') + 1;  // npos + 1 is 0: the value is the next word
  std::string value = from > 0 ? word.substr(from) : i + 1 < words.size() ? words[i + 1] : "";
  if (commands != nullptr && output) commands->setOutput(value);
  bool number = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
  if (commands != nullptr && !output) commands->setJobs(number ? parseDecimal(value.c_str()) : -1);
  return from > 0 || i + 1 >= words.size() ? 1 : 2;
}

void slashOption(Commands& commands, const std::string& word) {
  if (word == "/FE" || word == "/fe") return;
  char second = at(word, 1);
  if (second >= '0' && second <= '9') {
    commands.setReportLevel(second - '0', Echo::confirm);
    return;
  }
  const char* number = word.c_str() + std::min<size_t>(2, word.size());
  for (const SlashOption& option : slashOptions) {
    if (lettersMatch(word, option.letters)) {
      option.apply(commands, number);
      return;
    }
  }
}

}  // namespace

int parseHexText(const char* text) {
  uint32_t value = 0;
  for (; *text != '\0'; ++text) {
    char c = upper(*text);
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      break;
    }
    value = value << 4 | digit;
  }
  return static_cast<int>(value);
}

int parseDecimal(const char* text) {
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > INT32_MAX) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void printUsage(Log& log) {
  static const char* const lines[] = {
      "__.mid  --- MIDI file name \n",
      "/xg --- GS => XG conversion ON (AUTO-DETECT) \n",
      "/gm --- GS => GM conversion ON (AUTO-DETECT) \n",
      "/nc --- GM, XG conversion OFF (No Conversion) \n",
      "/com?? --- COM port output (?? is COM number) \n",
      "           (COM number can be found in Device Manager \n",
      "            in Control Panel.) \n",
      "/#__ --- Direct MIDI Code output (in HEX) \n",
      "/&__ --- Repeat Time (0-99) \n",
      "/@__ --- Skipping Meas. \n",
      "/.__ --- Skipping Beat \n",
      "/v__ --- Volume Add Value (+127 to -127) \n",
      "/f__ --- Fade-out Speed (default:100) \n",
      "/s__ --- Fade-out Step  (default:3dB) \n",
      "/c__ --- Fade-out Interval (default:210ms) \n",
      "\n",
  };
  for (const char* line : lines) log.write(line);
}

bool isAbsolutePathWord(const std::string& word) {
  return word.size() > 1 && word[0] == '/' && word.find('/', 1) != std::string::npos;
}

bool commandLineFirstPass(Commands& commands, Log& log, const std::vector<std::string>& words) {
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (size_t taken = outputOption(&commands, words, i)) {
      i += taken - 1;
      continue;
    }
    if (word.empty() || !isOptionWord(word)) continue;
    if (isComWord(word)) {
      commands.setComPort(parseDecimal(word.c_str() + 4));
    } else if (at(word, 1) == '?') {
      printUsage(log);
      return true;
    }
  }
  return false;
}

void commandLineSecondPass(Commands& commands, const std::vector<std::string>& words) {
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (size_t taken = outputOption(nullptr, words, i)) {
      i += taken - 1;
      continue;
    }
    if (word.empty()) continue;
    const char* rest = word.c_str() + 1;
    switch (word[0]) {
      case '@':
        commands.setStartMeasure(parseDecimal(rest));
        break;
      case '.':
        commands.setStartBeat(parseDecimal(rest));
        break;
      case '&':
        commands.setRepeats(parseDecimal(rest));
        break;
      case '#':
        commands.sendByte(parseHexText(rest));
        break;
      case '/':
        if (isAbsolutePathWord(word)) {
          commands.queueFile(word);
        } else {
          slashOption(commands, word);
        }
        break;
      case '-':
      case '$':
        break;
      default:
        commands.queueFile(word);
        break;
    }
  }
}

}  // namespace tessaro
