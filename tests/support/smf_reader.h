// Reads a converted MIDI file back: its header, and every event of its one track with its time,
// the bytes a sequencer playing it sends (a channel event as stored, a system exclusive with
// its 0xF0, an escape's bytes as they stand) or the meta event's type and text.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tessaro::testing {

struct FileEvent {
  uint32_t time = 0;
  int meta = -1;  // the meta event's type; -1 for bytes that go on the wire
  std::vector<uint8_t> bytes;
};

struct MidiFileRead {
  std::string problem;  // empty when the file reads as one well-formed track
  int format = -1, tracks = 0, division = 0;
  std::vector<FileEvent> events;

  std::vector<FileEvent> wire() const {
    std::vector<FileEvent> out;
    for (const FileEvent& e : events)
      if (e.meta < 0) out.push_back(e);
    return out;
  }
};

inline MidiFileRead readMidiFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  MidiFileRead file;
  size_t at = 0;
  auto need = [&](size_t n) { return at + n <= b.size(); };
  auto word = [&](size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | b[at++];
    return v;
  };
  auto quantity = [&] {
    uint32_t v = 0;
    while (need(1)) {
      uint8_t c = b[at++];
      v = v << 7 | (c & 0x7F);
      if ((c & 0x80) == 0) break;
    }
    return v;
  };
  if (!need(22) || std::string(b.begin(), b.begin() + 4) != "MThd" || (at = 4, word(4)) != 6) {
    file.problem = "no MThd header of 6 bytes";
    return file;
  }
  file.format = static_cast<int>(word(2));
  file.tracks = static_cast<int>(word(2));
  file.division = static_cast<int>(word(2));
  if (std::string(b.begin() + 14, b.begin() + 18) != "MTrk") file.problem = "no MTrk";
  at = 18;
  const uint32_t length = word(4);
  const size_t end = at + length;
  if (end != b.size())
    file.problem = "track length " + std::to_string(end) + " of " + std::to_string(b.size());
  uint32_t time = 0;
  int status = 0;
  while (file.problem.empty() && at < end) {
    time += quantity();
    FileEvent e{time, -1, {}};
    uint8_t first = b[at];
    if (first == 0xFF || first == 0xF0 || first == 0xF7) {
      ++at;
      if (first == 0xFF) e.meta = b[at++];
      uint32_t length = quantity();
      if (first == 0xF0) e.bytes.push_back(0xF0);
      if (!need(length)) file.problem = "event past the end";
      if (file.problem.empty())
        e.bytes.insert(e.bytes.end(), b.begin() + at, b.begin() + at + length);
      at += length;
      status = 0;
    } else {
      if (first >= 0x80) status = b[at];
      if (status == 0) file.problem = "data byte without a running status";
      size_t count = (first >= 0x80 ? 1 : 0) + ((status & 0xE0) == 0xC0 ? 1 : 2);
      if (!need(count)) file.problem = "event past the end";
      if (file.problem.empty()) e.bytes.assign(b.begin() + at, b.begin() + at + count);
      at += count;
    }
    file.events.push_back(e);
  }
  if (file.problem.empty() && (file.events.empty() || file.events.back().meta != 0x2F))
    file.problem = "no End of Track at the end";
  return file;
}

}  // namespace tessaro::testing
