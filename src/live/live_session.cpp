#include "live/live_session.h"

#include <algorithm>
#include <cctype>

namespace tessaro {

namespace {

// The longest a read waits when nothing comes: bounded, though a request wakes it at once.
constexpr int32_t readWaitMs = 500;
// The longest piece of a wait for the clock to come round after a pause.
constexpr int32_t holdPieceMs = 210;

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

const char* dropWords(platform::StreamDrop what) {
  switch (what) {
    case platform::StreamDrop::tooLong:
      return "dropped a system exclusive longer than 64 KiB";
    case platform::StreamDrop::cut:
      return "dropped a system exclusive cut short by a status byte";
    case platform::StreamDrop::stray:
      return "dropped a data byte with no status";
  }
  return "dropped a message";
}

}  // namespace

std::vector<uint8_t> declaredReset(SourceConvention from) {
  switch (from) {
    case SourceConvention::gs:
      return {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    case SourceConvention::sc88:
      return {0xF0, 0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x00, 0x01, 0xF7};
    case SourceConvention::xg:
      return {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    case SourceConvention::gm:
      return {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    case SourceConvention::detected:
      break;
  }
  return {};
}

bool sourceConventionNamed(const std::string& name, SourceConvention& from) {
  static constexpr std::pair<const char*, SourceConvention> names[] = {
      {"gs", SourceConvention::gs},
      {"sc88", SourceConvention::sc88},
      {"xg", SourceConvention::xg},
      {"gm", SourceConvention::gm}};
  const std::string word = lowered(name);
  for (const auto& [text, convention] : names) {
    if (word == text) {
      from = convention;
      return true;
    }
  }
  return false;
}

void listInputs(Log& log, const platform::PortListing& listing) {
  if (!listing.reason.empty()) {
    log.print("MIDI inputs: none (%s)\n", listing.reason.c_str());
    return;
  }
  log.print("MIDI inputs (-i ADDRESS or -i NAME):\n");
  for (const platform::PortListing::Port& port : listing.ports)
    log.print("  %-7s %s\n", port.address.c_str(), port.name.c_str());
  if (listing.ports.empty()) log.print("  none\n");
}

std::string dropSummary(const LiveCounts& counts) {
  const uint64_t total = counts.dropped();
  if (total == 0) return "";
  std::string text = "dropped " + std::to_string(total) + " of what it sent:";
  const char* separator = " ";
  auto add = [&](uint64_t n, const char* what) {
    if (n == 0) return;
    text += separator + std::to_string(n) + " " + what;
    separator = ", ";
  };
  add(counts.tooLong.load(), "system exclusive(s) longer than 64 KiB");
  add(counts.cut.load(), "system exclusive(s) cut short by a status byte");
  add(counts.stray.load(), "data byte(s) with no status");
  return text;
}

LiveSession::LiveSession(const LiveParts& parts, platform::MidiInput& input, std::string name,
                         SourceConvention from)
    : clock_(parts.clock),
      log_(parts.log),
      port_(parts.port),
      options_(parts.options),
      stage_(parts.stage),
      time_(parts.time),
      requests_(parts.requests),
      observer_(parts.observer),
      input_(input),
      name_(std::move(name)),
      from_(from) {
  // A request wakes the input's read, so that it is carried out at once.
  requests_.setWaker([&input] { input.wake(); });
}

LiveSession::~LiveSession() {
  requests_.setWaker(nullptr);
}

LiveEnd LiveSession::run() {
  start();
  LiveEnd end = LiveEnd::stopped;
  std::array<uint8_t, 1024> buffer{};
  for (;;) {
    serveRequests();
    stage_.service();
    if (stopping_) break;
    if (outputLost(port_)) {
      end = LiveEnd::outputLost;
      break;
    }
    if (holding()) {
      waitForHold();
      continue;
    }
    platform::InputRead got = input_.read(buffer.data(), buffer.size(), readWaitMs);
    if (got.status == platform::InputRead::Status::ended) {
      end = LiveEnd::inputEnded;
      break;
    }
    // What one read brings came together: the stage's service (the channel volumes it has
    // made due) follows all of it, as it follows all the events of one time in a song.
    if (got.status == platform::InputRead::Status::bytes)
      decoder_.bytes({buffer.data(), std::min(got.count, buffer.size())});
  }
  // A stop that interrupted a held line's write has its stop sequence written all the same.
  resumeOutput(port_);
  stage_.stopSequence();
  observer_.waiting();
  return end;
}

// The translation as a song begins, the channel volumes, and the declared convention's reset
// through the stage, which sends the target's set-up for it.
void LiveSession::start() {
  stage_.startSong();
  stage_.service();
  mark_ = time_.now();
  std::vector<uint8_t> reset = declaredReset(from_);
  if (reset.empty()) return;
  stage_.systemExclusive(reset.data() + 1, static_cast<int32_t>(reset.size() - 1), false);
  stage_.service();
}

void LiveSession::serveRequests() {
  Request request{RequestKind::stop};
  while (requests_.take(request)) apply(request);
}

// Stop ends the session; the volume and the module reset act as in play; the others (fade,
// speed, repeats) belong to songs and do nothing here.
void LiveSession::apply(const Request& request) {
  switch (request.kind) {
    case RequestKind::stop:
      stopping_ = true;
      break;
    case RequestKind::volume:
      stage_.userVolumeChanged();
      break;
    case RequestKind::resetModule:
      stage_.resetModule();
      break;
    default:
      break;
  }
}

bool LiveSession::holding() {
  return time_.now() - mark_ < 0;
}

// Waits until the clock has come round to the mark, carrying out the requests that come
// meanwhile (a stop ends the wait).
void LiveSession::waitForHold() {
  while (!stopping_ && holding()) {
    requests_.wait(clock_, std::min(mark_ - time_.now(), holdPieceMs));
    serveRequests();
  }
}

void LiveSession::message(std::span<const uint8_t> bytes) {
  waitForHold();
  if (stopping_ || bytes.empty()) return;
  mark_ = time_.now();
  const uint8_t status = bytes[0];
  if (status >= 0xF8) {
    stage_.realTime(status);
  } else if (status == 0xF0) {
    stage_.systemExclusive(bytes.data() + 1, static_cast<int32_t>(bytes.size() - 1), false);
  } else {
    channelMessage(bytes);
  }
  counts_.passed.fetch_add(1, std::memory_order_relaxed);
}

// A channel or system common message, translated and sent; its note shown on the input's own
// channel, as the player shows a song's.
void LiveSession::channelMessage(std::span<const uint8_t> bytes) {
  const int status = bytes[0];
  translate::ChannelMessage m{status, {0, 0}, static_cast<int32_t>(bytes.size() - 1)};
  std::copy_n(bytes.begin() + 1, std::min<size_t>(bytes.size() - 1, 2), m.data.begin());
  stage_.channelMessage(m, false);
  if (status >= 0x80 && status < 0xA0) {
    bool lit = (status & 0xF0) == 0x90 && m.data[1] > 0;
    observer_.noteChanged(status & 0x0F, m.data[0] & 0x7F, lit);
  }
}

void LiveSession::dropped(platform::StreamDrop what) {
  switch (what) {
    case platform::StreamDrop::tooLong:
      counts_.tooLong.fetch_add(1, std::memory_order_relaxed);
      break;
    case platform::StreamDrop::cut:
      counts_.cut.fetch_add(1, std::memory_order_relaxed);
      break;
    case platform::StreamDrop::stray:
      counts_.stray.fetch_add(1, std::memory_order_relaxed);
      break;
  }
  if (options_.DispLevel >= 1) log_.problem(name_, dropWords(what));
}

}  // namespace tessaro
