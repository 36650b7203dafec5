// Writes the demo song examples/demo-gs.mid: about twenty seconds in the GS convention, so that
// the default translation for XG is heard at once. It begins with a GS Reset, makes part 11 a
// second rhythm part, and plays GS variation tones (bank select MSB 8) with drums.
//
// Usage: make_demo_song [output path]   (default examples/demo-gs.mid)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t beat = 480;  // ticks per quarter note
constexpr uint32_t bar = 4 * beat;
constexpr uint32_t lead = beat;  // the set-up beat before the music

// GS data set to device 0x10 with its checksum.
Bytes gsDataSet(uint8_t a1, uint8_t a2, uint8_t a3, uint8_t value) {
  const int sum = a1 + a2 + a3 + value;
  const uint8_t checksum = static_cast<uint8_t>((128 - sum % 128) % 128);
  return {0xF0, 0x41, 0x10, 0x42, 0x12, a1, a2, a3, value, checksum, 0xF7};
}

class TrackBuilder {
 public:
  void at(uint32_t tick, Bytes bytes) { events_.push_back({tick, 1, std::move(bytes)}); }
  void text(uint32_t tick, uint8_t type, const std::string& text) {
    Bytes event{0xFF, type, static_cast<uint8_t>(text.size())};
    event.insert(event.end(), text.begin(), text.end());
    at(tick, event);
  }
  // A tone: bank select MSB (GS variation number), LSB 0, program, volume, pan, effects.
  void voice(uint32_t tick, uint8_t ch, uint8_t msb, uint8_t program, uint8_t volume, uint8_t pan,
             uint8_t reverb, uint8_t chorus) {
    const auto cc = [&](uint8_t number, uint8_t value) {
      at(tick, {static_cast<uint8_t>(0xB0 | ch), number, value});
    };
    cc(0, msb);
    cc(32, 0);
    at(tick, {static_cast<uint8_t>(0xC0 | ch), program});
    cc(7, volume);
    cc(10, pan);
    cc(91, reverb);
    cc(93, chorus);
  }
  void note(uint32_t tick, uint8_t ch, uint8_t key, uint8_t velocity, uint32_t length) {
    at(tick, {static_cast<uint8_t>(0x90 | ch), key, velocity});
    // Note-offs sort before anything else at their tick, so a repeated key restarts cleanly.
    events_.push_back({tick + length, 0, {static_cast<uint8_t>(0x80 | ch), key, 0}});
  }
  void chord(uint32_t tick, uint8_t ch, const std::vector<uint8_t>& keys, uint8_t velocity,
             uint32_t length) {
    for (uint8_t key : keys) note(tick, ch, key, velocity, length);
  }

  // The track chunk: events in time order, delta times, running status left out.
  Bytes chunk() {
    std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) {
      return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    Bytes body;
    uint32_t now = 0;
    uint8_t status = 0;
    for (const Event& e : events_) {
      putVlq(body, e.tick - now);
      now = e.tick;
      const bool channel = e.bytes[0] < 0xF0;
      const bool running = channel && e.bytes[0] == status;
      if (e.bytes[0] == 0xF0) {
        // System exclusive: F0, the length of the rest, the rest.
        body.push_back(0xF0);
        putVlq(body, static_cast<uint32_t>(e.bytes.size() - 1));
        body.insert(body.end(), e.bytes.begin() + 1, e.bytes.end());
      } else {
        body.insert(body.end(), e.bytes.begin() + (running ? 1 : 0), e.bytes.end());
      }
      status = channel ? e.bytes[0] : 0;
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes out{'M', 'T', 'r', 'k'};
    put32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
  }

  static void put32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
  }

 private:
  struct Event {
    uint32_t tick;
    int order;
    Bytes bytes;
  };
  static void putVlq(Bytes& out, uint32_t value) {
    Bytes reversed{static_cast<uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) reversed.push_back(static_cast<uint8_t>(0x80 | (value & 0x7F)));
    out.insert(out.end(), reversed.rbegin(), reversed.rend());
  }
  std::vector<Event> events_;
};

// Channels (0-based) and the tones on them.
constexpr uint8_t guitar = 0;   // 12-string guitar: Steel-str.Gt. variation 8
constexpr uint8_t bass = 1;     // Fingered Bass
constexpr uint8_t piano = 2;    // Detuned EP 1: E.Piano 1 variation 8
constexpr uint8_t strings = 3;  // Orchestra: Strings variation 8
constexpr uint8_t flute = 4;    // Flute
constexpr uint8_t drums = 9;    // part 10: drums, Standard set
constexpr uint8_t hands = 10;   // part 11: made a rhythm part for hand percussion

struct Chord {
  uint8_t root;               // bass note
  std::vector<uint8_t> keys;  // voicing around middle C
};

// C, Am, F, G, C, Am, Dm, G, F, G, then C held to the end.
const std::vector<Chord> progression = {
    {36, {60, 64, 67}}, {45, {60, 64, 69}}, {41, {60, 65, 69}},     {43, {59, 62, 67}},
    {36, {60, 64, 67}}, {45, {60, 64, 69}}, {38, {62, 65, 69}},     {43, {59, 62, 67}},
    {41, {60, 65, 69}}, {43, {59, 62, 67}}, {36, {60, 64, 67, 72}},
};

void conductor(TrackBuilder& t) {
  t.text(0, 0x03, "Tessaro demo (GS)");
  t.at(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});  // 120 beats a minute
  t.at(0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
  t.at(0, gsDataSet(0x40, 0x00, 0x7F, 0x00));         // GS Reset
  t.at(beat / 4, gsDataSet(0x40, 0x1A, 0x15, 0x02));  // part 11: rhythm part, map 2
}

