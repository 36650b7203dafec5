// Keys from the terminal without waiting, through the terminal key decoder, so that escape
// sequences are read whole and a lone ESC is Esc. Keys come from a terminal only: standard input
// when it is one, else the controlling terminal (/dev/tty), never from a pipe or a file (names
// piped to the program are not keys, and standard input then belongs to whoever reads names from
// it). The terminal's line discipline is switched to non-canonical input without echo or CR/LF
// translation, keeping ISIG so that Ctrl+C still interrupts; the mode the terminal had is put
// back whenever the program lets go of the keyboard or ends. Ctrl+C and SIGTERM ask the program to
// stop: the first only raises a flag the main loop reads, so that the song is silenced before the
// program ends; a second one, while the program is still stopping, ends it at once (terminal
// restored).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {

namespace {

// The terminal's mode before we changed it. It is process-wide state, as the terminal is, and
// a plain static so that the signal handler may read it; it is written only while
// terminalChanged is false, before the handlers can look at it.
termios savedTermios;
// The terminal whose mode we changed (standard input or the controlling terminal).
std::atomic<int> changedTerminal{-1};
// True while the terminal is in our mode. Lock-free, so the signal handler may read it.
std::atomic<bool> terminalChanged{false};
std::atomic<bool> atexitRegistered{false};
std::atomic<bool> signalHandlersInstalled{false};
// Set by the first SIGINT, SIGTERM or SIGHUP; read by the main loop as a stop request.
std::atomic<bool> stopRequested{false};
// The signal of that request, for the exit status and the signal raised again at the end.
std::atomic<int> stopSignalNumber{0};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

// Puts the saved mode back. Async-signal-safe: tcsetattr and sigprocmask are. SIGTTOU is held
// off meanwhile so that a program moved to the background is not stopped by its own restore,
// and the stop signals so that their handler cannot cut in after the flag is taken but before
// the mode is back.
void restoreTerminal() {
  sigset_t held;
  sigset_t previous;
  sigemptyset(&held);
  sigaddset(&held, SIGTTOU);
  sigaddset(&held, SIGINT);
  sigaddset(&held, SIGTERM);
  sigaddset(&held, SIGHUP);
  sigprocmask(SIG_BLOCK, &held, &previous);
  if (terminalChanged.exchange(false)) tcsetattr(changedTerminal.load(), TCSANOW, &savedTermios);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

// The first request only raises the flag: the main loop stops the song, silences it and ends
// the run. A second one removes the temporary output files, restores the terminal and lets the
// signal do what it would have done without us, so that a program stuck while stopping can
// still be ended.
void onStopSignal(int signal) {
  const int savedErrno = errno;
  int none = 0;
  stopSignalNumber.compare_exchange_strong(none, signal);
  if (stopRequested.exchange(true)) {
    // No file is left half written: the temporary ones under way go with the program.
    removePendingOutputs();
    restoreTerminal();
    ::signal(signal, SIG_DFL);
    raise(signal);
  }
  errno = savedErrno;
}

void installStopHandlers() {
  if (signalHandlersInstalled.exchange(true)) return;
  // A hang-up (the terminal closed, the session ended) stops as Ctrl+C does, so that the
  // module is silenced and no temporary output is left behind.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) != 0) continue;
    // A signal the program was started with ignored (a background job, nohup) stays ignored.
    if (previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume: the request is read by the main loop, not by them.
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
  }
}

// True when the terminal is one we may read and switch: not one whose foreground belongs to
// another process group (a job started with & would be stopped by touching it).
bool isUsableTerminal(int fd) {
  const pid_t foreground = tcgetpgrp(fd);
  // A terminal that is not our controlling terminal has no foreground for us; it is usable.
  return foreground == -1 || foreground == getpgrp();
}

// Switches the terminal to immediate, silent key input. False when it is a background job's.
bool enterKeyMode(int fd) {
  if (terminalChanged.load()) return true;
  if (!isUsableTerminal(fd)) return false;
  termios mode{};
  if (tcgetattr(fd, &mode) != 0) return false;
  savedTermios = mode;
  changedTerminal.store(fd);
  if (!atexitRegistered.exchange(true)) std::atexit(restoreTerminal);
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  mode.c_lflag |= ISIG;
  // Enter arrives as the carriage return it is, not translated to a line feed.
  mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  // Set before the change, so that a signal arriving in between restores rather than leaves
  // the terminal in our mode.
  terminalChanged.store(true);
  if (tcsetattr(fd, TCSANOW, &mode) != 0) {
    terminalChanged.store(false);
    return false;
  }
  return true;
}

// Milliseconds of the monotonic clock, for the wait after an ESC.
uint32_t nowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000);
}

}  // namespace

// The handlers are in place from the start, whatever standard input is: a stop request that
// comes before the first song is read when the start-up is done, and one from outside a
// terminal (SIGTERM) ends a song as cleanly as Ctrl+C does.
PosixConsoleInput::PosixConsoleInput(bool installSignalHandlers)
    : installSignalHandlers_(installSignalHandlers) {
  if (installSignalHandlers_) {
    stopRequested.store(false);
    stopSignalNumber.store(0);
    installStopHandlers();
  }
}

PosixConsoleInput::~PosixConsoleInput() {
  restoreTerminal();
  if (ownTerminal_ >= 0) ::close(ownTerminal_);
}

// Standard input when it is a terminal, else the controlling terminal, else none: no keys.
void PosixConsoleInput::chooseTerminal() {
  chosen_ = true;
  if (isatty(STDIN_FILENO)) {
    terminal_ = STDIN_FILENO;
    return;
  }
  ownTerminal_ = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  terminal_ = ownTerminal_;
  if (terminal_ < 0) endOfInput_ = true;
}

int PosixConsoleInput::readKey() {
  if (released_ || endOfInput_) return 0;
  // The terminal is chosen and switched on first use rather than at start, so that a run that
  // never reads keys (usage, an early failure) leaves it alone. A background job reads nothing.
  if (!chosen_) chooseTerminal();
  if (terminal_ < 0 || !isUsableTerminal(terminal_) || !enterKeyMode(terminal_)) return 0;
  // Every byte waiting is read until one completes a key: a sequence arrives at once. A
  // sequence left open longer than the wait ends before the next byte is read.
  for (;;) {
    if (int key = keys_.idle(nowMs()); key != 0) return key;
    pollfd input{terminal_, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) return keys_.idle(nowMs());
    if ((input.revents & POLLNVAL) != 0) {
      endOfInput_ = true;
      return keys_.idle(nowMs(), true);
    }
    if ((input.revents & (POLLIN | POLLHUP | POLLERR)) == 0) return keys_.idle(nowMs());
    unsigned char byte = 0;
    const ssize_t count = ::read(terminal_, &byte, 1);
    if (count == 1) {
      if (int key = keys_.feed(byte, nowMs()); key != 0) return key;
      continue;
    }
    // A terminal that hung up: there will be no more keys.
    if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
      endOfInput_ = true;
      return keys_.idle(nowMs(), true);
    }
    return keys_.idle(nowMs());
  }
}

bool stopRequestedBySignal() {
  return stopRequested.load();
}

int PosixConsoleInput::stopSignal() {
  return installSignalHandlers_ ? stopSignalNumber.load() : 0;
}

void PosixConsoleInput::raiseStopSignal() {
  int signal = stopSignal();
  if (signal == 0) return;
  restoreTerminal();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

bool PosixConsoleInput::interrupted() {
  return installSignalHandlers_ && stopRequested.load();
}

void PosixConsoleInput::release() {
  restoreTerminal();
  released_ = true;
}

}  // namespace tessaro::platform::posix
