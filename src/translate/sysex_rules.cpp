// System-exclusive rules: detection of the song's convention, and the messages sent for it.
#include <algorithm>

#include "translate/translate.h"

namespace tessaro {

namespace {

// The convention a system-exclusive message declares, when it declares one.
void detectConvention(Engine& engine, const uint8_t* m, int32_t n) {
  PlayerState& s = engine.state;
  auto mark = [&](bool xg) {
    s.xgDetected = xg ? -1 : 0;
    s.gsDetected = xg ? 0 : -1;
    s.undetected = 0;
    s.conventionFlags |= 8;
  };
  if (n > 5 && m[0] == 0x43 && m[5] == 0x7E) {
    mark(true);
    return;
  }
  if (n <= 7 || m[0] != 0x41) return;
  static constexpr uint8_t gsReset[] = {0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41};
  static constexpr uint8_t sc88Mode1[] = {0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x00};
  bool isGsReset = n > 8 && std::equal(gsReset, gsReset + 8, m + 1);
  bool isSc88 = std::equal(sc88Mode1, sc88Mode1 + 7, m + 1);
  if (isGsReset || isSc88 || (s.gsDetected == 0 && s.xgDetected == 0)) mark(false);
}

// Sends a system exclusive as the song has it, pausing after it while fast-forwarding: longer
// after a reset, which a module needs time for.
}  // namespace

void translateSystemExclusive(Engine& engine, const uint8_t* m, int32_t n) {
  PlayerState& s = engine.state;
  detectConvention(engine, m, n);
  sendLongMessage(engine.port, 0xF0, m, n);
  s.outputStatus = 0xF0;
  if (s.fastForward == 0) return;
  bool reset = (n > 1 && m[0] == 0x7E && m[1] == 0x7F) || (n > 5 && m[0] == 0x43 && m[5] == 0x7E) ||
               (n > 8 && m[0] == 0x41 && m[8] == 0x41);
  int32_t pause = reset ? 50 : 4;
  if (reset) engine.fullRepaintRequest = true;
  shiftClock(engine, pause);
  engine.clock.sleepMs(pause);
}

}  // namespace tessaro