void voices(TrackBuilder& t) {
  const uint32_t at = beat / 2;  // after the GS Reset has settled
  t.voice(at, guitar, 8, 25, 80, 40, 50, 40);
  t.voice(at, bass, 0, 33, 105, 64, 20, 0);
  t.voice(at, piano, 8, 4, 85, 88, 60, 60);
  t.voice(at, strings, 8, 48, 70, 64, 90, 30);
  t.voice(at, flute, 0, 73, 95, 72, 70, 20);
  t.voice(at, drums, 0, 0, 110, 64, 40, 0);
  t.voice(at, hands, 0, 0, 90, 90, 40, 0);
}

void harmony(TrackBuilder& t) {
  for (size_t b = 0; b < progression.size(); ++b) {
    const Chord& c = progression[b];
    const uint32_t start = lead + static_cast<uint32_t>(b) * bar;
    const bool last = b + 1 == progression.size();
    if (last) {
      for (uint8_t ch : {guitar, piano, strings}) t.chord(start, ch, c.keys, 80, 2 * beat);
      t.note(start, bass, c.root, 110, 2 * beat);
      continue;
    }
    // Electric piano on beats 1 and 3, the guitar strumming off-beats from bar 3, strings
    // holding the chord from bar 3, the bass in eighths.
    t.chord(start, piano, c.keys, 72, beat * 3 / 2);
    t.chord(start + 2 * beat, piano, c.keys, 64, beat * 3 / 2);
    if (b >= 2) {
      for (uint32_t k = 0; k < 4; ++k) {
        std::vector<uint8_t> strum;
        for (uint8_t key : c.keys) strum.push_back(static_cast<uint8_t>(key - 12));
        t.chord(start + k * beat + beat / 2, guitar, strum, k % 2 == 0 ? 70 : 58, beat / 3);
      }
      t.chord(start, strings, c.keys, 55, bar);
    }
    for (uint32_t e = 0; e < 8; ++e) {
      const uint8_t key = e == 6 ? static_cast<uint8_t>(c.root + 7) : c.root;
      t.note(start + e * beat / 2, bass, key, e % 2 == 0 ? 100 : 80, beat / 2 - 40);
    }
  }
}

void melody(TrackBuilder& t) {
  struct Tone {
    uint8_t key;
    uint32_t beats;
  };
  // Bar 5 to the end.
  const std::vector<Tone> tune = {
      {76, 1}, {79, 1}, {84, 2}, {83, 1}, {81, 1}, {76, 2}, {77, 1}, {81, 1}, {86, 1}, {84, 1},
      {83, 1}, {79, 1}, {74, 2}, {81, 2}, {77, 1}, {79, 1}, {79, 2}, {74, 1}, {71, 1}, {72, 2},
  };
  uint32_t at = lead + 4 * bar;
  for (const Tone& tone : tune) {
    t.note(at, flute, tone.key, 96, tone.beats * beat - 30);
    at += tone.beats * beat;
  }
}

void rhythm(TrackBuilder& t) {
  constexpr uint8_t kick = 36, snare = 38, closedHat = 42, crash = 49;
  constexpr uint8_t tambourine = 54, highConga = 62, lowConga = 64;
  const uint32_t bars = static_cast<uint32_t>(progression.size()) - 1;
  for (uint32_t b = 0; b < bars; ++b) {
    const uint32_t start = lead + b * bar;
    const bool full = b >= 2;
    if (b == 2 || b == 4) t.note(start, drums, crash, 100, beat);
    for (uint32_t e = 0; e < 8; ++e) {
      t.note(start + e * beat / 2, drums, closedHat, e % 2 == 0 ? 90 : 60, beat / 4);
    }
    if (full) {
      for (uint32_t k : {0u, 2u}) t.note(start + k * beat, drums, kick, 110, beat / 4);
      t.note(start + 2 * beat + beat / 2, drums, kick, 80, beat / 4);
      for (uint32_t k : {1u, 3u}) t.note(start + k * beat, drums, snare, 100, beat / 4);
      // The second rhythm part: tambourine on the off-beats, congas answering.
      for (uint32_t k = 0; k < 4; ++k)
        t.note(start + k * beat + beat / 2, hands, tambourine, 70, beat / 4);
      t.note(start + beat, hands, highConga, 85, beat / 4);
      t.note(start + 3 * beat, hands, lowConga, 85, beat / 4);
      t.note(start + 3 * beat + beat / 2, hands, highConga, 70, beat / 4);
    }
  }
  const uint32_t end = lead + bars * bar;
  t.note(end, drums, crash, 110, 2 * beat);
  t.note(end, drums, kick, 110, beat / 4);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "examples/demo-gs.mid";
  std::vector<TrackBuilder> tracks(4);
  conductor(tracks[0]);
  voices(tracks[1]);
  harmony(tracks[1]);
  melody(tracks[2]);
  rhythm(tracks[3]);
  // The last chord rings for two beats before the song ends.
  const uint32_t end = lead + static_cast<uint32_t>(progression.size() - 1) * bar + 2 * beat;
  tracks[0].text(end, 0x01, "end");

  Bytes file{'M',
             'T',
             'h',
             'd',
             0,
             0,
             0,
             6,
             0,
             1,
             0,
             static_cast<uint8_t>(tracks.size()),
             static_cast<uint8_t>(beat >> 8),
             static_cast<uint8_t>(beat & 0xFF)};
  for (TrackBuilder& t : tracks) {
    Bytes chunk = t.chunk();
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
    std::perror(path.c_str());
    return 1;
  }
  std::fclose(out);
  std::printf("%s: %zu bytes\n", path.c_str(), file.size());
  return 0;
}
