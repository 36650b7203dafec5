// The built-in synthesizer rendering into a WAV file in real time, driven from another thread
// as the player drives it: each note lands in the file at the moment it was sent.
#include <time.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "backends/synth/synth_device.h"
#include "support/wav_reader.h"

namespace {

namespace synth = tessaro::platform::synth;

int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

TEST(SynthRender, NotesLandInTheFileWhenTheyWereSent) {
  char dir[] = "/tmp/tessaro-render-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/out.wav";

  synth::SynthOptions options;
  options.wavPath = path;
  tessaro::platform::MidiOpenResult opened = synth::openSynthesizer(std::move(options));
  ASSERT_NE(opened.device, nullptr) << opened.reason;
  const int64_t origin = synth::wavTimeOrigin(*opened.device);
  ASSERT_GT(origin, 0);

  int64_t sentNs[2] = {};
  // Sent from a thread of its own, as the player thread sends; the first note with its status,
  // the second in running status.
  std::thread player([&] {
    using namespace std::chrono_literals;
    std::this_thread::sleep_for(300ms);
    sentNs[0] = monotonicNs();
    opened.device->shortMessage(0x643C90);
    std::this_thread::sleep_for(200ms);
    opened.device->shortMessage(0x003C);
    std::this_thread::sleep_for(500ms);
    sentNs[1] = monotonicNs();
    opened.device->shortMessage(0x6443);
    std::this_thread::sleep_for(200ms);
    opened.device->shortMessage(0x0043);
    std::this_thread::sleep_for(300ms);
  });
  player.join();
  const int64_t closedNs = monotonicNs();
  opened.device.reset();

  tessaro::testing::WavSound wav = tessaro::testing::readWav(path);
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  ASSERT_EQ(wav.problem, "");
  EXPECT_EQ(wav.rate, synth::sampleRate);
  EXPECT_EQ(wav.channels, 2);
  // The file runs from the open to the close, as real time passed.
  const double expected = double(closedNs - origin) / 1e9;
  EXPECT_NEAR(wav.seconds(), expected, 0.1);

  // Near-silence (dither only) until the first note; each note starts within a few
  // milliseconds of the moment it was sent, however the render thread was scheduled.
  const int audible = 300;
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const double sent = double(sentNs[i] - origin) / 1e9;
    const size_t searchFrom = i == 0 ? 0 : wav.frameAt(sent - 0.2);
    const size_t onset = wav.firstAbove(audible, searchFrom);
    EXPECT_GE(onset, wav.frameAt(sent));
    EXPECT_LE(onset, wav.frameAt(sent + 0.02));
    EXPECT_GT(wav.rms(sent + 0.02, sent + 0.15), 300.0);
  }
  EXPECT_LT(wav.rms(0, double(sentNs[0] - origin) / 1e9), 2.0);
}

// The conversion options change the convention between direct bytes and the first song; the
// port's running status must still hold on the far side.
TEST(SynthRender, ChangingTheConventionKeepsRunningStatus) {
  char dir[] = "/tmp/tessaro-render-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/out.wav";
  synth::SynthOptions options;
  options.wavPath = path;
  tessaro::platform::MidiOpenResult opened = synth::openSynthesizer(std::move(options));
  ASSERT_NE(opened.device, nullptr) << opened.reason;

  const uint8_t status[] = {0x90};  // a direct byte: the status alone
  opened.device->sendLong(status, 1);
  opened.device->setConvention(tessaro::platform::ModuleConvention::gs);
  opened.device->shortMessage(0x643C);  // running status: key 60, velocity 100
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  opened.device.reset();

  tessaro::testing::WavSound wav = tessaro::testing::readWav(path);
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  ASSERT_EQ(wav.problem, "");
  EXPECT_GT(wav.rms(0, wav.seconds()), 300.0);
}

// The rate the user chose is the rate of the recording: the file runs as long as real time did.
TEST(SynthRender, TheUsersRateIsTheRecordingsRate) {
  char dir[] = "/tmp/tessaro-render-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/out.wav";
  synth::SynthOptions options;
  options.wavPath = path;
  options.sampleRate = 22050;
  tessaro::platform::MidiOpenResult opened = synth::openSynthesizer(std::move(options));
  ASSERT_NE(opened.device, nullptr) << opened.reason;
  const int64_t origin = synth::wavTimeOrigin(*opened.device);
  opened.device->shortMessage(0x643C90);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int64_t closedNs = monotonicNs();
  opened.device.reset();

  tessaro::testing::WavSound wav = tessaro::testing::readWav(path);
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  ASSERT_EQ(wav.problem, "");
  EXPECT_EQ(wav.rate, 22050);
  EXPECT_NEAR(wav.seconds(), double(closedNs - origin) / 1e9, 0.1);
  EXPECT_GT(wav.rms(0, wav.seconds()), 300.0);
}

}  // namespace
