#include "display/mode_pictures.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace tessaro::display {

namespace {

constexpr float gammaIn = 1.8f;
constexpr float gammaOut = 1.8f;
constexpr float displayGamma = 1.8f;
constexpr size_t shapeCodeLimit = 8;

struct Layer {
  int r, g, b;
  float dx, dy;
  float radius;
};

// 8-bit colour component to linear light, still on the 0-255 scale.
float linearLight(int value) {
  if (value == 0) return 0.0f;
  return 255.0f * std::pow(static_cast<float>(value) / 255.0f, gammaIn);
}

PictureCommand command(PictureCommand::Kind kind, std::initializer_list<float> values,
                       std::string code = {}) {
  PictureCommand c;
  c.kind = kind;
  c.shapeCode = code.substr(0, shapeCodeLimit);
  for (float v : values) c.parameters[static_cast<size_t>(c.parameterCount++)] = v;
  return c;
}

void addLayer(std::vector<PictureCommand>& list, const Layer& layer) {
  using Kind = PictureCommand::Kind;
  list.push_back(
      command(Kind::colour, {linearLight(layer.r), linearLight(layer.g), linearLight(layer.b)}));
  list.push_back(command(Kind::offset, {layer.dx, layer.dy}));
  list.push_back(command(Kind::shape, {layer.radius, 0.1128f}, "G2C"));
}

struct RenderState {
  float unit = PictureWidth;
  float centreX = (PictureWidth - 1) * 0.5f / PictureWidth;
  float centreY = (PictureHeight - 1) * 0.5f / PictureWidth;
  float posX = 0, posY = 0;
  float offsetX = 0, offsetY = 0;
  float aspect = 1.0f;
  float shear = 0.0f;
  std::array<float, 4> accumulated{};
  std::array<float, 4> current{};
  std::array<float, 3> base{};
};

// Runs the command list for one pixel; false for an unknown shape code.
bool evaluate(const std::vector<PictureCommand>& list, int x, int y, RenderState& s,
              std::string* failedCode) {
  s = RenderState{};
  s.posX = static_cast<float>(x) / PictureWidth;
  s.posY = static_cast<float>(y) / PictureWidth;
  for (const PictureCommand& c : list) {
    const auto& p = c.parameters;
    switch (c.kind) {
      case PictureCommand::Kind::scale: {
        float ratio = s.unit / p[0];
        s.unit = p[0];
        s.posX = (s.posX - s.centreX) * ratio + s.centreX;
        s.posY = (s.posY - s.centreY) * ratio + s.centreY;
        break;
      }
      case PictureCommand::Kind::colour:
        for (size_t i = 0; i < 4; ++i) s.accumulated[i] += s.current[i];
        s.current = {p[0] - s.base[0], p[1] - s.base[1], p[2] - s.base[2], 1.0f};
        break;
      case PictureCommand::Kind::offset:
        s.offsetX = p[0] - p[1] * s.shear;
        s.offsetY = p[1] * s.aspect;
        break;
      case PictureCommand::Kind::shape: {
        std::array<float, 4> params = p;
        if (c.parameterCount < 4) params[static_cast<size_t>(c.parameterCount)] = 0.0f;
        float dx = s.posX - s.centreX - s.offsetX;
        float dy = s.posY - s.centreY - s.offsetY;
        float value = 0;
        if (!shapeValue(c.shapeCode, dx + dy * s.shear, dy / s.aspect, params, value)) {
          if (failedCode != nullptr) *failedCode = c.shapeCode;
          return false;
        }
        for (float& component : s.current) component *= value;
        break;
      }
      case PictureCommand::Kind::end:
        for (size_t i = 0; i < 4; ++i) s.accumulated[i] += s.current[i];
        return true;
    }
  }
  for (size_t i = 0; i < 4; ++i) s.accumulated[i] += s.current[i];
  return true;
}

// Accumulated linear light to an 8-bit display value (not yet quantised).
float displayValue(float linear) {
  float a = std::clamp(linear, 0.0f, 255.0f);
  if (a == 0.0f) return 0.0f;
  return 255.0f * std::pow(a / 255.0f, (gammaOut / gammaIn) / displayGamma);
}

int32_t share(int weight, float error) {
  return static_cast<int32_t>(std::floor(static_cast<float>(weight) * error + 0.5f));
}

}  // namespace

