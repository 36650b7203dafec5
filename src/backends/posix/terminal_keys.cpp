#include "backends/posix/terminal_keys.h"

namespace tessaro::platform::posix {

namespace {

constexpr uint8_t esc = 0x1B;
constexpr size_t paramsLimit = 32;  // longer is no key sequence: it is dropped

// The navigation key numbers of the window's code space.
enum : int { pageUp = 0x21, pageDown, end, home, left, up, right, down, insert = 0x2D, del };

// The modifier parameter (1 + Shift 1 + Alt 2 + Ctrl 4) as the code's prefix.
int navigation(int key, int modifiers) {
  int bits = modifiers > 1 ? modifiers - 1 : 0;
  bool shift = (bits & 1) != 0;
  bool ctrl = (bits & 4) != 0;
  int prefix = shift && ctrl ? 0x400 : ctrl ? 0x300 : shift ? 0x200 : 0x100;
  return prefix + key;
}

// The key a final letter names (ESC [ A, ESC O A, ...); 0 for none.
int letterKey(uint8_t final) {
  switch (final) {
    case 'A':
      return up;
    case 'B':
      return down;
    case 'C':
      return right;
    case 'D':
      return left;
    case 'H':
      return home;
    case 'F':
      return end;
    default:
      return 0;
  }
}

// The key ESC [ n ~ names; 0 for none (function keys among them).
int tildeKey(int number) {
  switch (number) {
    case 1:
    case 7:
      return home;
    case 2:
      return insert;
    case 3:
      return del;
    case 4:
    case 8:
      return end;
    case 5:
      return pageUp;
    case 6:
      return pageDown;
    default:
      return 0;
  }
}

int altKey(uint8_t character) {
  return character >= 0x41 && character <= 0x7A ? 0x500 + character : OtherKey;
}

}  // namespace

int TerminalKeyDecoder::finishCsi(uint8_t final) {
  // Parameters "n;m": n the key number, m the modifiers.
  int number = 0;
  int modifiers = 0;
  bool second = false;
  for (char c : params_) {
    if (c == ';') {
      second = true;
    } else if (c >= '0' && c <= '9') {
      int& value = second ? modifiers : number;
      value = value * 10 + (c - '0');
    } else {
      return OtherKey;  // private sequences (mouse reports and the like)
    }
  }
  int key = final == '~' ? tildeKey(number) : letterKey(final);
  return key == 0 ? OtherKey : navigation(key, modifiers);
}

int TerminalKeyDecoder::feed(uint8_t byte, uint32_t nowMs) {
  switch (state_) {
    case State::ground:
      if (byte != esc) return static_cast<signed char>(byte);
      state_ = State::escape;
      escAt_ = nowMs;
      return 0;
    case State::escape:
      if (byte == '[') {
        state_ = State::csi;
        params_.clear();
        return 0;
      }
      if (byte == 'O') {
        state_ = State::ss3;
        return 0;
      }
      if (byte == esc) {  // Esc, then a new ESC
        escAt_ = nowMs;
        return esc;
      }
      state_ = State::ground;
      return altKey(byte);
    case State::ss3:
      state_ = State::ground;
      return letterKey(byte) != 0 ? navigation(letterKey(byte), 1) : OtherKey;
    case State::csi:
      if (byte >= 0x40 && byte <= 0x7E) {
        state_ = State::ground;
        return finishCsi(byte);
      }
      if (byte < 0x20 || params_.size() >= paramsLimit) {
        state_ = State::ground;
        return OtherKey;
      }
      params_.push_back(static_cast<char>(byte));
      return 0;
  }
  return 0;
}

int TerminalKeyDecoder::idle(uint32_t nowMs, bool ended) {
  if (state_ == State::ground || (!ended && nowMs - escAt_ < EscWaitMs)) return 0;
  // A sequence cut short is what its bytes so far were typed as: Esc, Alt+O, or Alt+[ and the
  // parameters after it (nothing the program acts on).
  State was = state_;
  state_ = State::ground;
  if (was == State::escape) return esc;
  return was == State::ss3 ? altKey('O') : OtherKey;
}

}  // namespace tessaro::platform::posix
