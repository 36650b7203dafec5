#include "midiout/serial_output.h"

namespace tessaro {

void SerialOutput::interrupt() {
  interrupted_.store(true);
  if (line_) line_->interrupt();
}

void SerialOutput::resume() {
  if (interrupted_.exchange(false) && line_) line_->resume();
}

int SerialOutput::write(const uint8_t* bytes, size_t count, const char* failure) {
  if (lost()) return -1;
  if (!line_) return -1;
  if (interrupted_.load()) return sendInterrupted;
  int error = line_->write(bytes, count);
  if (error == 0) return 0;
  if (error == platform::serialWriteInterrupted) return sendInterrupted;
  log_.print(".%d ", error);
  lostReason_ = line_->describeError(error);
  lost_.store(true, std::memory_order_release);
  log_.print("%s", failure);
  return -1;
}

int SerialOutput::shortMessage(int status, int data1, int data2, bool running) {
  uint8_t bytes[3];
  size_t count = 0;
  if (!running) bytes[count++] = static_cast<uint8_t>(status);
  bytes[count++] = static_cast<uint8_t>(data1);
  bytes[count++] = static_cast<uint8_t>(data2);
  return write(bytes, count, "Error Sending short msg to COM ");
}

int SerialOutput::longMessage(int status, const uint8_t* data, size_t length) {
  block_.resize(length + 1);
  block_[0] = static_cast<uint8_t>(status);
  for (size_t i = 0; i < length; ++i) block_[i + 1] = data[i];
  return write(block_.data(), block_.size(), "Error Sending long msg to COM ");
}

int SerialOutput::directByte(int value) {
  uint8_t byte = static_cast<uint8_t>(value);
  return write(&byte, 1, "Error Sending direct msg to COM ");
}

}  // namespace tessaro
