// A live session fed arbitrary bytes, with the checks that must hold for any input: what
// reaches the output is well-formed MIDI, the session ends when its input does, every note is
// silenced after the stop and the module reset last, and nothing is counted twice. Shared by
// the fuzz target and the regression tests; a failed check is a message (empty when all held).
#pragma once

#include <optional>
#include <string>

#include "live/live_session.h"
#include "support/fuzz_checks.h"

namespace tessaro::testing {

constexpr size_t LiveFuzzControlBytes = 2;

// The first byte chooses the target and the declared convention, the second how the stream is
// cut into reads; the rest is the stream, one read every 3 ms.
inline std::string runLiveInput(const uint8_t* data, size_t size) {
  if (size < LiveFuzzControlBytes) return {};
  PlayerStack<> rig;
  rig.log.startCapture();
  openMidiPort(rig.port, 1, platform::MidiOutputs::mapper);
  const Target targets[] = {Target::xg, Target::gm, Target::none, Target::xg};
  rig.options.target = targets[data[0] & 3];
  const SourceConvention declared[] = {SourceConvention::detected, SourceConvention::gs,
                                       SourceConvention::sc88,     SourceConvention::xg,
                                       SourceConvention::gm,       SourceConvention::detected,
                                       SourceConvention::detected, SourceConvention::detected};
  SourceConvention from = declared[(data[0] >> 2) & 7];

  ScriptedMidiInput input(rig.clock);
  uint32_t cut = data[1] | 1u;
  uint32_t at = 0;
  for (size_t i = LiveFuzzControlBytes; i < size;) {
    cut = cut * 1103515245u + 12345u;
    size_t piece = std::min<size_t>(1 + (cut >> 16) % 24, size - i);
    input.at(at += 3, Bytes(data + i, data + i + piece));
    i += piece;
  }
  const uint32_t lastRead = at;
  LiveSession live({rig.clock, rig.log, rig.port, rig.options, rig.session.stage, rig.session.time,
                    rig.session.requests, rig.observer},
                   input, "fuzz", from);
  const uint32_t start = rig.clock.now;
  LiveEnd end = live.run();

  if (end != LiveEnd::inputEnded) return "the session did not end with its input";
  // Each reset holds the stream about a second, each note silenced at the stop 3 ms.
  if (rig.clock.now - start > lastRead + 1100u * (size / 6 + 2) + 3u * size + 100u)
    return "the session ran " + std::to_string(rig.clock.now - start) + " ms";
  std::string failure = checkFraming(rig.serial.writes);
  if (!failure.empty()) return failure;
  const Bytes wire = rig.serial.bytes();
  if (!soundingOnWire(wire).empty()) return "a note still sounds after the stop";
  const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  if (rig.serial.writes.empty() || rig.serial.writes.back().bytes != gmSystemOn)
    return "the module is not reset last";
  const LiveCounts& counts = live.counts();
  if (counts.passed.load() + counts.dropped() > size) return "more counted than was sent";
  return {};
}

}  // namespace tessaro::testing
