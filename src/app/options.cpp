#include "app/options.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string_view>

namespace tessaro {

namespace {

char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The character at index i, or NUL past the end.
char at(const std::string& word, size_t i) {
  return i < word.size() ? word[i] : '\0';
}

}  // namespace

// How a token is written:
//   exact      the whole word (/FE)
//   slash      a slash and these letters in either case, then anything (/v20, /com3, /so)
//   digit      a slash and a digit (/5)
//   prefix     this first character, then the number (@5, #F0)
//   dash       a hyphen and these letters in either case, then anything (-com3, -?)
//   unixShort  a hyphen and this letter alone, or with its value attached (-h, -p24:0)
//   unixLong   two hyphens and this name, with =value where it takes one (--port=24:0)
enum class Form { exact, slash, digit, prefix, dash, unixShort, unixLong };
// What the token takes: nothing, the word from `from` on, or a value (the next word unless it
// is attached).
enum class Takes { nothing, rest, value };

struct OptionToken {
  Form form;
  const char* name;
  Stage stage;
  Takes takes;
  size_t from;
  void (*apply)(Commands& commands, const std::string& value);
};

namespace {

using V = const std::string&;

void nothing(Commands&, V) {}
void help(Commands& c, V) {
  c.showHelp();
}
// Songs converted at once: a number, else a usage error the conversion reports.
void jobs(Commands& c, V v) {
  bool number = !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
  c.setJobs(number ? parseDecimal(v.c_str()) : -1);
}
void reportLevel(Commands& c, V v) {
  c.setReportLevel(v[0] - '0', Echo::confirm);
  if (v[0] == '0') c.setStatusLine(false);
}

// The one table of the command line. Slash tokens are tested in order, so that /so and /com
// come before /s and /c; the number of /v, /f, /s and /c follows the first letter.
constexpr OptionToken tokens[] = {
    {Form::exact, "/FE", Stage::second, Takes::nothing, 0, nothing},
    {Form::exact, "/fe", Stage::second, Takes::nothing, 0, nothing},
    {Form::exact, "-FE", Stage::second, Takes::nothing, 0, nothing},
    {Form::exact, "-fe", Stage::second, Takes::nothing, 0, nothing},
    {Form::slash, "?", Stage::requests, Takes::nothing, 0, help},
    {Form::slash, "NX", Stage::second, Takes::nothing, 0,
     [](Commands& c, V) { c.setConversion(Conversion::off, Echo::confirm); }},
    {Form::slash, "NC", Stage::second, Takes::nothing, 0,
     [](Commands& c, V) { c.setConversion(Conversion::allOff, Echo::confirm); }},
    {Form::slash, "XG", Stage::second, Takes::nothing, 0,
     [](Commands& c, V) { c.setConversion(Conversion::xg, Echo::confirm); }},
    {Form::slash, "GM", Stage::second, Takes::nothing, 0,
     [](Commands& c, V) { c.setConversion(Conversion::gm, Echo::confirm); }},
    {Form::slash, "SO", Stage::second, Takes::nothing, 0,
     [](Commands& c, V) { c.setConsoleMode(); }},
    {Form::slash, "COM", Stage::first, Takes::rest, 4,
     [](Commands& c, V v) { c.setComPort(parseDecimal(v.c_str())); }},
    {Form::slash, "CO", Stage::second, Takes::nothing, 0, nothing},
    {Form::slash, "V", Stage::second, Takes::rest, 2,
     [](Commands& c, V v) { c.setVolume(parseDecimal(v.c_str())); }},
    {Form::slash, "F", Stage::second, Takes::rest, 2,
     [](Commands& c, V v) { c.setFadeSpeed(parseDecimal(v.c_str())); }},
    {Form::slash, "S", Stage::second, Takes::rest, 2,
     [](Commands& c, V v) { c.setFadeStep(parseDecimal(v.c_str())); }},
    {Form::slash, "C", Stage::second, Takes::rest, 2,
     [](Commands& c, V v) { c.setFadeInterval(parseDecimal(v.c_str())); }},
    {Form::digit, "", Stage::second, Takes::rest, 1, reportLevel},
    {Form::prefix, "@", Stage::second, Takes::rest, 1,
     [](Commands& c, V v) { c.setStartMeasure(parseDecimal(v.c_str())); }},
    {Form::prefix, ".", Stage::second, Takes::rest, 1,
     [](Commands& c, V v) { c.setStartBeat(parseDecimal(v.c_str())); }},
    {Form::prefix, "&", Stage::second, Takes::rest, 1,
     [](Commands& c, V v) { c.setRepeats(parseDecimal(v.c_str())); }},
    {Form::prefix, "#", Stage::second, Takes::rest, 1,
     [](Commands& c, V v) { c.sendByte(parseHexText(v.c_str())); }},
    {Form::dash, "COM", Stage::first, Takes::rest, 4,
     [](Commands& c, V v) { c.setComPort(parseDecimal(v.c_str())); }},
    {Form::dash, "?", Stage::requests, Takes::nothing, 0, help},
    {Form::unixShort, "h", Stage::requests, Takes::nothing, 0, help},
    {Form::unixShort, "V", Stage::requests, Takes::nothing, 0,
     [](Commands& c, V) { c.showVersion(); }},
    {Form::unixShort, "l", Stage::requests, Takes::nothing, 0,
     [](Commands& c, V) { c.listPorts(); }},
    {Form::unixShort, "p", Stage::first, Takes::value, 0, [](Commands& c, V v) { c.setPort(v); }},
    {Form::unixLong, "help", Stage::requests, Takes::nothing, 0, help},
    {Form::unixLong, "version", Stage::requests, Takes::nothing, 0,
     [](Commands& c, V) { c.showVersion(); }},
    {Form::unixLong, "list-ports", Stage::requests, Takes::nothing, 0,
     [](Commands& c, V) { c.listPorts(); }},
    {Form::unixLong, "port", Stage::first, Takes::value, 0, [](Commands& c, V v) { c.setPort(v); }},
    {Form::unixShort, "o", Stage::first, Takes::value, 0, [](Commands& c, V v) { c.setOutput(v); }},
    {Form::unixLong, "output", Stage::first, Takes::value, 0,
     [](Commands& c, V v) { c.setOutput(v); }},
    {Form::unixShort, "j", Stage::first, Takes::value, 0, jobs},
    {Form::unixLong, "jobs", Stage::first, Takes::value, 0, jobs},
    {Form::unixShort, "i", Stage::first, Takes::value, 0, [](Commands& c, V v) { c.setInput(v); }},
    {Form::unixLong, "input", Stage::first, Takes::value, 0,
     [](Commands& c, V v) { c.setInput(v); }},
    {Form::unixLong, "from", Stage::first, Takes::value, 0,
     [](Commands& c, V v) { c.setSourceConvention(v); }},
};

// The letters after the word's first character, in either case.
bool lettersMatch(const std::string& word, const char* letters) {
  for (size_t i = 0; letters[i] != '\0'; ++i) {
    if (upper(at(word, i + 1)) != letters[i]) return false;
  }
  return true;
}

bool matches(const OptionToken& token, const std::string& word) {
  const std::string name = token.name;
  switch (token.form) {
    case Form::exact:
      return word == name;
    case Form::slash:
      return word[0] == '/' && lettersMatch(word, token.name);
    case Form::digit:
      return word[0] == '/' && std::isdigit(static_cast<unsigned char>(at(word, 1))) != 0;
    case Form::prefix:
      return word[0] == name[0];
    case Form::dash:
      return word[0] == '-' && lettersMatch(word, token.name);
    case Form::unixShort:
      return word[0] == '-' && at(word, 1) == name[0] &&
             (word.size() == 2 || token.takes == Takes::value);
    case Form::unixLong:
      return word.starts_with("--") &&
             (word.substr(2) == name ||
              (token.takes == Takes::value && word.starts_with("--" + name + "=")));
  }
  return false;
}

const OptionToken* tokenOf(const std::string& word) {
  for (const OptionToken& token : tokens) {
    if (matches(token, word)) return &token;
  }
  return nullptr;
}

bool beginsWithDirectory(const std::string& word, const char* start, char separator) {
  size_t n = std::char_traits<char>::length(start);
  if (word.size() <= n || word.compare(0, n, start) != 0) return false;
  return word[n] == '/' || word[n] == separator;
}

// A file name whatever it looks like: a path below the current directory, the parent or home
// directory, an absolute path, or a word naming an existing file. Slash options keep their
// meaning whatever exists (a file of that name would sit in the root, and on some systems COM1
// names a device everywhere).
bool isFileWord(const std::string& word, const WordFacts& facts) {
  if (beginsWithDirectory(word, ".", facts.separator) ||
      beginsWithDirectory(word, "..", facts.separator) ||
      beginsWithDirectory(word, "~", facts.separator) || isAbsolutePathWord(word))
    return true;
  bool looksLikeOption = std::string("-@.&#$").find(word[0]) != std::string::npos;
  return looksLikeOption && facts.exists && facts.exists(word);
}

std::string expandHome(const std::string& word, const WordFacts& facts) {
  if (facts.home.empty() || !beginsWithDirectory(word, "~", facts.separator)) return word;
  return facts.home + word.substr(1);
}

std::string unknownOption(const std::string& word) {
  std::string line = "tessaro: unknown option ";
  line += word;
  line += " (";
  std::string slashForm = word;
  slashForm[0] = '/';
  const OptionToken* slash = word.starts_with("--") ? nullptr : tokenOf(slashForm);
  if (slash != nullptr && slash->apply != nothing && slash->stage != Stage::requests) {
    line += "the option is written ";
    line += slashForm;
    line += "; ";
  }
  line += "tessaro -h lists the options)";
  return line;
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

bool isAbsolutePathWord(const std::string& word) {
  return word.size() > 1 && word[0] == '/' && word.find('/', 1) != std::string::npos;
}

CommandLine parseCommandLine(const std::vector<std::string>& words, const WordFacts& facts) {
  CommandLine line;
  bool filesOnly = false;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.empty()) continue;
    if (filesOnly || isFileWord(word, facts)) {
      line.items.push_back({nullptr, expandHome(word, facts), ""});
      continue;
    }
    if (word == "--") {
      filesOnly = true;
      continue;
    }
    const OptionToken* token = tokenOf(word);
    if (token == nullptr) {
      // Slash words of no option and $words are left alone; so is a lone hyphen.
      if (word[0] == '-' && word != "-") {
        line.error = unknownOption(word);
        return line;
      }
      if (word[0] != '/' && word[0] != '$' && word[0] != '-')
        line.items.push_back({nullptr, word, ""});
      continue;
    }
    std::string value;
    if (token->takes == Takes::rest) {
      value = word.substr(std::min(token->from, word.size()));
    } else if (token->takes == Takes::value) {
      size_t equals = word.find('=');
      if (token->form == Form::unixShort && word.size() > 2) {
        value = word.substr(2);
      } else if (token->form == Form::unixLong && equals != std::string::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < words.size()) {
        value = words[++i];
      }
      if (value.empty()) {
        line.error = "tessaro: option ";
        line.error += word;
        const std::string_view name = token->name;
        bool port = name == "p" || name == "port" || name == "i" || name == "input";
        line.error += port ? " needs a port (tessaro -l lists them)" : " needs a value";
        return line;
      }
    }
    line.items.push_back({token, word, value});
  }
  return line;
}

bool applyCommandLine(Commands& commands, const CommandLine& line, Stage stage) {
  for (const CommandLine::Item& item : line.items) {
    if (item.token == nullptr) {
      if (stage == Stage::second) commands.queueFile(item.word);
    } else if (item.token->stage == stage) {
      item.token->apply(commands, item.value);
      if (stage == Stage::requests) return true;
    }
  }
  return false;
}

}  // namespace tessaro
