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
    "                    .ogg; several songs are joined), one file per song in the",
    "                    directory OUT/ (song.xg.mid ...), or - (standard output); faster",
    "                    than real time; a file is replaced only once its new one is complete",
    "  -j, --jobs N      songs converted at once into OUT/, 0 to 256 (default 0: one per core)",
    "  -T, --type TYPE   the output's type (mid, wav, flac, ogg) when OUT has no extension,",
    "                    for a directory, and for -o - (standard output)",
    "  -n, --no-clobber  skip the songs whose output exists already (to resume a batch)",
    "  --soundfont FILE  the built-in synthesizer's SoundFont (.sf2, .sf3); wins over",
    "                    TESSARO_SOUNDFONT",
    "  -r, --rate RATE   the sample rate of audio output and of the built-in synthesizer,",
    "                    8000 to 192000 (default 44100)",
    "  -g, --gain GAIN   the built-in synthesizer's gain, 0 to 10 (default 0.5)",
    "  -q, --quiet       no banner, no progress: errors and warnings only",
    "  --verbose         more reporting (as /1)",
    "  --files-from FILE",
    "                    song names, one a line, from FILE (a file or a pipe)",
    "  -                 song names, one a line, from standard input",
    "  --shuffle         play the songs in a random order",
    "  --seed N          shuffle in the order seed N gives (0-4294967295)",
    "  --loop            play the list again after its last song (not with -o)",
    "  -i, --input PORT  live: translate what the MIDI input PORT sends (a MIDI port as -l",
    "                    lists it, or a serial device path) to the output, until Esc",
    "  --from CONV       the live input's convention: gs, sc88, xg or gm (default: detected)",
    "  /so               keep taking keys from the console while the window is open",
    "  /0 ... /9         how much is reported; /0 also hides the status line",
    "  -h, --help, /?    this text, then end",
    "  -V, --version     the version, then end",
    "  --                every later word is a file name",
    "A word that begins with - is an option whatever files exist: write a file named -x as",
    "./-x, or after --. A word that begins with ./ ../ or ~/ is a file name; one that begins",
    "with / is an option unless it is a path such as /home/me/song.mid. A value a dash option",
    "does not take ends the run; a slash option's value out of its form or range is said,",
    "with what is done instead.",
    "In names only * and ? are wildcards. Play lists (.m3u, .m3u8) give their songs.",
    "",
    "Keys:",
    "  Esc               stop the song (the next one follows); with no song, end",
    "  N / P             next song / previous song (at the first song, its start)",
    "  Space             pause / go on",
    "  Right / Left      next measure / the measure's start (within its first beat: the one",
    "                    before); Page Down / Page Up: eight measures; Home: the song's start",
    "  Q                 end the run after the song's stop",
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
    "Exit status:",
    "  0                 every song played or converted (or skipped by -n), or the help,",
    "                    the version, the port list",
    "  1                 a song could not be loaded, played or converted, or the output",
    "                    failed (it would not open, the line stopped, a file could not be",
    "                    written)",
    "  2                 a mistake in the options, nothing to play, or an output that is one",
    "                    of the songs (said before anything is written)",
    "  130, 143, 129     stopped by Ctrl+C (SIGINT), SIGTERM or a hang-up (SIGHUP)",
    "",
    "Examples:",
    "  tessaro /gm ./song.mid '&1' other.mid",
    "  tessaro -p 24:0 '@5' ~/midi/*.mid",
    "  tessaro /xg -o out/ songs/*.mid",
    "  tessaro --shuffle --loop ~/midi/evening.m3u",
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
