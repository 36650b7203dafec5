// Narrow interfaces for every operating-system service the program uses. Everything outside
// src/platform talks to the system only through these, so tests can put virtual time, scripted
// keys and capture devices in their place.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/output_files.h"

namespace tessaro::platform {

// What a sleeping thread can be woken from early: a flag under a mutex, and the condition
// variable the waker notifies after setting it.
struct Wakeup {
  std::mutex mutex;
  std::condition_variable changed;
  bool woken = false;  // under mutex
};

// Millisecond tick count and sleep. The tick count wraps like a 32-bit counter.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t tickMs() = 0;
  // Sleeps until the tick count has advanced by ms (no sleep for ms <= 0).
  virtual void sleepMs(int32_t ms) = 0;
  // The same sleep, ended early once wakeup is woken (or at once when it already is). A clock
  // that cannot be woken sleeps the whole time.
  virtual void sleepMs(int32_t ms, Wakeup& /*wakeup*/) { sleepMs(ms); }
};

// A thread created suspended: its body runs only after resume().
class PlayerThread {
 public:
  // Waits for the body to return when it was started.
  virtual ~PlayerThread() = default;
  // Highest scheduling priority available; false when nothing could be set.
  virtual bool setTimeCritical() = 0;
  virtual void resume() = 0;
  // True once the body has returned; never waits.
  virtual bool hasEnded() = 0;
};

class Threads {
 public:
  virtual ~Threads() = default;
  virtual std::unique_ptr<PlayerThread> createSuspended(std::function<void()> body) = 0;
};

// Priorities of the main thread and of the whole process.
class Priorities {
 public:
  virtual ~Priorities() = default;
  // The main thread's priority as an opaque value; false when it cannot be read.
  virtual bool getMainPriority(int& priority) = 0;
  virtual bool setMainPriority(int priority) = 0;
  virtual bool setMainPriorityLowest() = 0;
  // Real-time scheduling class where permitted; a silent fallback counts as success.
  virtual bool raiseProcessPriority() = 0;
};

// Console keys, read without waiting.
class ConsoleInput {
 public:
  virtual ~ConsoleInput() = default;
  // The next pending key as a signed character value, or 0 when none is pending.
  virtual int readKey() = 0;
  // After release no keys are read (output still goes to the console).
  virtual void release() = 0;
  // True once the input has ended for good (a pipe or file at its end): no key can come.
  virtual bool inputEnded() { return false; }
  // True once the user asked the program from outside its keys to stop (Ctrl+C, a request to
  // terminate): the run ends as after Esc during the last song.
  virtual bool interrupted() { return false; }
  // The signal number of that request, where the system has signals; 0 otherwise. The run
  // then ends with the status a shell expects of a program the signal ended.
  virtual int stopSignal() { return 0; }
};

// Whether a device that would not open is held by another program: unknown where the system
// does not say.
enum class Busy { unknown, no, yes };

// How long a serial write waits for the line to take a byte: a line that takes nothing for this
// long (held by flow control, a far end that reads nothing) has failed, so that it can never
// hold the program.
constexpr int32_t serialWriteTimeoutMs = 2000;
// What SerialLine::write returns when interrupt() ended it: no system error code.
constexpr int serialWriteInterrupted = -1;

// One open serial line (a module's serial MIDI input).
class SerialLine {
 public:
  // Closes the device.
  virtual ~SerialLine() = default;
  // Writes every byte, waiting at most serialWriteTimeoutMs each time the line takes nothing;
  // 0 on success, serialWriteInterrupted when interrupt() ended it (part of the bytes may have
  // gone out), otherwise the system error code (a time-out has the system's code for one).
  virtual int write(const uint8_t* bytes, size_t count) = 0;
  // Any thread: ends a write under way at once, and makes every later write fail at once, until
  // resume(). A line that never blocks has nothing to end.
  virtual void interrupt() {}
  // Writes go out again after interrupt(); called by the thread that writes next.
  virtual void resume() {}
  // Plain words for a write's error code, naming the device.
  virtual std::string describeError(int error) const { return "error " + std::to_string(error); }
};

