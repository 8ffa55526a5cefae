#include "cli/terminal.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// Set by the signal handler; the one piece of process state a handler may touch.
std::atomic<bool> interrupted {false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int signalNumber) {
  interrupted.store(true);
  std::signal(signalNumber, SIG_DFL);  // a second Ctrl-C ends the program
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

int TerminalColumns(std::FILE* stream) {
#ifndef _WIN32
  winsize size {};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
#else
  (void)stream;
#endif
  return 80;
}

void InstallInterruptHandler() { std::signal(SIGINT, OnInterrupt); }

bool InterruptRequested() { return interrupted.load(); }

void ResetInterrupt() { interrupted.store(false); }
