// The shell's folder browser, opened on a seed folder.
#pragma once

#include <windows.h>

namespace velmora::ui {

// Lets the user choose a file-system folder, with seedPath selected first when the browser finds
// it. Returns IDOK when a folder was chosen (its path copied into result when it is shorter than
// limit bytes; for an item without a file-system path, or a longer path, result is left as it
// was), IDCANCEL when the user cancelled.
int BrowseForFolder(HWND owner, const char* seedPath, char* result, std::size_t limit);

// The browser's callback: selects the seed path (callback data) when the browser starts.
// Always returns 0.
int CALLBACK BrowseCallbackProc(HWND browser, UINT message, LPARAM parameter, LPARAM data);

}  // namespace velmora::ui
