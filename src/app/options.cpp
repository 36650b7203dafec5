#include "app/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/name_list.h"
#include "live/live_session.h"

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
// What its value must be. The slash and prefix forms are used as they always were, with a
// warning when the value is not what the help says; a dash option's value out of its form or
// range ends the run.
enum class Rule {
  none,
  ignored,  // a form that starts an option but is none (/co without its m): said, left out
  decimal,
  hex,
  volume,
  comPort,
  level,
  text,
  port,
  jobs,
  rate,
  gain,
  type,
  seed,
  convention
};

struct OptionToken {
  Form form;
  const char* name;
  Stage stage;
  Takes takes;
  size_t from;
  Rule rule;
  void (*apply)(Commands& commands, const std::string& value);
};

namespace {

using V = const std::string&;

constexpr int32_t mostJobs = 256;
constexpr int32_t lowestRate = 8000;
constexpr int32_t highestRate = 192000;
constexpr double highestGain = 10;
constexpr int32_t mostVolume = 127;
constexpr int32_t highestComPort = 99;
constexpr const char* outputTypes[] = {"mid", "wav", "flac", "ogg"};

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// An optional sign and one digit or more, nothing else.
bool isDecimalText(const std::string& text) {
  size_t start = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  return text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
}

bool isHexText(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// A gain: digits with an optional fraction, within 0 to 10; false for anything else.
bool readGain(const std::string& text, double& gain) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, gain, std::chars_format::fixed);
  return error == std::errc() && stop == end && gain >= 0 && gain <= highestGain;
}

void nothing(Commands&, V) {}
void help(Commands& c, V) {
  c.showHelp();
}
// Checked by the parse: only a good seed comes here.
void seed(Commands& c, V v) {
  uint32_t number = 0;
  if (seedFromText(v, number)) c.setSeed(number);
}
void reportLevel(Commands& c, V v) {
  c.setReportLevel(v[0] - '0', Echo::confirm);
  if (v[0] == '0') c.setStatusLine(false);
}
void comPort(Commands& c, V v) {
  c.setComPort(parseDecimal(v.c_str()));
}
void port(Commands& c, V v) {
  c.setPort(v);
}
void output(Commands& c, V v) {
  c.setOutput(v);
}
void jobs(Commands& c, V v) {
  c.setJobs(parseDecimal(v.c_str()));
}
void soundFont(Commands& c, V v) {
  c.setSoundFont(v);
}
void rate(Commands& c, V v) {
  c.setSampleRate(parseDecimal(v.c_str()));
}
void gain(Commands& c, V v) {
  double value = 0;
  readGain(v, value);
  c.setGain(value);
}
void type(Commands& c, V v) {
  c.setOutputType(lowerCase(v));
}
void quiet(Commands& c, V) {
  c.setQuiet();
}
void verbose(Commands& c, V) {
  c.setVerbose();
}
void noClobber(Commands& c, V) {
  c.setNoClobber();
}
void version(Commands& c, V) {
  c.showVersion();
}
void listPorts(Commands& c, V) {
  c.listPorts();
}

