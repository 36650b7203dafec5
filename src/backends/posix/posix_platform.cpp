// The set of Linux services the program runs with.
#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {

PosixPlatform::PosixPlatform() : console(/*installSignalHandlers=*/true) {}

PosixPlatform::~PosixPlatform() = default;

Services PosixPlatform::services() {
  Services services;
  services.clock = &clock;
  services.threads = &threads;
  services.priorities = &priorities;
  services.console = &console;
  services.serial = &serial;
  services.midiOut = &midiOut;
  services.files = &files;
  services.environment = &environment;
  return services;
}

}  // namespace tessaro::platform::posix