struct SerialOpenResult {
  enum class Step { done, open, getState, setState };
  std::unique_ptr<SerialLine> line;  // set when step is done
  Step failedStep = Step::done;
  int error = 0;       // system error code of the failed step
  std::string reason;  // plain words: which device and why
  Busy busy = Busy::unknown;
};

class SerialPorts {
 public:
  virtual ~SerialPorts() = default;
  // Opens COMn at 38400 baud, 8 data bits, no parity, one stop bit, DTR raised.
  virtual SerialOpenResult open(int port) = 0;
  // The user named the device every COM port opens; false where devices have no such names.
  virtual bool chooseDevice(const std::string& /*path*/) { return false; }
  // The serial devices present, as the user would name them.
  virtual std::vector<std::string> listDevices() { return {}; }
};

// Result codes of the message device, as the system's MIDI output calls report them.
enum MidiResult : uint32_t {
  midiOk = 0,
  midiError = 1,  // unspecified failure
  midiErrorInvalidHandle = 5,
  midiErrorNoMemory = 7,
  midiErrorInvalidParam = 11,
  midiErrorStillPlaying = 65,
};

// The tone-generator convention the program's output is written in: GM, GS (the songs' own,
// untranslated) or XG.
enum class ModuleConvention { gm, gs, xg };

// A message device: packed short messages and whole long (system-exclusive) messages.
class MidiOutDevice {
 public:
  // Closes the device.
  virtual ~MidiOutDevice() = default;
  // Packed message, status in the low byte; a word without a status byte is running status.
  virtual uint32_t shortMessage(uint32_t word) = 0;
  // A long message lives in a caller's buffer between prepare and unprepare; the device may
  // still read it after sendLong returns, until unprepare succeeds.
  virtual uint32_t prepareLong(const uint8_t* data, size_t length) = 0;
  virtual uint32_t sendLong(const uint8_t* data, size_t length) = 0;
  virtual uint32_t unprepareLong(const uint8_t* data, size_t length) = 0;
  virtual uintptr_t handleValue() const = 0;
  // Which convention the program writes in, told after the open and whenever the choice
  // changes. A synthesizer reads bank selects accordingly; devices that pass messages on to a
  // module leave it to the module.
  virtual void setConvention(ModuleConvention /*convention*/) {}
  // Completes what the device writes (a recording into a file), before it is closed.
  virtual void finish() {}
  // The device has failed for good (a recording that can no longer be written): "NAME: what
  // happened"; empty while it works.
  virtual std::string fault() const { return {}; }
};

struct MidiOpenResult {
  std::unique_ptr<MidiOutDevice> device;  // set on success
  uint32_t error = 0;
  std::string reason;  // plain words on failure
  Busy busy = Busy::unknown;

  // An open that failed for a reason other than a busy device, in plain words.
  static MidiOpenResult failed(std::string reason) {
    MidiOpenResult result;
    result.error = midiErrorInvalidParam;
    result.reason = std::move(reason);
    result.busy = Busy::no;
    return result;
  }
};

// What the user chose for the built-in synthesizer, live and offline: its SoundFont (empty: the
// system's choice, or the variable's), its sample rate, and its gain (below 0: the default).
struct SynthSettings {
  std::string soundFont;
  int sampleRate = 44100;
  double gain = -1;
};

// The message ports a user can name: each address with its name, or why there are none.
struct PortListing {
  struct Port {
    std::string address;
    std::string name;
  };
  std::vector<Port> ports;
  std::string reason;  // set when the ports could not be listed
};

class MidiOutputs {
 public:
  virtual ~MidiOutputs() = default;
  static constexpr uint32_t mapper = 0xFFFFFFFFu;
  virtual MidiOpenResult open(uint32_t deviceId) = 0;
  // The user named the port the default output opens (in the system's own form); false where
  // ports have no such names.
  virtual bool choosePort(const std::string& /*name*/) { return false; }
  virtual PortListing listPorts() { return {{}, "no MIDI ports to list on this system"}; }
  // The built-in synthesizer the default output opens takes these settings; told before the
  // open. Outputs without one ignore them.
  virtual void configureSynth(const SynthSettings& /*settings*/) {}
  // The file the default output records into instead of playing; empty when it plays.
  virtual std::string recordingPath() const { return {}; }
  // The recording under way is not kept: whatever is at its name stays as it was.
  virtual void discardRecording() {}
};

