// Key codes of the window, in the one code space the main loop shares with the console:
// characters 1-255, navigation keys 0x100 + virtual key with a modifier prefix, Alt+letter
// 0x500 + character.
#pragma once

namespace tessaro::display {

// Virtual key numbers of the navigation keys.
enum NavigationKey : int {
  keyPageUp = 0x21,
  keyPageDown = 0x22,
  keyEnd = 0x23,
  keyHome = 0x24,
  keyLeft = 0x25,
  keyUp = 0x26,
  keyRight = 0x27,
  keyDown = 0x28,
  keySelect = 0x29,
  keyPrint = 0x2A,
  keyExecute = 0x2B,
  keySnapshot = 0x2C,
  keyInsert = 0x2D,
  keyDelete = 0x2E,
};

// Navigation key with its prefix: 0x400 Shift and Ctrl, 0x300 Ctrl, 0x200 Shift, 0x100 neither;
// 0 for a key outside 0x21-0x2E.
int navigationCode(int virtualKey, bool shiftDown, bool ctrlDown);
// Alt with a character: 0x500 + the character for 0x41-0x7A, else 0.
int altCode(int character);
// A typed character (a Unicode code point): itself for 1-255, else 0 (not a key the program
// knows).
int characterCode(unsigned codePoint);

}  // namespace tessaro::display
