// A message device as the port's output: packed short messages, and long messages handed over
// in a block that the device may still read after the send returns, until it gives it back.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/log.h"
#include "midiout/output_device.h"

namespace tessaro {

class MessageOutput : public OutputDevice {
 public:
  MessageOutput(std::unique_ptr<platform::MidiOutDevice> device, platform::Clock& clock, Log& log);

  int shortMessage(int status, int data1, int data2, bool running) override;
  int longMessage(int status, const uint8_t* data, size_t length) override;
  int directByte(int value) override;
  bool packsShortLongMessages() const override { return true; }
  // Timing clock and active sensing leave the running status alone, as on a module's input.
  bool directByteRuns(int value) const override;
  void setConvention(platform::ModuleConvention convention) override;
  // The device completes what it writes before it is let go.
  void close() override;
  // A device that writes a file (a recording) and can no longer, or could not complete it.
  bool lost() const override { return !lostReason().empty(); }
  std::string lostReason() const override;

 private:
  void releaseBlock();
  int sendBlock();
  void stageBlock(int status, const uint8_t* data, size_t length);

  std::unique_ptr<platform::MidiOutDevice> device_;
  platform::Clock& clock_;
  Log& log_;
  std::vector<uint8_t> block_;  // status byte and data of the current long message
  size_t blockLength_ = 0;      // bytes of block_ in the message
  int32_t pendingHeaders_ = 0;  // long messages prepared and not yet released
  // Blocks the device kept reading past the wait; freed once the device is closed.
  std::vector<std::vector<uint8_t>> heldBlocks_;
  std::string closedFault_;  // the device's fault as it was closed
};

}  // namespace tessaro
