// The tone-generator conventions the program knows: the module the output is translated for
// (the user's one choice) and the convention a song has shown so far (detected from its
// system-exclusive messages). Every other view of them is derived from these two values.
#pragma once

#include <cstdint>

namespace tessaro {

constexpr int ChannelCount = 16;

// The module the output is translated for; none passes the song as it stands.
enum class Target : uint8_t { none, xg, gm };

// The convention the song has shown: none before any song, undecided until a reset or a
// parameter of one convention arrives.
enum class SongConvention : uint8_t { none, undecided, gs, xg };

// The convention a live input is declared in (--from); detected: as the stream shows it.
enum class SourceConvention : uint8_t { detected, gs, sc88, xg, gm };

}  // namespace tessaro
