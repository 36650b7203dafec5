// Console keys without waiting: one input record is looked at and taken per call, and a key-down
// event with a character gives that character. Standard input that is a pipe or a file (keys
// given by another program) is read one byte at a time when a byte is there.
#include <windows.h>

#include "backends/win32/win32_platform.h"
#include "display/key_codes.h"

namespace tessaro::platform::win32 {

namespace {

// Stop requests taken by the control handler, which the system calls on a thread of its own.
// Process-wide, as the console and its handler list are.
std::atomic<int> stopRequests{0};

BOOL WINAPI onConsoleControl(DWORD event) {
  return takeConsoleControl(event) ? TRUE : FALSE;
}

}  // namespace

bool takeConsoleControl(unsigned long event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return false;
  return stopRequests.fetch_add(1) == 0;
}

void resetConsoleInterrupt() {
  stopRequests.store(0);
}

Win32ConsoleInput::Win32ConsoleInput(bool installCtrlHandler) {
  if (installCtrlHandler) SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool Win32ConsoleInput::interrupted() {
  return stopRequests.load() > 0;
}

int Win32ConsoleInput::readKey() {
  if (released_ || endOfInput_) return 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) {
    endOfInput_ = true;  // no standard input at all: no key can come
    return 0;
  }
  DWORD mode = 0;
  if (GetConsoleMode(input, &mode)) return readConsoleKey(input);
  return readStreamKey(input);
}

int Win32ConsoleInput::readConsoleKey(void* input) {
  INPUT_RECORD record{};
  DWORD count = 0;
  if (!PeekConsoleInputA(input, &record, 1, &count) || count == 0) return 0;
  // Other records (mouse, focus, size, key releases) are taken and dropped.
  if (!ReadConsoleInputA(input, &record, 1, &count) || count == 0) return 0;
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return 0;
  const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  if (key.uChar.AsciiChar != 0) return static_cast<signed char>(key.uChar.AsciiChar);
  // The arrows, Home, End and the page keys come with a virtual-key code and no character:
  // the same codes as the window gives them.
  const DWORD state = key.dwControlKeyState;
  return display::navigationCode(key.wVirtualKeyCode, (state & SHIFT_PRESSED) != 0,
                                 (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0);
}

int Win32ConsoleInput::readStreamKey(void* input) {
  const DWORD type = GetFileType(input);
  if (type == FILE_TYPE_PIPE) {
    DWORD available = 0;
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) {
      endOfInput_ = true;  // the writing end has closed
      return 0;
    }
    if (available == 0) return 0;
  } else if (type != FILE_TYPE_DISK && type != FILE_TYPE_CHAR) {
    endOfInput_ = true;
    return 0;
  }
  unsigned char byte = 0;
  DWORD count = 0;
  if (!ReadFile(input, &byte, 1, &count, nullptr) || count == 0) {
    endOfInput_ = true;  // end of the file or of the pipe
    return 0;
  }
  return static_cast<signed char>(byte);
}

void Win32ConsoleInput::release() {
  released_ = true;
  DWORD processes[2] = {};
  if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
}

}  // namespace tessaro::platform::win32
