#include "app/settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tessaro {

namespace {

constexpr size_t maxSettingsBytes = 16u << 20;  // more than any settings file holds
constexpr size_t wordLimit = 258;
constexpr int endOfFileMark = 0x1A;

int upper(int c) {
  return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

bool isBlank(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == endOfFileMark;
}

bool isLead(const SettingsReader& reader, int c) {
  return reader.shiftJis && c >= 0 && isLeadByte(static_cast<unsigned char>(c));
}

// Text with bytes above 127 that forms valid UTF-8 throughout is read as UTF-8; anything
// else keeps the Shift-JIS reading of double-byte characters.
bool isUtf8(const std::vector<uint8_t>& text) {
  bool high = false;
  for (size_t i = 0; i < text.size();) {
    uint8_t b = text[i];
    size_t length = b < 0x80                   ? 1
                    : (b >= 0xC2 && b <= 0xDF) ? 2
                    : (b >= 0xE0 && b <= 0xEF) ? 3
                    : (b >= 0xF0 && b <= 0xF4) ? 4
                                               : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((text[i + k] & 0xC0) != 0x80) return false;
    }
    high |= length > 1;
    i += length;
  }
  return high;
}

int readNumber(SettingsReader& reader, int32_t& value, Log& log, int base, const char* tooLarge) {
  if (base == 10 && peekChar(reader) == '+') nextChar(reader);
  bool negative = false;
  if (peekChar(reader) == '-') {
    nextChar(reader);
    negative = true;
  }
  int32_t number = 0;
  for (int digits = 0;;) {
    int c = peekChar(reader);
    if (c < 0) return -1;
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && upper(c) >= 'A' && upper(c) <= 'F') digit = upper(c) - 'A' + 10;
    if (digit < 0) {
      value = negative ? -number : number;
      return 0;
    }
    nextChar(reader);
    number = number * base + digit;
    if (++digits == 6) {
      log.print("%s", tooLarge);
      return -2;
    }
  }
}

// A number option: the value read, or `failed` when the number failed.
int32_t numberOr(SettingsPass& pass, SettingsReader& reader, int32_t failed, bool hex = false) {
  int32_t value = 0;
  int result = hex ? readHex(reader, value, pass.log) : readDecimal(reader, value, pass.log);
  return result < 0 ? failed : value;
}

void blockComment(SettingsReader& reader) {
  int previous = nextChar(reader);  // the opening star
  bool previousIsSecondByte = false;
  for (;;) {
    int c = nextChar(reader);
    if (c < 0) return;
    if (previous == '*' && !previousIsSecondByte && c == '/') return;
    if (isLead(reader, c)) {
      previous = nextChar(reader);
      if (previous < 0) return;
      previousIsSecondByte = true;
    } else {
      previous = c;
      previousIsSecondByte = false;
    }
  }
}

// The skip, beat and repeat options, which share their number rules.
void positionOption(SettingsPass& pass, SettingsReader& reader, int which) {
  nextChar(reader);
  int32_t value = std::max(numberOr(pass, reader, 0), 0);
  if (pass.pass != 2) return;
  if (which == '@') {
    pass.commands.setStartMeasure(value);
  } else if (which == '.') {
    pass.commands.setStartBeat(value);
  } else {
    pass.commands.setRepeats(value);
  }
}

void directByteOption(SettingsPass& pass, SettingsReader& reader) {
  nextChar(reader);
  int32_t value = std::max(numberOr(pass, reader, 0, true), 0);
  if (pass.pass == 2) pass.commands.sendByte(value);
}

void comOrIntervalOption(SettingsPass& pass, SettingsReader& reader) {
  nextChar(reader);
  if (upper(peekChar(reader)) == 'O') {
    nextChar(reader);
    if (upper(peekChar(reader)) != 'M') return;
    nextChar(reader);
    int32_t port = numberOr(pass, reader, 1);
    if (pass.pass == 1) pass.commands.setComPort(port == 0 ? 1 : port);
    return;
  }
  int32_t interval = std::max(numberOr(pass, reader, 210), 1);
  if (pass.pass == 2) pass.commands.setFadeInterval(interval);
}

