// A serial line as the port's output: every message goes out as its bytes in one write. The
// first failed write is reported with the send's own words; a line that refused bytes, or took
// none for the line's time-out, has lost part of a message and its far end is gone or held (a
// closed terminal, an unplugged adapter, a module that reads nothing), so nothing more is
// written to it. An interrupt (a stop while the line is held) ends the write under way, and every
// write after it, without failing the line, until the song's stop resumes the output to write
// its stop sequence.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/log.h"
#include "midiout/output_device.h"

namespace tessaro {

class SerialOutput : public OutputDevice {
 public:
  SerialOutput(std::unique_ptr<platform::SerialLine> line, platform::Clock& clock, Log& log)
      : line_(std::move(line)), clock_(clock), log_(log) {}

  int shortMessage(int status, int data1, int data2, bool running) override;
  int longMessage(int status, const uint8_t* data, size_t length) override;
  int directByte(int value) override;
  // Waits 500 ms so that the line can send what it still holds.
  void drain() override { clock_.sleepMs(500); }
  void close() override { line_.reset(); }
  void interrupt() override;
  void resume() override;
  bool lost() const override { return lost_.load(std::memory_order_acquire); }
  std::string lostReason() const override { return lost() ? lostReason_ : std::string(); }

 private:
  int write(const uint8_t* bytes, size_t count, const char* failure);

  std::unique_ptr<platform::SerialLine> line_;
  platform::Clock& clock_;
  Log& log_;
  std::vector<uint8_t> block_;  // staging block for one long write
  // Set by the first failed write; lostReason_, the line's own words, is set before it.
  std::atomic<bool> lost_{false};
  std::string lostReason_;
  std::atomic<bool> interrupted_{false};  // an interrupt stands until resume()
};

}  // namespace tessaro
