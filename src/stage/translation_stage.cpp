#include "stage/translation_stage.h"

#include <algorithm>
#include <climits>

namespace tessaro {

namespace {

int32_t saturated(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t limitOffset(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, -256, 255));
}

bool isNote(int status) {
  return status >= 0x80 && status < 0xA0;
}

}  // namespace

int dataBytesOf(int status) {
  if (status < 0xC0) return 2;
  if (status < 0xE0) return 1;
  if (status < 0xF0) return 2;
  if (status == 0xF1 || status == 0xF3) return 1;
  if (status == 0xF2) return 2;
  return 0;
}

translate::EventContext TranslationStage::contextOf(bool fastForward) const {
  return {options_.target.load(), volumeOffset_, fastForward};
}

void TranslationStage::countNote(int status, int key, int velocity) {
  if (!isNote(status)) return;
  int32_t& count = sounding_[static_cast<size_t>(status & 0x0F)][static_cast<size_t>(key & 0x7F)];
  if ((status & 0xF0) == 0x90 && velocity > 0) {
    ++count;
  } else if (count > 0) {
    --count;
  }
}

bool TranslationStage::channelMessage(translate::ChannelMessage& message, bool fastForward) {
  bool note = isNote(message.status);
  bool send = translator.channelMessage(message, contextOf(fastForward), *this);
  if (!send || (fastForward && note)) return false;
  // A note-on counts as sounding even when its send failed (part of it may be out); a note-off
  // that did not go out (a stop cut its write short) leaves its note to the stop.
  bool out = sendLongMessage(port_, message.status, message.data.data(), message.count) == 0;
  bool noteOn = (message.status & 0xF0) == 0x90 && message.data[1] > 0;
  if (out || noteOn) countNote(message.status, message.data[0], message.data[1]);
  keepPedal(message.status, message.data[0], message.data[1]);
  return true;
}

void TranslationStage::keepPedal(int status, int controller, int value) {
  if ((status & 0xF0) == 0xB0 && controller == 64)
    pedals_[static_cast<size_t>(status & 0x0F)] = static_cast<int8_t>(value & 0x7F);
}

void TranslationStage::releasePedals() {
  released_.fill(0);
  for (int c = 0; c < ChannelCount; ++c) {
    int8_t pedal = pedals_[static_cast<size_t>(c)];
    if (pedal < 64) continue;
    sendShortMessage(port_, 0xB0 + c, 64, 0);
    released_[static_cast<size_t>(c)] = pedal;
    pedals_[static_cast<size_t>(c)] = 0;
  }
}

void TranslationStage::restorePedals() {
  for (int c = 0; c < ChannelCount; ++c) {
    int8_t pedal = released_[static_cast<size_t>(c)];
    if (pedal < 64) continue;
    sendShortMessage(port_, 0xB0 + c, 64, pedal);
    pedals_[static_cast<size_t>(c)] = pedal;
  }
  released_.fill(0);
}

void TranslationStage::systemExclusive(const uint8_t* body, int32_t n, bool fastForward) {
  // A status byte inside the message would end it on the wire and start another message the
  // stage knows nothing of (a note, a system reset): such a message is not sent.
  if (n <= 0 || std::any_of(body, body + n - 1, [](uint8_t b) { return b >= 0x80; })) return;
  translator.systemExclusive(body, n, contextOf(fastForward), *this);
}

void TranslationStage::escape(const uint8_t* bytes, int32_t n) {
  sendLongMessage(port_, 0xF7, bytes, n);
  // The notes the bytes hold are counted like any other sent note, so that the stop ends them.
  int status = 0;
  int32_t have = 0;
  uint8_t data[2] = {0, 0};
  for (int32_t i = 0; i < n; ++i) {
    uint8_t b = bytes[i];
    if (b >= 0xF8) continue;
    if (b & 0x80) {
      status = b < 0xF0 ? b : 0;
      have = 0;
      continue;
    }
    if (status == 0) continue;
    data[have++] = b;
    if (have < dataBytesOf(status)) continue;
    have = 0;
    countNote(status, data[0], data[1]);
  }
}

void TranslationStage::realTime(uint8_t byte) {
  sendDirectByte(port_, byte);
}

