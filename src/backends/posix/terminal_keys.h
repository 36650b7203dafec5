// The keys of a terminal from the bytes it sends. Arrow, Home/End, function and editing keys
// arrive as escape sequences (ESC [ or ESC O, parameters, a final byte), Alt+key as ESC and the
// key: each is read whole and becomes one key code, so that none of its bytes acts as a key of
// its own. Esc itself is an ESC that no byte follows within EscWaitMs. Portable: the caller
// reads the bytes and tells the time, so the decoder runs in any time a test chooses. The
// caller asks idle() before it reads each byte, so that a byte read late starts afresh.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro::platform::posix {

// The window's code space: navigation keys 0x100 + the key's number (with 0x200 Shift, 0x300
// Ctrl, 0x400 both), Alt+letter 0x500 + the character. Keys of neither kind (function keys,
// Alt with other characters) are OtherKey, which nothing acts on.
constexpr int OtherKey = 0x600;
constexpr uint32_t EscWaitMs = 30;

class TerminalKeyDecoder {
 public:
  // One byte read at nowMs: the key it completes, or 0 while a sequence is still open.
  int feed(uint8_t byte, uint32_t nowMs);
  // No byte came by nowMs: once EscWaitMs have passed since an ESC whose sequence is still open,
  // the key its bytes so far make (Esc for a lone ESC); else 0. ended: no byte will ever come.
  int idle(uint32_t nowMs, bool ended = false);

 private:
  enum class State { ground, escape, csi, ss3 };
  int finishCsi(uint8_t final);

  State state_ = State::ground;
  uint32_t escAt_ = 0;
  std::string params_;
};

}  // namespace tessaro::platform::posix
