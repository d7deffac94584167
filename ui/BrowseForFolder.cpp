#include "ui/BrowseForFolder.h"

#include <shlobj.h>

#include <cstring>
#include <string>

#include "res/resource.h"
#include "ui/Application.h"
#include "ui/ScopedWin.h"

namespace velmora::ui {

int CALLBACK BrowseCallbackProc(HWND browser, UINT message, LPARAM, LPARAM data) {
  // TRUE: the parameter is a path text, not an item list.
  if (message == BFFM_INITIALIZED && data) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

int BrowseForFolder(HWND owner, const char* seedPath, char* result, std::size_t limit) {
  const std::string title = LoadResourceString(IDS_BROWSE_FOLDER_TITLE);
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = BrowseCallbackProc;
  info.lParam = reinterpret_cast<LPARAM>(seedPath);
  const ScopedCoMem<ITEMIDLIST> item(SHBrowseForFolderA(&info));
  if (!item) return IDCANCEL;
  char path[MAX_PATH] = {};
  const BOOL isPath = SHGetPathFromIDListA(item.Get(), path);
  // An item without a file-system path, or a path that does not fit, leaves result as it was.
  const std::size_t length = std::strlen(path);
  if (isPath && length < limit) std::memcpy(result, path, length + 1);
  return IDOK;
}

}  // namespace velmora::ui
