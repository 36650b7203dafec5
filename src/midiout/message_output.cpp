#include "midiout/message_output.h"

namespace tessaro {

namespace {

constexpr size_t initialBlock = 1024;
// How long a send waits for the device to give back a long message it still plays.
constexpr int stillPlayingWaitMs = 5000;

}  // namespace

MessageOutput::MessageOutput(std::unique_ptr<platform::MidiOutDevice> device,
                             platform::Clock& clock, Log& log)
    : device_(std::move(device)), clock_(clock), log_(log), block_(initialBlock, 0) {}

bool MessageOutput::directByteRuns(int value) const {
  return value >= 0x80 && value <= 0xFF && value != 0xF8 && value != 0xFE;
}

int MessageOutput::shortMessage(int status, int data1, int data2, bool running) {
  if (!device_) return -1;
  uint32_t word = static_cast<uint32_t>(data1 & 0xFF) | static_cast<uint32_t>(data2 & 0xFF) << 8;
  if (!running) word = word << 8 | static_cast<uint32_t>(status & 0xFF);
  if (device_->shortMessage(word) != platform::midiOk) {
    log_.print("Error Sending short msg to MIDI mapper ");
    return -1;
  }
  return 0;
}

int MessageOutput::longMessage(int status, const uint8_t* data, size_t length) {
  if (!device_) return -1;
  releaseBlock();
  stageBlock(status, data, length);
  return sendBlock();
}

int MessageOutput::directByte(int value) {
  if (!device_) return -1;
  releaseBlock();
  stageBlock(static_cast<uint8_t>(value), nullptr, 0);
  return sendBlock();
}

void MessageOutput::setConvention(platform::ModuleConvention convention) {
  if (device_) device_->setConvention(convention);
}

std::string MessageOutput::lostReason() const {
  return device_ ? device_->fault() : closedFault_;
}

void MessageOutput::close() {
  if (pendingHeaders_ != 0 && device_) device_->unprepareLong(block_.data(), blockLength_);
  pendingHeaders_ = 0;
  if (device_) {
    device_->finish();
    closedFault_ = device_->fault();
  }
  device_.reset();
  heldBlocks_.clear();
  block_.clear();
  block_.shrink_to_fit();
}

// Gives the block back from the device. When the device still plays the previous message,
// waits for it, so that the block is never overwritten while the device reads it; a device that
// never lets go leaves its block behind and the output takes a fresh one.
void MessageOutput::releaseBlock() {
  if (pendingHeaders_ == 0) return;
  uint32_t code = device_->unprepareLong(block_.data(), blockLength_);
  if (code != platform::midiOk) {
    log_.print("Error Unpreparing long msg for MIDI mapper :");
    if (code == platform::midiErrorInvalidHandle) log_.print(" Handle Invalid.\n");
    if (code == platform::midiErrorInvalidParam) log_.print(" Address Invalid.\n");
    if (code == platform::midiErrorStillPlaying)
      log_.print(" Still Playing (%d).\n", pendingHeaders_);
  }
  int waited = 0;
  while (code == platform::midiErrorStillPlaying && waited < stillPlayingWaitMs) {
    clock_.sleepMs(1);
    ++waited;
    code = device_->unprepareLong(block_.data(), blockLength_);
  }
  if (code == platform::midiErrorStillPlaying) {
    // The device keeps reading the old block: it stays alive until the device is closed.
    heldBlocks_.push_back(std::move(block_));
    block_.assign(heldBlocks_.back().size(), 0);
  }
  pendingHeaders_ = 0;
}

// The block in block_ (status first) is prepared and handed to the device.
int MessageOutput::sendBlock() {
  uint32_t code = device_->prepareLong(block_.data(), blockLength_);
  if (code != platform::midiOk) {
    log_.print("Error Preparing long msg to MIDI mapper :");
    if (code == platform::midiErrorInvalidHandle) log_.print(" Handle Invalid.\n");
    if (code == platform::midiErrorInvalidParam) log_.print(" Address Invalid.\n");
    if (code == platform::midiErrorNoMemory) log_.print(" Unable to allocate locked memory.\n");
    return -1;
  }
  ++pendingHeaders_;
  code = device_->sendLong(block_.data(), blockLength_);
  if (code != platform::midiOk) {
    log_.print("Error Sending long msg to MIDI mapper ");
    return -1;
  }
  return 0;
}

void MessageOutput::stageBlock(int status, const uint8_t* data, size_t length) {
  if (block_.size() < length + 1) block_.resize(length + 1);
  block_[0] = static_cast<uint8_t>(status);
  for (size_t i = 0; i < length; ++i) block_[i + 1] = data[i];
  blockLength_ = length + 1;
}

}  // namespace tessaro
