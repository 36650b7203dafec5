// The help text of -h, --help and /?.
#include "control/commands.h"

namespace tessaro {

namespace {

constexpr const char* options[] = {
    "Usage: tessaro [options] [--] file.mid ...",
    "Plays Standard MIDI Files to a sound module, one after another, translating GS songs",
    "for XG or GM modules as they play.",
    "",
    "Options (later ones win; the settings file is read first):",
    "  /xg               translate GS songs for an XG module (the default)",
    "  /gm               translate GS and XG songs for a GM module",
    "  /nc, /nx          no translation",
    "  /comN             play to serial port COMN (1-99); /com alone: the default output",
    "  -p, --port PORT   play to PORT: a MIDI port as -l lists it (client:port or a name),",
    "                    or a serial device path such as /dev/ttyUSB0",
    "  -l, --list-ports  list the MIDI ports, MIDI inputs and serial devices, then end",
    "  #hh               send the hexadecimal byte hh before any song ('#F0' in a shell)",
    "  &n                repeat the first song n more times ('&2' in a shell)",
    "  @n                start every song at measure n",
    "  .n                start every song at beat n of that measure",
    "  /vN               volume offset added to every channel (+127 to -127)",
    "  /fN               fade-out speed (100: 3 units every 210 ms)",
    "  /sN               fade-out step (default 3)",
    "  /cN               fade-out interval in milliseconds (default 210)",
    "  -o, --output OUT  convert instead of playing: into the file OUT (.mid, .wav, .flac,",
    "                    .ogg; several songs are joined), or one file per song in the",
    "                    directory OUT/ (song.xg.mid ...); faster than real time",
    "  -j, --jobs N      songs converted at once into OUT/ (default: one per core)",
    "  -i, --input PORT  live: translate what the MIDI input PORT sends (a MIDI port as -l",
    "                    lists it, or a serial device path) to the output, until Esc",
    "  --from CONV       the live input's convention: gs, sc88, xg or gm (default: detected)",
    "  /so               keep taking keys from the console while the window is open",
    "  /0 ... /9         how much is reported; /0 also hides the status line",
    "  -h, --help, /?    this text, then end",
    "  -V, --version     the version, then end",
    "  --                every later word is a file name",
    "A word that names an existing file, or begins with ./ ../ or ~/, is a file name;",
    "one that begins with / is an option unless it is a path such as /home/me/song.mid.",
    "In names only * and ? are wildcards.",
    "",
    "Keys:",
    "  Esc               stop the song (the next one follows); with no song, end",
    "  F                 fade the song out",
    "  U / S / D         faster / normal speed / slower",
    "  , or <  / . or >  volume offset down / up by 12",
    "  - or _  / ; or +  one repeat fewer / more",
    "  G                 send GM System On to the module",
    "  O                 open a file (with the status window)",
    "  0 ... 9           how much is reported",
    "  Live (-i): the volume keys, G, Esc (end) and 0 ... 9; the others do nothing.",
    "",
};

constexpr const char* ending[] = {
    "",
    "Exit status: 0 every song played; 1 a song could not be loaded or played, or the output",
    "failed; 2 a mistake in the options, or nothing to play; 130 or 143 after Ctrl+C or SIGTERM.",
    "",
    "Examples:",
    "  tessaro /gm ./song.mid '&1' other.mid",
    "  tessaro -p 24:0 '@5' ~/midi/*.mid",
    "  tessaro /xg -o out/ songs/*.mid",
    "  tessaro -i /dev/ttyUSB0 /com1 /xg",
};

}  // namespace

std::string helpText(const ProgramFacts& facts) {
  std::string text;
  for (const char* line : options) text += std::string(line) + "\n";
  if (!facts.variables.empty()) {
    text += "Variables:\n";
    for (const std::string& line : facts.variables) text += "  " + line + "\n";
    text += "\n";
  }
  text += "Settings file (options and file names, read before the command line):\n";
  text +=
      "  " + (facts.settingsPath.empty() ? std::string("tessaro.ini") : facts.settingsPath) + "\n";
  for (const char* line : ending) text += std::string(line) + "\n";
  return text;
}

}  // namespace tessaro
