#include "platform/Platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include <string>

namespace velmora::platform {

unsigned SystemCodePage() { return GetACP(); }

CodePageInfo QueryCodePage(unsigned codePage) {
  CodePageInfo info;
  CPINFO cpInfo{};
  if (!GetCPInfo(codePage, &cpInfo)) return info;
  info.known = true;
  info.maxCharSize = cpInfo.MaxCharSize;
  // LeadByte holds pairs of inclusive ranges, ended by a pair of zeros.
  for (int i = 0; i + 1 < MAX_LEADBYTES && (cpInfo.LeadByte[i] || cpInfo.LeadByte[i + 1]); i += 2) {
    info.leadRanges.emplace_back(cpInfo.LeadByte[i], cpInfo.LeadByte[i + 1]);
  }
  return info;
}

std::string Utf8ToCodePage(unsigned codePage, std::string_view utf8Text) {
  if (codePage == CP_UTF8 || utf8Text.empty()) return std::string(utf8Text);
  int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(),
                                       static_cast<int>(utf8Text.size()), nullptr, 0);
  if (wideLength <= 0) return std::string(utf8Text);
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), static_cast<int>(utf8Text.size()), wide.data(),
                      wideLength);
  int length =
      WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string(utf8Text);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideLength, out.data(), length, nullptr, nullptr);
  return out;
}

const PathRules& NativePathRules() {
  static const PathRules rules{true, true, '\\', MAX_PATH};
  return rules;
}

std::string AbsolutePath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  if (n == 0 || n >= MAX_PATH) return path;
  return std::string(buffer, n);
}

std::string ProgramPath() {
  // Asked for in UTF-16, as the system holds it, and converted here: GetModuleFileNameA cuts a
  // long path without a word and puts "?" or a look-alike for a character that the code page
  // lacks, which names another file. Such a path cannot be had whole.
  std::wstring wide(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
  if (n == 0 || n >= wide.size()) return {};
  const UINT codePage = GetACP();
  // UTF-8 has every character; it takes neither the flag nor the question below.
  const bool utf8 = codePage == CP_UTF8;
  BOOL replaced = FALSE;
  char buffer[MAX_PATH] = {};
  // At most MAX_PATH - 1 bytes, so that the path and its NUL fit the program's path buffers.
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  const int length = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(n), buffer,
                                         MAX_PATH - 1, nullptr, utf8 ? nullptr : &replaced);
  if (length <= 0 || replaced) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

// ---- Files ------------------------------------------------------------------------------------

namespace {

FileErrorCause CauseFromWin32(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileErrorCause::DiskFull;
    case ERROR_FILE_NOT_FOUND: return FileErrorCause::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return FileErrorCause::BadPath;
    case ERROR_TOO_MANY_OPEN_FILES: return FileErrorCause::TooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileErrorCause::AccessDenied;
    case ERROR_INVALID_HANDLE: return FileErrorCause::InvalidFile;
    case ERROR_DIR_NOT_EMPTY:
    case ERROR_CANNOT_MAKE:
      return FileErrorCause::DirectoryFull;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK:
      return FileErrorCause::BadSeek;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
      return FileErrorCause::HardIO;
    case ERROR_SHARING_VIOLATION: return FileErrorCause::SharingViolation;
    case ERROR_LOCK_VIOLATION: return FileErrorCause::LockViolation;
    case ERROR_HANDLE_EOF: return FileErrorCause::EndOfFile;
    default: return FileErrorCause::Generic;
  }
}

bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

}  // namespace

InputFile::~InputFile() { Close(); }

bool InputFile::Open(const std::string& path) {
  Close();
  if (path.empty() || HasNul(path)) return false;
  // Share mode 0: nobody else may open the file while the run reads it.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  return true;
}

bool InputFile::IsOpen() const { return handle_ != nullptr; }

ReadStatus InputFile::Read(char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  if (handle_ == nullptr) return ReadStatus::Error;
  DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD n = 0;
  if (!ReadFile(static_cast<HANDLE>(handle_), buffer, chunk, &n, nullptr)) {
    return GetLastError() == ERROR_HANDLE_EOF ? ReadStatus::End : ReadStatus::Error;
  }
  if (n == 0) return ReadStatus::End;
  got = n;
  return ReadStatus::Ok;
}

