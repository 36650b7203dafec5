// One paintStatus: the whole status strip (three list rows with a selection, the mode picture,
// labels, repeat and volume texts, fifteen buttons) drawn into the back buffer with the font
// the program uses, and handed to a window that does nothing.
#include <benchmark/benchmark.h>

#include "backends/fonts/font_glyphs.h"
#include "display/controls.h"
#include "display/status_painter.h"

namespace {

using namespace tessaro;

class NoWindow : public platform::StatusWindowPort {
 public:
  bool exists() override { return true; }
  void setTitle(const std::string&) override {}
  void showRows(int, int) override {}
  void pump() override {}
  void releaseTopmost() override {}
  platform::FileChoice chooseMidiFile(const std::string&) override { return {}; }
  platform::Rgb menuColour() override { return {212, 208, 200}; }
  platform::Rgb grayTextColour() override { return {128, 128, 128}; }
};

void PaintStatus(benchmark::State& state) {
  platform::fonts::FontGlyphSource glyphs;
  display::StatusWindow window(display::ContentWidth, display::ContentHeight, glyphs);
  NoWindow port;
  window.port = &port;
  for (const display::ControlLayout& c : display::StatusControls) {
    display::addControl(
        window, nullptr,
        [&window, &c](int left, int top, int pressed) {
          display::drawButton(window, c, left, top, pressed != 0, false);
        },
        c.left, c.top, c.right, c.bottom);
  }
  display::ModePictures pictures{};
  display::buildModePictures(pictures);
  display::StatusFacts facts;
  facts.cueLength = 5;
  facts.selectedEntry = 1;
  facts.entryName = [](int32_t e) {
    return "a-song-with-a-long-name-" + std::to_string(e) + ".mid";
  };
  facts.source = SongConvention::gs;
  facts.target = Target::xg;
  facts.repeatCount = 2;
  facts.volumeAdd = -12;
  for (auto _ : state) {
    display::paintStatus(window, facts, pictures);
    benchmark::DoNotOptimize(window.buffer.rgb.data());
  }
  state.SetLabel(glyphs.fontFile());
}
BENCHMARK(PaintStatus)->Unit(benchmark::kMicrosecond);

}  // namespace
