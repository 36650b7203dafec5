// Loudness and repeats: the volume offset added to every channel volume, the fade-out that
// lowers it step by step until the song ends, and the repeat point with its jump back.
#include <algorithm>
#include <climits>

#include "player/engine.h"

namespace tessaro {

namespace {

constexpr int32_t maxRepeats = 9999;

int32_t saturated(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t limitOffset(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, -256, 255));
}

// Reads the decimal number after a marker word: spaces, then digits. -1 when there are none.
int32_t markerNumber(const uint8_t* text) {
  while (*text == ' ') ++text;
  if (*text < '0' || *text > '9') return -1;
  int32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = std::min(value * 10 + (*text - '0'), maxRepeats + 1);
  }
  return value;
}

void sendChannelVolumes(Engine& engine) {
  int32_t offset = engine.state.volumeOffset;
  for (int c = 0; c < ChannelCount; ++c) {
    int32_t volume = engine.translator.channels[static_cast<size_t>(c)].volume;
    if (volume == -1) volume = 100;
    sendShortMessage(engine.port, 0xB0 + c, 7, std::clamp(volume + offset, 0, 127));
  }
}

}  // namespace

void fadeTick(Engine& engine) {
  PlayerState& s = engine.state;
  if (s.fadeActive != 0) {
    int64_t now = playClock(engine);
    int32_t interval = s.fadeInterval;
    if (now > static_cast<int64_t>(s.fadeLastTime) + interval) {
      if (now - s.fadeLastTime - interval < interval) {
        s.fadeLastTime += interval;
      } else {
        s.fadeLastTime = static_cast<int32_t>(now);
      }
      // The song ends at the step that starts from an offset below -127 (a channel at full
      // volume is silent by then); the values saturate, so any step a user gives ends it.
      int64_t step = s.fadeStep;
      int32_t before = s.volumeOffset;
      s.volumeOffset = saturated(before - step);
      s.fadeTotal = saturated(s.fadeTotal - step);
      if (before < -127) {
        s.playRequest = 0;
        s.threadStatus = 0;
        silenceAll(engine);
        sendGmSystemOn(engine.port);
        s.repeatCount = 0;
      } else {
        s.volumeChanged = 1;
      }
    }
  }
  if (s.volumeChanged != 0) {
    s.volumeChanged = 0;
    sendChannelVolumes(engine);
  }
}

void setUserVolume(Engine& engine) {
  PlayerState& s = engine.state;
  int64_t user = engine.options.volumeAdd;
  s.volumeOffset = limitOffset(user + s.fadeTotal - s.masterVolumeCut);
  s.volumeChanged = 1;
}

void resetFadeVolume(Engine& engine) {
  PlayerState& s = engine.state;
  s.fadeActive = 0;
  s.fadeTotal = 0;
  s.volumeOffset = limitOffset(static_cast<int64_t>(engine.options.volumeAdd) - s.masterVolumeCut);
  s.volumeChanged = 1;
}

void setMasterVolumeCut(Engine& engine, int32_t cut) {
  PlayerState& s = engine.state;
  s.volumeOffset = limitOffset(static_cast<int64_t>(s.volumeOffset) - (cut - s.masterVolumeCut));
  s.masterVolumeCut = cut;
  s.volumeChanged = 1;
}

void setRepeatPoint(Engine& engine, int32_t track, int32_t tick) {
  PlayerState& s = engine.state;
  RepeatPoint& point = s.repeatPoint;
  point.markTick = tick;
  point.markTrack = track;
  point.markChainHead = s.chainHead;
  std::copy_n(s.cursors.begin(), engine.song.trackCount, point.cursors.begin());
  for (int c = 0; c < ChannelCount; ++c)
    point.volume[static_cast<size_t>(c)] =
        engine.translator.channels[static_cast<size_t>(c)].volume;
}

void repeatJump(Engine& engine, int32_t eventTick) {
  PlayerState& s = engine.state;
  RepeatPoint& point = s.repeatPoint;
  s.repeatCount -= 1;
  s.nowTick -= eventTick - point.markTick;
  s.chainHead = point.markChainHead;
  std::copy_n(point.cursors.begin(), engine.song.trackCount, s.cursors.begin());
  for (int c = 0; c < ChannelCount; ++c)
    engine.translator.channels[static_cast<size_t>(c)].volume =
        point.volume[static_cast<size_t>(c)];
  // Back at the song start: the song's reset is to be recognised again.
  if (point.markTick == 0) engine.translator.restartDetection();
  if (point.markTrack != -1) insertTrack(engine, point.markTrack);
}

bool handleMarker(Engine& engine, int32_t track, int32_t tick) {
  PlayerState& s = engine.state;
  const char* text = reinterpret_cast<const char*>(s.messageBuffer.data());
  auto numberAfter = [&](size_t letters) { return markerNumber(s.messageBuffer.data() + letters); };
  if (matchesPrefixNoCase(text, "REPEAT") == 0) {
    setRepeatPoint(engine, track, tick);
    int32_t n = numberAfter(6);
    if (n >= 0) {
      s.repeatCount = std::clamp(n, 1, maxRepeats) - 1;
    } else if (s.repeatSetByUser == 0) {
      s.repeatCount = 1;
    }
    return false;
  }
  if (matchesPrefixNoCase(text, "MARK") == 0) {
    setRepeatPoint(engine, track, tick);
    int32_t n = numberAfter(4);
    if (n >= 0) {
      s.repeatCount = std::min(n, maxRepeats);
    } else if (s.repeatSetByUser == 0) {
      s.repeatCount = 1;
    }
    return false;
  }
  if (matchesPrefixNoCase(text, "JUMP") == 0) {
    s.jumpSeen = 1;
    if (s.repeatCount > 0) {
      repeatJump(engine, tick);
      return true;
    }
  }
  return false;
}

}  // namespace tessaro
