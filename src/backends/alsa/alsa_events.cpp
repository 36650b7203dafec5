#include "backends/alsa/alsa_events.h"

#include <utility>

namespace tessaro::platform::alsa {

namespace {

// Room for the longest message that goes through the encoder (three bytes).
constexpr size_t encoderBuffer = 16;

}  // namespace

AlsaEventSink::AlsaEventSink(Emit emit) : emit_(std::move(emit)) {
  if (snd_midi_event_new(encoderBuffer, &encoder_) < 0) encoder_ = nullptr;
}

AlsaEventSink::~AlsaEventSink() {
  if (encoder_ != nullptr) snd_midi_event_free(encoder_);
}

void AlsaEventSink::message(std::span<const uint8_t> bytes) {
  if (bytes.empty() || encoder_ == nullptr) return;
  snd_seq_event_t event;
  snd_seq_ev_clear(&event);
  if (bytes[0] == 0xF0) {
    snd_seq_ev_set_sysex(&event, bytes.size(), const_cast<uint8_t*>(bytes.data()));
    emit_(event);
    return;
  }
  // Each message arrives whole with its status, so the encoder starts afresh every time.
  snd_midi_event_reset_encode(encoder_);
  long used =
      snd_midi_event_encode(encoder_, bytes.data(), static_cast<long>(bytes.size()), &event);
  if (used > 0 && event.type != SND_SEQ_EVENT_NONE) emit_(event);
}

}  // namespace tessaro::platform::alsa
