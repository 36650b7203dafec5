// The ALSA sequencer as a MIDI input: a client named "Tessaro" with one input port, subscribed
// to the port the user names, and to the system's announcements so that the source going away
// ends the input. Events come back as bytes for the stream decoder (system exclusives whole).
// The input does not wait itself: whoever reads it polls its descriptors, together with
// whatever else it waits for.
#pragma once

#include <alsa/asoundlib.h>
#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaro::platform::alsa {

class SequencerInput {
 public:
  // source: "client:port" or a client name (or the start of one), as -l lists the inputs.
  // Null with the reason in plain words when there is no sequencer or no such readable port.
  static std::unique_ptr<SequencerInput> open(const std::string& source, std::string& reason);
  ~SequencerInput();
  SequencerInput(const SequencerInput&) = delete;
  SequencerInput& operator=(const SequencerInput&) = delete;

  // The descriptors to poll for input (at most room of them); their count.
  int descriptors(pollfd* fds, int room);
  // Bytes decoded earlier and not yet taken: the next read takes them without waiting.
  bool holding() const { return taken_ < pending_.size(); }
  // After a poll: the bytes of every event waiting (or those held from before), at most
  // capacity of them; ended once the source port or its client is gone.
  InputRead take(uint8_t* buffer, size_t capacity);
  std::string endReason() const { return endReason_; }

 private:
  SequencerInput(snd_seq_t* seq, snd_midi_event_t* decoder, snd_seq_addr_t source)
      : seq_(seq), decoder_(decoder), source_(source) {}
  // One event: its bytes appended to the pending ones, or the end noted.
  void event(const snd_seq_event_t& event);

  snd_seq_t* seq_;
  snd_midi_event_t* decoder_;
  snd_seq_addr_t source_;
  std::vector<uint8_t> pending_;
  size_t taken_ = 0;
  std::string endReason_;
};

// The ports that send MIDI to a subscriber (other than the program's own), as "client:port"
// and "client name: port name"; without a sequencer, the reason.
PortListing listSequencerInputs();

}  // namespace tessaro::platform::alsa
