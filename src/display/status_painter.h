// What the status strip shows and the window title: the play list with its selection, the mode
// panel (picture and labels), the repeat count, the volume and the controls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/conventions.h"
#include "display/mode_pictures.h"
#include "display/status_window.h"

namespace tessaro::display {

// The program's state as the strip shows it, gathered for one paint.
struct StatusFacts {
  int32_t cueLength = 0;
  int32_t listTop = 0;
  int32_t selectedEntry = -1;
  std::function<std::string(int32_t entry)> entryName;  // file name of a cue entry
  SongConvention source = SongConvention::none;         // what the song has shown
  Target target = Target::none;                         // the module the output is translated for
  int32_t repeatCount = 0;
  int32_t volumeAdd = 0;
  bool fullRepaint = false;  // show the whole window, wiping lit note cells
};

constexpr Rgb SelectionColour{224, 0, 0};

// Source + 4 x target; 0 for a GM song without another target.
int modeIndexOf(const StatusFacts& facts);

// Redraws the strip into the buffer and shows it.
void paintStatus(StatusWindow& window, const StatusFacts& facts, const ModePictures& pictures);

// The title listing the songs from the current one on, with the position suffix when the whole
// run holds four songs or more.
std::string buildTitle(int32_t length, int32_t current, int32_t droppedCount,
                       const std::function<std::string(int32_t)>& entryName);

}  // namespace tessaro::display
