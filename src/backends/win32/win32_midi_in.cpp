// MIDI inputs on Windows: a multimedia MIDI input device, whose callback queues short messages
// and filled long-message buffers for the reading thread and signals an event it waits on
// together with its wake-up; or COMn read as a serial MIDI line with blocking reads bounded by
// read time-outs, a wake cancelling the read under way.
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstring>
#include <deque>
#include <vector>

#include "backends/win32/win32_platform.h"
#include "stream/midi_stream.h"

namespace tessaro::platform::win32 {

namespace {

constexpr size_t bufferCount = 4;
constexpr size_t bufferSize = 4096;

// A lock the multimedia callback may take: a critical section.
class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class WinmmInput : public MidiInput {
 public:
  WinmmInput()
      : data_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
        wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
  ~WinmmInput() override {
    if (handle_ != nullptr) {
      closing_ = true;
      midiInStop(handle_);
      midiInReset(handle_);  // hands every buffer back
      for (MIDIHDR& header : headers_) midiInUnprepareHeader(handle_, &header, sizeof header);
      midiInClose(handle_);
    }
    CloseHandle(data_);
    CloseHandle(wake_);
  }
  WinmmInput(const WinmmInput&) = delete;
  WinmmInput& operator=(const WinmmInput&) = delete;

  // Opens device id and starts it; the reason in words when it cannot.
  bool start(UINT id, std::string& reason) {
    MMRESULT result = midiInOpen(&handle_, id, reinterpret_cast<DWORD_PTR>(&callback),
                                 reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
      handle_ = nullptr;
      reason = "the MIDI input device would not open (" + std::to_string(result) + ")";
      return false;
    }
    for (size_t i = 0; i < bufferCount; ++i) {
      MIDIHDR& header = headers_[i];
      header.lpData = reinterpret_cast<LPSTR>(buffers_[i].data());
      header.dwBufferLength = bufferSize;
      midiInPrepareHeader(handle_, &header, sizeof header);
      midiInAddBuffer(handle_, &header, sizeof header);
    }
    midiInStart(handle_);
    return true;
  }

  InputRead read(uint8_t* buffer, size_t capacity, int32_t timeoutMs) override {
    if (!holding()) {
      HANDLE events[] = {data_, wake_};
      DWORD woke =
          WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(std::max(0, timeoutMs)));
      if (woke != WAIT_OBJECT_0) return {};
      collect();
    }
    if (holding()) {
      size_t count = std::min(capacity, pending_.size() - taken_);
      std::memcpy(buffer, pending_.data() + taken_, count);
      taken_ += count;
      return {InputRead::Status::bytes, count};
    }
    if (ended_) return {InputRead::Status::ended, 0};
    return {};
  }
  void wake() override { SetEvent(wake_); }
  std::string endReason() const override { return "the MIDI input device was removed"; }

 private:
  // One thing the callback received, in order: the bytes of a short message, or a long-message
  // buffer the device has filled.
  struct Entry {
    std::array<uint8_t, 3> bytes{};
    size_t count = 0;
    MIDIHDR* header = nullptr;
  };

  bool holding() const { return taken_ < pending_.size(); }

  // Moves what the callback queued into the pending bytes, and hands the buffers back.
  void collect() {
    pending_.clear();
    taken_ = 0;
    std::vector<MIDIHDR*> done;
    lock_.lock();
    for (const Entry& entry : queue_) {
      if (entry.header == nullptr) {
        pending_.insert(pending_.end(), entry.bytes.begin(), entry.bytes.begin() + entry.count);
        continue;
      }
      const uint8_t* data = reinterpret_cast<const uint8_t*>(entry.header->lpData);
      pending_.insert(pending_.end(), data, data + entry.header->dwBytesRecorded);
      done.push_back(entry.header);
    }
    queue_.clear();
    lock_.unlock();
    if (closing_) return;
    for (MIDIHDR* header : done) midiInAddBuffer(handle_, header, sizeof *header);
  }

  static void CALLBACK callback(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                DWORD_PTR /*param2*/) {
    auto* self = reinterpret_cast<WinmmInput*>(instance);
    Entry entry;
    switch (message) {
      case MIM_DATA: {
        uint8_t status = static_cast<uint8_t>(param1);
        if (status < 0x80) return;
        entry.count = 1 + static_cast<size_t>(dataBytesAfter(status));
        for (size_t i = 0; i < entry.count; ++i)
          entry.bytes[i] = static_cast<uint8_t>(param1 >> (8 * i));
        break;
      }
      case MIM_LONGDATA:
        if (self->closing_) return;
        entry.header = reinterpret_cast<MIDIHDR*>(param1);
        break;
      case MIM_CLOSE:
        // Closed while still wanted: the device has gone (unplugged, or its driver stopped).
        if (self->closing_) return;
        self->ended_ = true;
        SetEvent(self->data_);
        return;
      default:
        return;
    }
    self->lock_.lock();
    self->queue_.push_back(entry);
    self->lock_.unlock();
    SetEvent(self->data_);
  }

