// The mode panel pictures against figures worked out here from the rendering rules: where the
// glows sit, what the quantisers give and how the first row carries its error.
#include <gtest/gtest.h>

#include <cmath>

#include "display/mode_pictures.h"

namespace tessaro::display {
namespace {

struct Glow {
  float r, g, b;  // 8-bit colour
  float dx, dy, radius;
};

constexpr Glow amberSource{255, 200, 0, -0.22f, -0.1f, 0.2538f};
constexpr Glow amberTarget{255, 200, 0, 0.30f, -0.1f, 0.188f};

// A glow's strength at pixel (px, py): an ellipse of radii r and 0.1128 around its centre,
// 82 pixels to the unit, about the picture centre (63.5, 15.5).
float strength(const Glow& glow, int px, int py) {
  float x = (static_cast<float>(px) - 63.5f) / 82.0f - glow.dx;
  float y = (static_cast<float>(py) - 15.5f) / 82.0f - glow.dy;
  float e = -((x / glow.radius) * (x / glow.radius) + (y / 0.1128f) * (y / 0.1128f));
  return e < -24.0f ? 0.0f : std::exp(e);
}

// Channel value of one glow after the gamma round trip: linear light scaled, then encoded.
float encoded(float component, float s) {
  float linear = component == 0 ? 0 : 255.0f * std::pow(component / 255.0f, 1.8f);
  float a = std::min(linear * s, 255.0f);
  return a <= 0 ? 0.0f : 255.0f * std::pow(a / 255.0f, 1.0f / 1.8f);
}

ModePicture rendered(int mode) {
  ModePicture picture;
  EXPECT_EQ(renderModePicture(mode, picture), 0);
  return picture;
}

TEST(ModePictureGlows, SitWhereTheirOffsetsPutThem) {
  struct Case {
    int mode;
    int litX, litY;  // near the glow's centre: the full colour
    int darkX;       // a column far from every glow: at most the lowest dither step
  } cases[] = {{1, 45, 7, 110}, {4, 88, 7, 20}};
  for (const Case& c : cases) {
    ModePicture p = rendered(c.mode);
    size_t i = static_cast<size_t>(c.litY * 128 + c.litX);
    EXPECT_EQ(p.red[i], 255) << c.mode;
    EXPECT_NEAR(p.green[i], 200, 4) << c.mode;
    EXPECT_EQ(p.blue[i], 0) << c.mode;
    for (int row = 0; row < 32; ++row) {
      size_t d = static_cast<size_t>(row * 128 + c.darkX);
      EXPECT_LE(p.red[d], 16) << c.mode << " row " << row;
      EXPECT_LE(p.green[d], 8) << c.mode << " row " << row;
      EXPECT_EQ(p.blue[d], 0) << c.mode << " row " << row;
    }
  }
  // The strongest pixel of each glow, before quantising, is the one nearest its centre.
  auto peak = [](const Glow& g) {
    std::pair<int, int> best{0, 0};
    float most = -1;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 128; ++x)
        if (strength(g, x, y) > most) {
          most = strength(g, x, y);
          best = {x, y};
        }
    return best;
  };
  EXPECT_EQ(peak(amberSource), (std::pair<int, int>{45, 7}));  // centre (45.46, 7.3)
  EXPECT_EQ(peak(amberTarget), (std::pair<int, int>{88, 7}));  // centre (88.1, 7.3)
}

TEST(ModePictureGlows, UnbuiltIndexesAndColumnsBeyondThePanel) {
  ModePictures pictures{};
  ASSERT_EQ(buildModePictures(pictures), 0);
  for (int mode : {0, 3, 7, 11, 12}) {
    const ModePicture& p = pictures[static_cast<size_t>(mode)];
    for (size_t i = 0; i < p.red.size(); ++i) ASSERT_EQ(p.red[i] + p.green[i] + p.blue[i], 0);
  }
  // Columns 124-127 are rendered too: the XG target glow still reaches them faintly.
  const ModePicture& xg = pictures[8];
  int sum = 0;
  for (int row = 0; row < 32; ++row) sum += xg.green[static_cast<size_t>(row * 128 + 125)];
  EXPECT_GT(sum, 0);
}

TEST(Quantisers, DropTheFirstStepAndCapAt255) {
  struct Case {
    float value;
    int step, out;
  } cases[] = {
      {0, 8, 0},        {11.9f, 8, 0}, {12, 8, 16},    {200, 8, 200}, {251.9f, 8, 248},
      {252, 8, 255},    {255, 8, 255}, {-0.49f, 8, 0}, {5.9f, 4, 0},  {6, 4, 8},
      {253.9f, 4, 252}, {254, 4, 255}, {198, 4, 200},  {20, 8, 24},
  };
  for (Case c : cases) EXPECT_EQ(quantise(c.value, c.step), c.out) << c.value << " " << c.step;
}

TEST(Dithering, SpreadsErrorInSixtyFourthsWithFloydSteinbergShares) {
  ErrorRows e;
  // 10 on the red scale quantises to 0; its error of 10 is carried as 40.
  EXPECT_EQ(ditherStep(8, e, 10.0f, 5, 0), 0);
  EXPECT_EQ(e.rows[0][6], 280);  // 7 x 40
  EXPECT_EQ(e.rows[1][4], 120);  // 3 x 40
  EXPECT_EQ(e.rows[1][5], 200);  // 5 x 40
  EXPECT_EQ(e.rows[1][6], 40);   // 1 x 40
  EXPECT_EQ(e.rows[0][5], 0);
  // The next pixel takes the carried 280/64 = 4.375.
  EXPECT_EQ(ditherStep(8, e, 8.0f, 6, 0), 16);  // 12.375 rounds up to 16
  // Column 0 sends nothing to the left.
  ErrorRows f;
  ditherStep(8, f, 10.0f, 0, 1);
  EXPECT_EQ(f.rows[0][0], 200);
  EXPECT_EQ(f.rows[1][1], 280);
}

TEST(Dithering, FirstRowMatchesAnIndependentRowPass) {
  for (int mode : {1, 9, 14}) {
    ModePicture p = rendered(mode);
    std::vector<Glow> glows;
    if ((mode & 3) == 1) glows.push_back(amberSource);
    if ((mode & 3) == 2) glows.push_back({120, 255, 0, -0.24f, -0.1f, 0.2538f});
    if ((mode & 12) == 8) glows.push_back({120, 255, 0, 0.32f, -0.1f, 0.188f});
    if ((mode & 12) == 12) glows.push_back({255, 100, 0, 0.31f, -0.1f, 0.188f});
    for (int channel = 0; channel < 3; ++channel) {
      int step = channel == 1 ? 4 : 8;
      int carried = 0;
      for (int x = 0; x < 128; ++x) {
        float linearSum = 0;
        for (const Glow& g : glows) {
          float component = channel == 0 ? g.r : channel == 1 ? g.g : g.b;
          float linear = component == 0 ? 0 : 255.0f * std::pow(component / 255.0f, 1.8f);
          linearSum += linear * strength(g, x, 0);
        }
        float a = std::min(linearSum, 255.0f);
        float value = a <= 0 ? 0.0f : 255.0f * std::pow(a / 255.0f, 1.0f / 1.8f);
        float v = std::clamp(value + static_cast<float>(carried) / 64.0f, -0.49f, 255.49f);
        float s = static_cast<float>(step);
        int q = static_cast<int>(s * std::floor(v / s + 0.5f));
        q = q <= step ? 0 : std::min(q, 255);
        carried = static_cast<int>(std::floor(7.0f * (v - static_cast<float>(q)) * 4.0f + 0.5f));
        const auto& plane = channel == 0 ? p.red : channel == 1 ? p.green : p.blue;
        ASSERT_EQ(plane[static_cast<size_t>(x)], q)
            << "mode " << mode << " channel " << channel << " column " << x;
      }
    }
  }
  EXPECT_NEAR(encoded(200, 1.0f), 200.0f, 0.01f);  // full strength gives back the colour
  EXPECT_NEAR(encoded(255, 1.0f), 255.0f, 0.01f);
}

TEST(ShapeCodes, OnlyTheGaussianOfCirclesIsKnown) {
  std::array<float, 4> params{0.2f, 0.1f, 0, 0};
  float v = 0;
  EXPECT_TRUE(shapeValue("G2C", 0, 0, params, v));
  EXPECT_FLOAT_EQ(v, 1.0f);
  EXPECT_TRUE(shapeValue("g2c", 0.2f, 0, params, v));
  EXPECT_NEAR(v, std::exp(-1.0f), 1e-6);
  EXPECT_TRUE(shapeValue("G2C", 0, 0.1f, params, v));
  EXPECT_NEAR(v, std::exp(-1.0f), 1e-6);
  EXPECT_TRUE(shapeValue("G2C", 2.0f, 0, params, v));
  EXPECT_EQ(v, 0.0f);  // beyond e^-24
  EXPECT_FALSE(shapeValue("M2C", 0, 0, params, v));
  EXPECT_FALSE(shapeValue("G2U", 0, 0, params, v));
}

TEST(PictureCommands, EachPictureUsesItsLayers) {
  EXPECT_EQ(modeCommands(1).size(), 5u);  // scale, one layer, end
  EXPECT_EQ(modeCommands(9).size(), 8u);  // scale, two layers, end
  auto list = modeCommands(13);
  EXPECT_EQ(list[0].kind, PictureCommand::Kind::scale);
  EXPECT_FLOAT_EQ(list[0].parameters[0], 82.0f);
  EXPECT_NEAR(list[1].parameters[1], 164.67f, 0.01f);  // 200 in linear light
  EXPECT_NEAR(list[4].parameters[1], 47.29f, 0.01f);   // 100 in linear light
  EXPECT_FLOAT_EQ(list[5].parameters[0], 0.31f);
  EXPECT_EQ(list[6].shapeCode, "G2C");
}

}  // namespace
}  // namespace tessaro::display
