// Reads a byte stream as a module on a serial MIDI input reads it: whole messages with running
// status written out, and the notes left sounding. Shared by the player, program, fault and
// fuzz checks, so it holds no test framework.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace tessaro::testing {

// The stream as whole messages: running status written out, real-time bytes left out, a system
// exclusive kept whole up to its F7 or, as a module reads it, up to the next status byte (an
// escape event may send one unterminated). ends, when given, receives the offset of each
// message's last byte.
inline std::vector<std::vector<uint8_t>> messagesOnWire(const std::vector<uint8_t>& wire,
                                                        std::vector<size_t>* ends = nullptr) {
  std::vector<std::vector<uint8_t>> out;
  int status = 0;
  std::vector<uint8_t> data;
  for (size_t i = 0; i < wire.size(); ++i) {
    uint8_t b = wire[i];
    if (b >= 0xF8) continue;
    if (b == 0xF0) {
      std::vector<uint8_t> sysex{b};
      while (i + 1 < wire.size() && (wire[i + 1] < 0x80 || wire[i + 1] >= 0xF8)) {
        if (wire[++i] < 0x80) sysex.push_back(wire[i]);
      }
      if (i + 1 < wire.size() && wire[i + 1] == 0xF7) sysex.push_back(wire[++i]);
      out.push_back(sysex);
      if (ends != nullptr) ends->push_back(i);
      status = 0;
      continue;
    }
    if ((b & 0x80) != 0) {
      status = b;
      data.clear();
      continue;
    }
    if (status == 0 || status >= 0xF0) continue;
    data.push_back(b);
    size_t need = (status >= 0xC0 && status < 0xE0) ? 1 : 2;
    if (data.size() < need) continue;
    std::vector<uint8_t> message{static_cast<uint8_t>(status)};
    message.insert(message.end(), data.begin(), data.end());
    out.push_back(message);
    if (ends != nullptr) ends->push_back(i);
    data.clear();
  }
  return out;
}

// Note-ons minus note-offs per channel and note, only those still sounding.
inline std::map<std::pair<int, int>, int> soundingOnWire(const std::vector<uint8_t>& wire) {
  std::map<std::pair<int, int>, int> sounding;
  for (const std::vector<uint8_t>& m : messagesOnWire(wire)) {
    if (m.size() != 3) continue;
    int kind = m[0] & 0xF0;
    auto key = std::make_pair(m[0] & 0x0F, static_cast<int>(m[1]));
    if (kind == 0x90 && m[2] > 0) ++sounding[key];
    if ((kind == 0x80 || (kind == 0x90 && m[2] == 0)) && sounding[key] > 0) --sounding[key];
  }
  std::erase_if(sounding, [](const auto& entry) { return entry.second == 0; });
  return sounding;
}

}  // namespace tessaro::testing
