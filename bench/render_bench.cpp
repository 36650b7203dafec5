// Speed and memory of the offline conversion, side by side in one run:
//   1. the whole public corpus to MIDI files (XG) on two threads (target: under 0.5 s);
//   2. a 1 MB song to a MIDI file (target: under 50 ms);
//   3. a song to a WAV file, untranslated, against FluidSynth's own fast file render of the same
//      song with the same SoundFont, rate and synthesizer settings (target: within 1.2x);
//   4. 1,000 songs in one batch to MIDI files: the resident memory while it runs (target: flat).
// Wall times are the best of several runs; the machine's load is printed with them.
//
// Usage: render_bench [--corpus DIR] [--audio SONG.mid] [--runs N]
#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "backends/posix/posix_platform.h"
#include "backends/synth/fluid_support.h"
#include "backends/synth/offline_renderer.h"
#include "render/conversion.h"
#include "support/corpus.h"
#include "support/smf.h"
#include "support/temp_dir.h"

namespace {

using namespace tessaro;
namespace fs = std::filesystem;

double seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double best(int runs, const std::function<void()>& work) {
  double fastest = 1e9;
  for (int i = 0; i < runs; ++i) fastest = std::min(fastest, seconds(work));
  return fastest;
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return one + " (1 min), " + five + " (5 min) on " +
         std::to_string(std::thread::hardware_concurrency()) + " cores";
}

long residentKb() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// Converts songs into dir; the exit status.
int convert(const std::vector<std::string>& songs, const std::string& output, int jobs,
            Target target, platform::AudioRenderers* audio = nullptr) {
  render::ConversionTask task;
  task.songs = songs;
  task.output = output;
  task.jobs = jobs;
  task.settings.target = target;
  platform::posix::PosixClock wall;
  platform::posix::PosixOutputFiles files;
  Log log;
  log.startCapture();
  render::ConversionContext context{files, audio, wall, log};
  return render::runConversion(task, context);
}

// A format 1 song of about 1 MB: sixteen tracks of dense notes and controllers.
testing::Bytes bigSong() {
  std::mt19937 random(7);
  std::vector<testing::Track> tracks(17);
  tracks[0].tempo(0, 400000);
  for (int c = 0; c < 16; ++c) {
    testing::Track& t = tracks[static_cast<size_t>(c) + 1];
    const uint8_t on = static_cast<uint8_t>(0x90 | c), cc = static_cast<uint8_t>(0xB0 | c);
    while (t.bytes.size() < 64000) {
      const uint8_t key = static_cast<uint8_t>(36 + random() % 48);
      t.ev(random() % 60, {on, key, 100}).ev(random() % 60, {cc, 11, uint8_t(random() % 128)});
      t.ev(random() % 60, {on, key, 0});
    }
  }
  for (testing::Track& t : tracks) t.end();
  return testing::smf(1, 480, tracks);
}

// FluidSynth's own fast file render of a song: its player on its file renderer, as its
// command-line renderer does it, with the settings of the built-in synthesizer.
void fluidOwnRender(const std::string& song, const std::string& soundFont, const std::string& wav) {
  platform::synth::Settings settings =
      platform::synth::makeSettings(platform::ModuleConvention::gs, {});
  fluid_settings_setstr(settings.get(), "audio.file.name", wav.c_str());
  fluid_settings_setstr(settings.get(), "audio.file.type", "wav");
  fluid_settings_setstr(settings.get(), "player.timing-source", "sample");
  fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
  fluid_synth_t* synth = new_fluid_synth(settings.get());
  fluid_synth_sfload(synth, soundFont.c_str(), 1);
  fluid_player_t* player = new_fluid_player(synth);
  fluid_player_add(player, song.c_str());
  fluid_player_play(player);
  fluid_file_renderer_t* renderer = new_fluid_file_renderer(synth);
  while (fluid_player_get_status(player) == FLUID_PLAYER_PLAYING)
    if (fluid_file_renderer_process_block(renderer) != FLUID_OK) break;
  delete_fluid_file_renderer(renderer);
  delete_fluid_player(player);
  delete_fluid_synth(synth);
}

double wavSeconds(const std::string& path) {
  std::error_code error;
  return static_cast<double>(fs::file_size(path, error) - 44) / (44100.0 * 4);
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpusDir, audioSong;
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--corpus") == 0) corpusDir = argv[i + 1];
    if (std::strcmp(argv[i], "--audio") == 0) audioSong = argv[i + 1];
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
  }
  std::vector<std::string> corpus = testing::corpusSongs();
  if (!corpusDir.empty()) {
    corpus.clear();
    for (const auto& entry : fs::directory_iterator(corpusDir))
      if (entry.path().extension() == ".mid") corpus.push_back(entry.path().string());
  }
  if (audioSong.empty() && !corpus.empty())
    audioSong = fs::path(corpus.front()).parent_path() / "test-all-gm-sounds.mid";
  const std::string dir = testing::makeTempDir("tessaro-render-bench-");
  std::printf("load before: %s\n\n", loadAverage().c_str());