void fadeSpeedOption(SettingsPass& pass, SettingsReader& reader) {
  nextChar(reader);
  int32_t speed = numberOr(pass, reader, 0);
  if (pass.pass != 2) return;
  if (speed == 0) {
    pass.commands.setStandardFade();
  } else {
    pass.commands.setFadeSpeed(speed);
  }
}

void stepOrConsoleOption(SettingsPass& pass, SettingsReader& reader) {
  nextChar(reader);
  if (upper(peekChar(reader)) == 'O') {
    nextChar(reader);
    if (upper(peekChar(reader)) == 'C') nextChar(reader);
    if (pass.pass == 2) pass.commands.setConsoleMode();
    return;
  }
  int32_t step = numberOr(pass, reader, 3);
  if (pass.pass == 2) pass.commands.setFadeStep(step);
}

void volumeOption(SettingsPass& pass, SettingsReader& reader) {
  nextChar(reader);
  if (upper(peekChar(reader)) == 'O') {
    nextChar(reader);
    if (upper(peekChar(reader)) != 'L') return;
    nextChar(reader);
  }
  int32_t volume = numberOr(pass, reader, 0);
  if (pass.pass == 2) pass.commands.setVolume(volume);
}

// The character after the look-ahead, or -1.
int afterLookahead(const SettingsReader& reader) {
  return reader.next < reader.text.size() ? reader.text[reader.next] : -1;
}

// A value after an option: blanks and one '=' are skipped; then a word in double quotes or up to
// a blank, ';' or the end. Not echoed, unlike a file name.
std::string readValue(SettingsReader& reader) {
  while (peekChar(reader) == ' ' || peekChar(reader) == '\t') nextChar(reader);
  if (peekChar(reader) == '=') nextChar(reader);
  while (peekChar(reader) == ' ' || peekChar(reader) == '\t') nextChar(reader);
  bool quoted = peekChar(reader) == '"';
  if (quoted) nextChar(reader);
  std::string value;
  for (int c = peekChar(reader); c >= 0; c = peekChar(reader)) {
    if (quoted ? c == '"' : (isBlank(c) || c == ';' || c == '"')) break;
    value.push_back(static_cast<char>(nextChar(reader)));
  }
  if (quoted && peekChar(reader) == '"') nextChar(reader);
  return value;
}

// The output port (-p, /p): taken by the first pass, as the COM port is.
void portOption(SettingsPass& pass, SettingsReader& reader) {
  std::string port = readValue(reader);
  if (pass.pass == 1 && !port.empty()) pass.commands.setPort(port);
}

// The long forms after a second hyphen: --port, --output, --jobs, --input and --from with their
// value, after a blank or '='. The requests of the command line (--help, --version,
// --list-ports) are no settings.
void longOption(SettingsPass& pass, SettingsReader& reader) {
  nextChar(reader);
  std::string name;
  for (int c = peekChar(reader); std::isalnum(c) != 0 || c == '-'; c = peekChar(reader))
    name.push_back(static_cast<char>(nextChar(reader)));
  if (name == "port") {
    portOption(pass, reader);
  } else if (name == "output" || name == "jobs") {
    std::string value = readValue(reader);
    bool number = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    if (pass.pass == 1 && name == "output") pass.commands.setOutput(value);
    if (pass.pass == 1 && name == "jobs")
      pass.commands.setJobs(number ? static_cast<int32_t>(std::min<long>(
                                         std::strtol(value.c_str(), nullptr, 10), INT32_MAX))
                                   : -1);
  } else if (name == "input" || name == "from") {
    // A live session is known in the first pass, before the output would open.
    std::string value = readValue(reader);
    if (pass.pass == 1 && name == "input" && !value.empty()) pass.commands.setInput(value);
    if (pass.pass == 1 && name == "from") pass.commands.setSourceConvention(value);
  } else if (pass.pass == 2) {
    pass.log.print("Option --%s is not taken in the settings file.\n", name.c_str());
  }
}

