// Console keys without waiting: one input record is looked at and taken per call, and a key-down
// event with a character gives that character. Keys come from the console only: standard input
// when it is the console, else the console's own input (CONIN$), never a pipe or a file (names
// piped to the program are not keys).
#include <windows.h>

#include "backends/win32/win32_platform.h"
#include "display/key_codes.h"

namespace tessaro::platform::win32 {

namespace {

// Stop requests taken by the control handler, which the system calls on a thread of its own.
// Process-wide, as the console and its handler list are.
std::atomic<int> stopRequests{0};

// An event not taken ends the program at once (a second Ctrl+C, the console closed): the
// temporary output files go first, so that none is left behind.
BOOL WINAPI onConsoleControl(DWORD event) {
  if (takeConsoleControl(event)) return TRUE;
  removePendingOutputs();
  return FALSE;
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

Win32ConsoleInput::~Win32ConsoleInput() {
  if (ownConsole_ != nullptr) CloseHandle(ownConsole_);
}

// Standard input when it is the console, else the console of the process, else none.
void* Win32ConsoleInput::consoleInput() {
  if (chosen_) return input_;
  chosen_ = true;
  DWORD mode = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode)) {
    input_ = input;
    return input_;
  }
  HANDLE console =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) console = nullptr;
  if (console != nullptr && !GetConsoleMode(console, &mode)) {
    CloseHandle(console);
    console = nullptr;
  }
  ownConsole_ = console;
  input_ = console;
  if (input_ == nullptr) endOfInput_ = true;  // no console at all: no key can come
  return input_;
}

int Win32ConsoleInput::readKey() {
  if (released_ || endOfInput_) return 0;
  HANDLE input = consoleInput();
  if (input == nullptr) return 0;
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

void Win32ConsoleInput::release() {
  released_ = true;
  DWORD processes[2] = {};
  if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
}

}  // namespace tessaro::platform::win32
