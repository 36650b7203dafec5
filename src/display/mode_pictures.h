// Mode panel pictures: for each pair of source and target conventions, one or two soft glows
// rendered once at start-up by a small procedural renderer (a list of drawing commands
// evaluated per pixel in single precision, a 1.8 gamma and error diffusion to 32/64/32 levels).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::display {

constexpr int PictureWidth = 128;
constexpr int PictureHeight = 32;
constexpr int ModeCount = 15;

struct ModePicture {
  std::array<uint8_t, PictureWidth * PictureHeight> red{};
  std::array<uint8_t, PictureWidth * PictureHeight> green{};
  std::array<uint8_t, PictureWidth * PictureHeight> blue{};
};

// Indexed by ModeIndex (source + 4 x target); the values never built stay black.
using ModePictures = std::array<ModePicture, ModeCount>;

// The ModeIndex values that have a picture.
constexpr std::array<int, 10> BuiltModes{1, 2, 4, 5, 6, 8, 9, 10, 13, 14};

struct PictureCommand {
  enum class Kind { scale, colour, offset, shape, end };
  Kind kind = Kind::end;
  std::string shapeCode;  // at most 8 characters
  int parameterCount = 0;
  std::array<float, 4> parameters{};
};

// The command list of one picture.
std::vector<PictureCommand> modeCommands(int modeIndex);

// Value of a shape at (x, y) in units; false for a code the renderer does not know.
bool shapeValue(const std::string& code, float x, float y, const std::array<float, 4>& parameters,
                float& value);

// One channel's quantiser: step 8 (red, blue) or 4 (green).
int quantise(float value, int step);

// Carried error of one channel: two rows used by even and odd picture rows, in 1/64 of a step.
struct ErrorRows {
  std::array<std::array<int32_t, PictureWidth + 2>, 2> rows{};
};
int ditherStep(int step, ErrorRows& errors, float value, int column, int row);

// Renders one picture; 0, or -1 (with the code in failedCode) for an unknown shape.
int renderModePicture(int modeIndex, ModePicture& picture, std::string* failedCode = nullptr);
// Renders every built picture; 0, or -1 as above.
int buildModePictures(ModePictures& pictures, std::string* failedCode = nullptr);

}  // namespace tessaro::display
