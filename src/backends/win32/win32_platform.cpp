// The set of Windows services the program runs with.
#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {

Services Win32Platform::services() {
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
  services.outputs = &outputs;
  return services;
}

}  // namespace tessaro::platform::win32