// The two-letter conversion options: the first letter is the look-ahead.
void conversionOption(SettingsPass& pass, SettingsReader& reader) {
  int first = upper(nextChar(reader));
  int second = upper(peekChar(reader));
  Conversion conversion;
  if (first == 'G' && second == 'M') {
    conversion = Conversion::gm;
  } else if (first == 'X' && second == 'G') {
    conversion = Conversion::xg;
  } else if (first == 'N' && (second == 'C' || second == 'X')) {
    conversion = second == 'C' ? Conversion::allOff : Conversion::off;
  } else {
    return;
  }
  nextChar(reader);
  if (pass.pass == 2) pass.commands.setConversion(conversion, Echo::confirm);
}

// /o NAME (a word as file names are read) and /jN: an offline conversion, known in the first
// pass, before the output would open.
void outputOption(SettingsPass& pass, SettingsReader& reader, int which) {
  nextChar(reader);
  if (upper(which) == 'J') {
    int32_t jobs = numberOr(pass, reader, -1);
    if (pass.pass == 1) pass.commands.setJobs(jobs);
    return;
  }
  std::string name = readValue(reader);
  if (pass.pass == 1) pass.commands.setOutput(name);
}

// After a slash or hyphen: one option, or a comment. A character that starts no option is
// left for the top level.
void readOption(SettingsPass& pass, SettingsReader& reader) {
  int c = peekChar(reader);
  switch (upper(c)) {
    case '@':
    case '.':
    case '&':
      positionOption(pass, reader, c);
      break;
    case '#':
      directByteOption(pass, reader);
      break;
    case 'C':
      comOrIntervalOption(pass, reader);
      break;
    case 'F':
      fadeSpeedOption(pass, reader);
      break;
    case 'G':
    case 'N':
    case 'X':
      conversionOption(pass, reader);
      break;
    case 'S':
      stepOrConsoleOption(pass, reader);
      break;
    case 'V':
      volumeOption(pass, reader);
      break;
    case 'O':
    case 'J':
      outputOption(pass, reader, c);
      break;
    case 'P':
      // Only as a word of its own (-p NAME, -p=NAME): /path/... unquoted stays what it was.
      if (int after = afterLookahead(reader); isBlank(after) || after == '=') {
        nextChar(reader);
        portOption(pass, reader);
      }
      break;
    case '-':
      longOption(pass, reader);
      break;
    case '/':
      skipLine(reader);
      break;
    case '*':
      blockComment(reader);
      break;
    default:
      break;
  }
}

}  // namespace

int openSettings(SettingsReader& reader, const std::string& path) {
  closeSettings(reader);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  reader.text.clear();
  uint8_t block[4096];
  size_t count;
  while ((count = std::fread(block, 1, sizeof block, file)) > 0 &&
         reader.text.size() < maxSettingsBytes) {
    reader.text.insert(reader.text.end(), block, block + count);
  }
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    reader.text.clear();
    return -1;
  }
  reader.shiftJis = !isUtf8(reader.text);
  reader.next = 0;
  // Some editors mark UTF-8 with a byte-order mark; it is no part of the first word.
  static constexpr uint8_t byteOrderMark[] = {0xEF, 0xBB, 0xBF};
  if (!reader.shiftJis && reader.text.size() >= 3 &&
      std::equal(byteOrderMark, byteOrderMark + 3, reader.text.begin()))
    reader.next = 3;
  reader.open = true;
  reader.lookahead = -1;
  nextChar(reader);
  return 0;
}

void closeSettings(SettingsReader& reader) {
  reader.open = false;
  reader.text.clear();
  reader.next = 0;
  reader.lookahead = -1;
}

int peekChar(const SettingsReader& reader) {
  return reader.lookahead;
}

