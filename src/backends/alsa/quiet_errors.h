// Keeps the ALSA library from printing its own error lines while a step whose failure the
// caller reports in its own words is under way. The handler is the library's, process-wide:
// one such step at a time, on one thread.
#pragma once

namespace tessaro::platform::alsa {

class QuietAlsaErrors {
 public:
  QuietAlsaErrors();
  // Puts the library's own handler back.
  ~QuietAlsaErrors();
  QuietAlsaErrors(const QuietAlsaErrors&) = delete;
  QuietAlsaErrors& operator=(const QuietAlsaErrors&) = delete;
};

}  // namespace tessaro::platform::alsa
