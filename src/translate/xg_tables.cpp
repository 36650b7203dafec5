// The XG voice list as bit tables, built at compile time from the programs and bank LSBs at
// which the module has a voice.
#include "translate/xg_tables.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tessaro::translate {

namespace {

constexpr uint8_t drumKitPrograms[] = {0,  1,  2,  3,  8,  9,  16, 17, 24,
                                       25, 26, 27, 28, 29, 32, 33, 40, 48};

// The bank LSBs other than 0 at which a program has a voice; LSB 0 has a voice for every
// program, so the zero padding of each row marks nothing new.
struct VoiceBanks {
  uint8_t program;
  uint8_t lsb[16];
};

constexpr VoiceBanks voiceBanks[] = {
    {0, {1, 18, 40, 41}},
    {1, {1}},
    {2, {1, 32, 40, 41}},
    {3, {1}},
    {4, {1, 18, 32, 40, 45, 64}},
    {5, {1, 32, 33, 34, 40, 41, 42, 45}},
    {6, {1, 25, 35}},
    {7, {1, 27, 64, 65}},
    {10, {64}},
    {11, {1, 45}},
    {12, {1, 64, 97, 98}},
    {14, {96, 97}},
    {15, {35, 96, 97}},
    {16, {32, 33, 34, 35, 36, 37, 38, 40, 64, 65, 66, 67}},
    {17, {24, 32, 33, 37}},
    {18, {64, 65, 66}},
    {19, {32, 35, 40, 64, 65}},
    {20, {40}},
    {21, {32}},
    {22, {32}},
    {23, {64}},
    {24, {16, 25, 43, 96}},
    {25, {16, 35, 40, 41, 96}},
    {26, {18, 32, 96}},
    {27, {32, 65, 66}},
    {28, {40, 41, 43, 45, 96}},
    {29, {43}},
    {30, {12, 24, 35, 36, 37, 38, 40, 41, 43, 45}},
    {31, {65, 66}},
    {32, {40, 45}},
    {33, {18, 27, 40, 43, 45, 64, 65}},
    {34, {28}},
    {35, {32, 33, 34, 96, 97}},
    {36, {27, 32, 64, 65}},
    {37, {43}},
    {38, {18, 20, 24, 27, 35, 40, 64, 65, 66, 67, 68, 96}},
    {39, {6, 12, 18, 19, 32, 40, 41, 64, 65, 66, 67}},
    {40, {8}},
    {44, {8, 40}},
    {46, {40}},
    {48, {3, 8, 24, 35, 40, 41, 42, 45}},
    {49, {3, 8, 40, 41, 64, 65}},
    {50, {27, 64, 65}},
    {52, {3, 16, 32, 40}},
    {54, {40, 41, 64}},
    {55, {35, 64, 68, 70, 71, 72, 73}},
    {56, {16, 17, 32}},
    {57, {18}},
    {58, {16}},
    {60, {6, 32, 37}},
    {61, {3, 35, 40, 41, 42}},
    {62, {12, 20, 24, 28, 32, 40, 45, 64}},
    {63, {18, 40, 41, 45, 64}},
    {65, {40, 43}},
    {66, {40, 41, 64}},
    {80, {6, 8, 18, 19, 64, 65, 66, 67}},
    {81, {6, 8, 18, 19, 20, 24, 25, 27, 32, 35, 36, 40, 41, 45, 64, 96}},
    {82, {65}},
    {83, {64, 65}},
    {84, {64, 65, 66}},
    {85, {24, 64}},
    {86, {35}},
    {87, {16, 64, 65}},
    {88, {64}},
    {89, {16, 17, 18, 64, 65}},
    {90, {64, 65, 66, 67}},
    {91, {64, 66, 67}},
    {92, {64, 65}},
    {93, {64, 65}},
    {95, {20, 27, 64, 66}},
    {96, {45, 64, 65, 66}},
    {97, {27, 64}},
    {98, {12, 14, 18, 35, 40, 41, 42, 64, 65, 66, 67, 68, 69, 70, 71, 72}},
    {99, {18, 19, 40, 64, 65, 66, 67}},
    {100, {64, 96}},
    {101, {64, 65, 66, 67, 68, 70, 71, 96}},
    {102, {8, 14, 64, 65, 66, 67, 68, 69}},
    {103, {64}},
    {104, {32, 35, 96, 97}},
    {105, {28, 96, 97, 98}},
    {107, {96, 97}},
    {111, {64, 96, 97}},
    {112, {96, 97, 98, 99, 100, 101}},
    {114, {97, 98}},
    {115, {96}},
    {116, {96}},
    {117, {64, 65, 66}},
    {118, {64, 65}},
};

struct ProgramBits {
  std::array<std::array<uint64_t, 2>, 128> bits{};
  constexpr void set(int program, int lsb) {
    bits[static_cast<size_t>(program)][static_cast<size_t>(lsb >> 6)] |= uint64_t{1} << (lsb & 63);
  }
  constexpr bool test(int program, int lsb) const {
    return (bits[static_cast<size_t>(program)][static_cast<size_t>(lsb >> 6)] >> (lsb & 63)) & 1;
  }
};

constexpr ProgramBits buildVoiceMap() {
  ProgramBits map;
  for (int program = 0; program < 128; ++program) map.set(program, 0);
  for (const VoiceBanks& row : voiceBanks) {
    for (uint8_t lsb : row.lsb) map.set(row.program, lsb);
  }
  return map;
}

constexpr std::array<bool, 128> buildDrumKitMap() {
  std::array<bool, 128> map{};
  for (uint8_t program : drumKitPrograms) map[program] = true;
  return map;
}

constexpr ProgramBits xgVoiceMap = buildVoiceMap();
constexpr std::array<bool, 128> xgDrumKitMap = buildDrumKitMap();

bool inRange(int value) {
  return value >= 0 && value < 128;
}

}  // namespace

bool xgDrumKitExists(int program) {
  return inRange(program) && xgDrumKitMap[static_cast<size_t>(program)];
}

bool xgVoiceExists(int program, int bankLsb) {
  return inRange(program) && inRange(bankLsb) && xgVoiceMap.test(program, bankLsb);
}

}  // namespace tessaro::translate
