// Main-thread priorities, the choice of the message device, file patterns and facts about the
// user and the program.
#include <fcntl.h>
#include <glob.h>
#include <linux/capability.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "backends/alsa/alsa_sequencer.h"
#include "backends/posix/posix_platform.h"
#include "backends/synth/synth_device.h"

namespace tessaro::platform::posix {

namespace {

// True when the calling thread holds CAP_SYS_NICE, which lifts every limit on nice values.
bool hasNiceCapability() {
  __user_cap_header_struct header{};
  header.version = _LINUX_CAPABILITY_VERSION_3;
  header.pid = 0;
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  return (data[CAP_SYS_NICE / 32].effective & (1u << (CAP_SYS_NICE % 32))) != 0;
}

// True when a thread of this process may go back to the given nice value after lowering its
// priority: a lower nice value needs CAP_SYS_NICE or an RLIMIT_NICE of at least 20 - value.
bool mayReturnTo(int nice) {
  if (hasNiceCapability()) return true;
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) != 0) return false;
  if (limit.rlim_cur == RLIM_INFINITY) return true;
  return static_cast<long long>(limit.rlim_cur) >= 20LL - nice;
}

// The value of an environment variable, empty when unset.
std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

// setpriority with PRIO_PROCESS and a thread id acts on that one thread on Linux, so these
// leave the player thread's scheduling alone.
bool PosixPriorities::getMainPriority(int& priority) {
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  if (nice == -1 && errno != 0) return false;
  priority = nice;
  return true;
}

bool PosixPriorities::setMainPriority(int priority) {
  return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), priority) == 0;
}

bool PosixPriorities::setMainPriorityLowest() {
  int current = 0;
  if (!getMainPriority(current)) return false;
  const int lowered = std::min(current + 2, 19);
  // Without the right to come back the main thread keeps its priority: a lowered main thread
  // that can never be raised again would be worse than one never lowered. The request still
  // counts as done, as a silently downgraded request does elsewhere.
  if (lowered == current || !mayReturnTo(current)) return true;
  return setMainPriority(lowered);
}

namespace {

// Only * and ? are wildcards in names: [, ] and \ are escaped for glob(3) to match as they
// stand.
std::string globPattern(const std::string& name) {
  std::string pattern;
  for (char c : name) {
    if (c == '[' || c == ']' || c == '\\') pattern.push_back('\\');
    pattern.push_back(c);
  }
  return pattern;
}

}  // namespace

bool PosixMidiOutputs::choosePort(const std::string& name) {
  chosen_ = name;
  return true;
}

PortListing PosixMidiOutputs::listPorts() {
  return alsa::listSequencerPorts();
}

MidiOpenResult PosixMidiOutputs::open(uint32_t /*deviceId*/) {
  if (!chosen_.empty()) return alsa::openSequencerOutput(chosen_, "-p");
  std::string port = variable("TESSARO_MIDI_PORT");
  if (!port.empty()) return alsa::openSequencerOutput(port, "TESSARO_MIDI_PORT");
  synth::SynthOptions options;
  // The user's option wins over the variable.
  const bool chosen = !synth_.soundFont.empty();
  options.soundFont = chosen ? synth_.soundFont : variable("TESSARO_SOUNDFONT");
  options.soundFontSource = chosen ? "--soundfont" : "TESSARO_SOUNDFONT";
  options.sampleRate = synth_.sampleRate;
  options.gain = synth_.gain;
  options.wavPath = recordingPath();
  if (!options.wavPath.empty()) {
    PendingFileOpen file = PosixOutputFiles().begin(options.wavPath, ".wav");
    if (!file.file) {
      return MidiOpenResult::failed("cannot render to WAV (TESSARO_WAV): " + options.wavPath +
                                    ": cannot create: " + file.problem);
    }
    options.wavFile = std::move(file.file);
    options.discardRecording = discarded_;
  }
  return synth::openSynthesizer(std::move(options));
}

std::string PosixMidiOutputs::recordingPath() const {
  return variable("TESSARO_WAV");
}

