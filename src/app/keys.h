// Key commands: the keys taken by the idle loop (the play list is empty) and by the play loop,
// turned into commands.
#pragma once

#include "control/commands.h"

namespace tessaro {

constexpr int KeyEscape = 27;
// The navigation keys without Shift or Ctrl, as the window and the key readers give them.
constexpr int KeyPageUp = 0x121;
constexpr int KeyPageDown = 0x122;
constexpr int KeyHome = 0x124;
constexpr int KeyLeft = 0x125;
constexpr int KeyRight = 0x127;

// What the idle loop does after a key.
enum class IdleAction { none, quit };

IdleAction applyIdleKey(Commands& commands, int code);
void applyPlayKey(Commands& commands, int code);
// A live session: the volume keys, G, Esc and the digits act as in play; the others do nothing.
void applyLiveKey(Commands& commands, int code);

}  // namespace tessaro
