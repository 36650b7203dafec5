// The ALSA sequencer as a message device: a client named "Tessaro" with one output port,
// connected to the destination the user names, for external modules and software synthesizers.
#pragma once

#include <string>

#include "platform/platform.h"

namespace tessaro::platform::alsa {

// destination: "client:port" or a client name (or the start of one), as aconnect -l lists
// them; origin: where the user named it (an option or a variable), for the reason. On failure
// the reason says why in plain words: no sequencer, no such port, or a port that refused the
// connection.
MidiOpenResult openSequencerOutput(const std::string& destination,
                                   const std::string& origin = "TESSARO_MIDI_PORT");

// The ports that take MIDI from a subscriber, as "client:port" and "client name: port name";
// without a sequencer, the reason.
PortListing listSequencerPorts();
// The same for the ports with these capabilities (SND_SEQ_PORT_CAP_...).
PortListing listSequencerPorts(unsigned int capabilities);

}  // namespace tessaro::platform::alsa
