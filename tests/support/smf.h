// Builds Standard MIDI Files in memory for tests: tracks from (delta, bytes) events, the
// header, and a temporary file to load them from.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tessaro::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes vlq(uint32_t value) {
  Bytes out{static_cast<uint8_t>(value & 0x7F)};
  while ((value >>= 7) != 0) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
  return out;
}

struct Track {
  Bytes bytes;
  // An event: its delta time, then its bytes as stored (status optional under running status).
  Track& ev(uint32_t delta, std::initializer_list<uint8_t> event) {
    return raw(delta, Bytes(event));
  }
  Track& raw(uint32_t delta, const Bytes& event) {
    Bytes d = vlq(delta);
    bytes.insert(bytes.end(), d.begin(), d.end());
    bytes.insert(bytes.end(), event.begin(), event.end());
    return *this;
  }
  Track& text(uint32_t delta, const std::string& text, uint8_t type = 0x01) {
    Bytes event{0xFF, type};
    Bytes length = vlq(static_cast<uint32_t>(text.size()));
    event.insert(event.end(), length.begin(), length.end());
    event.insert(event.end(), text.begin(), text.end());
    return raw(delta, event);
  }
  Track& tempo(uint32_t delta, uint32_t usPerQuarter) {
    return ev(delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(usPerQuarter >> 16),
                      static_cast<uint8_t>(usPerQuarter >> 8), static_cast<uint8_t>(usPerQuarter)});
  }
  Track& end(uint32_t delta = 0) { return ev(delta, {0xFF, 0x2F, 0x00}); }
};

inline void put32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
inline void put16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

inline Bytes chunk(const char* tag, const Bytes& body) {
  Bytes out(tag, tag + 4);
  put32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline Bytes smf(int format, int division, const std::vector<Track>& tracks) {
  Bytes header;
  put16(header, static_cast<uint32_t>(format));
  put16(header, static_cast<uint32_t>(tracks.size()));
  put16(header, static_cast<uint32_t>(division));
  Bytes out = chunk("MThd", header);
  for (const Track& t : tracks) {
    Bytes c = chunk("MTrk", t.bytes);
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

// A file in a fresh temporary directory, removed when the object goes.
class TempFile {
 public:
  explicit TempFile(const Bytes& bytes, const std::string& name = "song.mid") {
    dir_ = makeTempDir("tessaro-test-");
    path_ = dir_ + "/" + name;
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f != nullptr) {
      if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
  }
  ~TempFile() {
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
  }
  const std::string& path() const { return path_; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::string path_;
};

}  // namespace tessaro::testing
