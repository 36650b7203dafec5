// What a module holds after the messages it has taken, read from the wire as a module reads it:
// per channel the bank and program, every controller as last set, the registered and
// non-registered parameters through data entry, the pitch bend and the channel pressure; and the
// system exclusives since its last reset (GM System On, GS Reset, XG System On), which clears the
// channels. Reset All Controllers acts as the General MIDI recommendation says. Notes are left
// out. Written from the MIDI standard, apart from the player's own reading of the song.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "support/wire.h"

namespace tessaro::testing {

struct ModuleState {
  struct Channel {
    std::map<int, int> controllers;
    int program = -1, bend = -1, pressure = -1;
    // (registered 0 / non-registered 1, msb, lsb) -> (data msb, data lsb)
    std::map<std::tuple<int, int, int>, std::pair<int, int>> parameters;
    // The parameter data entry goes to: (registered 0 / non-registered 1, msb, lsb), or -1 none.
    std::tuple<int, int, int> selected{-1, 127, 127};
    bool operator==(const Channel&) const = default;
  };
  std::array<Channel, 16> channels;
  std::vector<std::vector<uint8_t>> systemExclusives;
  bool operator==(const ModuleState& other) const {
    return channels == other.channels && systemExclusives == other.systemExclusives;
  }

  static bool isReset(const std::vector<uint8_t>& m) {
    auto is = [&](std::initializer_list<int> bytes, std::initializer_list<size_t> any) {
      if (m.size() != bytes.size()) return false;
      size_t i = 0;
      for (int b : bytes) {
        bool free = false;
        for (size_t a : any) free = free || a == i;
        if (!free && m[i] != b) return false;
        ++i;
      }
      return true;
    };
    return is({0xF0, 0x7E, 0, 0x09, 0x01, 0xF7}, {2}) ||
           is({0xF0, 0x41, 0, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}, {2}) ||
           is({0xF0, 0x43, 0, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, {2});
  }

  void take(const std::vector<uint8_t>& m) {
    if (m.empty()) return;
    if (m[0] == 0xF0) {
      if (isReset(m)) {
        channels = {};
        registers_ = {};
        systemExclusives.clear();
      }
      systemExclusives.push_back(m);
      return;
    }
    if (m[0] < 0x80 || m[0] >= 0xF0) return;
    Channel& ch = channels[m[0] & 0x0F];
    int d1 = m.size() > 1 ? m[1] : 0, d2 = m.size() > 2 ? m[2] : 0;
    switch (m[0] & 0xF0) {
      case 0xB0:
        controller(ch, d1, d2);
        break;
      case 0xC0:
        ch.program = d1;
        break;
      case 0xD0:
        ch.pressure = d1;
        break;
      case 0xE0:
        ch.bend = d1 | d2 << 7;
        break;
      default:
        break;
    }
  }

  void takeWire(const std::vector<uint8_t>& wire) {
    for (const auto& m : messagesOnWire(wire)) take(m);
  }

 private:
  // The parameter numbers a channel last chose, of each kind, and which kind it chose last.
  struct Registers {
    int kind = -1;
    std::array<int, 2> number[2] = {{127, 127}, {127, 127}};
  };
  std::array<Registers, 16> registers_;

  void controller(Channel& ch, int k, int v) {
    Registers& r = registers_[static_cast<size_t>(&ch - channels.data())];
    if (k >= 98 && k <= 101) {
      r.kind = k >= 100 ? 0 : 1;
      r.number[r.kind][k % 2 == 1 ? 0 : 1] = v;
      const std::array<int, 2>& n = r.number[r.kind];
      bool null = r.kind == 0 && n[0] == 127 && n[1] == 127;
      ch.selected = null ? std::make_tuple(-1, 127, 127) : std::make_tuple(r.kind, n[0], n[1]);
    } else if (k == 6 || k == 38) {
      if (std::get<0>(ch.selected) < 0) return;
      auto& value = ch.parameters[ch.selected];
      (k == 6 ? value.first : value.second) = v;
    } else if (k == 121) {
      for (int reset : {1, 11, 64, 65, 66, 67}) ch.controllers.erase(reset);
      ch.bend = -1;
      ch.pressure = -1;
      ch.selected = {-1, 127, 127};
      r = Registers{};
    } else if (k != 120 && k != 123) {
      ch.controllers[k] = v;
    }
  }
};

}  // namespace tessaro::testing
