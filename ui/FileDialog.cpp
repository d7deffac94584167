#include "ui/FileDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>

namespace velmora::ui {

std::optional<std::string> ShowFileDialog(HWND owner, const FileDialogOptions& options) {
  char fileName[kFileNameBufferSize] = {};
  const std::size_t initial = std::min(options.initialName.size(), kFileNameBufferSize - 1);
  std::memcpy(fileName, options.initialName.data(), initial);

  // The filter's "|" become the terminators that the dialog expects.
  std::string filter = options.filter;
  std::replace(filter.begin(), filter.end(), '|', '\0');
  filter.push_back('\0');

  OPENFILENAMEA description{};
  description.lStructSize = sizeof description;
  description.hwndOwner = owner;
  description.lpstrFilter = filter.empty() || filter[0] == '\0' ? nullptr : filter.c_str();
  description.nFilterIndex = 1;
  description.lpstrFile = fileName;
  description.nMaxFile = sizeof fileName;
  description.lpstrDefExt = options.defaultExtension.empty() ? nullptr
                                                             : options.defaultExtension.c_str();
  description.Flags = options.flags | OFN_EXPLORER | OFN_ENABLESIZING;
  const BOOL chosen = options.open ? GetOpenFileNameA(&description)
                                   : GetSaveFileNameA(&description);
  if (!chosen) return std::nullopt;
  return std::string(fileName);
}

}  // namespace velmora::ui
