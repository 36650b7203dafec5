// A song converted into audio equals, sample for sample, its converted MIDI file rendered by the
// same synthesizer with the same settings: the audio holds the same messages at the same
// times. Each part rings out until silence, at most 2 s.
#include <gtest/gtest.h>

#include <filesystem>

#include "backends/posix/posix_platform.h"
#include "backends/synth/offline_renderer.h"
#include "control/commands.h"
#include "render/conversion.h"
#include "support/smf_reader.h"
#include "support/temp_dir.h"
#include "support/virtual_platform.h"
#include "support/wav_reader.h"

namespace tessaro::testing {
namespace {

TEST(AudioConversion, EqualsItsMidiFileRendered) {
  struct Row {
    const char* song;
    Target target;
    const char* tag;
  } rows[] = {
      {"test-running-status-metaevent.mid", Target::xg, "xg"},
      {"test-gs-doggy-01-00-7b.mid", Target::gm, "gm"},
      {"test-sysex-gs-40-1x-15-drum-part-change.mid", Target::none, "nc"},
      {"test-illegal-message-all.mid", Target::xg, "xg"},
  };
  platform::synth::OfflineRenderers renderers("");
  std::string reason;
  ASSERT_TRUE(renderers.prepare(reason)) << reason;
  VirtualClock wall;
  platform::posix::PosixOutputFiles files;
  const std::atomic<bool> running{false};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.song);
    const std::string dir = makeTempDir("tessaro-audio-");
    render::ConversionTask task;
    task.songs = {std::string(TESSARO_CORPUS_DIR) + "/jazz-soft/" + row.song};
    task.settings.target = row.target;
    Log log;
    log.startCapture();
    for (const char* output : {"/*.wav", "/"}) {
      task.output = dir + output;
      render::ConversionContext context{files, &renderers, wall, log};
      ASSERT_EQ(render::runConversion(task, context), 0) << log.captured();
    }
    const std::string name =
        dir + "/" + std::filesystem::path(row.song).stem().string() + "." + row.tag;
    MidiFileRead file = readMidiFile(name + ".mid");
    ASSERT_EQ(file.problem, "");
    platform::AudioRendererOpen opened =
        renderers.open(dir + "/again.wav", moduleConventionOf(row.target), running);
    ASSERT_TRUE(opened.renderer) << opened.reason;
    render::AudioFileOutput again(std::move(opened.renderer), renderers.sampleRate());
    for (const FileEvent& e : file.wire()) again.wire(e.time, e.bytes.data(), e.bytes.size());
    again.endPart();
    ASSERT_TRUE(again.finish(reason)) << reason;

    WavSound converted = readWav(name + ".wav");
    WavSound rendered = readWav(dir + "/again.wav");
    std::filesystem::remove_all(dir);
    ASSERT_EQ(converted.problem, "");
    EXPECT_EQ(converted.samples, rendered.samples);
    const double end = file.events.back().time / 1000.0;
    EXPECT_GT(converted.seconds(), end + 0.05);
    EXPECT_LE(converted.seconds(), end + 2.001);
  }
}

}  // namespace
}  // namespace tessaro::testing
