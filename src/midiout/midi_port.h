// MidiPort: the single output of the program. It drives one device for the whole run, a
// message device (the MIDI mapper) or a serial line, keeps the running-status byte for both,
// and frames short, long (system-exclusive) and direct-byte sends. Each send is serialised,
// since the main thread and the player thread share the port.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/exit_handlers.h"
#include "common/log.h"
#include "platform/platform.h"

namespace tessaro {

struct SerialSlot {
  std::unique_ptr<platform::SerialLine> line;
  uint8_t open = 0;  // 0 closed, 255 open
};

struct MidiPort {
  MidiPort(platform::Clock& clock, platform::SerialPorts& serialPorts,
           platform::MidiOutputs& midiOutputs, Log& log, ExitHandlers& exitHandlers,
           const std::atomic<int>& dispLevel, std::atomic<bool>& fullRepaintRequest)
      : clock(clock),
        serialPorts(serialPorts),
        midiOutputs(midiOutputs),
        log(log),
        exitHandlers(exitHandlers),
        dispLevel(dispLevel),
        fullRepaintRequest(fullRepaintRequest) {}

  platform::Clock& clock;
  platform::SerialPorts& serialPorts;
  platform::MidiOutputs& midiOutputs;
  Log& log;
  ExitHandlers& exitHandlers;
  const std::atomic<int>& dispLevel;
  std::atomic<bool>& fullRepaintRequest;

  std::recursive_mutex mutex;
  int32_t portSelector = -1;  // > 0 serial COMn, 0 message device, < 0 none
  int32_t lastStatus = -1;    // last status byte sent, or -1
  std::unique_ptr<platform::MidiOutDevice> device;
  std::vector<uint8_t> longBuffer;  // status byte and data of the current long message
  size_t longLength = 0;            // bytes of longBuffer in the message
  int32_t pendingHeaders = 0;       // long messages prepared and not yet released
  // Blocks a device kept reading past the wait; freed once the device is closed.
  std::vector<std::vector<uint8_t>> heldBlocks;
  std::array<SerialSlot, 16> serialSlots;
  std::vector<uint8_t> serialBlock;  // staging block for one serial write
  // Set by the first failed serial write: a line that refused bytes has lost part of a message
  // and its far end is gone (a closed terminal, an unplugged adapter), so nothing more is
  // written to it. lostReason, the line's own words for the failure, is set before the flag.
  std::atomic<bool> outputLost{false};
  std::string lostReason;
};

// Opens the port: selector 0 is the message device deviceId, 1..99 the serial port COMn.
int openMidiPort(MidiPort& port, int portSelector, uint32_t deviceId);
// Releases the device; registered as an exit handler by a successful open.
void closeMidiPort(MidiPort& port);

int sendShortMessage(MidiPort& port, int status, int data1, int data2);
// status followed by length data bytes; a system exclusive is 0xF0 and its bytes up to 0xF7.
int sendLongMessage(MidiPort& port, int status, const uint8_t* data, int length);
int sendDirectByte(MidiPort& port, int value);
int sendGmSystemOn(MidiPort& port);
// Tells the message device which convention the program writes in; a serial line needs no
// such word.
void setPortConvention(MidiPort& port, platform::ModuleConvention convention);

// Serial layer of the port.
int openSerialPort(MidiPort& port, int slot, int portNumber);
// -1 after a failure (the line is then lost) and, without a message, once it is lost.
int writeSerialPort(MidiPort& port, int slot, size_t count, const uint8_t* bytes);
void closeSerialPorts(MidiPort& port);

// 0 when text begins with prefix, comparing 'a'-'z' as upper case; -1 otherwise.
int matchesPrefixNoCase(const char* text, const char* prefix);

}  // namespace tessaro
