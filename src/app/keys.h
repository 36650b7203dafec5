// Key commands: the keys taken by the idle loop (the cue is empty) and by the play loop.
#pragma once

namespace tessaro {

struct App;

constexpr int KeyEscape = 27;

// What the idle loop does after a key.
enum class IdleAction { none, quit };

IdleAction applyIdleKey(App& app, int code);
void applyPlayKey(App& app, int code);

}  // namespace tessaro
