// Constant tables of the XG voice list: where a drum kit or a normal voice exists, by program
// number and bank select LSB.
#pragma once

namespace tessaro::translate {

// An XG drum kit exists at this program number (0-127).
bool xgDrumKitExists(int program);

// An XG normal voice exists at this program number and bank LSB (both 0-127).
bool xgVoiceExists(int program, int bankLsb);

}  // namespace tessaro::translate
