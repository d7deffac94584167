// Requests from outside to stop the process (Ctrl+C, SIGTERM, a closed terminal or console),
// taken as a note for the program to act on instead of ending it at once.
#pragma once

namespace velmora::platform {

// From now on the first such request is noted, for InterruptStatus; a second one ends the process
// as the system would. A request that the process was started to ignore (SIGINT and SIGHUP of a
// job in the background, nohup) stays ignored.
void CatchInterrupts();

// 0 while no request came; else the exit status that the request stands for: 128 and the
// signal's number on POSIX (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP), 130 on Windows.
int InterruptStatus();

// What the request was, for a message: "SIGINT (Ctrl+C)", "SIGTERM", "a closed console", ...;
// "" while none came.
const char* InterruptName();

// Tells the system that the program has done what a request asked (on Windows, a closed console
// waits for this before the process ends, for at most a few seconds).
void InterruptHandled();

}  // namespace velmora::platform
