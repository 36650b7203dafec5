// Key commands: the keys taken by the idle loop (the cue is empty) and by the play loop.
#pragma once

#include <cstdint>

namespace tessaro {

struct App;

constexpr int KeyEscape = 27;

// What the idle loop does after a key.
enum class IdleAction { none, quit };

IdleAction applyIdleKey(App& app, int code);
void applyPlayKey(App& app, int code);

// Speed steps of the U and D keys: the divisor times 17/16, or (16 × divisor + 8) / 17.
int32_t fasterSpeed(int32_t divisor);
int32_t slowerSpeed(int32_t divisor);

}  // namespace tessaro
