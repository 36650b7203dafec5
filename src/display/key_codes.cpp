#include "display/key_codes.h"

namespace tessaro::display {

int navigationCode(int virtualKey, bool shiftDown, bool ctrlDown) {
  if (virtualKey < keyPageUp || virtualKey > keyDelete) return 0;
  int prefix = shiftDown && ctrlDown ? 0x400 : ctrlDown ? 0x300 : shiftDown ? 0x200 : 0x100;
  return prefix + virtualKey;
}

int altCode(int character) {
  return character >= 0x41 && character <= 0x7A ? 0x500 + character : 0;
}

int characterCode(unsigned codePoint) {
  return codePoint >= 1 && codePoint <= 0xFF ? static_cast<int>(codePoint) : 0;
}

}  // namespace tessaro::display
