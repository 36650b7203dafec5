#include "backends/alsa/quiet_errors.h"

#include <alsa/asoundlib.h>

namespace tessaro::platform::alsa {

namespace {

void ignoreError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/,
                 const char* /*format*/, ...) {}

}  // namespace

QuietAlsaErrors::QuietAlsaErrors() {
  snd_lib_error_set_handler(ignoreError);
}

QuietAlsaErrors::~QuietAlsaErrors() {
  snd_lib_error_set_handler(nullptr);
}

}  // namespace tessaro::platform::alsa
