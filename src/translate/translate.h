// Real-time translation between tone-generator conventions: the song's convention is detected
// from its system-exclusive messages, and what the player sends is rewritten for the target
// module (XG or GM), or passed unchanged when translation is off.
#pragma once

#include <cstdint>

#include "player/engine.h"

namespace tessaro {

// A system exclusive of the song: m holds the bytes after 0xF0 up to and including 0xF7, n of
// them. Sends it, rewrites it or drops it.
void translateSystemExclusive(Engine& engine, const uint8_t* m, int32_t n);

// A channel message of track `track` with its data bytes in messageBuffer, before it is sent.
// May change the data bytes and outputStatus, or send replacements itself; true when the
// message is consumed and is not to be sent.
bool translateChannelMessage(Engine& engine, int32_t track, int status, int32_t count);

}  // namespace tessaro
