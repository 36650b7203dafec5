// MidiPort: the single output of the program. It keeps the running-status byte and frames
// short, long (system-exclusive) and direct-byte sends once, over one OutputDevice for the
// whole run: a serial line (COMn) or a message device (the MIDI mapper). Each send is
// serialised, since the main thread and the player thread share the port.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "common/exit_handlers.h"
#include "common/log.h"
#include "midiout/output_device.h"
#include "platform/platform.h"

namespace tessaro {

struct MidiPort {
  MidiPort(platform::Clock& clock, platform::SerialPorts& serialPorts,
           platform::MidiOutputs& midiOutputs, Log& log, ExitHandlers& exitHandlers)
      : clock(clock),
        serialPorts(serialPorts),
        midiOutputs(midiOutputs),
        log(log),
        exitHandlers(exitHandlers) {}

  platform::Clock& clock;
  platform::SerialPorts& serialPorts;
  platform::MidiOutputs& midiOutputs;
  Log& log;
  ExitHandlers& exitHandlers;

  std::recursive_mutex mutex;
  int32_t portSelector = -1;  // > 0 serial COMn, 0 message device, < 0 none
  int32_t lastStatus = -1;    // last status byte sent, or -1
  // After an open that failed: whether another program holds the device, as far as known.
  platform::Busy openBusy = platform::Busy::unknown;
  std::unique_ptr<OutputDevice> device = std::make_unique<ClosedOutput>();
  // Resets that went out (GM System On, and those the translation reports): whatever shows the
  // module's state polls it and shows everything afresh when it has moved.
  std::atomic<uint32_t> resets{0};
};

// Opens the port: selector 0 is the message device deviceId, 1..99 the serial port COMn.
// report: say so on the console when it opened.
int openMidiPort(MidiPort& port, int portSelector, uint32_t deviceId, bool report = false);
// Releases the device; registered as an exit handler by the open.
void closeMidiPort(MidiPort& port);

int sendShortMessage(MidiPort& port, int status, int data1, int data2);
// status followed by length data bytes; a system exclusive is 0xF0 and its bytes up to 0xF7.
int sendLongMessage(MidiPort& port, int status, const uint8_t* data, int length);
int sendDirectByte(MidiPort& port, int value);
int sendGmSystemOn(MidiPort& port);
// A reset the port did not send itself reached the module (a song's own, or a translated one).
inline void noteReset(MidiPort& port) {
  port.resets.fetch_add(1, std::memory_order_relaxed);
}
// Ends a send that waits on a held line (called by the thread that asks the song to stop): the
// send under way fails at once, and so does every send after it until resumeOutput (the song's
// stop, before its stop sequence); the line itself has not failed.
void interruptOutput(MidiPort& port);
void resumeOutput(MidiPort& port);
// Tells the device which convention the program writes in.
void setPortConvention(MidiPort& port, platform::ModuleConvention convention);
// The output has failed for good (a serial line gone), with the device's own words for it.
bool outputLost(const MidiPort& port);
std::string outputLostReason(const MidiPort& port);

// 0 when text begins with prefix, comparing 'a'-'z' as upper case; -1 otherwise.
int matchesPrefixNoCase(const char* text, const char* prefix);

}  // namespace tessaro