std::optional<std::uint64_t> InputFile::Size() const {
  LARGE_INTEGER size{};
  if (handle_ == nullptr || !GetFileSizeEx(static_cast<HANDLE>(handle_), &size)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

namespace {

std::optional<FileIdentity> IdentityOfHandle(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

std::optional<FileIdentity> InputFile::Identity() const {
  if (handle_ == nullptr) return std::nullopt;
  return IdentityOfHandle(static_cast<HANDLE>(handle_));
}

void InputFile::Close() {
  if (handle_ != nullptr) {
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
  }
}

OutputFile::~OutputFile() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}

bool OutputFile::Create(const std::string& path, const std::vector<FileIdentity>& protectedFiles) {
  if (path.empty() || HasNul(path)) return false;
  // The common case first: a name that does not exist yet is created in one call, and a file just
  // created can be neither read-only nor protected. Anything else takes the checked way below.
  HANDLE created = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created != INVALID_HANDLE_VALUE) {
    handle_ = created;
    path_ = path;
    return true;
  }
  // A read-only file stays untouched even where the system would let this user write it (Wine
  // run by root shows the attribute but does not enforce it).
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return false;
  }
  HANDLE h = INVALID_HANDLE_VALUE;
  if (protectedFiles.empty()) {
    h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
  } else {
    // Open without truncating first, so that a protected file is recognised before it is cut.
    // A read-only file fails here just as CREATE_ALWAYS would fail on it.
    h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::optional<FileIdentity> identity = IdentityOfHandle(h);
    bool kept = false;
    for (const FileIdentity& protectedFile : protectedFiles) {
      if (identity && *identity == protectedFile) kept = true;
    }
    // A device such as a console has no length to cut; a disk file that cannot be cut fails.
    if (kept || (!SetEndOfFile(h) && GetFileType(h) == FILE_TYPE_DISK)) {
      CloseHandle(h);
      return false;
    }
  }
  handle_ = h;
  path_ = path;
  return true;
}

void OutputFile::Write(const char* data, std::size_t size) {
  while (size > 0) {
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), data, chunk, &written, nullptr)) {
      DWORD error = GetLastError();
      throw FileError(CauseFromWin32(error), path_, error);
    }
    // Fewer bytes stored than asked means the disk is full.
    if (written < chunk) throw FileError(FileErrorCause::DiskFull, path_, ERROR_DISK_FULL);
    data += written;
    size -= written;
  }
}

void OutputFile::Close() {
  if (handle_ == nullptr) return;
  HANDLE h = static_cast<HANDLE>(handle_);
  handle_ = nullptr;
  if (!CloseHandle(h)) {
    DWORD error = GetLastError();
    throw FileError(CauseFromWin32(error), path_, error);
  }
}

PathInfo InspectPath(const std::string& path) {
  PathInfo info;
  if (path.empty() || HasNul(path)) return info;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) info.kind = PathKind::Other;
    return info;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    info.kind = PathKind::Folder;
    return info;
  }
  // Device names (NUL, CON, COM1, ...) have attributes too; only a file on a disk is a file.
  // Access 0 asks for nothing but the handle, so the file itself is not touched.
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  info.kind = PathKind::Other;
  if (h == INVALID_HANDLE_VALUE) return info;
  LARGE_INTEGER size{};
  if (GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size)) {
    info.kind = PathKind::RegularFile;
    info.size = static_cast<std::uint64_t>(size.QuadPart);
  }
  CloseHandle(h);
  return info;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  if (path.empty() || HasNul(path)) return false;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  CloseHandle(h);
  return ok;
}

namespace {

// Writes every byte to an open file, in pieces that WriteFile's DWORD count can hold.
bool WriteAll(HANDLE h, std::string_view bytes) {
  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(h, data, chunk, &written, nullptr) || written != chunk) return false;
    data += written;
    left -= written;
  }
  return true;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  if (path.empty() || HasNul(path)) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  std::string temp = path + ".~tmp";
  for (unsigned attempt = 0;; ++attempt) {
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS && attempt < 100) {
        temp = path + ".~tmp" + std::to_string(GetCurrentProcessId()) + "_" +
               std::to_string(attempt);
        continue;
      }
      return false;
    }
    bool ok = WriteAll(h, bytes);
    ok = FlushFileBuffers(h) && ok;
    ok = CloseHandle(h) && ok;
    ok = ok && MoveFileExA(temp.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
  }
}