// The one table of the command line. Slash tokens are tested in order, so that /so and /com
// come before /s and /c; the number of /v, /f, /s and /c follows the first letter.
constexpr OptionToken tokens[] = {
    {Form::exact, "/FE", Stage::second, Takes::nothing, 0, Rule::none, nothing},
    {Form::exact, "/fe", Stage::second, Takes::nothing, 0, Rule::none, nothing},
    {Form::exact, "-FE", Stage::second, Takes::nothing, 0, Rule::none, nothing},
    {Form::exact, "-fe", Stage::second, Takes::nothing, 0, Rule::none, nothing},
    {Form::slash, "?", Stage::requests, Takes::nothing, 0, Rule::none, help},
    {Form::slash, "NX", Stage::second, Takes::nothing, 0, Rule::none,
     [](Commands& c, V) { c.setConversion(Conversion::off, Echo::confirm); }},
    {Form::slash, "NC", Stage::second, Takes::nothing, 0, Rule::none,
     [](Commands& c, V) { c.setConversion(Conversion::allOff, Echo::confirm); }},
    {Form::slash, "XG", Stage::second, Takes::nothing, 0, Rule::none,
     [](Commands& c, V) { c.setConversion(Conversion::xg, Echo::confirm); }},
    {Form::slash, "GM", Stage::second, Takes::nothing, 0, Rule::none,
     [](Commands& c, V) { c.setConversion(Conversion::gm, Echo::confirm); }},
    {Form::slash, "SO", Stage::second, Takes::nothing, 0, Rule::none,
     [](Commands& c, V) { c.setConsoleMode(); }},
    {Form::slash, "COM", Stage::first, Takes::rest, 4, Rule::comPort, comPort},
    {Form::slash, "CO", Stage::second, Takes::rest, 1, Rule::ignored, nothing},
    {Form::slash, "V", Stage::second, Takes::rest, 2, Rule::volume,
     [](Commands& c, V v) { c.setVolume(parseDecimal(v.c_str())); }},
    {Form::slash, "F", Stage::second, Takes::rest, 2, Rule::decimal,
     [](Commands& c, V v) { c.setFadeSpeed(parseDecimal(v.c_str())); }},
    {Form::slash, "S", Stage::second, Takes::rest, 2, Rule::decimal,
     [](Commands& c, V v) { c.setFadeStep(parseDecimal(v.c_str())); }},
    {Form::slash, "C", Stage::second, Takes::rest, 2, Rule::decimal,
     [](Commands& c, V v) { c.setFadeInterval(parseDecimal(v.c_str())); }},
    {Form::digit, "", Stage::second, Takes::rest, 1, Rule::level, reportLevel},
    {Form::prefix, "@", Stage::second, Takes::rest, 1, Rule::decimal,
     [](Commands& c, V v) { c.setStartMeasure(parseDecimal(v.c_str())); }},
    {Form::prefix, ".", Stage::second, Takes::rest, 1, Rule::decimal,
     [](Commands& c, V v) { c.setStartBeat(parseDecimal(v.c_str())); }},
    {Form::prefix, "&", Stage::second, Takes::rest, 1, Rule::decimal,
     [](Commands& c, V v) { c.setRepeats(parseDecimal(v.c_str())); }},
    {Form::prefix, "#", Stage::second, Takes::rest, 1, Rule::hex,
     [](Commands& c, V v) { c.sendByte(parseHexText(v.c_str())); }},
    {Form::dash, "COM", Stage::first, Takes::rest, 4, Rule::comPort, comPort},
    {Form::dash, "?", Stage::requests, Takes::nothing, 0, Rule::none, help},
    {Form::unixShort, "h", Stage::requests, Takes::nothing, 0, Rule::none, help},
    {Form::unixShort, "V", Stage::requests, Takes::nothing, 0, Rule::none, version},
    {Form::unixShort, "l", Stage::requests, Takes::nothing, 0, Rule::none, listPorts},
    {Form::unixShort, "p", Stage::first, Takes::value, 0, Rule::port, port},
    {Form::unixLong, "help", Stage::requests, Takes::nothing, 0, Rule::none, help},
    {Form::unixLong, "version", Stage::requests, Takes::nothing, 0, Rule::none, version},
    {Form::unixLong, "list-ports", Stage::requests, Takes::nothing, 0, Rule::none, listPorts},
    {Form::unixLong, "port", Stage::first, Takes::value, 0, Rule::port, port},
    {Form::unixShort, "o", Stage::first, Takes::value, 0, Rule::text, output},
    {Form::unixLong, "output", Stage::first, Takes::value, 0, Rule::text, output},
    {Form::unixShort, "j", Stage::first, Takes::value, 0, Rule::jobs, jobs},
    {Form::unixLong, "jobs", Stage::first, Takes::value, 0, Rule::jobs, jobs},
    {Form::unixShort, "T", Stage::first, Takes::value, 0, Rule::type, type},
    {Form::unixLong, "type", Stage::first, Takes::value, 0, Rule::type, type},
    {Form::unixShort, "n", Stage::first, Takes::nothing, 0, Rule::none, noClobber},
    {Form::unixLong, "no-clobber", Stage::first, Takes::nothing, 0, Rule::none, noClobber},
    {Form::unixLong, "soundfont", Stage::first, Takes::value, 0, Rule::text, soundFont},
    {Form::unixShort, "r", Stage::first, Takes::value, 0, Rule::rate, rate},
    {Form::unixLong, "rate", Stage::first, Takes::value, 0, Rule::rate, rate},
    {Form::unixShort, "g", Stage::first, Takes::value, 0, Rule::gain, gain},
    {Form::unixLong, "gain", Stage::first, Takes::value, 0, Rule::gain, gain},
    {Form::unixShort, "q", Stage::early, Takes::nothing, 0, Rule::none, quiet},
    {Form::unixLong, "quiet", Stage::early, Takes::nothing, 0, Rule::none, quiet},
    {Form::unixLong, "verbose", Stage::second, Takes::nothing, 0, Rule::none, verbose},
    {Form::unixLong, "shuffle", Stage::second, Takes::nothing, 0, Rule::none,
     [](Commands& c, V) { c.setShuffle(); }},
    {Form::unixLong, "seed", Stage::second, Takes::value, 0, Rule::seed, seed},
    {Form::unixLong, "loop", Stage::second, Takes::nothing, 0, Rule::none,
     [](Commands& c, V) { c.setLoop(); }},
    {Form::unixShort, "i", Stage::first, Takes::value, 0, Rule::port,
     [](Commands& c, V v) { c.setInput(v); }},
    {Form::unixLong, "input", Stage::first, Takes::value, 0, Rule::port,
     [](Commands& c, V v) { c.setInput(v); }},
    {Form::unixLong, "from", Stage::first, Takes::value, 0, Rule::convention,
     [](Commands& c, V v) { c.setSourceConvention(v); }},
    // Read into file names before the run starts (readNameLists); "-" is written as this. It
    // stays the table's last row.
    {Form::unixLong, "files-from", Stage::second, Takes::value, 0, Rule::text, nothing},
};