void TranslationStage::chaseSystemExclusive(const uint8_t* body, int32_t n) {
  translate::EventContext context = contextOf(false);
  context.chase = true;
  if (n > 0 && std::none_of(body, body + n - 1, [](uint8_t b) { return b >= 0x80; }))
    translator.systemExclusive(body, n, context, *this);
}

void TranslationStage::startSong() {
  translator.startSong();
  pedals_.fill(0);
  released_.fill(0);
  fadeTotal_ = 0;
  endFade();
  volumeOffset_ = limitOffset(static_cast<int64_t>(options_.volumeAdd) - masterVolumeCut_);
  volumesDue_ = true;
  masterVolumeCut_ = 0;
}

void TranslationStage::forgetNotes() {
  for (auto& channel : sounding_) channel.fill(0);
}

void TranslationStage::silence() {
  for (int c = 0; c < ChannelCount; ++c) {
    for (int k = 0; k < 128; ++k) {
      int32_t& count = sounding_[static_cast<size_t>(c)][static_cast<size_t>(k)];
      for (int32_t i = 0; i < count; ++i) {
        sendShortMessage(port_, 0x80 + c, k, 0);
        time_.sleep(3);
      }
      count = 0;
    }
  }
  time_.sleep(50);
}

void TranslationStage::endNote(int c, int k) {
  int32_t& count = sounding_[static_cast<size_t>(c)][static_cast<size_t>(k)];
  if (count <= 0) return;
  sendShortMessage(port_, 0x80 + c, k, 0);
  --count;
}

void TranslationStage::stopSequence() {
  silence();
  sendGmSystemOn(port_);
  pedals_.fill(0);
}

void TranslationStage::resetModule() {
  sendGmSystemOn(port_);
  pedals_.fill(0);
  released_.fill(0);
  time_.pause(50, 0);
}

void TranslationStage::userVolumeChanged() {
  volumeOffset_ =
      limitOffset(static_cast<int64_t>(options_.volumeAdd) + fadeTotal_ - masterVolumeCut_);
  volumesDue_ = true;
}

void TranslationStage::startFade() {
  fadeActive_.store(true, std::memory_order_relaxed);
}

void TranslationStage::endFade() {
  fadeActive_.store(false, std::memory_order_relaxed);
}

bool TranslationStage::service() {
  bool ended = false;
  if (fading()) {
    int64_t now = time_.now();
    int32_t interval = options_.fadeInterval;
    if (now > static_cast<int64_t>(fadeLastTime_) + interval) {
      if (now - fadeLastTime_ - interval < interval) {
        fadeLastTime_ += interval;
      } else {
        fadeLastTime_ = static_cast<int32_t>(now);
      }
      // The song ends at the step that starts from an offset below -127 (a channel at full
      // volume is silent by then); the values saturate, so any step a user gives ends it.
      int64_t step = options_.fadeStep;
      int32_t before = volumeOffset_;
      volumeOffset_ = saturated(before - step);
      fadeTotal_ = saturated(fadeTotal_ - step);
      if (before < -127) {
        stopSequence();
        ended = true;
      } else {
        volumesDue_ = true;
      }
    }
  }
  sendDueVolumes();
  return ended;
}

void TranslationStage::sendDueVolumes() {
  if (!volumesDue_) return;
  volumesDue_ = false;
  sendChannelVolumes();
}

void TranslationStage::sendChannelVolumes() {
  for (int c = 0; c < ChannelCount; ++c) {
    int32_t volume = translator.channels[static_cast<size_t>(c)].volume;
    if (volume == -1) volume = 100;
    sendShortMessage(port_, 0xB0 + c, 7, std::clamp(volume + volumeOffset_, 0, 127));
  }
}

void TranslationStage::sendShort(int status, int data1, int data2) {
  sendShortMessage(port_, status, data1, data2);
}

void TranslationStage::sendLong(int status, const uint8_t* data, int32_t length) {
  sendLongMessage(port_, status, data, length);
}

void TranslationStage::pause(int32_t shiftMs, int32_t sleepMs) {
  time_.pause(shiftMs, sleepMs);
}

void TranslationStage::resetSent() {
  noteReset(port_);
}

void TranslationStage::masterVolumeCut(int32_t cut) {
  volumeOffset_ = limitOffset(static_cast<int64_t>(volumeOffset_) - (cut - masterVolumeCut_));
  masterVolumeCut_ = cut;
  volumesDue_ = true;
}

}  // namespace tessaro
