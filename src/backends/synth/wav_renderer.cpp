#include "backends/synth/wav_renderer.h"

#include <time.h>

#include <algorithm>
#include <cerrno>

#include "backends/synth/fluid_support.h"
#include "backends/synth/synth_device.h"

namespace tessaro::platform::synth {

namespace {

constexpr int64_t nsPerSecond = 1000000000;

void sleepUntilNs(int64_t deadline) {
  timespec at{static_cast<time_t>(deadline / nsPerSecond),
              static_cast<long>(deadline % nsPerSecond)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

}  // namespace

int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * nsPerSecond + now.tv_nsec;
}

WavRenderer::WavRenderer(fluid_synth_t* synth, WavFile& file, int rate)
    : synth_(synth), file_(file), rate_(rate) {
  buffer_.resize(static_cast<size_t>(renderPeriodFrames) * 2);
  origin_ = monotonicNs();
  thread_ = std::thread([this] { run(); });
}

WavRenderer::~WavRenderer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  thread_.join();
}

void WavRenderer::message(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  // Stamped under the lock: the render thread, having taken the queue at a moment, can never
  // receive a message stamped earlier than that moment.
  pending_.entries.push_back({monotonicNs(), pending_.bytes.size(), bytes.size()});
  pending_.bytes.insert(pending_.bytes.end(), bytes.begin(), bytes.end());
}

std::string WavRenderer::failure() const {
  if (!failed_.load(std::memory_order_acquire)) return {};
  std::lock_guard lock(mutex_);
  return failure_;
}

int64_t WavRenderer::frameAt(int64_t ns) const {
  return (ns - origin_) * rate_ / nsPerSecond;
}

void WavRenderer::renderUntil(int64_t frame) {
  while (rendered_ < frame) {
    int count = static_cast<int>(std::min<int64_t>(frame - rendered_, renderPeriodFrames));
    fluid_synth_write_s16(synth_, count, buffer_.data(), 0, 2, buffer_.data(), 1, 2);
    if (!file_.append(buffer_.data(), static_cast<size_t>(count)) && !failed_.load()) {
      std::lock_guard lock(mutex_);
      failure_ = file_.error();
      failed_.store(true, std::memory_order_release);
    }
    rendered_ += count;
  }
}

void WavRenderer::run() {
  int64_t turn = 0;
  int64_t headerUpdatedAt = 0;
  for (bool last = false; !last;) {
    ++turn;
    sleepUntilNs(origin_ + turn * renderPeriodFrames * nsPerSecond / rate_);
    int64_t now;
    {
      std::lock_guard lock(mutex_);
      now = monotonicNs();
      std::swap(pending_, taken_);
      last = stopping_;
    }
    for (const Entry& entry : taken_.entries) {
      renderUntil(frameAt(entry.ns));
      playMessage(synth_, {taken_.bytes.data() + entry.offset, entry.length});
    }
    taken_.clear();
    renderUntil(frameAt(now));
    // Once a second the header states the length so far, for a run that is cut short.
    if (rendered_ - headerUpdatedAt >= rate_) {
      file_.updateHeader();
      headerUpdatedAt = rendered_;
    }
  }
}

}  // namespace tessaro::platform::synth
