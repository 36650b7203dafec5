#include "player/track_walk.h"

#include <algorithm>

#include "stage/translation_stage.h"

namespace tessaro {

namespace {

// The meta events whose length the player checks, and the length they must have.
bool metaLengthFits(int type, int32_t length) {
  switch (type) {
    case 0x00:
    case 0x59:
      return length == 2;
    case 0x2F:
      return length == 0;
    case 0x51:
      return length == 3;
    case 0x54:
      return length == 5;
    case 0x58:
      return length == 4;
    default:
      return true;
  }
}

}  // namespace

int TrackWalker::byte() {
  return cursor_.position < track_.length ? track_.block[cursor_.position++] : -1;
}

int64_t TrackWalker::quantity() {
  uint32_t value = 0;
  for (int b = byte(); b >= 0; b = byte()) {
    value = (value << 7) | static_cast<uint32_t>(b & 0x7F);
    if ((b & 0x80) == 0) return value & 0x0FFFFFFF;
  }
  return -1;
}

int64_t TrackWalker::nextTick() {
  if (cursor_.active == 0) return -1;
  if (cursor_.deltaPending == 0) {
    if (cursor_.position >= track_.length) return -1;
    int64_t delta = quantity();
    if (delta < 0) return -1;
    cursor_.deltaPending = 1;
    cursor_.nextTick = static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(cursor_.nextTick) + delta, INT32_MAX));
  }
  return cursor_.nextTick;
}

TrackWalker::Step TrackWalker::next(WalkedEvent& event) {
  if (nextTick() < 0) return Step::broken;
  event.tick = cursor_.nextTick;
  cursor_.deltaPending = 0;
  int first = byte();
  if (first < 0) return Step::broken;
  int taken = 0;
  if (first & 0x80) {
    cursor_.runningStatus = first;
    if (first < 0xF0) cursor_.channelStatus = first;
  } else {
    if (cursor_.runningStatus >= 0xF0 || cursor_.runningStatus < 0x80) {
      if (cursor_.channelStatus == 0) return Step::skipped;
      cursor_.runningStatus = cursor_.channelStatus;
    }
    event.data[0] = static_cast<uint8_t>(first);
    taken = 1;
  }
  int status = cursor_.runningStatus;
  event.status = status;
  if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
    event.type = status == 0xFF ? byte() : 0;
    int64_t length = quantity();
    int32_t left = track_.length - cursor_.position;
    if (event.type < 0 || length < 0 || length > left) return Step::broken;
    event.body = track_.block + cursor_.position;
    event.length = static_cast<int32_t>(length);
    cursor_.position += event.length;
    // A system exclusive ends at its first 0xF7, which its length must reach exactly.
    if (status == 0xF0 &&
        std::find(event.body, event.body + event.length, 0xF7) != event.body + event.length - 1)
      return Step::broken;
    if (status == 0xFF && !metaLengthFits(event.type, event.length)) return Step::broken;
    if (status == 0xFF && event.type == 0x2F) {
      cursor_.active = 0;
      cursor_.endTick = cursor_.nextTick;
      return Step::ended;
    }
    return Step::event;
  }
  event.count = dataBytesOf(status);
  for (int32_t i = taken; i < event.count; ++i) {
    int b = byte();
    if (b < 0) return Step::broken;
    event.data[i] = static_cast<uint8_t>(b);
  }
  return Step::event;
}

}  // namespace tessaro
