// The set of Linux services the program runs with.
#include "backends/posix/posix_platform.h"

#include <cstdlib>

#include "backends/synth/offline_renderer.h"

namespace tessaro::platform::posix {

PosixPlatform::PosixPlatform() : console(/*installSignalHandlers=*/true) {
  const char* soundFont = std::getenv("TESSARO_SOUNDFONT");
  audio = std::make_unique<synth::OfflineRenderers>(soundFont != nullptr ? soundFont : "");
}

PosixPlatform::~PosixPlatform() = default;

Services PosixPlatform::services() {
  Services services;
  services.clock = &clock;
  services.threads = &threads;
  services.priorities = &priorities;
  services.console = &console;
  services.serial = &serial;
  services.midiOut = &midiOut;
  services.midiIn = &midiIn;
  services.files = &files;
  services.environment = &environment;
  services.audio = audio.get();
  services.outputs = &outputs;
  return services;
}

}  // namespace tessaro::platform::posix
