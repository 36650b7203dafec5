// The multimedia MIDI output (winmm): packed short messages with midiOutShortMsg, long messages
// through a MIDIHDR prepared over the caller's block. Result codes are the system's own, which
// MidiResult names.
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <list>

#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {

namespace {

class WinmmDevice : public MidiOutDevice {
 public:
  explicit WinmmDevice(HMIDIOUT handle) : handle_(handle) {}

  // Ends every message still playing so that their headers can be released, then closes.
  ~WinmmDevice() override {
    midiOutReset(handle_);
    for (MIDIHDR& header : headers_) midiOutUnprepareHeader(handle_, &header, sizeof header);
    midiOutClose(handle_);
  }
  WinmmDevice(const WinmmDevice&) = delete;
  WinmmDevice& operator=(const WinmmDevice&) = delete;

  uint32_t shortMessage(uint32_t word) override { return midiOutShortMsg(handle_, word); }

  uint32_t prepareLong(const uint8_t* data, size_t length) override {
    MIDIHDR* header = find(data);
    if (header == nullptr) {
      header = &headers_.emplace_back();
    } else {
      // A block prepared again without its release: the old header is released first, and a
      // block the device still reads is not handed over twice.
      const MMRESULT released = midiOutUnprepareHeader(handle_, header, sizeof *header);
      if (released != MMSYSERR_NOERROR) return released;
    }
    *header = MIDIHDR{};
    header->lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(data));
    header->dwBufferLength = static_cast<DWORD>(length);
    const MMRESULT result = midiOutPrepareHeader(handle_, header, sizeof *header);
    if (result != MMSYSERR_NOERROR) forget(header);
    return result;
  }

  uint32_t sendLong(const uint8_t* data, size_t /*length*/) override {
    MIDIHDR* header = find(data);
    if (header == nullptr) return MIDIERR_UNPREPARED;
    return midiOutLongMsg(handle_, header, sizeof *header);
  }

  uint32_t unprepareLong(const uint8_t* data, size_t /*length*/) override {
    MIDIHDR* header = find(data);
    if (header == nullptr) return MMSYSERR_NOERROR;
    const MMRESULT result = midiOutUnprepareHeader(handle_, header, sizeof *header);
    // A header the device still reads stays, with its block, until it is done or closed.
    if (result == MMSYSERR_NOERROR) forget(header);
    return result;
  }

  uintptr_t handleValue() const override { return reinterpret_cast<uintptr_t>(handle_); }

 private:
  // The header over a block, if one is prepared over it.
  MIDIHDR* find(const uint8_t* data) {
    for (MIDIHDR& header : headers_)
      if (reinterpret_cast<const uint8_t*>(header.lpData) == data) return &header;
    return nullptr;
  }
  void forget(MIDIHDR* header) {
    headers_.remove_if([header](const MIDIHDR& h) { return &h == header; });
  }

  HMIDIOUT handle_;
  // The device keeps the address of each prepared header: a list never moves its elements.
  std::list<MIDIHDR> headers_;
};

std::string openFailureReason(MMRESULT result) {
  switch (result) {
    case MMSYSERR_BADDEVICEID:
    case MMSYSERR_NODRIVER:
      return "no MIDI output device is installed";
    case MMSYSERR_ALLOCATED:
      return "the MIDI output device is in use by another program";
    case MMSYSERR_NOMEM:
      return "not enough memory to open the MIDI output device";
    default: {
      char text[MAXERRORLENGTH] = {};
      if (midiOutGetErrorTextA(result, text, sizeof text) == MMSYSERR_NOERROR && text[0] != '\0')
        return std::string("the MIDI output device cannot be opened: ") + text;
      return "the MIDI output device cannot be opened (error " + std::to_string(result) + ")";
    }
  }
}

}  // namespace

MidiOpenResult Win32MidiOutputs::open(uint32_t deviceId) {
  MidiOpenResult result;
  HMIDIOUT handle = nullptr;
  const MMRESULT code = midiOutOpen(&handle, deviceId, 0, 0, CALLBACK_NULL);
  if (code != MMSYSERR_NOERROR) {
    result.error = code;
    result.reason = openFailureReason(code);
    return result;
  }
  result.device = std::make_unique<WinmmDevice>(handle);
  return result;
}

}  // namespace tessaro::platform::win32
