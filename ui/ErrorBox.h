// The error box for an error raised inside a command: a file error's own text with the file's
// name, the out-of-memory text, or the internal-error text.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::ui {

// Shows the box for the exception being handled; call only inside a catch block. owner may be
// nullptr.
void ShowCurrentExceptionBox(HWND owner) noexcept;

// A message box captioned with the application's display name.
int AppMessageBox(HWND owner, const std::string& text, UINT type);

}  // namespace velmora::ui
