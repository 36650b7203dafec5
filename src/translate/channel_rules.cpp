// Channel rules: program changes, notes and controllers of the song for the target module.
#include "translate/translate.h"

namespace tessaro {

bool translateChannelMessage(Engine&, int32_t, int, int32_t) {
  return false;
}

}  // namespace tessaro
