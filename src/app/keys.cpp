#include "app/keys.h"

#include <cstring>

namespace tessaro {

namespace {

constexpr int32_t volumeKeyStep = 12;

using Action = void (*)(Commands&);

// A row of the key table: the characters that give the command, and what it does while the
// play list is empty (idle) and while a song plays; none: the key does nothing there.
struct KeyRow {
  const char* keys;
  Action idle;
  Action play;
};

void volumeDown(Commands& c) {
  c.stepVolume(-volumeKeyStep);
}
void volumeUp(Commands& c) {
  c.stepVolume(volumeKeyStep);
}
void repeatDown(Commands& c) {
  c.stepRepeats(-1);
}
void repeatUp(Commands& c) {
  c.stepRepeats(1);
}
void resetModule(Commands& c) {
  c.resetModule();
}
void openFile(Commands& c) {
  c.openFile();
}
void fadeOut(Commands& c) {
  c.fadeOut();
}
void speedUp(Commands& c) {
  c.speedUp();
}
void normalSpeed(Commands& c) {
  c.normalSpeed();
}
void slowDown(Commands& c) {
  c.slowDown();
}
void stopSong(Commands& c) {
  c.stopSong();
}
void nextSong(Commands& c) {
  c.nextSong();
}
void previousSong(Commands& c) {
  c.previousSong();
}
void togglePause(Commands& c) {
  c.togglePause();
}
void quit(Commands& c) {
  c.quit();
}

constexpr KeyRow keyTable[] = {
    {",<", volumeDown, volumeDown}, {".>", volumeUp, volumeUp},  {"Gg", resetModule, resetModule},
    {"-_", repeatDown, repeatDown}, {";+", repeatUp, repeatUp},  {"Oo", openFile, openFile},
    {"Ff", nullptr, fadeOut},       {"Uu", nullptr, speedUp},    {"Ss", nullptr, normalSpeed},
    {"Dd", nullptr, slowDown},      {"\x1B", nullptr, stopSong}, {"Nn", nullptr, nextSong},
    {"Pp", nullptr, previousSong},  {" ", nullptr, togglePause}, {"Qq", nullptr, quit},
};

// The navigation keys while a song plays (the window's codes, which the terminal's and the
// console's key readers give too): a measure on or back, eight measures, the song's start.
struct SeekKey {
  int code;
  int32_t measures;  // 0: the song's start
};
constexpr SeekKey seekKeys[] = {
    {KeyRight, 1}, {KeyLeft, -1}, {KeyPageDown, 8}, {KeyPageUp, -8}, {KeyHome, 0},
};

// The row of a key, or none. Codes outside the characters (navigation keys, Alt+letter) and
// characters of no row are taken and ignored.
const KeyRow* rowOf(int code) {
  if (code <= 0 || code > 0x7F) return nullptr;
  for (const KeyRow& row : keyTable) {
    if (std::strchr(row.keys, code) != nullptr) return &row;
  }
  return nullptr;
}

bool isDigit(int code) {
  return code >= '0' && code <= '9';
}

}  // namespace

IdleAction applyIdleKey(Commands& commands, int code) {
  if (code == KeyEscape || code == 'q' || code == 'Q') return IdleAction::quit;
  if (isDigit(code)) {
    commands.setReportLevel(code - '0', Echo::quiet);
  } else if (const KeyRow* row = rowOf(code); row != nullptr && row->idle != nullptr) {
    row->idle(commands);
  }
  return IdleAction::none;
}

void applyPlayKey(Commands& commands, int code) {
  for (const SeekKey& key : seekKeys) {
    if (key.code != code) continue;
    if (key.measures == 0) {
      commands.seekToStart();
    } else {
      commands.seekMeasures(key.measures);
    }
    return;
  }
  if (isDigit(code)) {
    commands.setReportLevel(code - '0', Echo::quiet);
  } else if (const KeyRow* row = rowOf(code); row != nullptr && row->play != nullptr) {
    row->play(commands);
  }
}

void applyLiveKey(Commands& commands, int code) {
  if (code > 0 && code < 0x80 &&
      std::strchr(",<.>Gg\x1B"
                  "0123456789",
                  code) != nullptr)
    applyPlayKey(commands, code);
}

}  // namespace tessaro
