// The synthesizer rendered into a WAV file as real time passes, for machines without sound.
// Each message is stamped with the monotonic time of its arrival and applied at the sample of
// that moment, so the file holds what a listener would have heard, whenever the render thread
// gets to run. Only the render thread calls the synthesizer while it runs; the senders only add
// to the queue.
#pragma once

#include <fluidsynth.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "backends/synth/wav_file.h"
#include "stream/midi_stream.h"

namespace tessaro::platform::synth {

// CLOCK_MONOTONIC in nanoseconds.
int64_t monotonicNs();

class WavRenderer : public MidiSink {
 public:
  WavRenderer(fluid_synth_t* synth, WavFile& file, int rate);
  // Renders up to this moment, then stops; the file is left to its owner to close.
  ~WavRenderer() override;
  WavRenderer(const WavRenderer&) = delete;
  WavRenderer& operator=(const WavRenderer&) = delete;

  void message(std::span<const uint8_t> bytes) override;

  int64_t origin() const { return origin_; }
  // The first write to the file that failed, in the file's words; empty while every write
  // succeeded. Any thread may ask.
  std::string failure() const;

 private:
  struct Entry {
    int64_t ns;
    size_t offset;
    size_t length;
  };
  struct Queue {
    std::vector<Entry> entries;
    std::vector<uint8_t> bytes;
    void clear() {
      entries.clear();
      bytes.clear();
    }
  };

  int64_t frameAt(int64_t ns) const;
  void renderUntil(int64_t frame);
  void run();

  fluid_synth_t* synth_;
  WavFile& file_;
  int rate_;
  std::vector<int16_t> buffer_;
  int64_t origin_ = 0;    // monotonic time of the file's first sample
  int64_t rendered_ = 0;  // frames in the file; render thread only
  Queue taken_;           // render thread only

  mutable std::mutex mutex_;
  Queue pending_;
  bool stopping_ = false;
  std::string failure_;  // guarded by mutex_
  std::atomic<bool> failed_{false};
  std::thread thread_;
};

}  // namespace tessaro::platform::synth