// What one read of a MIDI input gave.
struct InputRead {
  enum class Status {
    bytes,  // count bytes were read
    none,   // nothing came before the time-out, or the read was woken
    ended,  // the input has ended for good (its far end closed, its port or device gone)
  };
  Status status = Status::none;
  size_t count = 0;
};

// One open MIDI input: the bytes as a serial MIDI line carries them (running status, system
// exclusives possibly split over several reads, real-time bytes anywhere).
class MidiInput {
 public:
  // Closes the input.
  virtual ~MidiInput() = default;
  // Waits up to timeoutMs for bytes and reads at most capacity of them; ends early when woken.
  virtual InputRead read(uint8_t* buffer, size_t capacity, int32_t timeoutMs) = 0;
  // Callable from any thread: the read under way (or, when none is, the next one) returns at
  // once.
  virtual void wake() = 0;
  // Why the input ended, in plain words; empty while it has not.
  virtual std::string endReason() const = 0;
};

struct MidiInputOpen {
  std::unique_ptr<MidiInput> input;  // set on success
  std::string reason;                // plain words on failure
};

class MidiInputs {
 public:
  virtual ~MidiInputs() = default;
  // An input by the name the user gives: a serial device (a name holding a '/', or COMn where
  // ports have such names), or a MIDI input port in the system's own form. A serial device
  // that is the output too is opened once and shared.
  virtual MidiInputOpen open(const std::string& name) = 0;
  // The MIDI input ports a user can name (serial devices are listed by SerialPorts).
  virtual PortListing listPorts() { return {{}, "no MIDI inputs to list on this system"}; }
};

struct FileMatch {
  std::string name;  // without its directory
  bool isDirectory = false;
};

// What a path names, and in plain words why it cannot be read when it cannot.
struct PathFacts {
  enum class Kind { file, directory, missing, unreadable };
  Kind kind = Kind::missing;
  std::string reason;
};

// Text a user named to be read as it comes (a list of song names): a regular file, a pipe, or
// standard input.
class TextStream {
 public:
  virtual ~TextStream() = default;
  static constexpr long ended = 0;
  static constexpr long failed = -1;  // reason() says why
  static constexpr long notYet = -2;  // nothing came within the wait
  // Up to size bytes: how many were read, or one of the values above. Waits at most waitMs.
  virtual long read(char* buffer, size_t size, int waitMs) = 0;
  virtual std::string reason() const = 0;
};

struct TextStreamOpen {
  std::unique_ptr<TextStream> stream;  // none: reason says why
  std::string reason;
};

// A small file's bytes, read whole, or in plain words why not.
struct FileBytes {
  bool read = false;
  std::string bytes;
  std::string reason;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens a regular file or a pipe for reading, without waiting for a pipe's writer; "-" is
  // standard input. Anything else (a directory, a device) is refused with the reason.
  virtual TextStreamOpen openText(const std::string& /*path*/) {
    return {nullptr, "lists of names cannot be read on this system"};
  }
  // The bytes of a regular file of at most limit bytes. Anything else (a directory, a pipe, a
  // device) is refused without a read, and the open itself never waits. None here: nothing is
  // read.
  virtual FileBytes readRegularFile(const std::string& /*path*/, size_t /*limit*/) {
    return {false, {}, "files cannot be read here"};
  }
  // The first matches (at most limit) of a name or wildcard pattern, in the system's order.
  // Only * and ? are wildcards.
  virtual std::vector<FileMatch> findFiles(const std::string& pattern, size_t limit) = 0;
  // What the path names; by default as the file search finds it.
  virtual PathFacts examine(const std::string& path) {
    std::vector<FileMatch> found = findFiles(path, 1);
    if (found.empty()) return {PathFacts::Kind::missing, "no such file"};
    if (found[0].isDirectory) return {PathFacts::Kind::directory, "is a directory"};
    return {PathFacts::Kind::file, ""};
  }
};

