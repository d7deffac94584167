// The common file dialogs (open and save) with the explorer look.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace velmora::ui {

// The size of the dialogs' file-name buffer: an initial name keeps its first 259 bytes.
inline constexpr std::size_t kFileNameBufferSize = MAX_PATH;

struct FileDialogOptions {
  bool open = true;            // GetOpenFileNameA, else GetSaveFileNameA
  std::string initialName;     // cut to kFileNameBufferSize - 1 bytes
  std::string defaultExtension;  // without the dot; empty for none
  // Entries separated by "|": label|pattern|label|pattern||.
  std::string filter;
  DWORD flags = 0;             // the explorer style and resizing are always added
};

// Shows the dialog; the chosen full path, or nothing when the user cancelled or the dialog
// failed.
std::optional<std::string> ShowFileDialog(HWND owner, const FileDialogOptions& options);

}  // namespace velmora::ui
