// Writes the seed inputs of the fuzz targets into <dir>/fuzz_player, <dir>/fuzz_live,
// <dir>/fuzz_settings and <dir>/fuzz_options: small songs in the GS, SC-88, XG and GM conventions
// with resets, part messages, bank selects, programs and drums; markers, loop markers and
// repeats; long and escaped system exclusives; running status across meta events; and damaged
// files of every kind the reader refuses. Each player seed begins with the four control bytes of
// the player target. The live seeds are streams of the same conventions, with real-time bytes,
// broken and over-long messages. Further songs (the .mid files of a directory tree) may be named
// after the output directory.
//
//   make_fuzz_seeds <dir> [songs-dir]
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/smf.h"

namespace {

using tessaro::testing::Bytes;
using tessaro::testing::chunk;
using tessaro::testing::put16;
using tessaro::testing::put32;
using tessaro::testing::smf;
using tessaro::testing::Track;

// A Roland data set to device 0x10 with its checksum.
Bytes roland(uint8_t a1, uint8_t a2, uint8_t a3, std::initializer_list<uint8_t> values) {
  Bytes m{0xF0, 0x41, 0x10, 0x42, 0x12, a1, a2, a3};
  int sum = a1 + a2 + a3;
  for (uint8_t v : values) {
    m.push_back(v);
    sum += v;
  }
  m.push_back(static_cast<uint8_t>((128 - sum % 128) % 128));
  m.push_back(0xF7);
  return m;
}

// A system-exclusive event as stored: F0, the length, the bytes after F0.
Bytes sysexEvent(const Bytes& message) {
  Bytes event{0xF0};
  Bytes length = tessaro::testing::vlq(static_cast<uint32_t>(message.size() - 1));
  event.insert(event.end(), length.begin(), length.end());
  event.insert(event.end(), message.begin() + 1, message.end());
  return event;
}

Track& notes(Track& t, uint8_t channel, std::initializer_list<uint8_t> keys, uint32_t length) {
  for (uint8_t k : keys) {
    t.ev(0, {static_cast<uint8_t>(0x90 | channel), k, 100});
    t.ev(length, {static_cast<uint8_t>(0x80 | channel), k, 0});
  }
  return t;
}

Track& tone(Track& t, uint8_t channel, uint8_t msb, uint8_t lsb, uint8_t program) {
  uint8_t cc = static_cast<uint8_t>(0xB0 | channel);
  return t.ev(0, {cc, 0, msb})
      .ev(0, {cc, 32, lsb})
      .ev(0, {static_cast<uint8_t>(0xC0 | channel), program})
      .ev(0, {cc, 7, 110})
      .ev(0, {cc, 91, 40})
      .ev(0, {cc, 93, 10});
}

Bytes gsSong(bool sc88) {
  Track t;
  t.tempo(0, 400000);
  t.raw(0, sysexEvent(roland(0x40, 0x00, 0x7F, {0x00})));            // GS Reset
  if (sc88) t.raw(0, sysexEvent(roland(0x00, 0x00, 0x7F, {0x01})));  // SC-88 mode 2
  t.raw(10, sysexEvent(roland(0x40, 0x1A, 0x15, {0x02})));           // part 11 a second rhythm part
  t.raw(0, sysexEvent(roland(0x40, 0x11, 0x15, {0x01})));            // part 2 a rhythm part
  t.raw(0, sysexEvent(roland(0x40, 0x01, 0x30, {0x04})));            // reverb macro
  t.raw(0, sysexEvent(roland(0x40, 0x41, 0x02, {0x50})));            // part 2 volume
  t.raw(0, sysexEvent(roland(0x40, 0x00, 0x00, {0x00, 0x04, 0x00, 0x00})));  // master tune
  t.raw(0, sysexEvent(roland(0x40, 0x00, 0x04, {0x64})));                    // master volume
  t.raw(0, sysexEvent(roland(0x40, 0x00, 0x05, {0x42})));                    // key shift
  t.raw(0, sysexEvent(roland(0x40, 0x13, 0x1C, {0x20})));                    // part 4 pan
  t.raw(0, sysexEvent(roland(0x20, 0x10, 0x05, {0x10})));                    // user tone
  t.raw(0, sysexEvent(roland(0x21, 0x11, 0x24, {0x30})));                    // user drum
  tone(t, 0, 8, 0, 25);
  tone(t, 1, 0, 0, 16);
  tone(t, 9, 0, 0, 25);
  tone(t, 10, 0, 0, 48);
  tone(t, 3, 16, 2, 81);
  notes(t, 0, {60, 64, 67}, 48);
  notes(t, 9, {35, 38, 42, 46, 49}, 24);
  notes(t, 10, {36, 40}, 24);
  notes(t, 1, {38}, 24);
  t.ev(0, {0xB0, 121, 0}).ev(0, {0xE0, 0x00, 0x50}).ev(5, {0xE0, 0x00, 0x40});
  notes(t, 3, {72}, 96);
  return smf(0, 96, {t.end()});
}

Bytes xgSong() {
  Track t;
  t.raw(0, sysexEvent({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}));
  t.raw(0, sysexEvent({0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x01, 0xF7}));
  t.raw(0, sysexEvent({0xF0, 0x43, 0x10, 0x4C, 0x08, 0x01, 0x07, 0x02, 0xF7}));
  tone(t, 0, 0, 1, 4);
  tone(t, 1, 127, 0, 0);
  tone(t, 2, 126, 0, 0);
  tone(t, 3, 64, 0, 3);
  notes(t, 0, {48, 55}, 30);
  notes(t, 1, {36, 38}, 30);
  notes(t, 9, {42}, 30);
  return smf(0, 120, {t.end()});
}

Bytes gmSong() {
  Track conductor;
  conductor.tempo(0, 600000).ev(0, {0xFF, 0x58, 0x04, 3, 2, 24, 8}).tempo(192, 300000).end(96);
  Track music;
  music.raw(0, sysexEvent({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  tone(music, 2, 0, 0, 73);
  notes(music, 2, {72, 74, 76, 77, 79}, 48);
  notes(music, 9, {36, 38}, 48);
  Track drums;
  drums.ev(0, {0x99, 36, 90}).ev(0, {42, 80}).ev(48, {36, 0}).ev(0, {42, 0});
  return smf(1, 96, {conductor.end(), music.end(), drums.end()});
}

// Repeats: a REPEAT with a count, a MARK, JUMPs, in one track and across two tracks.
Bytes markerSong(const std::string& first, const std::string& second) {
  Track t;
  t.ev(0, {0xC0, 1});
  notes(t, 0, {60}, 24);
  t.text(0, first);
  notes(t, 0, {62, 64}, 24);
  t.text(0, second);
  notes(t, 0, {65}, 24);
  Track other;
  other.text(30, "MARK");
  notes(other, 1, {48}, 60);
  other.text(0, "JUMP");
  return smf(1, 48, {t.end(), other.end()});
}

// Loops: controller 111 as the loop start with the song's end as its end, or loopStart and
// loopEnd marker events; controllers, programs and bends that change inside the loop, and
// notes held across its end and across tracks.
Bytes loopSong(bool markers) {
  Track t;
  tone(t, 0, 0, 0, 4);
  notes(t, 0, {48}, 24);
  if (markers) {
    t.text(0, "loopStart", 0x06);
  } else {
    t.ev(0, {0xB3, 111, 0});
  }
  t.ev(0, {0x90, 60, 100}).ev(12, {0xC0, 9}).ev(0, {0xB0, 7, 80}).ev(0, {0xE0, 0x00, 0x50});
  t.ev(0, {0xB0, 121, 0});
  if (markers) t.text(12, "LOOPEND");
  t.ev(0, {0x80, 60, 0});
  notes(t, 0, {64}, 12);
  Track other;
  other.ev(24, {0x91, 50, 100});
  notes(other, 1, {52}, 30);
  other.ev(0, {0x81, 50, 0});
  return smf(1, 48, {t.end(), other.end()});
}

Bytes longSysexSong(size_t length) {
  Bytes message{0xF0, 0x43, 0x10, 0x4C, 0x08, 0x00, 0x00};
  for (size_t i = 0; message.size() < length; ++i)
    message.push_back(static_cast<uint8_t>(i & 0x7F));
  message.push_back(0xF7);
  Track t;
  t.raw(0, sysexEvent(message));
  notes(t, 0, {60}, 10);
  t.raw(0, sysexEvent(roland(0x40, 0x00, 0x7F, {0x00})));
  return smf(0, 96, {t.end()});
}

// Running status that resumes after meta events and system exclusives.
Bytes runningStatusSong() {
  Track t;
  t.ev(0, {0x90, 60, 100});
  t.text(0, "lyric", 0x05);
  t.ev(10, {62, 100});
  t.tempo(0, 450000);
  t.ev(10, {60, 0});
  t.raw(0, sysexEvent({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  t.ev(5, {62, 0});
  t.ev(0, {0xB3, 7, 90}).ev(0, {10, 30}).text(0, "x").ev(0, {11, 100});
  return smf(0, 96, {t.end()});
}

// Escape events: a split system exclusive, a note and a real-time byte sent raw.
Bytes escapeSong() {
  Track t;
  t.ev(0, {0xF0, 0x03, 0x43, 0x12, 0x00});
  t.ev(10, {0xF7, 0x04, 0x43, 0x12, 0x00, 0xF7});
  t.ev(0, {0xF7, 0x03, 0x90, 0x3C, 0x40});
  t.ev(20, {0xF7, 0x03, 0x80, 0x3C, 0x00});
  t.ev(0, {0xF7, 0x01, 0xF8});
  notes(t, 0, {60}, 10);
  return smf(0, 96, {t.end()});
}

Bytes withXf(Bytes song) {
  Bytes info{'i', 'n', 'f', 'o'};
  Bytes xfih = chunk("XFIH", info);
  Track karaoke;
  karaoke.text(0, "la", 0x05).end();
  Bytes xfkm = chunk("XFKM", karaoke.bytes);
  song.insert(song.end(), xfih.begin(), xfih.end());
  song.insert(song.end(), xfkm.begin(), xfkm.end());
  return song;
}

Bytes header(int format, int tracks, int division, uint32_t length = 6) {
  Bytes out{'M', 'T', 'h', 'd'};
  put32(out, length);
  put16(out, static_cast<uint32_t>(format));
  put16(out, static_cast<uint32_t>(tracks));
  put16(out, static_cast<uint32_t>(division));
  for (uint32_t i = 6; i < length; ++i) out.push_back(0);
  return out;
}

Bytes plus(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Seed {
  std::string name;
  Bytes bytes;
};

std::vector<Seed> playerSongs() {
  Track simple;
  notes(simple, 0, {60, 62}, 12);
  simple.end();
  Bytes plain = smf(0, 96, {simple});
  Bytes cut = plain;
  cut.resize(cut.size() - 5);
  Bytes badLength = plain;
  badLength[21] = 0x40;  // the track's length word says more than the file holds
  Track noEnd;
  noEnd.ev(0, {0x90, 60, 100}).ev(10, {0x80, 60, 0});
  Track badMeta;
  badMeta.ev(0, {0x90, 60, 100}).ev(0, {0xFF, 0x51, 0x02, 0x07, 0xA1}).end();
  Track badSysex;
  badSysex.ev(0, {0x90, 61, 100}).ev(0, {0xF0, 0x05, 0x41, 0x10, 0xF7}).end();
  Track noStatus;
  noStatus.ev(0, {0x3C, 0x40})
      .ev(0, {0x90, 0x3C, 0x40})
      .ev(0, {0xFF, 0x01, 0x00})
      .ev(4, {0x3C, 0})
      .end();
  Track overrun;
  overrun.ev(0, {0x90, 60, 100}).ev(0, {0xFF, 0x2F, 0x00});
  overrun.bytes.insert(overrun.bytes.end(), {0x00, 0x90});
  Track escapeOverrun;  // an escape event whose length runs past its track's end
  escapeOverrun.ev(0, {0xF7, 0x40, 0x41}).end();
  Track highData;
  highData.ev(0, {0x90, 0x3C, 0xC0}).ev(0, {0xB0, 0x87, 0x10}).end();
  Track slow;
  slow.tempo(0, 0xFFFFFF).ev(0, {0x90, 60, 100}).ev(0x0FFFFFFF, {0x80, 60, 0}).end();
  Track manySetup;
  for (int i = 0; i < 200; ++i) manySetup.ev(0, {0xB0, 7, static_cast<uint8_t>(i & 0x7F)});
  manySetup.ev(0, {0x90, 60, 100}).end(100);

  Bytes foreign = plus(header(1, 2, 96), chunk("XYZW", {1, 2, 3}));
  foreign = plus(foreign, chunk("MTrk", simple.bytes));
  foreign = plus(foreign, chunk("MTrk", simple.bytes));

  std::vector<Seed> songs = {
      {"gs", gsSong(false)},
      {"sc88", gsSong(true)},
      {"xg", xgSong()},
      {"gm", gmSong()},
      {"repeat", markerSong("REPEAT 2", "JUMP")},
      {"mark", markerSong("MARK3", "jump")},
      {"repeat-no-count", markerSong("repeat", "JUMP")},
      {"loop-controller", loopSong(false)},
      {"loop-markers", loopSong(true)},
      {"long-sysex", longSysexSong(1500)},
      {"sysex-1024", longSysexSong(1024)},
      {"running-status", runningStatusSong()},
      {"escape", escapeSong()},
      {"xf", withXf(gmSong())},
      {"plain", plain},
      {"cut-track", cut},
      {"bad-track-length", badLength},
      {"division-0", smf(0, 0, {simple})},
      {"smpte-division", smf(0, 0xE728, {simple})},
      {"missing-mtrk", header(1, 3, 96)},
      {"foreign-chunk", foreign},
      {"long-header", plus(header(0, 1, 96, 10), chunk("MTrk", simple.bytes))},
      {"no-end-of-track", smf(0, 96, {noEnd})},
      {"bad-tempo-length", smf(0, 96, {badMeta})},
      {"bad-sysex-length", smf(0, 96, {badSysex})},
      {"data-without-status", smf(0, 96, {noStatus})},
      {"overrun", smf(1, 96, {overrun, simple})},
      {"escape-overrun", smf(1, 96, {escapeOverrun, simple})},
      {"high-data-bytes", smf(0, 96, {highData})},
      {"slow-tempo", smf(0, 1, {slow})},
      {"set-up", smf(0, 96, {manySetup})},
      {"riff", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'R', 'M', 'I', 'D'}},
  };
  return songs;
}

// Byte streams as a live input sends them, each after its two control bytes (target and
// declared convention; how the stream is cut into reads).
std::vector<Seed> liveStreams() {
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const Bytes notes{0x90, 0x3C, 0x64, 0x40, 0x64, 0x43, 0x64, 0x3C, 0x00, 0x40, 0x00,
                    0x99, 0x24, 0x70, 0x26, 0x70, 0x89, 0x24, 0x00, 0x26, 0x00};
  const Bytes tones{0xB0, 0x00, 0x08, 0x20, 0x00, 0xC0, 0x19, 0xB1, 0x07, 0x60, 0xC1, 0x30};
  Bytes gs = cat({roland(0x40, 0x00, 0x7F, {0x00}), roland(0x40, 0x11, 0x15, {0x01}),
                  roland(0x40, 0x00, 0x04, {0x64}), roland(0x40, 0x13, 0x1C, {0x20}),
                  roland(0x20, 0x12, 0x05, {0x30}), tones, notes});
  Bytes sc88 = cat({roland(0x00, 0x00, 0x7F, {0x00}), roland(0x40, 0x1A, 0x15, {0x02}), notes});
  Bytes xg = cat({{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, tones, notes});
  Bytes realTime{0xF8, 0x90, 0xF8, 0x3C, 0xFE, 0x64, 0xFA, 0xF0, 0x7E, 0xF8,
                 0x7F, 0x09, 0x01, 0xF7, 0xFC, 0x80, 0x3C, 0xFF, 0x00};
  Bytes broken{0x3C, 0x40, 0xF0, 0x41, 0x10, 0x90, 0x3C, 0x40, 0xF7, 0x3E, 0xF1, 0x10,
               0xF2, 0x01, 0x02, 0xF3, 0x05, 0xF6, 0xF4, 0xF5, 0xF9, 0xFD, 0x91, 0x3C};
  Bytes long64k{0xF0, 0x7D};
  long64k.resize(70000, 0x11);
  long64k.push_back(0xF7);
  long64k.insert(long64k.end(), notes.begin(), notes.end());
  return {
      {"gs", cat({{0x00, 0x05}, gs})},
      {"gs-to-gm", cat({{0x01, 0x17}, gs})},
      {"gs-declared", cat({{0x04, 0x33}, notes})},
      {"sc88", cat({{0x08, 0x02}, sc88})},
      {"xg-to-gm", cat({{0x01, 0x40}, xg})},
      {"gm-declared", cat({{0x10, 0x09}, notes})},
      {"real-time", cat({{0x02, 0x01}, realTime})},
      {"broken", cat({{0x00, 0x77}, broken})},
      {"long-sysex", cat({{0x02, 0x10}, long64k})},
  };
}

void write(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes textBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds <dir> [songs-dir]\n");
    return 2;
  }
  std::filesystem::path root(argv[1]);
  std::filesystem::create_directories(root / "fuzz_player");
  std::filesystem::create_directories(root / "fuzz_settings");
  std::filesystem::create_directories(root / "fuzz_options");
  std::filesystem::create_directories(root / "fuzz_live");
  for (const Seed& stream : liveStreams())
    write(root / "fuzz_live" / (stream.name + ".bin"), stream.bytes);

  // Control bytes: target, device, fade, repeat; start position; volume; stop time.
  const Bytes controls[] = {
      {0x00, 0x00, 0x00, 0x00}, {0x01, 0x00, 0x00, 0x00}, {0x02, 0x00, 0x00, 0x00},
      {0x04, 0x00, 0x00, 0x00}, {0x18, 0x21, 0x10, 0x00}, {0x25, 0x00, 0xF0, 0x05},
  };
  std::vector<Seed> songs = playerSongs();
  if (argc > 2 && std::filesystem::is_directory(argv[2])) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[2])) {
      if (entry.path().extension() != ".mid") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      songs.push_back({entry.path().stem().string(), Bytes(std::istreambuf_iterator<char>(in),
                                                           std::istreambuf_iterator<char>())});
    }
  }
  size_t index = 0;
  for (const Seed& song : songs) {
    const Bytes& control = controls[index++ % std::size(controls)];
    write(root / "fuzz_player" / (song.name + ".bin"), plus(control, song.bytes));
  }
  // The loops once more with repeats to play.
  for (const char* name : {"loop-controller", "loop-markers"}) {
    for (const Seed& song : songs) {
      if (song.name == name)
        write(root / "fuzz_player" / (song.name + "-repeats.bin"),
              plus({0x20, 0, 0, 0}, song.bytes));
    }
  }
  // The first few songs once more under every control setting.
  for (size_t c = 0; c < std::size(controls); ++c) {
    for (size_t s = 0; s < 5; ++s)
      write(root / "fuzz_player" / (songs[s].name + "-" + std::to_string(c) + ".bin"),
            plus(controls[c], songs[s].bytes));
  }

  const char* settings[] = {
      "' settings\r\n/xg /v-10 /f200 /s4 /c150\r\nsong.mid\r\nother.MID ; comment\r\n",
      "/gm\n/@3 /.2 /&5\n/#F0 /#7E /#7F /#09 /#01 /#F7\n\"name with space.mid\"\n",
      "/nc /com2 /so\n/* block\ncomment */ a.mid b.txt c.mid\n# line\n/vol+20\n",
      "/nx\n/1234567 /#1234567 /@999999\n\x81\x40\x83\x5C.mid\n",
      "\xEF\xBB\xBFsong\xE3\x81\x82.mid,next.mid;last.mid\x1A trailing\n",
      "/f0 /s /c0 /c-5 /v /@- /&-3 //comment\n-xg -com\n",
  };
  index = 0;
  for (const char* text : settings)
    write(root / "fuzz_settings" / ("settings-" + std::to_string(index++) + ".ini"),
          textBytes(text));
  std::string many;
  for (int i = 0; i < 120; ++i) many += "song" + std::to_string(i) + ".mid\n";
  write(root / "fuzz_settings" / "many-files.ini", textBytes(many));

  const std::vector<std::string> commandLines[] = {
      {"/xg", "song.mid", "/v-20", "/f150"},
      {"/gm", "@4", ".2", "&3", "#F0", "#41", "#F7", "a.mid"},
      {"/com1", "/nc", "/s5", "/c100", "/so", "/3"},
      {"/?"},
      {"/nx", "/fe", "-x", "$y", "/tmp/a.mid", "/V2147483648", "@-5", "&99999999999"},
  };
  index = 0;
  for (const auto& words : commandLines) {
    Bytes bytes;
    for (const std::string& w : words) {
      bytes.insert(bytes.end(), w.begin(), w.end());
      bytes.push_back(0);
    }
    write(root / "fuzz_options" / ("options-" + std::to_string(index++) + ".bin"), bytes);
  }
  std::string manyWords;
  for (int i = 0; i < 110; ++i) manyWords += "f" + std::to_string(i) + ".mid ";
  write(root / "fuzz_options" / "many-files.txt", textBytes(manyWords));
  return 0;
}
