// The translation stage: the one sink that every source of events feeds (the file player, the
// live input, the offline converter through the file player). It holds the translation's state
// (Translator), the loudness (the user's volume offset, the fade-out, the song's master-volume
// cut) and the notes it has sent and not ended, and it carries out what the translation asks
// for through the output port and the source's timeline. It knows nothing of songs, files or
// inputs: an event goes in, messages come out.
//
// Owned by one thread at a time: the thread that runs a song or a live session, and between
// them the main thread. Other threads read only what it publishes (the fade under way, the
// convention shown).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "common/playback_options.h"
#include "midiout/midi_port.h"
#include "stage/timeline.h"
#include "translate/translate.h"

namespace tessaro {

// Data bytes that follow a channel or system common status byte, as songs store them.
int dataBytesOf(int status);

// Note-ons sent and not yet ended, per output channel and note.
using NoteCounts = std::array<std::array<int32_t, 128>, ChannelCount>;

class TranslationStage : private translate::Actions {
 public:
  TranslationStage(MidiPort& port, const PlaybackOptions& options, Timeline& time)
      : port_(port), options_(options), time_(time) {}
  TranslationStage(const TranslationStage&) = delete;
  TranslationStage& operator=(const TranslationStage&) = delete;

  // --- Events. fastForward: the source skips to a start position (the module gets time after
  // each message; notes are not sent).

  // A channel or system common message: translated, sent unless it is a note skipped over, and
  // its note counted. The message is left as translated; true when it went out.
  bool channelMessage(translate::ChannelMessage& message, bool fastForward);
  // A system exclusive: body holds the bytes after 0xF0 up to and including 0xF7, n of them.
  void systemExclusive(const uint8_t* body, int32_t n, bool fastForward);
  // Bytes sent as they stand (an escape event of a song); the notes in them are counted.
  void escape(const uint8_t* bytes, int32_t n);
  // A system real-time byte, passed on at once.
  void realTime(uint8_t byte);
  // A system exclusive of a seek's chase: the module gets time after a reset, and none after
  // anything else.
  void chaseSystemExclusive(const uint8_t* body, int32_t n);

  // --- A song's (or a live session's) start and end.

  // The translation as a song begins; the fade ended, the master volume's cut gone, the offset
  // recomputed and the channel volumes due at the next service.
  void startSong();
  // No note is counted as sounding (a song that could not be prepared).
  void forgetNotes();
  // Every note sent and not ended gets its note-off, 3 ms apart, then 50 ms for the module.
  void silence();
  // The note-off of one sounding note on output channel c (a repeat jump ends the notes the
  // section played again strikes anew).
  void endNote(int c, int k);
  const NoteCounts& sounding() const { return sounding_; }
  // The silence, then GM System On: the module as after a song.
  void stopSequence();
  // GM System On at the user's request, with 50 ms for the module before the next event.
  void resetModule();
  // Sustain pedals held on the module (controller 64 at 64 or more): released on the wire, and
  // pressed again as they were.
  void releasePedals();
  void restorePedals();

  // --- Loudness.

  // The user's volume add value has changed: the offset follows, the volumes are due.
  void userVolumeChanged();
  void startFade();
  void endFade();
  bool fading() const { return fadeActive_.load(std::memory_order_relaxed); }
  // The fade's next step when it is due, and the channel volumes when they are due; once per
  // pass of the source. True when the fade has ended the song: its notes are silenced and GM
  // System On has gone out.
  bool service();
  // The channel volumes, now, when they are due (a paused song takes the user's volume so).
  void sendDueVolumes();
  int32_t volumeOffset() const { return volumeOffset_; }
  int32_t masterVolumeCut() const { return masterVolumeCut_; }
  bool volumesDue() const { return volumesDue_; }

  translate::Translator translator;

 private:
  // translate::Actions
  void sendShort(int status, int data1, int data2) override;
  void sendLong(int status, const uint8_t* data, int32_t length) override;
  void pause(int32_t shiftMs, int32_t sleepMs) override;
  void resetSent() override;
  void masterVolumeCut(int32_t cut) override;

  translate::EventContext contextOf(bool fastForward) const;
  void countNote(int status, int key, int velocity);
  void keepPedal(int status, int controller, int value);
  void sendChannelVolumes();

  MidiPort& port_;
  const PlaybackOptions& options_;
  Timeline& time_;
  NoteCounts sounding_{};
  std::array<int8_t, ChannelCount> pedals_{};    // controller 64 as last sent, per channel
  std::array<int8_t, ChannelCount> released_{};  // the pedals a pause released
  int32_t masterVolumeCut_ = 0;                  // 127 less the song's last master volume
  int32_t fadeTotal_ = 0;                        // fade steps taken so far (0 or below)
  int32_t volumeOffset_ = 0;                     // added to every channel volume, within -256..255
  bool volumesDue_ = false;  // controller 7 goes to every channel at the next service
  int32_t fadeLastTime_ = 0;
  std::atomic<bool> fadeActive_{false};  // published for the window's fade control
};

}  // namespace tessaro