const OptionToken& filesFrom = tokens[std::size(tokens) - 1];

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
// directory, an absolute path, or a word of the prefix options' forms naming an existing file.
// Words beginning with '-' are options whatever exists (a file of such a name is written ./-x
// or after --); so are slash options (a file of that name would sit in the root, and on some
// systems COM1 names a device everywhere).
bool isFileWord(const std::string& word, const WordFacts& facts) {
  if (beginsWithDirectory(word, ".", facts.separator) ||
      beginsWithDirectory(word, "..", facts.separator) ||
      beginsWithDirectory(word, "~", facts.separator) || isAbsolutePathWord(word))
    return true;
  bool looksLikeOption = std::string("@.&#$").find(word[0]) != std::string::npos;
  return looksLikeOption && facts.exists && facts.exists(word);
}

std::string expandHome(const std::string& word, const WordFacts& facts) {
  if (facts.home.empty() || !beginsWithDirectory(word, "~", facts.separator)) return word;
  return facts.home + word.substr(1);
}

std::string problemLine(const std::string& name, const std::string& what) {
  return "tessaro: " + name + ": " + what;
}

std::string unknownOption(const std::string& word) {
  std::string what = "unknown option (";
  std::string slashForm = word;
  slashForm[0] = '/';
  const OptionToken* slash = word.starts_with("--") ? nullptr : tokenOf(slashForm);
  if (slash != nullptr && slash->apply != nothing && slash->stage != Stage::requests)
    what += "the option is written " + slashForm + "; ";
  return problemLine(word, what + "tessaro -h lists the options)");
}

// A slash word that is no option: said, and left alone.
OptionWarning unknownSlashWord(const std::string& word) {
  std::string what = "no such option; ignored";
  if (word.size() > 1 && std::string("@.&#").find(word[1]) != std::string::npos)
    what += " (on the command line it is written " + word.substr(1) + ")";
  return {word, what};
}

// What a rule made of a value: whether the option is used, a warning, an error.
struct Verdict {
  bool use = true;
  std::string warning;
  std::string error;
};

