#include "midiout/midi_port.h"

#include <cstdio>
#include <new>

#include "midiout/message_output.h"
#include "midiout/serial_output.h"

namespace tessaro {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Opens COMn as the port's device; the open's failure is reported with the system's code.
int openSerialLine(MidiPort& port, int portNumber) {
  if (portNumber < 1 || portNumber > 99) {
    port.openBusy = platform::Busy::no;
    return -1;
  }
  char name[8];
  std::snprintf(name, sizeof name, "COM%d", portNumber);
  platform::SerialOpenResult result = port.serialPorts.open(portNumber);
  if (result.failedStep != platform::SerialOpenResult::Step::done) {
    port.openBusy = result.busy;
    if (!result.reason.empty()) port.log.problem(name, result.reason);
    switch (result.failedStep) {
      case platform::SerialOpenResult::Step::open:
        port.log.print("Cannot open %s in CreateFile (%d)", name, result.error);
        if (result.error == 2) port.log.print("(==ERROR_FILE_NOT_FOUND)");
        if (result.error == 123) port.log.print("(==ERROR_INVALID_NAME)");
        port.log.print("\n");
        break;
      case platform::SerialOpenResult::Step::getState:
        port.log.print("Cannot GetCommState (%d)\n", result.error);
        break;
      default:
        port.log.print("Cannot SetCommState (%d)\n", result.error);
        break;
    }
    return -1;
  }
  port.device = std::make_unique<SerialOutput>(std::move(result.line), port.clock, port.log);
  port.log.print("%s Initialized.\n", name);
  port.exitHandlers.add([&port] { closeMidiPort(port); });
  return 0;
}

int openMessageDevice(MidiPort& port, uint32_t deviceId, bool report) {
  platform::MidiOpenResult result = port.midiOutputs.open(deviceId);
  if (!result.device) {
    port.openBusy = result.busy;
    if (!result.reason.empty()) port.log.problem("MIDI output", result.reason);
    port.log.print("MIDI Mapper Out Open Error.\n");
    return -1;
  }
  uintptr_t handle = result.device->handleValue();
  try {
    port.device = std::make_unique<MessageOutput>(std::move(result.device), port.clock, port.log);
  } catch (const std::bad_alloc&) {
    port.log.print("out of memory.\n");
    return -1;
  }
  if (report) port.log.print("MIDI Mapper Open OK. (%04X)\n", static_cast<unsigned>(handle));
  return 0;
}

bool isChannelStatus(int status) {
  return status >= 0x80 && status < 0xF0;
}

// A send an interrupt ended may have cut its message short on the wire: the next message
// carries its status byte.
int sent(MidiPort& port, int result) {
  if (result != sendInterrupted) return result;
  port.lastStatus = -1;
  return -1;
}

}  // namespace

int matchesPrefixNoCase(const char* text, const char* prefix) {
  auto upper = [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; };
  for (size_t i = 0; prefix[i] != '\0'; ++i) {
    if (upper(static_cast<unsigned char>(text[i])) != upper(static_cast<unsigned char>(prefix[i])))
      return -1;
  }
  return 0;
}

int openMidiPort(MidiPort& port, int portSelector, uint32_t deviceId, bool report) {
  Lock lock(port.mutex);
  port.portSelector = portSelector;
  if (portSelector < 0) {
    port.openBusy = platform::Busy::no;
    return -1;
  }
  port.device = std::make_unique<ClosedOutput>();
  port.exitHandlers.add([&port] { closeMidiPort(port); });
  int opened = portSelector == 0 ? openMessageDevice(port, deviceId, report)
                                 : openSerialLine(port, portSelector);
  if (opened != 0) return -1;
  if (report && portSelector > 0) port.log.print("MIDI COM%d Open OK.\n", portSelector);
  port.lastStatus = -1;
  return 0;
}

void closeMidiPort(MidiPort& port) {
  port.device->drain();
  Lock lock(port.mutex);
  port.device->close();
}

int sendShortMessage(MidiPort& port, int status, int data1, int data2) {
  Lock lock(port.mutex);
  // Running status carries channel messages only; a system message always has its status.
  bool running = isChannelStatus(status) && status == port.lastStatus;
  if (!running) port.lastStatus = status;
  return sent(port, port.device->shortMessage(status, data1, data2, running));
}

int sendLongMessage(MidiPort& port, int status, const uint8_t* data, int length) {
  Lock lock(port.mutex);
  size_t count = length > 0 ? static_cast<size_t>(length) : 0;
  // A system exclusive goes whole as a long message however short it is: a short message
  // cannot carry one.
  if (port.device->packsShortLongMessages() && count <= 2 && status != 0xF0)
    return sendShortMessage(port, status, count >= 1 ? data[0] : 0, count >= 2 ? data[1] : 0);
  port.lastStatus = status;
  return sent(port, port.device->longMessage(status, data, count));
}

int sendDirectByte(MidiPort& port, int value) {
  Lock lock(port.mutex);
  if (port.device->directByteRuns(value)) port.lastStatus = value;
  return sent(port, port.device->directByte(value));
}

int sendGmSystemOn(MidiPort& port) {
  static constexpr uint8_t gmSystemOn[] = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
  noteReset(port);
  return sendLongMessage(port, 0xF0, gmSystemOn, 5);
}

// Without the port's lock, which the send under way holds.
void interruptOutput(MidiPort& port) {
  port.device->interrupt();
}

void resumeOutput(MidiPort& port) {
  Lock lock(port.mutex);
  port.device->resume();
}

void setPortConvention(MidiPort& port, platform::ModuleConvention convention) {
  Lock lock(port.mutex);
  port.device->setConvention(convention);
}

bool outputLost(const MidiPort& port) {
  return port.device->lost();
}

std::string outputLostReason(const MidiPort& port) {
  return port.device->lostReason();
}

}  // namespace tessaro
