// The built-in synthesizer without sound: which SoundFont it finds, the WAV file it writes,
// and the line a user reads when it cannot open.
#include "backends/synth/synth_device.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "backends/synth/soundfont.h"
#include "backends/synth/wav_file.h"

namespace {

namespace synth = tessaro::platform::synth;

// A fresh directory with the given files (empty) and links, removed afterwards.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/tessaro-synth-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string file(const std::string& name, const std::string& content = "") {
    std::ofstream(path_ + "/" + name) << content;
    return path_ + "/" + name;
  }
  void link(const std::string& name, const std::string& target) {
    ASSERT_EQ(symlink(target.c_str(), (path_ + "/" + name).c_str()), 0);
  }
  std::string dir(const std::string& name) {
    mkdir((path_ + "/" + name).c_str(), 0755);
    return path_ + "/" + name;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(SynthSoundFont, SearchOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> systemFiles;
    std::vector<std::pair<std::string, std::string>> systemLinks;
    std::string expected;  // file name found in the system directory, or "" for none
  };
  const Case cases[] = {
      {"default-GM.sf2 first", {"a.sf2", "default-GM.sf2"}, {}, "default-GM.sf2"},
      {"else the first .sf2 by name", {"b.sf2", "A.SF2", "notes.txt"}, {}, "A.SF2"},
      {"a default-GM.sf2 link to a present file",
       {"TimGM6mb.sf2"},
       {{"default-GM.sf2", "TimGM6mb.sf2"}},
       "default-GM.sf2"},
      {"a dangling default link is passed over",
       {"z.sf2"},
       {{"default-GM.sf2", "/nonexistent/x.sf2"}},
       "z.sf2"},
      {"nothing to play with", {"readme.txt"}, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir system;
    for (const auto& f : c.systemFiles) system.file(f);
    for (const auto& [name, target] : c.systemLinks) system.link(name, target);
    synth::SoundFontChoice choice = synth::findSoundFont("", system.path());
    if (c.expected.empty()) {
      EXPECT_EQ(choice.path, "");
      EXPECT_EQ(choice.reason, system.path() +
                                   ": no SoundFont found: install timgm6mb-soundfont or "
                                   "fluid-soundfont-gm, or set TESSARO_SOUNDFONT to a .sf2 file");
    } else {
      EXPECT_EQ(choice.path, system.path() + "/" + c.expected);
    }
  }
}

TEST(SynthSoundFont, TheUsersChoiceWinsAndIsNeverReplaced) {
  TempDir system;
  system.file("default-GM.sf2");
  TempDir user;
  std::string own = user.file("mine.sf2");
  std::string fonts = user.dir("fonts");
  user.file("fonts/b.sf2");
  user.file("fonts/a.sf2");
  std::string empty = user.dir("empty");

  EXPECT_EQ(synth::findSoundFont(own, system.path()).path, own);
  EXPECT_EQ(synth::findSoundFont(fonts, system.path()).path, fonts + "/a.sf2");

  // A choice that names nothing usable fails rather than falling back to the system's (the
  // lines printed for it are checked end to end).
  EXPECT_EQ(synth::findSoundFont(empty, system.path()).path, "");
  EXPECT_EQ(synth::findSoundFont(user.path() + "/gone.sf2", system.path()).path, "");
  // A FIFO would hold the synthesizer's reading for ever: refused at once, by the option's name.
  const std::string fifo = user.path() + "/fifo.sf2";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(synth::findSoundFont(fifo, system.path(), "--soundfont").reason,
            fifo + " (--soundfont): not a regular file");
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SynthWavFile, HeaderStatesTheLengthWhileGrowingAndAtClose) {
  TempDir dir;
  const std::string path = dir.path() + "/out.wav";
  synth::WavFile wav;
  ASSERT_TRUE(wav.open(path, 44100, 2));
  std::vector<int16_t> frames{1, -1, 0x1234, -0x1234, 32767, -32768};
  ASSERT_TRUE(wav.append(frames.data(), 3));
  wav.updateHeader();

  // Read while still open: a run cut short here leaves a file that says three frames.
  std::vector<uint8_t> early = readAll(path);
  ASSERT_EQ(early.size(), 44u + 12u);
  EXPECT_EQ(le32(early, 40), 12u);
  EXPECT_EQ(le32(early, 4), 36u + 12u);

  ASSERT_TRUE(wav.append(frames.data(), 1));
  ASSERT_TRUE(wav.close());
  std::vector<uint8_t> bytes = readAll(path);
  ASSERT_EQ(bytes.size(), 44u + 16u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(le32(bytes, 4), 36u + 16u);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(le32(bytes, 16), 16u);            // format chunk size
  EXPECT_EQ(bytes[20] | bytes[21] << 8, 1);   // PCM
  EXPECT_EQ(bytes[22] | bytes[23] << 8, 2);   // channels
  EXPECT_EQ(le32(bytes, 24), 44100u);         // frames per second
  EXPECT_EQ(le32(bytes, 28), 44100u * 4);     // bytes per second
  EXPECT_EQ(bytes[32] | bytes[33] << 8, 4);   // bytes per frame
  EXPECT_EQ(bytes[34] | bytes[35] << 8, 16);  // bits per sample
  EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
  EXPECT_EQ(le32(bytes, 40), 16u);
  // Samples little-endian, in the order given.
  const std::vector<uint8_t> samples(bytes.begin() + 44, bytes.begin() + 52);
  EXPECT_EQ(samples, (std::vector<uint8_t>{0x01, 0x00, 0xFF, 0xFF, 0x34, 0x12, 0xCC, 0xED}));
}

TEST(SynthDevice, OpenFailuresSayWhy) {
  TempDir dir;
  const std::string notAFont = dir.file("song.sf2", "this is not a SoundFont");
  const struct {
    const char* name;
    std::string soundFont, soundFontDir, wavPath;
    std::string reasonStart;
  } cases[] = {
      {"not a SoundFont", notAFont, dir.path(), dir.path() + "/out.wav",
       "no SoundFont: cannot load " + notAFont + " ("},
      {"nowhere to write the WAV file", "", synth::systemSoundFontDir, dir.path() + "/no/out.wav",
       "cannot render to WAV (TESSARO_WAV): " + dir.path() + "/no/out.wav: cannot create: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    synth::SynthOptions options;
    options.soundFont = c.soundFont;
    options.soundFontDir = c.soundFontDir;
    options.wavPath = c.wavPath;
    tessaro::platform::MidiOpenResult result = synth::openSynthesizer(std::move(options));
    EXPECT_EQ(result.device, nullptr);
    EXPECT_NE(result.error, 0u);
    EXPECT_EQ(result.reason.rfind(c.reasonStart, 0), 0u) << result.reason;
  }
}

TEST(SynthDevice, NoAudioDeviceIsReportedWithTheWayOut) {
  struct stat info {};
  if (::stat("/dev/snd", &info) == 0 || std::getenv("PULSE_SERVER") != nullptr)
    GTEST_SKIP() << "this machine may have sound";
  synth::SynthOptions options;  // the system's SoundFont, playing to the audio device
  tessaro::platform::MidiOpenResult result = synth::openSynthesizer(std::move(options));
  if (result.device) GTEST_SKIP() << "an audio device opened after all";
  EXPECT_EQ(result.reason.rfind("no audio device: ", 0), 0u) << result.reason;
  // The faster way first: a conversion, which needs no device and no real time.
  EXPECT_NE(result.reason.find("; render to a file instead: tessaro -o NAME.wav SONG.mid (faster "
                               "than real time), or TESSARO_WAV=NAME.wav tessaro SONG.mid"),
            std::string::npos)
      << result.reason;
}

}  // namespace
