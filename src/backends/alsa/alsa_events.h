// Whole MIDI messages as ALSA sequencer events. Channel, system-common and real-time messages
// go through ALSA's own MIDI event encoder; a system exclusive becomes one variable-length
// event that holds all of it, however long.
#pragma once

#include <alsa/asoundlib.h>

#include <functional>
#include <span>

#include "stream/midi_stream.h"

namespace tessaro::platform::alsa {

class AlsaEventSink : public MidiSink {
 public:
  // emit receives each event, addressed by nothing yet; its data (a system exclusive's bytes)
  // is valid only during the call.
  using Emit = std::function<void(snd_seq_event_t&)>;

  explicit AlsaEventSink(Emit emit);
  ~AlsaEventSink() override;
  AlsaEventSink(const AlsaEventSink&) = delete;
  AlsaEventSink& operator=(const AlsaEventSink&) = delete;

  // False when the encoder could not be made.
  bool ready() const { return encoder_ != nullptr; }
  void message(std::span<const uint8_t> bytes) override;

 private:
  snd_midi_event_t* encoder_ = nullptr;
  Emit emit_;
};

}  // namespace tessaro::platform::alsa
