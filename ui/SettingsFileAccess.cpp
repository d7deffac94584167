#include "ui/SettingsFileAccess.h"

#include "platform/win32/Win32Platform.h"
#include "ui/ScopedWin.h"

namespace velmora::ui {

namespace {

// The profile functions open a file shared for reading and writing, so that other readers and
// writers of it are not shut out; a program that holds it without sharing still shuts them out.
constexpr DWORD kProfileShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

DWORD OpenError(const std::string& path, DWORD access, DWORD disposition) {
  const AutoCloseHandle file(CreateFileA(path.c_str(), access, kProfileShare, nullptr,
                                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.IsValid() ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

DWORD SettingsFileReadError(const std::string& path) {
  const DWORD error = OpenError(path, GENERIC_READ, OPEN_EXISTING);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return ERROR_SUCCESS;
  return error;
}

DWORD SettingsFileWriteError(const std::string& path) {
  if (platform::MarkedReadOnly(path)) return ERROR_ACCESS_DENIED;
  return OpenError(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
}

std::string SystemErrorText(DWORD error) {
  // Language 0: the user's language where the system has the text in it.
  std::string text = platform::FormatSystemMessage(error, 0);
  // CR, LF and the blank are never the second byte of a double-byte character.
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "Error:" + std::to_string(error) : text;
}

}  // namespace velmora::ui
