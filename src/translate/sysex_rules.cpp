// System-exclusive rules: detection of the song's convention, the resets sent for the target
// module in place of the song's own, and what becomes of the song's Roland messages.
#include <algorithm>
#include <initializer_list>

#include "translate/rule_support.h"
#include "translate/translate.h"

namespace tessaro {

using namespace translation;

namespace {

constexpr uint8_t roland = 0x41;
constexpr uint8_t yamaha = 0x43;

// Convention values ORed into conventionFlags: 8 for XG and for any detection while nothing is
// translated, 1 for GS while translating.
constexpr int32_t shownAsXg = 8;
constexpr int32_t shownAsGs = 1;

// A byte of the message for a pattern test: -1 past its end, which matches no pattern.
int byteAt(const uint8_t* m, int32_t n, int32_t k) {
  return k < n ? m[k] : -1;
}

// m[1] is a device byte that this module answers to: its own (0x10) or all devices (0x7F).
bool toOurDevice(const uint8_t* m, int32_t n) {
  int device = byteAt(m, n, 1);
  return device == 0x10 || device == 0x7F;
}

// m[2], m[3], ... hold the bytes given (model, command, address, data).
bool followsDevice(const uint8_t* m, int32_t n, std::initializer_list<int> bytes) {
  int32_t k = 2;
  for (int b : bytes) {
    if (byteAt(m, n, k++) != b) return false;
  }
  return true;
}

bool isXgSystemOn(const uint8_t* m, int32_t n) {
  return byteAt(m, n, 0) == yamaha && byteAt(m, n, 5) == 0x7E;
}

// A Roland message long enough for the Roland rules (more than 7 bytes after 0xF0).
bool isRoland(const uint8_t* m, int32_t n) {
  return n > 7 && m[0] == roland;
}

bool isGsReset(const uint8_t* m, int32_t n) {
  return n > 8 && toOurDevice(m, n) &&
         followsDevice(m, n, {0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41});
}

// SC-88 system mode set, either mode; m[7] is the mode (0 mode 1, 1 mode 2).
bool isSc88ModeSet(const uint8_t* m, int32_t n) {
  return toOurDevice(m, n) && followsDevice(m, n, {0x42, 0x12, 0x00, 0x00, 0x7F});
}

bool isSc88Mode1(const uint8_t* m, int32_t n) {
  return isSc88ModeSet(m, n) && byteAt(m, n, 7) == 0x00;
}

// A data set (command 0x12) to a GS module: the parameter rules apply.
bool isGsDataSet(const uint8_t* m, int32_t n) {
  return toOurDevice(m, n) && followsDevice(m, n, {0x42, 0x12});
}

void markConvention(PlayerState& s, bool xg, int32_t shownAs) {
  s.xgDetected = xg ? -1 : 0;
  s.gsDetected = xg ? 0 : -1;
  s.undetected = 0;
  s.conventionFlags |= shownAs;
}

// Holds the music back by `shift` ms while the module takes a reset, of which only `sleep` ms
// are waited here; the rest is waited by the player as part of the next event's time.
void pause(Engine& engine, int32_t shift, int32_t sleep) {
  shiftClock(engine, shift);
  engine.clock.sleepMs(sleep);
}

void sendSystemExclusive(Engine& engine, const uint8_t* m, int32_t n) {
  engine.state.outputStatus = 0xF0;
  sendLongMessage(engine.port, 0xF0, m, n);
}

void gmResetStep(Engine& engine) {
  engine.fullRepaintRequest = true;
  sendGmSystemOn(engine.port);
  engine.state.outputStatus = 0xF0;
  pause(engine, 100, 50);
}

// Brings an XG module to the state a GS song expects: XG System On, reverb and variation
// effects like a GS module's, and a standard drum kit on channel 10. `variation` is the
// variation type's low byte (0 after a GS Reset, 1 after an SC-88 mode set or none).
void xgSetupSequence(Engine& engine, uint8_t variation) {
  static constexpr uint8_t xgSystemOn[] = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  static constexpr uint8_t reverbType[] = {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x01, 0xF7};
  static constexpr uint8_t connection[] = {0x43, 0x10, 0x4C, 0x02, 0x01, 0x5A, 0x01, 0xF7};
  const uint8_t variationType[] = {0x43, 0x10, 0x4C, 0x02, 0x01, 0x40, 0x01, variation, 0xF7};
  engine.fullRepaintRequest = true;
  sendSystemExclusive(engine, xgSystemOn, sizeof xgSystemOn);
  pause(engine, 100, 50);
  sendSystemExclusive(engine, reverbType, sizeof reverbType);
  pause(engine, 20, 20);
  sendSystemExclusive(engine, connection, sizeof connection);
  pause(engine, 100, 20);
  sendSystemExclusive(engine, variationType, sizeof variationType);
  pause(engine, 820, 20);
  // Drum kit 0 on channel 10; the program change goes out like the song's own.
  static constexpr uint8_t kit = 0;
  sendShortMessage(engine.port, 0xB9, 0, 127);
  sendShortMessage(engine.port, 0xB9, 32, 0);
  engine.state.outputStatus = 0xC9;
  sendLongMessage(engine.port, 0xC9, &kit, 1);
  sendShortMessage(engine.port, 0xB9, 0, 0);
  pause(engine, 20, 10);
}

void sendTargetReset(Engine& engine, Target target, uint8_t variation) {
  if (target == Target::gm) {
    gmResetStep(engine);
  } else {
    xgSetupSequence(engine, variation);
  }
}

// Sends the song's message as it is. While fast-forwarding, the module gets time after it:
// 50 ms after a reset, 4 ms after anything else.
void sendUnchanged(Engine& engine, const uint8_t* m, int32_t n) {
  sendSystemExclusive(engine, m, n);
  if (engine.state.fastForward == 0) return;
  bool reset = (byteAt(m, n, 0) == 0x7E && byteAt(m, n, 1) == 0x7F) || isXgSystemOn(m, n) ||
               (n > 8 && m[0] == roland && m[8] == 0x41);
  if (reset) engine.fullRepaintRequest = true;
  int32_t ms = reset ? 50 : 4;
  pause(engine, ms, ms);
}

// Without translation: the convention is only detected, for the display.
void detectOnly(Engine& engine, const uint8_t* m, int32_t n) {
  PlayerState& s = engine.state;
  if (isXgSystemOn(m, n)) {
    markConvention(s, true, shownAsXg);
    return;
  }
  if (!isRoland(m, n)) return;
  // Any longer Roland message marks a song not yet decided as GS.
  bool undecided = s.gsDetected == 0 && s.xgDetected == 0;
  if (isGsReset(m, n) || isSc88Mode1(m, n) || undecided) markConvention(s, false, shownAsXg);
}

// A Roland message while translating: never sent as it is, since the target module would
// misread it; the resets are replaced, the parameters that matter are rewritten, the rest is
// dropped.
void translateRoland(Engine& engine, const uint8_t* m, int32_t n, Target target) {
  PlayerState& s = engine.state;
  if (isGsReset(m, n)) {
    markConvention(s, false, shownAsGs);
    sendTargetReset(engine, target, 0);
    return;
  }
  if (isSc88ModeSet(m, n)) {
    // Mode 2 (two-module mode) has no counterpart: dropped, and it decides nothing.
    if (m[7] != 0) return;
    markConvention(s, false, shownAsGs);
    sendTargetReset(engine, target, 1);
    return;
  }
  if (s.gsDetected == 0) {
    // A song that sets GS parameters without a reset first: the module is reset for it now.
    markConvention(s, false, shownAsGs);
    sendTargetReset(engine, target, 1);
  }
  if (isGsDataSet(m, n)) applyRolandParameter(engine, m, n);
}

}  // namespace

void translateSystemExclusive(Engine& engine, const uint8_t* m, int32_t n) {
  PlayerState& s = engine.state;
  s.outputStatus = 0xF0;
  n = std::max<int32_t>(n, 0);
  Target target = targetOf(engine, 0);
  if (target == Target::none) {
    detectOnly(engine, m, n);
    sendUnchanged(engine, m, n);
    return;
  }
  if (isXgSystemOn(m, n)) {
    markConvention(s, true, shownAsXg);
    if (target == Target::gm) {
      gmResetStep(engine);
    } else {
      sendUnchanged(engine, m, n);
    }
    return;
  }
  if (isRoland(m, n)) {
    translateRoland(engine, m, n, target);
    return;
  }
  sendUnchanged(engine, m, n);
}

}  // namespace tessaro
