// MIDI inputs on Linux: a serial line (a device path), or an ALSA sequencer port. A read polls
// the input's descriptors together with an eventfd that wake() signals, so that a request of
// another thread ends the wait at once and nothing is polled at an interval.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "backends/alsa/alsa_input.h"
#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {

namespace {

constexpr int maxDescriptors = 8;

// What a read waits on and takes from.
class InputSource {
 public:
  virtual ~InputSource() = default;
  // The descriptors to poll, at most room of them; their count.
  virtual int descriptors(pollfd* fds, int room) = 0;
  // Bytes are held from before: the read takes them without waiting.
  virtual bool holding() const { return false; }
  // After a poll that found fds (count of them) ready, or while holding: what is there.
  virtual InputRead take(const pollfd* fds, int count, uint8_t* buffer, size_t capacity) = 0;
  virtual std::string endReason() const = 0;
};

// A serial line: its one descriptor, shared with the output when the device is the same.
class SerialSource : public InputSource {
 public:
  explicit SerialSource(std::shared_ptr<SerialDevice> device) : device_(std::move(device)) {}

  int descriptors(pollfd* fds, int room) override {
    if (room < 1) return 0;
    fds[0] = {device_->fd, POLLIN, 0};
    return 1;
  }
  InputRead take(const pollfd* fds, int count, uint8_t* buffer, size_t capacity) override {
    if (count < 1) return {};
    if ((fds[0].revents & POLLIN) == 0) {
      if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) return {};
      return ended("the far end closed the line");
    }
    ssize_t n = ::read(device_->fd, buffer, capacity);
    if (n > 0) return {InputRead::Status::bytes, static_cast<size_t>(n)};
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return {};
    // The far end of a pseudo-terminal closing gives EIO; a line at its end gives nothing.
    if (n == 0 || errno == EIO) return ended("the far end closed the line");
    return ended(std::strerror(errno));
  }
  std::string endReason() const override { return reason_; }

 private:
  InputRead ended(std::string reason) {
    reason_ = std::move(reason);
    return {InputRead::Status::ended, 0};
  }

  std::shared_ptr<SerialDevice> device_;
  std::string reason_;
};

class SequencerSource : public InputSource {
 public:
  explicit SequencerSource(std::unique_ptr<alsa::SequencerInput> input)
      : input_(std::move(input)) {}
  int descriptors(pollfd* fds, int room) override { return input_->descriptors(fds, room); }
  bool holding() const override { return input_->holding(); }
  InputRead take(const pollfd*, int, uint8_t* buffer, size_t capacity) override {
    return input_->take(buffer, capacity);
  }
  std::string endReason() const override { return input_->endReason(); }

 private:
  std::unique_ptr<alsa::SequencerInput> input_;
};

class PolledMidiInput : public MidiInput {
 public:
  PolledMidiInput(std::unique_ptr<InputSource> source, int wakeFd)
      : source_(std::move(source)), wake_(wakeFd) {}
  ~PolledMidiInput() override { ::close(wake_); }
  PolledMidiInput(const PolledMidiInput&) = delete;
  PolledMidiInput& operator=(const PolledMidiInput&) = delete;

  InputRead read(uint8_t* buffer, size_t capacity, int32_t timeoutMs) override {
    if (ended_) return {InputRead::Status::ended, 0};
    if (source_->holding()) return source_->take(nullptr, 0, buffer, capacity);
    pollfd fds[maxDescriptors + 1];
    int count = source_->descriptors(fds, maxDescriptors);
    fds[count] = {wake_, POLLIN, 0};
    int ready = poll(fds, static_cast<nfds_t>(count + 1), timeoutMs < 0 ? 0 : timeoutMs);
    if (ready <= 0) return {};
    if ((fds[count].revents & POLLIN) != 0) {
      uint64_t value = 0;
      (void)!::read(wake_, &value, sizeof value);
      return {};
    }
    InputRead got = source_->take(fds, count, buffer, capacity);
    ended_ = got.status == InputRead::Status::ended;
    return got;
  }
  void wake() override {
    const uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
  }
  std::string endReason() const override { return source_->endReason(); }

 private:
  std::unique_ptr<InputSource> source_;
  int wake_;
  bool ended_ = false;
};

MidiInputOpen polled(std::unique_ptr<InputSource> source) {
  MidiInputOpen result;
  int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    result.reason = std::string("cannot make a wake-up event (") + std::strerror(errno) + ")";
    return result;
  }
  result.input = std::make_unique<PolledMidiInput>(std::move(source), wake);
  return result;
}

}  // namespace

MidiInputOpen PosixMidiInputs::open(const std::string& name) {
  MidiInputOpen result;
  if (name.find('/') != std::string::npos) {
    std::shared_ptr<SerialDevice> device = serial_.openShared(name, result.reason);
    if (!device) return result;
    return polled(std::make_unique<SerialSource>(std::move(device)));
  }
  std::unique_ptr<alsa::SequencerInput> input = alsa::SequencerInput::open(name, result.reason);
  if (!input) return result;
  return polled(std::make_unique<SequencerSource>(std::move(input)));
}

PortListing PosixMidiInputs::listPorts() {
  return alsa::listSequencerInputs();
}

}  // namespace tessaro::platform::posix
