#include "ui/SettingsFileAccess.h"

namespace velmora::ui {

namespace {

// The profile functions open a file shared for reading and writing, so that other readers and
// writers of it are not shut out; a program that holds it without sharing still shuts them out.
constexpr DWORD kProfileShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

DWORD OpenError(const std::string& path, DWORD access, DWORD disposition) {
  HANDLE file = CreateFileA(path.c_str(), access, kProfileShare, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD SettingsFileReadError(const std::string& path) {
  const DWORD error = OpenError(path, GENERIC_READ, OPEN_EXISTING);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return ERROR_SUCCESS;
  return error;
}

DWORD SettingsFileWriteError(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  return OpenError(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
}

std::string SystemErrorText(DWORD error) {
  char* buffer = nullptr;
  // Language 0: the user's language where the system has the text in it.
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length > 0 && buffer ? std::string(buffer, length) : std::string();
  if (buffer) LocalFree(buffer);
  // CR, LF and the blank are never the second byte of a double-byte character.
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "Error:" + std::to_string(error) : text;
}

}  // namespace velmora::ui