std::string quoted(const std::string& value) {
  return "\"" + value + "\"";
}

// The slash and prefix forms: the value is used as it always was, and said when it is not what
// the help says. value may be changed to what is used instead.
Verdict checkSlashValue(Rule rule, std::string& value) {
  Verdict verdict;
  const bool number = value.empty() || isDecimalText(value);
  const int32_t n = parseDecimal(value.c_str());
  switch (rule) {
    case Rule::ignored:
      verdict.use = false;
      verdict.warning = "no such option; ignored";
      break;
    case Rule::decimal:
      if (!number) verdict.warning = "not a number; " + std::to_string(n) + " is used";
      break;
    case Rule::hex: {
      uint32_t byte = static_cast<uint32_t>(parseHexText(value.c_str()));
      char low[8];
      std::snprintf(low, sizeof low, "%02X", byte & 0xFF);
      if (!value.empty() && !isHexText(value))
        verdict.warning = "not a hexadecimal number; " + std::string(low) + " is sent";
      else if (byte > 0xFF)
        verdict.warning = "a byte is 00 to FF; its low 8 bits, " + std::string(low) + ", are sent";
      break;
    }
    case Rule::volume: {
      int32_t used = std::clamp(n, -mostVolume, mostVolume);
      if (used != n)
        verdict.warning = "the volume offset is -127 to +127; " + std::to_string(used) + " is used";
      else if (!number)
        verdict.warning = "not a number; " + std::to_string(used) + " is used";
      value = std::to_string(used);
      break;
    }
    case Rule::comPort:
      if (n < 0 || n > highestComPort) {
        verdict.use = false;
        verdict.warning = "the COM port is 0 to 99; ignored";
      } else if (!number) {
        verdict.warning = "not a number; " + std::to_string(n) + " is used";
      }
      break;
    case Rule::level:
      if (value.size() > 1)
        verdict.warning =
            "the report level is one digit, 0 to 9; " + value.substr(0, 1) + " is used";
      break;
    default:
      break;
  }
  return verdict;
}

// The dash options' values: out of their form or range, the run ends naming the range.
Verdict checkDashValue(Rule rule, const std::string& value) {
  Verdict verdict;
  const bool number = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
  const int64_t n = number && value.size() < 10 ? std::stoll(value) : -1;
  double unused = 0;
  switch (rule) {
    case Rule::jobs:
      if (n < 0 || n > mostJobs)
        verdict.error = "takes a number of songs from 0 to " + std::to_string(mostJobs) +
                        " (0: one per core), not " + quoted(value);
      break;
    case Rule::rate:
      if (n < lowestRate || n > highestRate)
        verdict.error = "takes a sample rate from " + std::to_string(lowestRate) + " to " +
                        std::to_string(highestRate) + " (Hz), not " + quoted(value);
      break;
    case Rule::gain:
      if (!readGain(value, unused))
        verdict.error = "takes a gain from 0 to 10 (such as 0.2 or 1.5), not " + quoted(value);
      break;
    case Rule::type:
      if (std::find(std::begin(outputTypes), std::end(outputTypes), lowerCase(value)) ==
          std::end(outputTypes))
        verdict.error = "takes a type: mid, wav, flac or ogg, not " + quoted(value);
      break;
    case Rule::convention: {
      SourceConvention convention = SourceConvention::detected;
      if (!sourceConventionNamed(value, convention))
        verdict.error = "takes a convention: gs, sc88, xg or gm, not " + quoted(value);
      break;
    }
    case Rule::seed: {
      uint32_t seed = 0;
      if (!seedFromText(value, seed))
        verdict.error = "takes a whole number from 0 to 4294967295, not " + quoted(value);
      break;
    }
    default:
      break;
  }
  return verdict;
}

// The option as the user named it, without its value: -j of -j4, --jobs of --jobs=4.
std::string optionName(const OptionToken& token, const std::string& word) {
  if (token.form == Form::unixShort) return word.substr(0, 2);
  return word.substr(0, word.find('='));
}

