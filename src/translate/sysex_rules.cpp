// System-exclusive rules: detection of the song's convention, the resets sent for the target
// module in place of the song's own, and what becomes of the song's Roland messages.
#include <algorithm>
#include <initializer_list>

#include "translate/rule_support.h"

namespace tessaro::translate {

namespace {

constexpr uint8_t roland = 0x41;
constexpr uint8_t yamaha = 0x43;

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

void markConvention(Step& step, SongConvention convention) {
  step.state.shown = convention;
}

// Holds the music back by `shift` ms while the module takes a reset, of which only `sleep` ms
// are waited here; the rest is waited by the player as part of the next event's time.
void pause(Step& step, int32_t shift, int32_t sleep) {
  step.out.pause(shift, sleep);
}

void sendSystemExclusive(Step& step, const uint8_t* m, int32_t n) {
  step.out.sendLong(0xF0, m, n);
}

void gmResetStep(Step& step) {
  static constexpr uint8_t gmSystemOn[] = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
  step.out.resetSent();
  sendSystemExclusive(step, gmSystemOn, sizeof gmSystemOn);
  pause(step, 100, 50);
}

// Brings an XG module to the state a GS song expects: XG System On, reverb and variation
// effects like a GS module's, and a standard drum kit on channel 10. `variation` is the
// variation type's low byte (0 after a GS Reset, 1 after an SC-88 mode set or none).
void xgSetupSequence(Step& step, uint8_t variation) {
  static constexpr uint8_t xgSystemOn[] = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  static constexpr uint8_t reverbType[] = {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x01, 0xF7};
  static constexpr uint8_t connection[] = {0x43, 0x10, 0x4C, 0x02, 0x01, 0x5A, 0x01, 0xF7};
  const uint8_t variationType[] = {0x43, 0x10, 0x4C, 0x02, 0x01, 0x40, 0x01, variation, 0xF7};
  step.out.resetSent();
  sendSystemExclusive(step, xgSystemOn, sizeof xgSystemOn);
  pause(step, 100, 50);
  sendSystemExclusive(step, reverbType, sizeof reverbType);
  pause(step, 20, 20);
  sendSystemExclusive(step, connection, sizeof connection);
  pause(step, 100, 20);
  sendSystemExclusive(step, variationType, sizeof variationType);
  pause(step, 820, 20);
  // Drum kit 0 on channel 10; the program change goes out like the song's own.
  step.out.sendShort(0xB9, 0, 127);
  step.out.sendShort(0xB9, 32, 0);
  sendProgram(step, 9, 0);
  step.out.sendShort(0xB9, 0, 0);
  pause(step, 20, 10);
}

void sendTargetReset(Step& step, uint8_t variation) {
  if (step.target() == Target::gm) {
    gmResetStep(step);
  } else {
    xgSetupSequence(step, variation);
  }
}

// Sends the song's message as it is. While fast-forwarding, the module gets time after it:
// 50 ms after a reset, 4 ms after anything else; a seek's chase gives it time after a reset only.
void sendUnchanged(Step& step, const uint8_t* m, int32_t n) {
  sendSystemExclusive(step, m, n);
  if (!step.context.fastForward && !step.context.chase) return;
  bool reset = (byteAt(m, n, 0) == 0x7E && byteAt(m, n, 1) == 0x7F) || isXgSystemOn(m, n) ||
               (n > 8 && m[0] == roland && m[8] == 0x41);
  if (reset) step.out.resetSent();
  if (!reset && !step.context.fastForward) return;
  int32_t ms = reset ? 50 : 4;
  pause(step, ms, ms);
}

// A song that has shown neither convention yet.
bool undecided(const Step& step) {
  SongConvention shown = step.state.shown;
  return shown == SongConvention::none || shown == SongConvention::undecided;
}

// Without translation: the convention is only detected, for the display.
void detectOnly(Step& step, const uint8_t* m, int32_t n) {
  if (isXgSystemOn(m, n)) {
    markConvention(step, SongConvention::xg);
    return;
  }
  if (!isRoland(m, n)) return;
  // Any longer Roland message marks a song not yet decided as GS.
  if (isGsReset(m, n) || isSc88Mode1(m, n) || undecided(step))
    markConvention(step, SongConvention::gs);
}

// A Roland message while translating: never sent as it is, since the target module would
// misread it; the resets are replaced, the parameters that matter are rewritten, the rest is
// dropped.
void translateRoland(Step& step, const uint8_t* m, int32_t n) {
  if (isGsReset(m, n)) {
    markConvention(step, SongConvention::gs);
    sendTargetReset(step, 0);
    return;
  }
  if (isSc88ModeSet(m, n)) {
    // Mode 2 (two-module mode) has no counterpart: dropped, and it decides nothing.
    if (m[7] != 0) return;
    markConvention(step, SongConvention::gs);
    sendTargetReset(step, 1);
    return;
  }
  if (!step.shown(SongConvention::gs)) {
    // A song that sets GS parameters without a reset first: the module is reset for it now.
    markConvention(step, SongConvention::gs);
    sendTargetReset(step, 1);
  }
  if (isGsDataSet(m, n)) applyRolandParameter(step, m, n);
}

}  // namespace

bool isModuleReset(const uint8_t* m, int32_t n) {
  bool gmOn = byteAt(m, n, 0) == 0x7E && byteAt(m, n, 2) == 0x09 &&
              (byteAt(m, n, 3) == 0x01 || byteAt(m, n, 3) == 0x03);
  return gmOn || isXgSystemOn(m, n) || isGsReset(m, n) || isSc88ModeSet(m, n);
}

void Translator::systemExclusive(const uint8_t* m, int32_t n, const EventContext& context,
                                 Actions& out) {
  Step step{*this, context, out};
  n = std::max<int32_t>(n, 0);
  if (!step.translated()) {
    detectOnly(step, m, n);
    sendUnchanged(step, m, n);
    return;
  }
  if (isXgSystemOn(m, n)) {
    markConvention(step, SongConvention::xg);
    if (step.target() == Target::gm) {
      gmResetStep(step);
    } else {
      sendUnchanged(step, m, n);
    }
    return;
  }
  if (isRoland(m, n)) {
    translateRoland(step, m, n);
    return;
  }
  sendUnchanged(step, m, n);
}

}  // namespace tessaro::translate