  HMIDIIN handle_ = nullptr;
  HANDLE data_;
  HANDLE wake_;
  CriticalSection lock_;
  std::deque<Entry> queue_;  // under lock_
  std::atomic<bool> closing_{false};
  std::atomic<bool> ended_{false};
  std::array<MIDIHDR, bufferCount> headers_{};
  std::array<std::array<uint8_t, bufferSize>, bufferCount> buffers_{};
  std::vector<uint8_t> pending_;
  size_t taken_ = 0;
};

// COMn read with overlapped reads (the port is open for overlapped writes, and shared with
// them): each returns as soon as bytes are there, or after the read's time-out. A wake ends the
// read under way (or makes the next one return at once).
class ComInput : public MidiInput {
 public:
  explicit ComInput(std::shared_ptr<ComHandle> port)
      : port_(std::move(port)),
        done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        wake_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~ComInput() override {
    if (done_ != nullptr) CloseHandle(done_);
    if (wake_ != nullptr) CloseHandle(wake_);
  }
  ComInput(const ComInput&) = delete;
  ComInput& operator=(const ComInput&) = delete;

  InputRead read(uint8_t* buffer, size_t capacity, int32_t timeoutMs) override {
    if (ended_) return {InputRead::Status::ended, 0};
    if (done_ == nullptr || wake_ == nullptr) return end(ERROR_NOT_ENOUGH_MEMORY);
    setTimeout(timeoutMs);
    OVERLAPPED overlapped{};
    overlapped.hEvent = done_;
    ResetEvent(done_);
    if (!ReadFile(port_->handle, buffer, static_cast<DWORD>(capacity), nullptr, &overlapped)) {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return end(error);
      HANDLE events[2] = {done_, wake_};
      const DWORD bound = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs) + 100;
      const DWORD which = WaitForMultipleObjects(2, events, FALSE, bound);
      if (which != WAIT_OBJECT_0) CancelIoEx(port_->handle, &overlapped);
      if (which == WAIT_OBJECT_0 + 1) ResetEvent(wake_);
    }
    DWORD got = 0;
    if (!GetOverlappedResult(port_->handle, &overlapped, &got, TRUE)) {
      const DWORD error = GetLastError();
      if (error != ERROR_OPERATION_ABORTED) return end(error);
    }
    return got > 0 ? InputRead{InputRead::Status::bytes, got} : InputRead{};
  }
  void wake() override {
    if (wake_ != nullptr) SetEvent(wake_);
  }
  std::string endReason() const override { return reason_; }

 private:
  InputRead end(DWORD error) {
    reason_ = systemText(error);
    ended_ = true;
    return {InputRead::Status::ended, 0};
  }
  // The read returns as soon as a byte is there, or after ms with none; writes keep theirs.
  void setTimeout(int32_t ms) {
    if (ms == timeoutSet_) return;
    COMMTIMEOUTS timeouts{};
    GetCommTimeouts(port_->handle, &timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant =
        static_cast<DWORD>(ms < 0 ? 0x7FFFFFFF : std::clamp(ms, 1, 0x7FFFFFFF));
    SetCommTimeouts(port_->handle, &timeouts);
    timeoutSet_ = ms;
  }

  std::shared_ptr<ComHandle> port_;
  HANDLE done_;  // event: the read under way completed
  HANDLE wake_;  // event: set by wake()
  int32_t timeoutSet_ = -2;
  bool ended_ = false;
  std::string reason_;
};

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// COMn (1-99, either case); 0 for any other name.
int comPortOf(const std::string& name) {
  std::string word = lowered(name);
  if (word.size() < 4 || word.size() > 5 || word.compare(0, 3, "com") != 0) return 0;
  if (!std::all_of(word.begin() + 3, word.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return 0;
  int port = std::stoi(word.substr(3));
  return port >= 1 && port <= 99 ? port : 0;
}

// The device a name stands for: its number, or the first whose name begins with it.
bool findDevice(const std::string& name, UINT& id) {
  const UINT count = midiInGetNumDevs();
  if (!name.empty() &&
      std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    id = static_cast<UINT>(std::stoul(name.substr(0, 9)));
    return id < count;
  }
  for (UINT i = 0; i < count; ++i) {
    MIDIINCAPSA caps{};
    if (midiInGetDevCapsA(i, &caps, sizeof caps) != MMSYSERR_NOERROR) continue;
    if (lowered(caps.szPname).starts_with(lowered(name))) {
      id = i;
      return true;
    }
  }
  return false;
}

}  // namespace

MidiInputOpen Win32MidiInputs::open(const std::string& name) {
  MidiInputOpen result;
  if (int port = comPortOf(name); port != 0) {
    std::shared_ptr<ComHandle> handle = serial_.openShared(port, result.reason);
    if (handle) result.input = std::make_unique<ComInput>(std::move(handle));
    return result;
  }
  UINT id = 0;
  if (!findDevice(name, id)) {
    result.reason = "no such MIDI input (tessaro -l lists them)";
    return result;
  }
  auto input = std::make_unique<WinmmInput>();
  if (input->start(id, result.reason)) result.input = std::move(input);
  return result;
}

PortListing Win32MidiInputs::listPorts() {
  PortListing listing;
  const UINT count = midiInGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    MIDIINCAPSA caps{};
    if (midiInGetDevCapsA(i, &caps, sizeof caps) != MMSYSERR_NOERROR) continue;
    listing.ports.push_back({std::to_string(i), caps.szPname});
  }
  return listing;
}

}  // namespace tessaro::platform::win32
