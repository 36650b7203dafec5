#include "backends/alsa/alsa_input.h"

#include <algorithm>
#include <cstring>

#include "backends/alsa/alsa_sequencer.h"
#include "backends/alsa/quiet_errors.h"

namespace tessaro::platform::alsa {

namespace {

constexpr char clientName[] = "Tessaro";
constexpr unsigned int readable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string failed(const char* what, int err) {
  return std::string(what) + " (" + snd_strerror(err) + ")";
}

bool sameAddress(const snd_seq_addr_t& a, const snd_seq_addr_t& b) {
  return a.client == b.client && a.port == b.port;
}

// The readable port the user named, checked to exist and to send to subscribers.
bool findSource(snd_seq_t* seq, const std::string& name, snd_seq_addr_t& address,
                std::string& reason) {
  snd_seq_port_info_t* info = nullptr;
  snd_seq_port_info_alloca(&info);
  if (snd_seq_parse_address(seq, &address, name.c_str()) < 0 ||
      snd_seq_get_any_port_info(seq, address.client, address.port, info) < 0) {
    reason = "no such ALSA port: " + quoted(name) + " (tessaro -l lists the inputs)";
    return false;
  }
  if ((snd_seq_port_info_get_capability(info) & readable) != readable) {
    reason = "ALSA port " + quoted(name) + " sends no MIDI to others (tessaro -l lists the inputs)";
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<SequencerInput> SequencerInput::open(const std::string& source,
                                                     std::string& reason) {
  QuietAlsaErrors quiet;
  snd_seq_t* seq = nullptr;
  int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
  if (err < 0) {
    reason = failed("no ALSA sequencer on this machine", err);
    return nullptr;
  }
  auto closeOnFailure = std::unique_ptr<snd_seq_t, int (*)(snd_seq_t*)>(seq, snd_seq_close);
  snd_seq_set_client_name(seq, clientName);
  int port = snd_seq_create_simple_port(
      seq, clientName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) {
    reason = failed("cannot make an ALSA sequencer port", port);
    return nullptr;
  }
  snd_seq_addr_t address{};
  if (!findSource(seq, source, address, reason)) return nullptr;
  err = snd_seq_connect_from(seq, port, address.client, address.port);
  if (err < 0) {
    reason = failed(("ALSA port " + quoted(source) + " refused the subscription").c_str(), err);
    return nullptr;
  }
  // The announcements say when the source's port or client goes away.
  snd_seq_connect_from(seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
  snd_midi_event_t* decoder = nullptr;
  if (snd_midi_event_new(16, &decoder) < 0) {
    reason = "cannot make an ALSA MIDI event decoder";
    return nullptr;
  }
  // Every message keeps its status byte; the stream decoder reads running status anyway.
  snd_midi_event_no_status(decoder, 1);
  return std::unique_ptr<SequencerInput>(
      new SequencerInput(closeOnFailure.release(), decoder, address));
}

SequencerInput::~SequencerInput() {
  snd_midi_event_free(decoder_);
  snd_seq_close(seq_);
}

int SequencerInput::descriptors(pollfd* fds, int room) {
  int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
  count = std::min(count, room);
  return snd_seq_poll_descriptors(seq_, fds, static_cast<unsigned int>(count), POLLIN);
}

void SequencerInput::event(const snd_seq_event_t& event) {
  switch (event.type) {
    case SND_SEQ_EVENT_PORT_EXIT:
      if (sameAddress(event.data.addr, source_)) endReason_ = "the ALSA port has gone";
      return;
    case SND_SEQ_EVENT_CLIENT_EXIT:
      if (event.data.addr.client == source_.client) endReason_ = "the ALSA port's client has gone";
      return;
    case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
      if (sameAddress(event.data.connect.sender, source_))
        endReason_ = "the subscription to the ALSA port was removed";
      return;
    default:
      break;
  }
  if (!sameAddress(event.source, source_)) return;
  // A system exclusive comes whole in one event, however long; other messages take three bytes.
  size_t room = 16;
  if (snd_seq_ev_is_variable(&event)) room += event.data.ext.len;
  size_t at = pending_.size();
  pending_.resize(at + room);
  snd_midi_event_reset_decode(decoder_);
  long n = snd_midi_event_decode(decoder_, pending_.data() + at, static_cast<long>(room),
                                 const_cast<snd_seq_event_t*>(&event));
  pending_.resize(at + static_cast<size_t>(std::max(n, 0L)));
}

InputRead SequencerInput::take(uint8_t* buffer, size_t capacity) {
  if (!holding()) {
    pending_.clear();
    taken_ = 0;
    snd_seq_event_t* event = nullptr;
    int got;
    while (endReason_.empty() && (got = snd_seq_event_input(seq_, &event)) >= 0) {
      if (event != nullptr) this->event(*event);
    }
  }
  if (holding()) {
    size_t count = std::min(capacity, pending_.size() - taken_);
    std::memcpy(buffer, pending_.data() + taken_, count);
    taken_ += count;
    return {InputRead::Status::bytes, count};
  }
  if (!endReason_.empty()) return {InputRead::Status::ended, 0};
  return {};
}

PortListing listSequencerInputs() {
  return listSequencerPorts(readable);
}

}  // namespace tessaro::platform::alsa