// How the system's file names are split into directory and name: the directory separator, and
// whether double-byte (Shift-JIS) characters are stepped over whole, so that a second byte equal
// to the separator's code is never taken for one.
struct PathRules {
  char separator = '/';
  bool skipLeadBytes = false;
};

// Facts about the machine and the user.
class Environment {
 public:
  virtual ~Environment() = default;
  // The user's language is Japanese (Japanese variants of some messages).
  virtual bool japaneseUser() = 0;
  // The system is old enough to need the longer polling intervals.
  virtual bool oldSystem() = 0;
  // The running program's path as the system reports it, when it differs from word 0.
  virtual std::string programPath(const std::string& word0) = 0;
  // Where the settings file is read from: "tessaro.ini" in the program's directory, or the
  // user's own place for it when the program's directory holds none.
  virtual std::string settingsPath(const std::string& programDir) = 0;
  virtual PathRules pathRules() { return PathRules{}; }
  // A file name written in UTF-8 (in a UTF-8 settings file) as the system's file calls take it.
  virtual std::string nativeFileName(const std::string& utf8) { return utf8; }
  // The user's home directory, which a leading ~/ in a name stands for; empty: none.
  virtual std::string homeDirectory() { return ""; }
  // The width of the terminal standard output writes to; 0 when it is not a terminal (a pipe,
  // a file), where only whole lines are written.
  virtual int terminalColumns() { return 0; }
  // The same for standard error, where progress is drawn; asked again at every redraw, so a
  // terminal that changes its width is followed.
  virtual int errorColumns() { return 0; }
  // Lines for the help text on the variables that choose this system's outputs; none: none.
  virtual std::vector<std::string> variablesHelp() { return {}; }
};

// --- Offline audio ---------------------------------------------------------------------------

// One audio file rendered from MIDI with a sample clock, as fast as the machine allows: every
// message is applied at its sample frame.
class AudioRenderer {
 public:
  // Releases the synthesizer; a file not finished is left as it stands.
  virtual ~AudioRenderer() = default;
  // Renders up to frame (never back before what is rendered), then takes the bytes, which go
  // on with the stream as a serial MIDI line carries it: running status, whole system
  // exclusives, single bytes.
  virtual void play(uint64_t frame, const uint8_t* bytes, size_t count) = 0;
  // Renders up to frame, then on until the sound has died away, at most maxFrames further.
  // Either ends early once the stop flag the renderer was opened with is set.
  virtual void ringOut(uint64_t frame, uint64_t maxFrames) = 0;
  // Frames rendered so far.
  virtual uint64_t frames() const = 0;
  // Completes and closes the file; false with the reason in plain words when a write failed.
  virtual bool finish(std::string& problem) = 0;
};

struct AudioRendererOpen {
  std::unique_ptr<AudioRenderer> renderer;  // set on success
  std::string reason;                       // plain words on failure
};

class AudioRenderers {
 public:
  virtual ~AudioRenderers() = default;
  virtual int sampleRate() const = 0;
  // Whether it writes files of this extension (with its dot, lower case: ".wav").
  virtual bool writes(const std::string& extension) const = 0;
  // Called once, before renderers are opened on several threads: what the synthesizer keeps
  // for the whole process is set up here. False with the reason when nothing can be rendered.
  virtual bool prepare(std::string& reason) = 0;
  // The user's synthesizer settings, told before prepare.
  virtual void configure(const SynthSettings& /*settings*/) {}
  // A renderer into path, its type chosen by the extension, reading bank selects as a module
  // of the convention does. Once stop is set (by another thread), long renders end early: the
  // file is then abandoned.
  virtual AudioRendererOpen open(const std::string& path, ModuleConvention convention,
                                 const std::atomic<bool>& stop) = 0;
};

// --- Status window ---------------------------------------------------------------------------

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// A line of text as coverage, one byte a pixel (0 none .. 255 full), width x height, rows from
// the top of the text's character cell.
struct TextMask {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> coverage;
};