// A value option's value: attached, after '=', or the next word. Empty when there is none.
std::string valueOf(const OptionToken& token, const std::vector<std::string>& words, size_t& i) {
  const std::string& word = words[i];
  if (token.form == Form::unixShort && word.size() > 2) return word.substr(2);
  size_t equals = word.find('=');
  if (token.form == Form::unixLong && equals != std::string::npos) return word.substr(equals + 1);
  return i + 1 < words.size() ? words[++i] : std::string();
}

// One option word (and its value), checked: added to the line, or the line's error set.
void takeOption(CommandLine& line, const OptionToken& token, const std::vector<std::string>& words,
                size_t& i) {
  const std::string& word = words[i];
  std::string value;
  Verdict verdict;
  if (token.takes == Takes::rest) {
    value = word.substr(std::min(token.from, word.size()));
    verdict = checkSlashValue(token.rule, value);
  } else if (token.takes == Takes::value) {
    value = valueOf(token, words, i);
    if (value.empty()) {
      verdict.error =
          token.rule == Rule::port ? "needs a port (tessaro -l lists them)" : "needs a value";
    } else {
      verdict = checkDashValue(token.rule, value);
    }
  }
  if (!verdict.error.empty()) {
    line.error = problemLine(optionName(token, word), verdict.error);
    return;
  }
  if (!verdict.warning.empty()) line.warnings.push_back({word, verdict.warning});
  if (verdict.use) line.items.push_back({&token, word, value});
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
  for (size_t i = 1; i < words.size() && line.error.empty(); ++i) {
    const std::string& word = words[i];
    if (word.empty()) continue;
    if (filesOnly || isFileWord(word, facts)) {
      line.items.push_back({nullptr, expandHome(word, facts), ""});
    } else if (word == "--") {
      filesOnly = true;
    } else if (word == "-") {
      line.items.push_back({&filesFrom, word, word});
    } else if (const OptionToken* token = tokenOf(word); token != nullptr) {
      takeOption(line, *token, words, i);
    } else if (word[0] == '-') {
      line.error = unknownOption(word);
    } else if (word[0] == '/') {
      // A slash word of no option: a path when it names one, else said and left alone.
      if (facts.exists && facts.exists(word)) {
        line.items.push_back({nullptr, word, ""});
      } else {
        line.warnings.push_back(unknownSlashWord(word));
      }
    } else if (word[0] != '$') {
      line.items.push_back({nullptr, word, ""});
    }
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

LongOption longOptionKind(const std::string& name) {
  for (const OptionToken& token : tokens) {
    if (token.form != Form::unixLong || name != token.name) continue;
    if (&token == &filesFrom) return LongOption::list;
    if (token.stage == Stage::requests) return LongOption::request;
    return token.takes == Takes::value ? LongOption::value : LongOption::flag;
  }
  return LongOption::unknown;
}

bool readNameLists(CommandLine& line, platform::FileSystem& files,
                   const std::function<bool()>& stop, Log& log) {
  std::vector<CommandLine::Item> items;
  for (CommandLine::Item& item : line.items) {
    if (item.token != &filesFrom) {
      items.push_back(std::move(item));
      continue;
    }
    const std::string shown = item.value == "-" ? "standard input" : item.value;
    NameList list = readNameList(files, item.value, stop);
    if (list.stopped) return false;
    if (!list.failure.empty()) {
      log.problem(shown, list.failure);
      return false;
    }
    for (const NameList::Skipped& skipped : list.skipped)
      log.problem(shown + ":" + std::to_string(skipped.line), skipped.why);
    if (list.full)
      log.problem(
          shown, "more than " + std::to_string(nameListNameLimit) + " names; the rest is not read");
    for (std::string& name : list.names) items.push_back({nullptr, std::move(name), ""});
  }
  line.items = std::move(items);
  return true;
}

bool settleCommandLine(Commands& commands, CommandLine& line, platform::FileSystem& files,
                       const std::function<bool()>& stop, Log& log) {
  applyCommandLine(commands, line, Stage::early);
  for (const OptionWarning& warning : line.warnings) log.problem(warning.word, warning.what);
  return readNameLists(line, files, stop, log);
}

}  // namespace tessaro