int nextChar(SettingsReader& reader) {
  int c = reader.lookahead;
  reader.lookahead = reader.next < reader.text.size() ? reader.text[reader.next++] : -1;
  return c;
}

int skipLine(SettingsReader& reader) {
  for (;;) {
    int c = nextChar(reader);
    if (c < 0) return -1;
    if (c == '\r' || c == '\n' || c == endOfFileMark) return 0;
  }
}

int readDecimal(SettingsReader& reader, int32_t& value, Log& log) {
  return readNumber(reader, value, log, 10, "Integer too Large.\n");
}

int readHex(SettingsReader& reader, int32_t& value, Log& log) {
  return readNumber(reader, value, log, 16, "Hex value too Large.\n");
}

int readWord(SettingsReader& reader, std::string& word, Log& log) {
  word.clear();
  for (int c = peekChar(reader); c == '\t' || c == '\n' || c == '\r' || c == endOfFileMark ||
                                 c == ' ' || c == ',' || c == ':' || c == ';' || c == '=';
       c = peekChar(reader)) {
    nextChar(reader);
  }
  bool quoted = peekChar(reader) == '"';
  if (quoted) nextChar(reader);
  auto take = [&]() {
    int c = nextChar(reader);
    log.print("%c", c);
    return c;
  };
  for (;;) {
    if (peekChar(reader) < 0) break;
    if (word.size() >= wordLimit) {
      take();  // the character past the limit is lost; the rest makes a further word
      return -1;
    }
    int c = take();
    if (isLead(reader, c)) {
      word.push_back(static_cast<char>(c));
      if (peekChar(reader) < 0) break;
      if (word.size() >= wordLimit) {
        take();
        return -1;
      }
      word.push_back(static_cast<char>(take()));
      continue;
    }
    bool ends = quoted ? c == '"' : (isBlank(c) || c == ';' || c == '"');
    if (ends) break;
    word.push_back(static_cast<char>(c));
  }
  return static_cast<int>(word.size()) + 1;
}

bool readSettingsPass(SettingsReader& reader, SettingsPass& pass, const std::string& path) {
  if (openSettings(reader, path) != 0) return false;
  while (peekChar(reader) != -1) {
    int c = peekChar(reader);
    if (c == '\'' || c == '#') {
      skipLine(reader);
    } else if (isBlank(c)) {
      nextChar(reader);
    } else if (c == 0x81 && reader.shiftJis) {
      nextChar(reader);  // 0x81 0x40 is the full-width space
      if (peekChar(reader) == 0x40) nextChar(reader);
    } else if (c == '/' || c == '-') {
      nextChar(reader);
      readOption(pass, reader);
    } else {
      std::string word;
      readWord(reader, word, pass.log);
      if (pass.pass == 2 && !word.empty())
        addSettingsFile(pass, !reader.shiftJis && pass.fromUtf8 ? pass.fromUtf8(word) : word);
    }
  }
  closeSettings(reader);
  return true;
}

void addSettingsFile(SettingsPass& pass, const std::string& word) {
  Log& log = pass.log;
  std::string path = word;
  if (!pass.home.empty() && path.starts_with("~/")) path = pass.home + path.substr(1);
  std::string name;
  if (directoryPart(path, pass.paths.separator, pass.paths.skipLeadBytes).empty() &&
      findFileName(pass.files, path, name) != 0 &&
      findFileName(pass.files, pass.programDir + path, name) == 0) {
    path = pass.programDir + path;
  }
  findFileName(pass.files, path, name);
  if (name.empty()) {
    log.print("Cannot retrive path for: %s \n", path.c_str());
    return;
  }
  std::string extension;
  extensionPart(name, extension, pass.paths.skipLeadBytes);
  if (matchesPrefixNoCase(extension.c_str(), ".MID") == 0 && !extension.empty()) {
    log.print("MIDI file: %s \n", name.c_str());
    pass.commands.queueFile(path);
  } else {
    log.print("Cannot play file other than MIDI: %s \n", path.c_str());
  }
}

}  // namespace tessaro