// Renders text in the program's font: a Japanese-capable one when installed.
class GlyphSource {
 public:
  virtual ~GlyphSource() = default;
  // text is UTF-8; cellHeight is the character cell's height in pixels (ascent + descent).
  virtual void render(const std::string& text, int cellHeight, TextMask& mask) = 0;
};

// What the window shows, kept by the display; a window reads it on the main thread.
class WindowContent {
 public:
  virtual ~WindowContent() = default;
  virtual int contentWidth() const = 0;
  virtual int contentHeight() const = 0;
  // Row-major RGB, contentWidth() * 3 bytes a row, at least contentHeight() rows.
  virtual const uint8_t* pixels() const = 0;
  // The note cells drawn straight onto the window since it last showed their rows afresh.
  virtual void forEachLitCell(
      const std::function<void(int x, int y, int w, int h, Rgb colour)>& draw) const = 0;
  // The window showed content rows y1..y2 afresh: cells lit there are gone until lit again.
  virtual void rowsShown(int y1, int y2) = 0;
  // True once after a note cell changed.
  virtual bool takeCellChange() = 0;
};

// What the window reports; called on the main thread while the window pumps its events.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  // A key code: characters 1-255, navigation keys 0x121-0x42E, Alt+letter 0x541-0x57A.
  virtual void key(int code) = 0;
  virtual void wheel(bool up) = 0;
  // Left button down at a content point (scroll offset added).
  virtual void leftDown(int x, int y, bool ctrl, bool shift) = 0;
  virtual void leftUp() = 0;
  virtual void rightDown(bool ctrl, bool shift) = 0;
  // Full paths of files dropped on the window, in the order given.
  virtual void dropped(const std::vector<std::string>& paths) = 0;
  // The user closed the window; it no longer exists.
  virtual void closed() = 0;
};

struct FileChoice {
  enum class Result { chosen, cancelled, failed };
  Result result = Result::cancelled;
  std::string path;   // when chosen
  std::string error;  // plain words when failed
};

// The one status window. Every call is made on the main thread.
class StatusWindowPort {
 public:
  // Destroys the window.
  virtual ~StatusWindowPort() = default;
  // False once the user has closed it.
  virtual bool exists() = 0;
  virtual void setTitle(const std::string& title) = 0;
  // Shows content rows y1..y2 afresh, at once.
  virtual void showRows(int y1, int y2) = 0;
  // Handles pending events without waiting, and shows changed note cells.
  virtual void pump() = 0;
  // Leaves the always-on-top band it was created in.
  virtual void releaseTopmost() = 0;
  // The modal file chooser for one existing MIDI file, opened in startDirectory (the directory
  // of the song playing); empty: where the window system chooses.
  virtual FileChoice chooseMidiFile(const std::string& startDirectory) = 0;
  // Colours of the desktop: menu background and disabled text.
  virtual Rgb menuColour() = 0;
  virtual Rgb grayTextColour() = 0;
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // A shown, topmost window with a client area of the content's size; nullptr when there is no
  // display or the window cannot be made. content and events outlive the window.
  virtual std::unique_ptr<StatusWindowPort> create(const std::string& title, WindowContent& content,
                                                   WindowEvents& events) = 0;
};

// Every service, as one set handed to the application.
struct Services {
  Clock* clock = nullptr;
  Threads* threads = nullptr;
  Priorities* priorities = nullptr;
  ConsoleInput* console = nullptr;
  SerialPorts* serial = nullptr;
  MidiOutputs* midiOut = nullptr;
  FileSystem* files = nullptr;
  Environment* environment = nullptr;
  WindowSystem* windows = nullptr;  // none: the program runs console-only
  GlyphSource* glyphs = nullptr;
  AudioRenderers* audio = nullptr;  // none: no audio files can be written
  OutputFiles* outputs = nullptr;   // none: no files can be written
  MidiInputs* midiIn = nullptr;     // none: no MIDI input can be read
};

}  // namespace tessaro::platform