std::vector<PictureCommand> modeCommands(int modeIndex) {
  static constexpr Layer sourceGs{255, 200, 0, -0.22f, -0.1f, 0.2538f};
  static constexpr Layer sourceXg{120, 255, 0, -0.24f, -0.1f, 0.2538f};
  static constexpr Layer targetGs{255, 200, 0, 0.30f, -0.1f, 0.188f};
  static constexpr Layer targetXg{120, 255, 0, 0.32f, -0.1f, 0.188f};
  static constexpr Layer targetGm{255, 100, 0, 0.31f, -0.1f, 0.188f};
  std::vector<PictureCommand> list;
  list.push_back(command(PictureCommand::Kind::scale, {82.0f}));
  int source = modeIndex & 3;
  int target = modeIndex & 12;
  if (source == 1) addLayer(list, sourceGs);
  if (source == 2) addLayer(list, sourceXg);
  if (target == 4) addLayer(list, targetGs);
  if (target == 8) addLayer(list, targetXg);
  if (target == 12) addLayer(list, targetGm);
  list.push_back(command(PictureCommand::Kind::end, {}));
  return list;
}

bool shapeValue(const std::string& code, float x, float y, const std::array<float, 4>& parameters,
                float& value) {
  // Falloff letter, decimal exponent, distance letter; only the Gaussian of circles is known.
  size_t i = 1;
  int exponent = 0;
  while (i < code.size() && std::isdigit(static_cast<unsigned char>(code[i])))
    exponent = exponent * 10 + (code[i++] - '0');
  if (code.empty() || std::toupper(static_cast<unsigned char>(code[0])) != 'G' ||
      i >= code.size() || std::toupper(static_cast<unsigned char>(code[i])) != 'C')
    return false;
  float r = parameters[0];
  float p1 = parameters[1];
  float stretchedY = p1 > 0 ? r / p1 * std::fabs(y) : y;
  float d = std::sqrt(x * x + stretchedY * stretchedY);
  float e = exponent == 2 ? -((d / r) * (d / r)) : -std::pow(d / r, static_cast<float>(exponent));
  value = e < -24.0f ? 0.0f : std::exp(e);
  return true;
}

int quantise(float value, int step) {
  float s = static_cast<float>(step);
  int q = static_cast<int>(s * std::floor(value / s + 0.5f));
  if (q <= step) return 0;
  if (q > 255) return 255;
  return q;
}

int ditherStep(int step, ErrorRows& errors, float value, int column, int row) {
  auto& current = errors.rows[static_cast<size_t>(row % 2)];
  auto& following = errors.rows[static_cast<size_t>((row + 1) % 2)];
  size_t k = static_cast<size_t>(column);
  float v = std::clamp(value + static_cast<float>(current[k]) / 64.0f, -0.49f, 255.49f);
  int q = quantise(v, step);
  float t = (v - static_cast<float>(q)) * 4.0f;
  current[k + 1] += share(7, t);
  if (k > 0) following[k - 1] += share(3, t);
  following[k] += share(5, t);
  following[k + 1] += share(1, t);
  current[k] = 0;
  return q;
}

int renderModePicture(int modeIndex, ModePicture& picture, std::string* failedCode) {
  std::vector<PictureCommand> list = modeCommands(modeIndex);
  std::array<ErrorRows, 3> errors{};
  constexpr std::array<int, 3> steps{8, 4, 8};
  std::array<uint8_t*, 3> planes{picture.red.data(), picture.green.data(), picture.blue.data()};
  RenderState state;
  for (int row = 0; row < PictureHeight; ++row) {
    for (int column = 0; column < PictureWidth; ++column) {
      if (!evaluate(list, column, row, state, failedCode)) return -1;
      for (size_t c = 0; c < 3; ++c) {
        int q = ditherStep(steps[c], errors[c], displayValue(state.accumulated[c]), column, row);
        planes[c][row * PictureWidth + column] = static_cast<uint8_t>(q);
      }
    }
    for (ErrorRows& e : errors) e.rows[static_cast<size_t>(row % 2)].fill(0);
  }
  return 0;
}

int buildModePictures(ModePictures& pictures, std::string* failedCode) {
  for (int mode : BuiltModes) {
    if (renderModePicture(mode, pictures[static_cast<size_t>(mode)], failedCode) != 0) return -1;
  }
  return 0;
}

}  // namespace tessaro::display