OutputProbe ProbeOutputFile(const std::string& path,
                            const std::vector<FileIdentity>& protectedFiles) {
  if (path.empty() || HasNul(path)) return OutputProbe::Refused;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // ERROR_FILE_NOT_FOUND: the folder is there and the file is not. A missing folder gives
    // ERROR_PATH_NOT_FOUND, a name the file system refuses ERROR_INVALID_NAME.
    return GetLastError() == ERROR_FILE_NOT_FOUND ? OutputProbe::Absent : OutputProbe::Refused;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return OutputProbe::Refused;
  }
  // No access rights asked: the identity can be read even while another program holds the file.
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return OutputProbe::OtherFile;
  const std::optional<FileIdentity> identity = IdentityOfHandle(h);
  const DWORD type = GetFileType(h);
  CloseHandle(h);
  for (const FileIdentity& kept : protectedFiles) {
    if (identity && *identity == kept) return OutputProbe::Refused;
  }
  return type == FILE_TYPE_DISK ? OutputProbe::PlainFile : OutputProbe::OtherFile;
}

bool WriteNewFile(const std::string& path, std::string_view bytes) {
  if (path.empty() || HasNul(path)) return false;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(h, bytes);
  ok = CloseHandle(h) && ok;
  if (!ok) DeleteFileA(path.c_str());
  return ok;
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void SetStandardOutputBinary() { _setmode(_fileno(stdout), _O_BINARY); }

// ---- Private-profile files ----------------------------------------------------------------------

bool SystemProfileAvailable() { return true; }

std::string SystemProfileGetString(const std::string& path, const std::string& section,
                                   const std::string& key, const std::string& defaultValue,
                                   std::size_t bufferSize) {
  std::string buffer(bufferSize, '\0');
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                     buffer.data(), static_cast<DWORD>(bufferSize), path.c_str());
  buffer.resize(n);
  return buffer;
}

std::int32_t SystemProfileGetInt(const std::string& path, const std::string& section,
                                 const std::string& key, std::int32_t defaultValue) {
  return static_cast<std::int32_t>(
      GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, path.c_str()));
}

bool SystemProfileWriteString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& value) {
  // A read-only settings file is never written, even where the system would let this user.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return false;
  }
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
         FALSE;
}

// ---- Names as the file system sees them ---------------------------------------------------------

std::optional<std::u16string> CodePageToUtf16(unsigned codePage, std::string_view bytes) {
  if (bytes.empty()) return std::u16string();
  if (bytes.size() > 0x7FFFFFFF) return std::nullopt;
  const int size = static_cast<int>(bytes.size());
  // Broken text fails as a whole rather than becoming U+FFFD, which would make names that differ
  // in their broken bytes look alike.
  const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size,
                                         nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::u16string wide(static_cast<std::size_t>(length), u'\0');
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size,
                          reinterpret_cast<wchar_t*>(wide.data()), length) != length) {
    return std::nullopt;
  }
  return wide;
}

std::optional<std::u16string> FileSystemUpperCase(std::u16string_view text) {
  if (text.empty()) return std::u16string();
  if (text.size() > 0x7FFFFFFF) return std::nullopt;
  const int size = static_cast<int>(text.size());
  std::u16string upper(text.size(), u'\0');
  // "LCMAP_LINGUISTIC_CASING: use linguistic rules for casing, instead of file system rules
  // (default)": without it the invariant locale gives the file system's uppercase, one unit each.
  const int length = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE,
                                   reinterpret_cast<const wchar_t*>(text.data()), size,
                                   reinterpret_cast<wchar_t*>(upper.data()), size, nullptr,
                                   nullptr, 0);
  if (length != size) return std::nullopt;
  return upper;
}

}  // namespace velmora::platform
