// The settings file: the command line's options and a list of files to play, as free text
// with comments, turned into commands. It is read twice: the first pass takes only the COM
// port, the second everything else, sending direct bytes and queuing the files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/settings_text.h"
#include "common/log.h"
#include "control/commands.h"
#include "platform/platform.h"

namespace tessaro {

// The open settings file, held in memory, with one character of look-ahead. Only the lines
// that are text are kept (each line skipped leaves its line end, so lines keep their numbers).
struct SettingsReader {
  std::vector<uint8_t> text;
  size_t next = 0;     // index of the character after the look-ahead
  int lookahead = -1;  // 0-255, or -1 at the end
  bool open = false;
  bool shiftJis = true;  // double-byte characters are Shift-JIS (else the text is UTF-8)
  std::string path;
  int line = 1;              // of the look-ahead
  bool afterReturn = false;  // the last character taken was a CR (a LF after it ends no line)
  std::vector<SettingsProblem> problems;
};

// Everything a pass reads from and writes to.
struct SettingsPass {
  Commands& commands;
  Log& log;
  platform::FileSystem& files;
  std::string programDir;
  int pass;  // 1 or 2
  platform::PathRules paths = {};
  // Names of a UTF-8 file as the system's file calls take them; none: as they stand.
  std::function<std::string(const std::string&)> fromUtf8 = {};
  std::string home = {};  // what a name's leading ~/ stands for; empty: left as it is
};

// 0 when the file is open; -1 when it is missing, unreadable or no regular file (a directory,
// a FIFO, a device: never opened, and said in problems).
int openSettings(SettingsReader& reader, const std::string& path);
void closeSettings(SettingsReader& reader);
int peekChar(const SettingsReader& reader);
int nextChar(SettingsReader& reader);
// Consumes up to and including the next CR, LF or 0x1A (0), or to the end (-1).
int skipLine(SettingsReader& reader);
// 0 with the value; -1 at the end of the file; -2 after a sixth digit ("Integer too Large.").
int readDecimal(SettingsReader& reader, int32_t& value, Log& log);
int readHex(SettingsReader& reader, int32_t& value, Log& log);
// One file name, echoed as it is read: its length + 1, or -1 when it was cut at 258 bytes.
int readWord(SettingsReader& reader, std::string& word, Log& log);

// One whole pass over the file at path; a file that is missing or cannot be read is skipped
// silently. True when the file was opened. What is wrong in the file is said on the error
// stream, naming the file and the line: by the first pass, or by the pass that applies it.
bool readSettingsPass(SettingsReader& reader, SettingsPass& pass, const std::string& path);

// The test a name from the settings file passes before it joins the cue. where: the file and
// line it was read from, named when the name is not taken; empty: not said there.
void addSettingsFile(SettingsPass& pass, const std::string& word, const std::string& where = "");

}  // namespace tessaro
