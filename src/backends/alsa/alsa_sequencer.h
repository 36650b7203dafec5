// The ALSA sequencer as a message device: a client named "Tessaro" with one output port,
// connected to the destination the user names, for external modules and software synthesizers.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tessaro::platform::alsa {

// destination: "client:port" or a client name (or the start of one), as aconnect -l lists
// them. On failure the reason says why in plain words: no sequencer, no such port, or a port
// that refused the connection.
MidiOpenResult openSequencerOutput(const std::string& destination);

}  // namespace tessaro::platform::alsa
