#include "backends/alsa/alsa_sequencer.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <utility>

#include "backends/alsa/alsa_events.h"
#include "backends/alsa/quiet_errors.h"
#include "stream/midi_stream.h"

namespace tessaro::platform::alsa {

namespace {

constexpr char clientName[] = "Tessaro";

class SequencerDevice : public MidiOutDevice {
 public:
  SequencerDevice(snd_seq_t* seq, int port)
      : seq_(seq), port_(port), events_([this](snd_seq_event_t& event) { send(event); }) {}

  // Everything sent reaches the destination before the client goes.
  ~SequencerDevice() override {
    snd_seq_drain_output(seq_);
    snd_seq_sync_output_queue(seq_);
    snd_seq_close(seq_);
  }
  SequencerDevice(const SequencerDevice&) = delete;
  SequencerDevice& operator=(const SequencerDevice&) = delete;

  bool ready() const { return events_.ready(); }

  uint32_t shortMessage(uint32_t word) override {
    std::lock_guard lock(mutex_);
    failed_ = false;
    decoder_.shortMessage(word);
    return failed_ ? midiError : midiOk;
  }
  uint32_t prepareLong(const uint8_t* data, size_t length) override {
    return data == nullptr || length == 0 ? midiErrorInvalidParam : midiOk;
  }
  // The block is sent before this returns: nothing of the caller's buffer is kept.
  uint32_t sendLong(const uint8_t* data, size_t length) override {
    if (data == nullptr || length == 0) return midiErrorInvalidParam;
    std::lock_guard lock(mutex_);
    failed_ = false;
    decoder_.bytes({data, length});
    return failed_ ? midiError : midiOk;
  }
  uint32_t unprepareLong(const uint8_t* /*data*/, size_t /*length*/) override { return midiOk; }
  uintptr_t handleValue() const override { return static_cast<uintptr_t>(snd_seq_client_id(seq_)); }

 private:
  // Straight to the subscribers of our port, without a queue: the player does the timing.
  void send(snd_seq_event_t& event) {
    snd_seq_ev_set_source(&event, port_);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    if (snd_seq_event_output_direct(seq_, &event) < 0) failed_ = true;
  }

  snd_seq_t* seq_;
  int port_;
  std::mutex mutex_;
  bool failed_ = false;
  AlsaEventSink events_;
  MidiStreamDecoder decoder_{events_};
};

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

PortListing listSequencerPorts() {
  return listSequencerPorts(SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
}

PortListing listSequencerPorts(unsigned int capabilities) {
  QuietAlsaErrors quiet;
  PortListing listing;
  snd_seq_t* seq = nullptr;
  int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0);
  if (err < 0) {
    listing.reason = std::string("no ALSA sequencer on this machine (") + snd_strerror(err) + ")";
    return listing;
  }
  snd_seq_client_info_t* client = nullptr;
  snd_seq_port_info_t* port = nullptr;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq, client) >= 0) {
    int id = snd_seq_client_info_get_client(client);
    // The system's own ports (its timer and announcements) carry no music.
    if (id == SND_SEQ_CLIENT_SYSTEM) continue;
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq, port) >= 0) {
      unsigned int caps = snd_seq_port_info_get_capability(port);
      if ((caps & capabilities) != capabilities || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0)
        continue;
      listing.ports.push_back(
          {std::to_string(id) + ":" + std::to_string(snd_seq_port_info_get_port(port)),
           std::string(snd_seq_client_info_get_name(client)) + ": " +
               snd_seq_port_info_get_name(port)});
    }
  }
  snd_seq_close(seq);
  return listing;
}

MidiOpenResult openSequencerOutput(const std::string& destination, const std::string& origin) {
  // The library would print its own lines for each failure; ours says it once, in words.
  QuietAlsaErrors quiet;
  snd_seq_t* seq = nullptr;
  int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0);
  if (err < 0) {
    return MidiOpenResult::failed(
        "no ALSA sequencer on this machine (" + std::string(snd_strerror(err)) + "), so " + origin +
        (origin.starts_with("-") ? " " : "=") + destination + " cannot be reached");
  }
  auto closeOnFailure = std::unique_ptr<snd_seq_t, int (*)(snd_seq_t*)>(seq, snd_seq_close);
  snd_seq_set_client_name(seq, clientName);
  int port = snd_seq_create_simple_port(
      seq, clientName, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) {
    return MidiOpenResult::failed("cannot make an ALSA sequencer port (" +
                                  std::string(snd_strerror(port)) + ")");
  }
  snd_seq_addr_t address{};
  snd_seq_port_info_t* info = nullptr;
  snd_seq_port_info_alloca(&info);
  if (snd_seq_parse_address(seq, &address, destination.c_str()) < 0 ||
      snd_seq_get_any_port_info(seq, address.client, address.port, info) < 0) {
    return MidiOpenResult::failed("no such ALSA port: " + quoted(destination) + " (" + origin +
                                  "; tessaro -l lists the ports)");
  }
  err = snd_seq_connect_to(seq, port, address.client, address.port);
  if (err < 0) {
    MidiOpenResult refused = MidiOpenResult::failed(
        "ALSA port " + quoted(destination) + " refused the connection (" + snd_strerror(err) + ")");
    refused.busy = err == -EBUSY ? Busy::yes : Busy::no;
    return refused;
  }
  auto device = std::make_unique<SequencerDevice>(closeOnFailure.release(), port);
  if (!device->ready()) return MidiOpenResult::failed("cannot make an ALSA MIDI event encoder");
  MidiOpenResult result;
  result.device = std::move(device);
  return result;
}

}  // namespace tessaro::platform::alsa
