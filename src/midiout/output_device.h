// The narrow interface below MidiPort: one output that carries out the framing the port has
// decided (which status byte runs, which message is long). A serial line takes the bytes as
// they stand; a message device takes packed short messages and whole long ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace tessaro {

// What a send returns when an interrupt ended it: part of the message may be on the wire.
constexpr int sendInterrupted = -2;

class OutputDevice {
 public:
  virtual ~OutputDevice() = default;
  // A short message; running: the status is the running status and its byte is left out.
  virtual int shortMessage(int status, int data1, int data2, bool running) = 0;
  // A long message: the status and length bytes, as one block.
  virtual int longMessage(int status, const uint8_t* data, size_t length) = 0;
  // One byte as it stands.
  virtual int directByte(int value) = 0;
  // A long message of at most two data bytes, other than a system exclusive, goes as a short
  // message, in the running status like any other.
  virtual bool packsShortLongMessages() const { return false; }
  // A direct byte becomes the running status of the next message.
  virtual bool directByteRuns(int /*value*/) const { return true; }
  // Which convention the program writes in (a synthesizer reads bank selects accordingly).
  virtual void setConvention(platform::ModuleConvention /*convention*/) {}
  // Any thread, without the port's lock: ends a send under way on another thread, which then
  // returns sendInterrupted, as does every send after it until resume(). Devices whose sends
  // never wait have nothing to end.
  virtual void interrupt() {}
  // Sends go out again after an interrupt (the song's stop sequence is next).
  virtual void resume() {}
  // Called before close: time for what the device still holds to go out.
  virtual void drain() {}
  // Releases the system's device; later sends fail.
  virtual void close() {}
  // The device has failed for good (a serial line gone): its own words for the failure.
  virtual bool lost() const { return false; }
  virtual std::string lostReason() const { return {}; }
};

// The port's device before a successful open: every send fails.
class ClosedOutput : public OutputDevice {
 public:
  int shortMessage(int, int, int, bool) override { return -1; }
  int longMessage(int, const uint8_t*, size_t) override { return -1; }
  int directByte(int) override { return -1; }
  bool directByteRuns(int) const override { return false; }
};

}  // namespace tessaro
