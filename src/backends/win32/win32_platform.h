// The platform services on Windows: timeGetTime ticks with waits on a high-resolution timer,
// the player thread through CreateThread, thread priorities and the real-time process class,
// console keys, COM ports, the MIDI mapper (winmm), FindFirstFileA for file patterns, and the
// user's language. System handles are kept as void* so that this header needs no windows.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaro::platform::win32 {

// Ticks are timeGetTime, with the system timer at 1 ms while the clock exists. Shared by the
// main thread and the player thread.
class Win32Clock : public Clock {
 public:
  // highResolution: wait on a high-resolution waitable timer where the system has one (tests
  // pass false to take the Sleep path).
  explicit Win32Clock(bool highResolution = true);
  ~Win32Clock() override;
  Win32Clock(const Win32Clock&) = delete;
  Win32Clock& operator=(const Win32Clock&) = delete;

  uint32_t tickMs() override;
  // Waits until the tick count has reached the tick at the call plus ms.
  void sleepMs(int32_t ms) override;
  // True when waits use the high-resolution timer.
  bool highResolution() const { return highResolution_; }

 private:
  void waitFor(uint32_t ms);
  bool highResolution_ = false;
};

// A thread created with CREATE_SUSPENDED: its body runs once resume() is called.
class Win32PlayerThread : public PlayerThread {
 public:
  explicit Win32PlayerThread(std::function<void()> body);
  // A thread never resumed is let go without running its body; then the thread is waited for.
  ~Win32PlayerThread() override;
  Win32PlayerThread(const Win32PlayerThread&) = delete;
  Win32PlayerThread& operator=(const Win32PlayerThread&) = delete;

  bool setTimeCritical() override;
  void resume() override;
  bool hasEnded() override;

 private:
  static unsigned long __stdcall main(void* self);

  std::function<void()> body_;
  std::atomic<bool> cancelled_{false};
  bool resumed_ = false;
  void* handle_ = nullptr;  // null when the thread could not be created
};

class Win32Threads : public Threads {
 public:
  std::unique_ptr<PlayerThread> createSuspended(std::function<void()> body) override;
};

// GetThreadPriority/SetThreadPriority of the calling (main) thread, SetPriorityClass.
class Win32Priorities : public Priorities {
 public:
  bool getMainPriority(int& priority) override;
  bool setMainPriority(int priority) override;
  bool setMainPriorityLowest() override;
  // REALTIME_PRIORITY_CLASS; the system gives HIGH_PRIORITY_CLASS without the privilege.
  bool raiseProcessPriority() override;
};

// Keys from the console's input records (key-down events with a character): standard input
// when it is the console, else the console's own input; a pipe or a file is never read. Ctrl+C
// and Ctrl+Break are stop requests; a second one is left to the system, which ends the program
// at once.
class Win32ConsoleInput : public ConsoleInput {
 public:
  // installCtrlHandler: take Ctrl+C and Ctrl+Break as stop requests (process-wide, as the
  // console is).
  explicit Win32ConsoleInput(bool installCtrlHandler = true);
  ~Win32ConsoleInput() override;
  Win32ConsoleInput(const Win32ConsoleInput&) = delete;
  Win32ConsoleInput& operator=(const Win32ConsoleInput&) = delete;
  int readKey() override;
  // No keys are read afterwards. A console of this process alone (a program started from the
  // desktop) is freed, which closes its window; a console shared with the shell that started
  // the program stays, so that the later messages still reach the user.
  void release() override;
  bool inputEnded() override { return endOfInput_; }
  bool interrupted() override;

 private:
  // The console input keys are read from, looked for on first use; null: none.
  void* consoleInput();
  bool released_ = false;
  bool endOfInput_ = false;
  bool chosen_ = false;
  void* input_ = nullptr;
  void* ownConsole_ = nullptr;  // CONIN$, when opened for the keys
};

// One open COM port, closed when neither the output line nor an input holds it any more.
struct ComHandle {
  explicit ComHandle(void* handle) : handle(handle) {}
  ~ComHandle();
  ComHandle(const ComHandle&) = delete;
  ComHandle& operator=(const ComHandle&) = delete;
  void* const handle;
};

// A COM port opened for overlapped writes: each write waits for its completion or for the
// wake-up event interrupt() sets, and the port's write time-out (serialWriteTimeoutMs) ends a
// write the line does not take.
class Win32SerialLine : public SerialLine {
 public:
  // Shares the port with an input on it; name is COMn as the user knows it.
  Win32SerialLine(std::shared_ptr<ComHandle> port, std::string name);
  ~Win32SerialLine() override;
  Win32SerialLine(const Win32SerialLine&) = delete;
  Win32SerialLine& operator=(const Win32SerialLine&) = delete;
  const std::shared_ptr<ComHandle>& port() const { return port_; }

