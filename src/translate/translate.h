// Real-time translation between tone-generator conventions, as a stage of the player: one event
// of the song and the translation's state go in; what is to happen comes out through Actions,
// in order (messages to send, pauses for the module, notices). The song's convention is detected
// from its system-exclusive messages, and what the player sends is rewritten for the target
// module (XG or GM), or passed unchanged when translation is off.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "common/conventions.h"

namespace tessaro::translate {

// Per-channel state of the translation.
struct ChannelState {
  int32_t volume = -1;  // last controller 7 of the song, -1 none
  int32_t program = 0;
  int32_t xgDrumChannel = 0;
  int32_t rhythmMode = 0;
  int32_t userDrumSet = 0;
  int32_t bankMsb = 0;
  int32_t bankLsb = 0;
};

// What a translation step asks its caller to carry out, in the order asked.
class Actions {
 public:
  virtual ~Actions() = default;
  // A channel message of the translation's own: status and two data bytes.
  virtual void sendShort(int status, int data1, int data2) = 0;
  // A message that goes as a long message: the status, then length bytes (the data byte of a
  // program change, or a system exclusive's bytes after 0xF0 up to and including 0xF7).
  virtual void sendLong(int status, const uint8_t* data, int32_t length) = 0;
  // Holds the music back shiftMs while the module takes a reset; sleepMs of them are waited
  // now, the rest as part of the next event's time.
  virtual void pause(int32_t shiftMs, int32_t sleepMs) = 0;
  // A reset reached the module: everything shown of the module's state is to be shown afresh.
  virtual void resetSent() = 0;
  // The song's master volume: cut is taken off every channel volume, replacing the cut of its
  // previous master volume.
  virtual void masterVolumeCut(int32_t cut) = 0;
};

// What a step reads of the player at the event's time.
struct EventContext {
  Target target = Target::none;
  int32_t volumeOffset = 0;  // added to every channel volume of the song
  bool fastForward = false;  // skipping to a start position: the module gets time after a message
  bool chase = false;        // a seek sends the module's state: it gets time after a reset
};

// A channel message of the song; the translation may change it in place.
struct ChannelMessage {
  int status = 0;
  std::array<uint8_t, 2> data{};
  int32_t count = 0;  // data bytes of the status
};

// A system exclusive that resets a whole module (GM System On, GS Reset, the SC-88 mode set, XG
// System On): m holds the bytes after 0xF0, n of them.
bool isModuleReset(const uint8_t* m, int32_t n);

constexpr size_t UserTableSize = 2 * 128 * 16;  // two banks or sets, 128 entries, 16 parameters

class Translator {
 public:
  // Song start: tables and channels as a song begins, its convention not yet shown.
  void startSong();
  // Back at the song start by a repeat: the song's reset is to be recognised again.
  void restartDetection() { shown = SongConvention::undecided; }

  // A system exclusive of the song: m holds the bytes after 0xF0 up to and including 0xF7, n of
  // them. It is sent, rewritten or dropped.
  void systemExclusive(const uint8_t* m, int32_t n, const EventContext& context, Actions& out);
  // A channel (or system common) message, before it is sent. Its data bytes leave as 7-bit
  // values; it may move to another channel or get other data, or be replaced by messages of
  // the translation's own. True when the (possibly changed) message is to be sent.
  bool channelMessage(ChannelMessage& message, const EventContext& context, Actions& out);

  std::array<ChannelState, ChannelCount> channels{};
  std::array<int32_t, UserTableSize> UserToneTable{};
  std::array<int32_t, UserTableSize> UserDrumTable{};
  std::array<int32_t, 256> drumNoteMap{};
  std::array<int32_t, 256> reverbOffsetNormal{};
  std::array<int32_t, 256> reverbOffsetDrum{};
  // Written by the player thread, read by the display.
  std::atomic<SongConvention> shown{SongConvention::none};
};

}  // namespace tessaro::translate
