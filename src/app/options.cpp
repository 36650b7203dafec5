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

void slashOption(OptionSinks& sinks, const std::string& word) {
  PlaybackOptions& options = sinks.options;
  PlayerState& state = sinks.engine.state;
  Log& log = sinks.log;
  if (word == "/FE" || word == "/fe") return;
  char second = upper(at(word, 1));
  char third = upper(at(word, 2));
  const char* number = word.c_str() + std::min<size_t>(2, word.size());
  if ((second == 'N' && (third == 'X' || third == 'C')) || (second == 'X' && third == 'G') ||
      (second == 'G' && third == 'M')) {
    applyConversion(sinks, second, third);
  } else if (second == 'V') {
    options.volumeAdd = parseDecimal(number);
    setUserVolume(sinks.engine, options.volumeAdd);
    log.print("Volume = %d \n", options.volumeAdd.load());
  } else if (second == 'F') {
    log.print("FadeOutSpeed = %d \n", applyFadeSpeed(sinks.engine, parseDecimal(number)));
  } else if (second == 'S' && third == 'O') {
    options.consoleMode = true;
    log.print("Console mode: ON.\n");
  } else if (second == 'S') {
    state.fadeStep = parseDecimal(number);
    log.print("FadeOutVolStep = %d \n", state.fadeStep.load());
  } else if (second == 'C' && third == 'O') {
    // The COM port, taken by the first pass.
  } else if (second == 'C') {
    state.fadeInterval = parseDecimal(number);
    log.print("FadeOutCycleTime = %d \n", state.fadeInterval.load());
  } else if (second >= '0' && second <= '9') {
    options.DispLevel = second - '0';
    log.print("DispLevel=%d  RealPlay=ON\n", options.DispLevel.load());
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

int applyFadeSpeed(Engine& engine, int speed) {
  PlayerState& state = engine.state;
  if (speed < 2) speed = 2;
  if (speed >= 224) {
    state.fadeInterval = 125;
    state.fadeStep = speed / 56;
  } else {
    state.fadeStep = 3;
    state.fadeInterval = 21000 / speed;
  }
  return speed;
}

void applyConversion(OptionSinks& sinks, char first, char second) {
  TargetMap& targets = sinks.engine.targets;
  using platform::ModuleConvention;
  if (first == 'X') {
    targets.setAll(-1, 0, 0);
    sinks.options.initialConventionFlags = 2;
    sinks.log.print("GS => XG conversion AUTO-DETECT.\n");
    setPortConvention(sinks.engine.port, ModuleConvention::xg);
  } else if (first == 'G') {
    targets.setAll(0, -1, 0);
    sinks.options.initialConventionFlags = 0;
    sinks.log.print("GS => GM conversion AUTO-DETECT.\n");
    setPortConvention(sinks.engine.port, ModuleConvention::gm);
  } else {
    targets.setAll(0, 0, 0);
    sinks.options.initialConventionFlags = 0;
    sinks.log.print(second == 'C' ? "88GS/XG/GM conversion ALL OFF.\n"
                                  : "GS => XG conversion OFF.\n");
    // Untranslated songs keep their own convention, most often GS.
    setPortConvention(sinks.engine.port, ModuleConvention::gs);
  }
}

bool isAbsolutePathWord(const std::string& word) {
  return word.size() > 1 && word[0] == '/' && word.find('/', 1) != std::string::npos;
}

bool commandLineFirstPass(OptionSinks& sinks, const std::vector<std::string>& words) {
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.empty() || !isOptionWord(word)) continue;
    if (isComWord(word)) {
      sinks.options.comPort = parseDecimal(word.c_str() + 4);
      sinks.log.print("COM port = COM%d \n", sinks.options.comPort);
    } else if (at(word, 1) == '?') {
      printUsage(sinks.log);
      return true;
    }
  }
  return false;
}

void commandLineSecondPass(OptionSinks& sinks, const std::vector<std::string>& words) {
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.empty()) continue;
    const char* rest = word.c_str() + 1;
    switch (word[0]) {
      case '@':
        sinks.options.skipToMeasure = parseDecimal(rest);
        sinks.log.print("Skip to Meas = %d \n", sinks.options.skipToMeasure);
        break;
      case '.':
        sinks.options.skipToBeat = parseDecimal(rest);
        sinks.log.print("Skip to Beat = %d \n", sinks.options.skipToBeat);
        break;
      case '&':
        sinks.engine.state.repeatCount = parseDecimal(rest);
        sinks.engine.state.repeatSetByUser = 255;
        sinks.log.print("Repeat Time = %d \n", sinks.engine.state.repeatCount.load());
        break;
      case '#': {
        int value = parseHexText(rest);
        sinks.log.print("%04X ", value);
        sendDirectByte(sinks.engine.port, value);
        break;
      }
      case '/':
        if (isAbsolutePathWord(word)) {
          appendEntry(sinks.cue, word);
        } else {
          slashOption(sinks, word);
        }
        break;
      case '-':
      case '$':
        break;
      default:
        appendEntry(sinks.cue, word);
        break;
    }
  }
}

}  // namespace tessaro
