// Whether a settings file can be opened the way the system's profile functions open it. Those
// functions report nothing: a file they cannot open reads as one without keys, and a failed write
// is lost. The window asks first, so that it neither saves the defaults over a file it could not
// read nor leaves a failed import or export unreported.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::ui {

// Opens the file for reading, shared as the profile functions share it, and closes it again.
// Returns ERROR_SUCCESS when it opened or is not there at all (a missing file reads as one without
// keys), otherwise the system's error: ERROR_SHARING_VIOLATION for a file another program holds,
// ERROR_ACCESS_DENIED for a folder or a file this user may not read.
DWORD SettingsFileReadError(const std::string& path);

// Opens the file for reading and writing, shared as the profile functions share it, creating it
// when it is missing (the writes that follow would create it anyway), and closes it again.
// Returns ERROR_SUCCESS when it opened, otherwise the system's error; a read-only file gives
// ERROR_ACCESS_DENIED, since the settings writer never writes one.
DWORD SettingsFileWriteError(const std::string& path);

// The system's own text for an error code, in the process code page and without its line end;
// "Error:" and the code when the system has no text for it.
std::string SystemErrorText(DWORD error);

}  // namespace velmora::ui