std::vector<FileMatch> PosixFileSystem::findFiles(const std::string& pattern, size_t limit) {
  std::vector<FileMatch> matches;
  if (limit == 0 || pattern.empty()) return matches;
  glob_t found{};
  // A name without wildcards comes back only when it exists, as glob checks it.
  if (glob(globPattern(pattern).c_str(), 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc && matches.size() < limit; ++i) {
      std::string path = found.gl_pathv[i];
      FileMatch match;
      struct stat info {};
      // A dangling link is listed (glob lists it too) as a file; opening it reports why.
      match.isDirectory = ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
      while (path.size() > 1 && path.back() == '/') path.pop_back();
      const size_t slash = path.rfind('/');
      match.name = slash == std::string::npos || path.size() == 1 ? path : path.substr(slash + 1);
      matches.push_back(std::move(match));
    }
  }
  globfree(&found);
  return matches;
}

PathFacts PosixFileSystem::examine(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    int error = errno;
    if (error == ENOENT || error == ENOTDIR) return {PathFacts::Kind::missing, "no such file"};
    return {PathFacts::Kind::unreadable, std::strerror(error)};
  }
  if (S_ISDIR(info.st_mode)) return {PathFacts::Kind::directory, "is a directory"};
  if (::access(path.c_str(), R_OK) != 0) return {PathFacts::Kind::unreadable, std::strerror(errno)};
  return {PathFacts::Kind::file, ""};
}

FileBytes PosixFileSystem::readRegularFile(const std::string& path, size_t limit) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {false, {}, examine(path).reason};
  if (S_ISDIR(info.st_mode)) return {false, {}, "is a directory"};
  if (!S_ISREG(info.st_mode)) return {false, {}, "not a regular file (a pipe or a device)"};
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {false, {}, std::strerror(errno)};
  FileBytes result;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    result.reason = "not a regular file (a pipe or a device)";
  } else {
    char block[65536];
    ssize_t count = 0;
    while (result.bytes.size() <= limit &&
           ((count = ::read(fd, block, sizeof block)) > 0 || (count < 0 && errno == EINTR))) {
      if (count > 0) result.bytes.append(block, static_cast<size_t>(count));
    }
    if (count < 0) {
      result.reason = std::strerror(errno);
    } else if (result.bytes.size() > limit) {
      result.reason = "larger than " + std::to_string(limit) + " bytes";
    } else {
      result.read = true;
    }
  }
  ::close(fd);
  if (!result.read) result.bytes.clear();
  return result;
}

bool PosixEnvironment::japaneseUser() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::strncmp(value, "ja", 2) == 0;
  }
  return false;
}

std::string PosixEnvironment::programPath(const std::string& word0) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", target.data(), target.size());
    if (length < 0) return word0;
    // A result that fills the buffer may have been cut short: try again with more room.
    if (static_cast<size_t>(length) < target.size()) {
      target.resize(static_cast<size_t>(length));
      return target;
    }
    if (target.size() >= 65536) return word0;
    target.resize(target.size() * 2);
  }
}

std::string PosixEnvironment::settingsPath(const std::string& programDir) {
  static const char name[] = "tessaro.ini";
  std::string beside = programDir + name;
  struct stat info {};
  if (stat(beside.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) return beside;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/tessaro/" + name;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/tessaro/" + name;
}

std::string PosixEnvironment::homeDirectory() {
  return variable("HOME");
}

namespace {

// The width of the terminal on fd (80 when it does not say), 0 for none.
int columnsOf(int fd) {
  if (!isatty(fd)) return 0;
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

}  // namespace

int PosixEnvironment::terminalColumns() {
  return columnsOf(STDOUT_FILENO);
}

int PosixEnvironment::errorColumns() {
  return columnsOf(STDERR_FILENO);
}

std::vector<std::string> PosixEnvironment::variablesHelp() {
  return {
      "TESSARO_MIDI_PORT  the default output: this ALSA sequencer port (as -p names one)",
      "TESSARO_SOUNDFONT  the built-in synthesizer's SoundFont (.sf2 file or directory)",
      "TESSARO_WAV        render the built-in synthesizer into this WAV file instead",
      "TESSARO_COMn       the device of COMn (default /dev/ttyS<n-1>); -p wins over it",
      "XDG_CONFIG_HOME    where tessaro/tessaro.ini is looked for (default ~/.config)",
  };
}

}  // namespace tessaro::platform::posix
