#include <windows.h>

#include <atomic>

#include "platform/Interrupts.h"

namespace velmora::platform {

namespace {

std::atomic<DWORD> caught{0};
std::atomic<bool> anyCaught{false};
// Set when the program has done what the request asked; a closed console waits for it.
HANDLE handled = nullptr;

// A closed console, a logoff or a shutdown ends the process when this handler returns (or after
// about five seconds): the handler waits a little less than that for the program to finish.
constexpr DWORD kCloseWaitMilliseconds = 4500;

// Called by the system on a thread of its own ("HandlerRoutine"): TRUE means handled.
BOOL WINAPI NoteControl(DWORD type) {
  bool expected = false;
  if (!anyCaught.compare_exchange_strong(expected, true)) {
    // A second request ends the process as the system would.
    return FALSE;
  }
  caught.store(type);
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    if (handled != nullptr) WaitForSingleObject(handled, kCloseWaitMilliseconds);
  }
  return TRUE;
}

}  // namespace

void CatchInterrupts() {
  handled = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(NoteControl, TRUE);
}

int InterruptStatus() { return anyCaught.load() ? 130 : 0; }

const char* InterruptName() {
  if (!anyCaught.load()) return "";
  switch (caught.load()) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "a closed console";
    default: return "the end of the session";
  }
}

void InterruptHandled() {
  if (handled != nullptr) SetEvent(handled);
}

}  // namespace velmora::platform
