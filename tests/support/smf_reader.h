// Reads a converted MIDI file back: its header, and every event of its one track with its time,
// the bytes a sequencer playing it sends (a channel event as stored, a system exclusive with
// its 0xF0, an escape's bytes as they stand) or the meta event's type and text.
#pragma once

#include <algorithm>
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
  int format = -1, division = 0;
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
  const std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), {}};
  MidiFileRead file;
  size_t at = 0;
  auto word = [&](size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n && at < b.size(); ++i) v = v << 8 | b[at++];
    return v;
  };
  auto quantity = [&] {
    uint32_t v = 0;
    while (at < b.size() && (v = v << 7 | (b[at] & 0x7F), b[at++] & 0x80)) {
    }
    return v;
  };
  const std::string tags(b.begin(), b.begin() + std::min<size_t>(b.size(), 18));
  if (b.size() < 22 || tags.substr(0, 8) != std::string("MThd\0\0\0\6", 8) ||
      tags.substr(14) != "MTrk")
    return {"no MThd header of 6 bytes and MTrk", -1, 0, {}};
  at = 8;
  file.format = static_cast<int>(word(2));
  at = 12;
  file.division = static_cast<int>(word(2));
  at = 18;
  const size_t end = word(4) + 22;
  if (end != b.size())
    file.problem = "track length " + std::to_string(end) + " of " + std::to_string(b.size());
  int status = 0;
  for (uint32_t time = 0; file.problem.empty() && at < end;) {
    time += quantity();
    FileEvent e{time, -1, {}};
    const uint8_t first = at < end ? b[at] : 0;
    size_t count = 0;
    if (first == 0xFF || first == 0xF0 || first == 0xF7) {
      e.meta = first == 0xFF ? b[++at] : -1;
      ++at;
      count = quantity();
      if (first == 0xF0) e.bytes.push_back(0xF0);
      status = 0;
    } else {
      status = first >= 0x80 ? first : status;
      count = (first >= 0x80 ? 1 : 0) + ((status & 0xE0) == 0xC0 ? 1 : 2);
      if (status == 0) file.problem = "data byte without a running status";
    }
    if (at + count > end) file.problem = "event past the end";
    if (!file.problem.empty()) break;
    e.bytes.insert(e.bytes.end(), b.begin() + long(at), b.begin() + long(at + count));
    at += count;
    file.events.push_back(e);
  }
  if (file.problem.empty() && (file.events.empty() || file.events.back().meta != 0x2F))
    file.problem = "no End of Track at the end";
  return file;
}

}  // namespace tessaro::testing
