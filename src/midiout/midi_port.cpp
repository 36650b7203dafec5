#include "midiout/midi_port.h"

#include <cstdio>
#include <new>

namespace tessaro {

namespace {

constexpr size_t initialLongBuffer = 1024;
// How long a send waits for the device to give back a long message it still plays.
constexpr int stillPlayingWaitMs = 5000;

using Lock = std::lock_guard<std::recursive_mutex>;

bool isSerial(const MidiPort& port) {
  return port.portSelector > 0;
}

// One block to the serial line. The first failure is reported with the send's own words; a
// line that has failed takes nothing more and its sends fail without a message, so a dead
// device is not reported once per message.
int writeLine(MidiPort& port, size_t count, const uint8_t* bytes, const char* failure) {
  if (port.outputLost.load(std::memory_order_acquire)) return -1;
  if (writeSerialPort(port, 0, count, bytes) == 0) return 0;
  port.log.print("%s", failure);
  return -1;
}

// A byte that takes over running status on the message device.
bool takesRunningStatus(int value) {
  return value >= 0x80 && value <= 0xFF && value != 0xF8 && value != 0xFE;
}

void printPrepareError(MidiPort& port, uint32_t code) {
  port.log.print("Error Preparing long msg to MIDI mapper :");
  if (code == platform::midiErrorInvalidHandle) port.log.print(" Handle Invalid.\n");
  if (code == platform::midiErrorInvalidParam) port.log.print(" Address Invalid.\n");
  if (code == platform::midiErrorNoMemory) port.log.print(" Unable to allocate locked memory.\n");
}

void printUnprepareError(MidiPort& port, uint32_t code) {
  port.log.print("Error Unpreparing long msg for MIDI mapper :");
  if (code == platform::midiErrorInvalidHandle) port.log.print(" Handle Invalid.\n");
  if (code == platform::midiErrorInvalidParam) port.log.print(" Address Invalid.\n");
  if (code == platform::midiErrorStillPlaying)
    port.log.print(" Still Playing (%d).\n", port.pendingHeaders);
}

// Gives the shared long buffer back from the device. When the device still plays the previous
// message, waits for it, so that the buffer is never overwritten while the device reads it;
// a device that never lets go leaves its buffer behind and the port takes a fresh one.
void releaseLongBuffer(MidiPort& port) {
  if (port.pendingHeaders == 0) return;
  uint32_t code = port.device->unprepareLong(port.longBuffer.data(), port.longLength);
  if (code != platform::midiOk) printUnprepareError(port, code);
  int waited = 0;
  while (code == platform::midiErrorStillPlaying && waited < stillPlayingWaitMs) {
    port.clock.sleepMs(1);
    ++waited;
    code = port.device->unprepareLong(port.longBuffer.data(), port.longLength);
  }
  if (code == platform::midiErrorStillPlaying) {
    // The device keeps reading the old block: it stays alive until the device is closed.
    port.heldBlocks.push_back(std::move(port.longBuffer));
    port.longBuffer.assign(port.heldBlocks.back().size(), 0);
  }
  port.pendingHeaders = 0;
}

// Steps shared by long messages and direct bytes on the message device: the block in
// longBuffer (status first) is prepared and handed to the device.
int sendLongBlock(MidiPort& port) {
  uint32_t code = port.device->prepareLong(port.longBuffer.data(), port.longLength);
  if (code != platform::midiOk) {
    printPrepareError(port, code);
    return -1;
  }
  ++port.pendingHeaders;
  code = port.device->sendLong(port.longBuffer.data(), port.longLength);
  if (code != platform::midiOk) {
    port.log.print("Error Sending long msg to MIDI mapper ");
    return -1;
  }
  return 0;
}

void stageLongBlock(MidiPort& port, int status, const uint8_t* data, size_t length) {
  if (port.longBuffer.size() < length + 1) port.longBuffer.resize(length + 1);
  port.longBuffer[0] = static_cast<uint8_t>(status);
  for (size_t i = 0; i < length; ++i) port.longBuffer[i + 1] = data[i];
  port.longLength = length + 1;
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

int openSerialPort(MidiPort& port, int slot, int portNumber) {
  if (portNumber < 1 || portNumber > 99) return -1;
  char name[8];
  std::snprintf(name, sizeof name, "COM%d", portNumber);
  platform::SerialOpenResult result = port.serialPorts.open(portNumber);
  SerialSlot& target = port.serialSlots[static_cast<size_t>(slot)];
  if (result.failedStep != platform::SerialOpenResult::Step::done) {
    if (!result.reason.empty()) port.log.print("%s\n", result.reason.c_str());
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
    target.line.reset();
    target.open = 0;
    return -1;
  }
  target.line = std::move(result.line);
  target.open = 255;
  port.log.print("%s Initialized.\n", name);
  port.exitHandlers.add([&port] { closeSerialPorts(port); });
  return 0;
}

int writeSerialPort(MidiPort& port, int slot, size_t count, const uint8_t* bytes) {
  if (port.outputLost.load(std::memory_order_acquire)) return -1;
  SerialSlot& target = port.serialSlots[static_cast<size_t>(slot)];
  constexpr int badHandle = 9;
  int error = (target.open != 0 && target.line) ? target.line->write(bytes, count) : badHandle;
  if (error != 0) {
    port.log.print(".%d ", error);
    port.lostReason = target.line ? target.line->describeError(error) : "the line is closed";
    port.outputLost.store(true, std::memory_order_release);
    return -1;
  }
  return 0;
}

void closeSerialPorts(MidiPort& port) {
  port.clock.sleepMs(500);
  Lock lock(port.mutex);
  for (SerialSlot& slot : port.serialSlots) {
    if (slot.open != 0) {
      slot.line.reset();
      slot.open = 0;
    }
  }
}

int openMidiPort(MidiPort& port, int portSelector, uint32_t deviceId) {
  Lock lock(port.mutex);
  port.portSelector = portSelector;
  if (portSelector < 0) return -1;
  if (portSelector == 0) {
    port.device.reset();
    try {
      port.longBuffer.assign(initialLongBuffer, 0);
    } catch (const std::bad_alloc&) {
      port.log.print("out of memory.\n");
      return -1;
    }
    port.longLength = 0;
    port.exitHandlers.add([&port] { closeMidiPort(port); });
    platform::MidiOpenResult result = port.midiOutputs.open(deviceId);
    if (!result.device) {
      if (!result.reason.empty()) port.log.print("%s\n", result.reason.c_str());
      port.log.print("MIDI Mapper Out Open Error.\n");
      return -1;
    }
    port.device = std::move(result.device);
    port.pendingHeaders = 0;
    if (port.dispLevel.load(std::memory_order_relaxed) >= 1)
      port.log.print("MIDI Mapper Open OK. (%04X)\n",
                     static_cast<unsigned>(port.device->handleValue()));
    port.lastStatus = -1;
    return 0;
  }
  port.device.reset();
  port.exitHandlers.add([&port] { closeMidiPort(port); });
  port.pendingHeaders = 0;
  port.serialBlock.reserve(initialLongBuffer);
  int opened = openSerialPort(port, 0, portSelector);
  if (opened == 0 && port.dispLevel.load(std::memory_order_relaxed) >= 1)
    port.log.print("MIDI COM%d Open OK.\n", portSelector);
  port.lastStatus = -1;
  return opened == 0 ? 0 : -1;
}

void closeMidiPort(MidiPort& port) {
  if (isSerial(port)) {
    closeSerialPorts(port);
    return;
  }
  Lock lock(port.mutex);
  if (port.pendingHeaders != 0 && port.device)
    port.device->unprepareLong(port.longBuffer.data(), port.longLength);
  port.pendingHeaders = 0;
  port.device.reset();
  port.heldBlocks.clear();
  port.longBuffer.clear();
  port.longBuffer.shrink_to_fit();
}

int sendShortMessage(MidiPort& port, int status, int data1, int data2) {
  Lock lock(port.mutex);
  // Running status carries channel messages only; a system message always has its status.
  bool running = status >= 0x80 && status < 0xF0 && status == port.lastStatus;
  if (isSerial(port)) {
    uint8_t bytes[3];
    size_t count = 0;
    if (!running) {
      port.lastStatus = status;
      bytes[count++] = static_cast<uint8_t>(status);
    }
    bytes[count++] = static_cast<uint8_t>(data1);
    bytes[count++] = static_cast<uint8_t>(data2);
    return writeLine(port, count, bytes, "Error Sending short msg to COM ");
  }
  if (!port.device) return -1;
  uint32_t word;
  if (running) {
    word = static_cast<uint32_t>(data1 & 0xFF) | static_cast<uint32_t>(data2 & 0xFF) << 8;
  } else {
    port.lastStatus = status;
    word = static_cast<uint32_t>(status & 0xFF) | static_cast<uint32_t>(data1 & 0xFF) << 8 |
           static_cast<uint32_t>(data2 & 0xFF) << 16;
  }
  if (port.device->shortMessage(word) != platform::midiOk) {
    port.log.print("Error Sending short msg to MIDI mapper ");
    return -1;
  }
  return 0;
}

int sendLongMessage(MidiPort& port, int status, const uint8_t* data, int length) {
  Lock lock(port.mutex);
  size_t count = length > 0 ? static_cast<size_t>(length) : 0;
  if (isSerial(port)) {
    port.serialBlock.resize(count + 1);
    port.serialBlock[0] = static_cast<uint8_t>(status);
    for (size_t i = 0; i < count; ++i) port.serialBlock[i + 1] = data[i];
    port.lastStatus = status;
    return writeLine(port, count + 1, port.serialBlock.data(), "Error Sending long msg to COM ");
  }
  // A system exclusive goes whole as a long message however short it is: a short message
  // cannot carry one.
  if (count <= 2 && status != 0xF0) {
    return sendShortMessage(port, status, count >= 1 ? data[0] : 0, count >= 2 ? data[1] : 0);
  }
  if (!port.device) return -1;
  releaseLongBuffer(port);
  stageLongBlock(port, status, data, count);
  port.lastStatus = status;
  return sendLongBlock(port);
}

int sendDirectByte(MidiPort& port, int value) {
  Lock lock(port.mutex);
  uint8_t byte = static_cast<uint8_t>(value);
  if (isSerial(port)) {
    port.lastStatus = value;
    return writeLine(port, 1, &byte, "Error Sending direct msg to COM ");
  }
  if (!port.device) return -1;
  releaseLongBuffer(port);
  stageLongBlock(port, byte, nullptr, 0);
  if (takesRunningStatus(value)) port.lastStatus = value;
  return sendLongBlock(port);
}

int sendGmSystemOn(MidiPort& port) {
  static constexpr uint8_t gmSystemOn[] = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
  port.fullRepaintRequest.store(true, std::memory_order_relaxed);
  return sendLongMessage(port, 0xF0, gmSystemOn, 5);
}

void setPortConvention(MidiPort& port, platform::ModuleConvention convention) {
  Lock lock(port.mutex);
  if (!isSerial(port) && port.device) port.device->setConvention(convention);
}

}  // namespace tessaro