  double corpusTime = best(runs, [&] { convert(corpus, dir + "/corpus/", 2, Target::xg); });
  std::printf("1. %zu corpus songs to MIDI (XG), 2 threads: %.3f s (target < 0.5 s)\n",
              corpus.size(), corpusTime);

  testing::TempFile big(bigSong(), "big.mid");
  double bigTime = best(runs, [&] { convert({big.path()}, dir + "/big.mid", 1, Target::xg); });
  std::printf("2. a %.2f MB song to MIDI: %.1f ms (target < 50 ms)\n",
              static_cast<double>(fs::file_size(big.path())) / 1e6, bigTime * 1000);

  const char* soundFontChoice = std::getenv("TESSARO_SOUNDFONT");
  std::string soundFont = platform::synth::findSoundFont(soundFontChoice ? soundFontChoice : "",
                                                         platform::synth::systemSoundFontDir)
                              .path;
  const std::string fluidWav = dir + "/fluid.wav", ours = dir + "/ours.wav";
  double fluidTime = 1e9, ourTime = 1e9;
  for (int i = 0; i < std::max(2, runs / 2); ++i) {
    fluidTime =
        std::min(fluidTime, seconds([&] { fluidOwnRender(audioSong, soundFont, fluidWav); }));
    ourTime = std::min(ourTime, seconds([&] {
                         platform::synth::OfflineRenderers renderers(soundFont);
                         convert({audioSong}, ours, 1, Target::none, &renderers);
                       }));
  }
  std::printf(
      "3. %s untranslated to WAV: ours %.3f s (%.1f s of audio), FluidSynth's own %.3f s"
      " (%.1f s of audio): %.2fx (target within 1.2x)\n",
      fs::path(audioSong).filename().c_str(), ourTime, wavSeconds(ours), fluidTime,
      wavSeconds(fluidWav), ourTime / fluidTime);

  std::vector<std::string> thousand;
  for (size_t i = 0; thousand.size() < 1000; ++i) thousand.push_back(corpus[i % corpus.size()]);
  std::atomic<bool> done{false};
  std::vector<long> samples;
  std::thread sampler([&] {
    while (!done) {
      samples.push_back(residentKb());
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  long before = residentKb();
  double batchTime = seconds([&] { convert(thousand, dir + "/thousand/", 2, Target::xg); });
  done = true;
  sampler.join();
  long peak = samples.empty() ? before : *std::max_element(samples.begin(), samples.end());
  auto at = [&](double f) {
    return samples.empty() ? 0L : samples[std::min(samples.size() - 1, size_t(f * samples.size()))];
  };
  std::printf(
      "4. 1000 songs to MIDI in one batch (%.2f s): resident memory %ld kB before, "
      "%ld / %ld / %ld / %ld kB at 20/40/60/80 %% of the run, peak %ld, %ld after\n",
      batchTime, before, at(0.2), at(0.4), at(0.6), at(0.8), peak, residentKb());
  fs::remove_all(dir);
  std::printf("\nload after: %s\n", loadAverage().c_str());
  return 0;
}
