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

// The user's choices for the synthesizer act on the rendered file: its rate (the same music in
// as many seconds), its gain (the sound scales with it), its SoundFont (which wins over the
// variable's, and is named when it cannot be had).
TEST(AudioConversion, TheUsersRateGainAndSoundFontAct) {
  const std::string song = std::string(TESSARO_CORPUS_DIR) + "/jazz-soft/test-c-major-scale.mid";
  const std::string soundFont =
      platform::synth::findSoundFont("", platform::synth::systemSoundFontDir).path;
  ASSERT_NE(soundFont, "");
  const std::string dir = makeTempDir("tessaro-audio-");
  struct Row {
    const char* name;
    platform::SynthSettings settings;
  } rows[] = {
      {"default", {soundFont, 0, -1}},
      {"half the rate", {soundFont, 22050, -1}},
      {"half the gain", {soundFont, 0, 0.25}},
  };
  VirtualClock wall;
  platform::posix::PosixOutputFiles files;
  std::vector<WavSound> sounds;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    // The variable names nothing usable: the option's SoundFont is the one taken.
    platform::synth::OfflineRenderers renderers(dir + "/not-there.sf2");
    renderers.configure(row.settings);
    render::ConversionTask task;
    task.songs = {song};
    task.output = dir + "/" + row.name + ".wav";
    Log log;
    log.startCapture();
    render::ConversionContext context{files, &renderers, wall, log};
    ASSERT_EQ(render::runConversion(task, context), 0) << log.captured();
    sounds.push_back(readWav(task.output));
    ASSERT_EQ(sounds.back().problem, "");
  }
  EXPECT_EQ(sounds[0].rate, 44100);
  EXPECT_EQ(sounds[1].rate, 22050);
  // The same music; the ring-out after it, which ends at silence, may differ a little.
  EXPECT_NEAR(sounds[1].seconds(), sounds[0].seconds(), 0.2);
  const double end = sounds[0].seconds();
  EXPECT_NEAR(sounds[2].rms(0, end) / sounds[0].rms(0, end), 0.5, 0.05);

  platform::synth::OfflineRenderers missing("");
  missing.configure({dir + "/none.sf2", 0, -1});
  std::string reason;
  EXPECT_FALSE(missing.prepare(reason));
  EXPECT_EQ(reason, dir + "/none.sf2 (--soundfont): No such file or directory");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tessaro::testing