  int write(const uint8_t* bytes, size_t count) override;
  void interrupt() override;
  void resume() override;
  std::string describeError(int error) const override;

 private:
  int writePiece(const uint8_t* bytes, unsigned long count, unsigned long& written);

  std::shared_ptr<ComHandle> port_;
  void* handle_;
  std::string name_;
  void* done_ = nullptr;  // event: the write under way completed
  void* wake_ = nullptr;  // event: set by interrupt()
  std::atomic<bool> interrupted_{false};
  bool held_ = false;  // a write timed out: what the port holds will not go out
};

// COMn through CreateFileA at 38400 baud 8N1, a bounded write time-out, DTR raised.
class Win32SerialPorts : public SerialPorts {
 public:
  SerialOpenResult open(int port) override;
  // The name CreateFileA is given: the device namespace form, which COM10 and above need.
  static std::string deviceName(int port);
  // COMn for an input: the handle the output has open when it is the same port (a port opens
  // once), else opened as the output opens it. Null with the reason when it cannot be opened.
  std::shared_ptr<ComHandle> openShared(int port, std::string& reason);

 private:
  std::map<int, std::weak_ptr<ComHandle>> open_;
};

// A MIDI input device of the multimedia system (a number, or the start of its name), or COMn
// read as a serial MIDI line.
class Win32MidiInputs : public MidiInputs {
 public:
  explicit Win32MidiInputs(Win32SerialPorts& serial) : serial_(serial) {}
  MidiInputOpen open(const std::string& name) override;
  // The multimedia system's MIDI input devices, by number.
  PortListing listPorts() override;

 private:
  Win32SerialPorts& serial_;
};

// The multimedia MIDI output (the MIDI mapper by default).
class Win32MidiOutputs : public MidiOutputs {
 public:
  MidiOpenResult open(uint32_t deviceId) override;
};

class Win32FileSystem : public FileSystem {
 public:
  // FindFirstFileA/FindNextFileA, in the system's order.
  std::vector<FileMatch> findFiles(const std::string& pattern, size_t limit) override;
  // A disk file or a pipe through ReadFile; a pipe is looked at (PeekNamedPipe) before each read.
  TextStreamOpen openText(const std::string& path) override;
  // CreateFileA, and only a disk file is read: a console, a COM port or a pipe (GetFileType)
  // is closed unread.
  FileBytes readRegularFile(const std::string& path, size_t limit) override;
};

// Output files written under a temporary name and moved over the final one when complete
// (platform/output_files.h).
class Win32OutputFiles : public OutputFiles {
 public:
  PendingFileOpen begin(const std::string& finalPath, const std::string& suffix) override;
};

// Removes every temporary output file under way (the system deletes each as its last handle
// closes) and lets no new one begin: for a control event that ends the program at once.
void removePendingOutputs();

class Win32Environment : public Environment {
 public:
  // The primary language of GetUserDefaultLangID is Japanese.
  bool japaneseUser() override;
  // Windows 4.x and older (the low byte of GetVersion).
  bool oldSystem() override;
  // GetModuleFileNameA of the program, else word0.
  std::string programPath(const std::string& word0) override;
  // "tessaro.ini" in the program's directory.
  std::string settingsPath(const std::string& programDir) override;
  // Backslash; Shift-JIS double-byte characters are skipped whole where the system's ANSI code
  // page is 932 (elsewhere, as IsDBCSLeadByte says, no byte leads a double-byte character).
  PathRules pathRules() override;
  // In the system's ANSI code page, which the ...A file calls take.
  std::string nativeFileName(const std::string& utf8) override;
};

// What the console's control handler does with an event: true (handled) for the first Ctrl+C or
// Ctrl+Break, which becomes a stop request; false for any other event and for later requests.
bool takeConsoleControl(unsigned long event);
// Forgets the stop requests taken so far (tests).
void resetConsoleInterrupt();

// The program's UTF-8 message text in the given Windows code page (932 for the Japanese
// console); text that is not valid UTF-8 is returned as it stands.
std::string utf8ToCodePage(const std::string& text, unsigned codePage);

// The system's own words for an error code, without the line end it appends.
std::string systemText(unsigned long error);

// One of each service, for the program's lifetime.
struct Win32Platform {
  Win32Platform() = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  Services services();

  Win32Clock clock;
  Win32Threads threads;
  Win32Priorities priorities;
  Win32ConsoleInput console;
  Win32SerialPorts serial;
  Win32MidiOutputs midiOut;
  Win32MidiInputs midiIn{serial};
  Win32FileSystem files;
  Win32Environment environment;
  Win32OutputFiles outputs;
};

}  // namespace tessaro::platform::win32
