#include <signal.h>

#include <atomic>

#include "platform/Interrupts.h"

namespace velmora::platform {

namespace {

// Written by the signal handler, read by any thread: a lock-free atomic is safe in both.
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void NoteSignal(int signal) {
  int none = 0;
  caught.compare_exchange_strong(none, signal);
}

void Catch(int signal, bool keepIgnored) {
  struct sigaction old {};
  if (keepIgnored && ::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  // Once: a second request ends the process as the system would. SA_RESTART lets the reads and
  // writes under way finish instead of failing with EINTR.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  ::sigaction(signal, &action, nullptr);
}

}  // namespace

void CatchInterrupts() {
  Catch(SIGINT, true);
  Catch(SIGHUP, true);
  Catch(SIGTERM, false);
}

int InterruptStatus() {
  const int signal = caught.load();
  return signal == 0 ? 0 : 128 + signal;
}

const char* InterruptName() {
  switch (caught.load()) {
    case 0: return "";
    case SIGINT: return "SIGINT (Ctrl+C)";
    case SIGHUP: return "SIGHUP (the terminal was closed)";
    case SIGTERM: return "SIGTERM";
    default: return "a signal";
  }
}

void InterruptHandled() {}

}  // namespace velmora::platform
