#include "platform/Platform.h"
#include "platform/CodePageTable.h"
#include "platform/win32/Win32Platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace velmora::platform {

// ---- Code pages -------------------------------------------------------------------------------

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

// ---- Paths ------------------------------------------------------------------------------------

SystemPath::SystemPath(std::string_view path) : SystemPath(path, ProcessCodePage(), GetACP()) {}

SystemPath::SystemPath(std::string_view path, unsigned runCodePage, unsigned systemCodePage) {
  if (runCodePage == systemCodePage) {
    ansi_ = std::string(path);
    return;
  }
  wide_ = true;
  const std::optional<std::u16string> wide = CodePageToUtf16(runCodePage, path);
  valid_ = wide.has_value();
  if (valid_) wideText_.assign(wide->begin(), wide->end());
}

std::optional<std::string> WideToCodePage(unsigned codePage, std::wstring_view wide) {
  if (wide.empty()) return std::string();
  if (wide.size() > 0x7FFFFFFF) return std::nullopt;
  const int size = static_cast<int>(wide.size());
  // UTF-8 and GB18030 have every character: they take neither WC_NO_BEST_FIT_CHARS nor the
  // question whether the default character was used, and refuse a lone surrogate instead.
  const bool complete = codePage == CP_UTF8 || codePage == 54936;
  const DWORD flags = complete ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL replaced = FALSE;
  BOOL* const replacedFlag = complete ? nullptr : &replaced;
  const int length = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr,
                                         replacedFlag);
  if (length <= 0 || replaced) return std::nullopt;
  std::string text(static_cast<std::size_t>(length), '\0');
  if (WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr,
                          replacedFlag) != length ||
      replaced) {
    return std::nullopt;
  }
  return text;
}

const PathRules& NativePathRules() {
  static const PathRules rules{true, true, '\\', MAX_PATH};
  return rules;
}

std::string AbsolutePath(const std::string& path) {
  const SystemPath name(path);
  if (!name.Wide()) {
    char buffer[MAX_PATH] = {};
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH) return path;
    return std::string(buffer, n);
  }
  if (!name.Valid()) return path;
  // The full path comes back in UTF-16 and goes to the run's code page whole, within the same
  // MAX_PATH bytes as above, or not at all.
  std::wstring buffer(32768, L'\0');
  const DWORD n =
      GetFullPathNameW(name.WideText(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (n == 0 || n >= buffer.size()) return path;
  const std::optional<std::string> full =
      WideToCodePage(ProcessCodePage(), std::wstring_view(buffer.data(), n));
  if (!full || full->size() >= MAX_PATH) return path;
  return *full;
}

std::string ProgramPath() {
  // Asked for in UTF-16, as the system holds it, and converted here into the run's code page:
  // GetModuleFileNameA cuts a long path without a word and puts "?" or a look-alike for a
  // character that the code page lacks, which names another file. Such a path cannot be had
  // whole.
  std::wstring wide(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
  if (n == 0 || n >= wide.size()) return {};
  // At most MAX_PATH - 1 bytes, so that the path and its NUL fit the program's path buffers.
  const std::optional<std::string> path =
      WideToCodePage(ProcessCodePage(), std::wstring_view(wide.data(), n));
  if (!path || path->size() >= MAX_PATH) return {};
  return *path;
}

// ---- Files ------------------------------------------------------------------------------------

namespace {

// The most bytes handed to one ReadFile or WriteFile. Reads and writes of 64 MB or more in one
// call fail on some network shares with ERROR_NO_SYSTEM_RESOURCES, so every transfer is cut into
// pieces of 4 MB, far below that and far above what a call costs.
constexpr std::size_t kChunkSizeMax = 1 << 22;

// Owns a file handle and closes it on every way out.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) noexcept
      : handle_(handle == nullptr ? INVALID_HANDLE_VALUE : handle) {}
  ~UniqueHandle() {
    if (Valid()) CloseHandle(handle_);
  }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    UniqueHandle old(std::exchange(handle_, other.Release()));
    return *this;
  }

  bool Valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const noexcept { return handle_; }
  // Hands the handle to a new owner.
  HANDLE Release() noexcept { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  // Closes now; false when the system reports a failure (GetLastError tells why).
  bool Close() noexcept { return CloseHandle(Release()) != FALSE; }

 private:
  HANDLE handle_;
};

// NativeFile holds a HANDLE; kNoNativeFile is INVALID_HANDLE_VALUE.
HANDLE HandleOf(NativeFile file) { return reinterpret_cast<HANDLE>(file); }
NativeFile NativeOf(HANDLE handle) { return reinterpret_cast<NativeFile>(handle); }

// The system's file functions for a path in the run's code page, each given it as SystemPath
// says: the ...A function with the bytes as they are, or the ...W function with the path decoded.
// A path that is no text of the run's code page fails as the system's calls fail, with
// GetLastError giving ERROR_NO_UNICODE_TRANSLATION.
HANDLE CreateFileAt(const std::string& path, DWORD access, DWORD share,
                    LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                    HANDLE templateFile) {
  const SystemPath name(path);
  if (!name.Valid()) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return INVALID_HANDLE_VALUE;
  }
  return name.Wide() ? CreateFileW(name.WideText(), access, share, security, disposition, flags,
                                   templateFile)
                     : CreateFileA(name.Ansi(), access, share, security, disposition, flags,
                                   templateFile);
}

DWORD FileAttributesAt(const std::string& path) {
  const SystemPath name(path);
  if (!name.Valid()) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return INVALID_FILE_ATTRIBUTES;
  }
  return name.Wide() ? GetFileAttributesW(name.WideText()) : GetFileAttributesA(name.Ansi());
}

BOOL FileAttributesExAt(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  const SystemPath name(path);
  if (!name.Valid()) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return FALSE;
  }
  return name.Wide() ? GetFileAttributesExW(name.WideText(), GetFileExInfoStandard, data)
                     : GetFileAttributesExA(name.Ansi(), GetFileExInfoStandard, data);
}

BOOL DeleteFileAt(const std::string& path) {
  const SystemPath name(path);
  if (!name.Valid()) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return FALSE;
  }
  return name.Wide() ? DeleteFileW(name.WideText()) : DeleteFileA(name.Ansi());
}

BOOL CreateDirectoryAt(const std::string& path) {
  const SystemPath name(path);
  if (!name.Valid()) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return FALSE;
  }
  return name.Wide() ? CreateDirectoryW(name.WideText(), nullptr)
                     : CreateDirectoryA(name.Ansi(), nullptr);
}

BOOL MoveFileExAt(const std::string& from, const std::string& to, DWORD flags) {
  const SystemPath fromName(from);
  const SystemPath toName(to);
  if (!fromName.Valid() || !toName.Valid()) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return FALSE;
  }
  return fromName.Wide() ? MoveFileExW(fromName.WideText(), toName.WideText(), flags)
                         : MoveFileExA(fromName.Ansi(), toName.Ansi(), flags);
}

// The path as the system's profile functions read it: in the system's code page. A path with a
// character that this code page lacks is given by its short (8.3) name, which the system spells in
// ASCII where the volume keeps one for an existing file. Nothing when the path is no text of the
// run's code page or cannot be spelled in the system's code page either way.
std::optional<std::string> ProfilePath(const std::string& path) {
  const SystemPath name(path);
  if (!name.Wide()) return path;
  if (!name.Valid()) return std::nullopt;
  if (std::optional<std::string> ansi = WideToCodePage(GetACP(), name.WideText())) return ansi;
  std::wstring shortName(32768, L'\0');
  const DWORD n = GetShortPathNameW(name.WideText(), shortName.data(),
                                    static_cast<DWORD>(shortName.size()));
  if (n == 0 || n >= shortName.size()) return std::nullopt;
  return WideToCodePage(GetACP(), std::wstring_view(shortName.data(), n));
}

bool UsablePath(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

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

// Writes every byte, kChunkSizeMax at a time; 0 when done, else the system's error code (fewer
// bytes stored than asked means the disk is full).
DWORD WriteAll(HANDLE h, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(size < kChunkSizeMax ? size : kChunkSizeMax);
    DWORD written = 0;
    if (!WriteFile(h, data, chunk, &written, nullptr)) return GetLastError();
    if (written < chunk) return ERROR_DISK_FULL;
    data += written;
    size -= written;
  }
  return 0;
}

// Reads up to size bytes, at most kChunkSizeMax: how many, 0 at the end of the file.
Result<std::size_t> ReadPart(HANDLE h, char* buffer, std::size_t size) {
  const DWORD chunk = static_cast<DWORD>(size < kChunkSizeMax ? size : kChunkSizeMax);
  DWORD n = 0;
  if (!ReadFile(h, buffer, chunk, &n, nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) return std::size_t{0};
    return Failure{error};
  }
  return std::size_t{n};
}

// Why CreateFile failed to open path with the given access. It gives ERROR_ACCESS_DENIED for a
// folder, for a read-only file opened for writing and for a file this user may not open alike:
// the attributes tell which, so that the reason is the one that POSIX and ProbeOutputFile give.
ErrorCode OpenFailureReason(const std::string& path, DWORD access, DWORD error) {
  if (error != ERROR_ACCESS_DENIED) return error;
  const DWORD attributes = FileAttributesAt(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return error;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kErrorNotPlainFile;
  if ((access & GENERIC_WRITE) != 0 && MarkedReadOnly(attributes)) return kErrorReadOnly;
  return error;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// What a run may do with what exists at an output path, opened as h without following a reparse
// point; the one check that Create and ProbeOutputFile share. A reparse point (a symbolic link, a
// junction) may lead out of the output folder and a pipe may block: both are refused. A device
// (NUL, CON, COM1, ...) opens too and is no plain file; the naming rule keeps device names out of
// a run. A read-only file stays untouched.
Result<OutputProbe> JudgeExistingOutput(HANDLE h, const std::vector<FileIdentity>& protectedFiles) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(h, &info)) {
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      return Failure{kErrorNotPlainFile};
    }
    for (const FileIdentity& kept : protectedFiles) {
      if (kept == IdentityOf(info)) return Failure{kErrorProtectedFile};
    }
  }
  switch (GetFileType(h)) {
    case FILE_TYPE_DISK:
      if (MarkedReadOnly(info.dwFileAttributes)) return Failure{kErrorReadOnly};
      // A file with other names (hard links) would change under every one of them, outside the
      // output folder among them.
      if (info.nNumberOfLinks > 1) return Failure{kErrorOtherNames};
      return OutputProbe::PlainFile;
    case FILE_TYPE_CHAR: return OutputProbe::OtherFile;
    default: return Failure{kErrorNotPlainFile};
  }
}

}  // namespace

bool MarkedReadOnly(std::uint32_t attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool MarkedReadOnly(const std::string& path) {
  return MarkedReadOnly(static_cast<std::uint32_t>(FileAttributesAt(path)));
}

OutputFolder::~OutputFolder() { UniqueHandle closed(HandleOf(folder_)); }

Status OutputFolder::Hold() {
  UniqueHandle closed(HandleOf(std::exchange(folder_, kNoNativeFile)));
  const std::string folder = prefix_.empty() ? "." : prefix_;
  if (!UsablePath(folder)) return Failure{ERROR_INVALID_NAME};
  // Without FILE_SHARE_DELETE "no process can open the file or device if it requests delete
  // access": renaming or deleting the folder needs that access, so neither can happen while the
  // run holds it. Sharing counts only for an open that asks for some access (listing here);
  // files inside the folder stay free to create.
  // FILE_FLAG_BACKUP_SEMANTICS: "You must set this flag to obtain a handle to a directory."
  UniqueHandle h(CreateFileAt(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.Valid()) return Failure{GetLastError()};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.Get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Failure{ERROR_DIRECTORY};
  }
  folder_ = NativeOf(h.Release());
  return {};
}

std::optional<FileIdentity> OutputFolder::FolderIdentity(const std::string& subFolder) const {
  std::string path = PathOf(subFolder);
  if (path.empty()) path = ".";
  if (!UsablePath(path)) return std::nullopt;
  // No access rights asked, every sharing allowed: only the folder's identity is read.
  UniqueHandle h(CreateFileAt(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!h.Valid() || !GetFileInformationByHandle(h.Get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return std::nullopt;
  }
  return IdentityOf(info);
}

Result<bool> OutputFolder::MakeSubFolders(const std::vector<std::string>& components,
                                          bool probeOnly) const {
  const auto isFolder = [](DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  };
  std::string whole;
  for (const std::string& component : components) {
    if (component.empty() || component == ".") continue;
    whole += (whole.empty() ? "" : "\\") + component;
  }
  if (whole.empty() || isFolder(FileAttributesAt(PathOf(whole)))) return true;
  // Looked at one folder at a time, so that a folder is only ever made inside a real folder
  // (no junction or symbolic link: FILE_ATTRIBUTE_REPARSE_POINT) of the output folder.
  std::string relative;
  for (const std::string& component : components) {
    if (component.empty() || component == ".") continue;
    relative += (relative.empty() ? "" : "\\") + component;
    const std::string path = PathOf(relative);
    DWORD attributes = FileAttributesAt(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD missing = GetLastError();
      if (missing != ERROR_FILE_NOT_FOUND && missing != ERROR_PATH_NOT_FOUND) {
        return Failure{missing};
      }
      if (probeOnly) return false;
      if (CreateDirectoryAt(path)) {
        std::lock_guard<std::mutex> lock(subFoldersMutex_);
        made_.push_back(relative);
        continue;
      }
      // Another writing thread may have made it meanwhile.
      if (const DWORD error = GetLastError(); error != ERROR_ALREADY_EXISTS) return Failure{error};
      attributes = FileAttributesAt(path);
    }
    if (!isFolder(attributes) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return Failure{kErrorNotPlainFile};
    }
  }
  return true;
}

std::vector<std::string> OutputFolder::MadeFolders() const {
  std::lock_guard<std::mutex> lock(subFoldersMutex_);
  return made_;
}

InputFile::~InputFile() { Close(); }

Status InputFile::Open(const std::string& path) {
  Close();
  if (!UsablePath(path)) return Failure{ERROR_INVALID_NAME};
  // Share mode 0: nobody else may open the file while the run reads it.
  UniqueHandle h(CreateFileAt(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.Valid()) return Failure{OpenFailureReason(path, GENERIC_READ, GetLastError())};
  file_ = NativeOf(h.Release());
  return {};
}

Status InputFile::Open(const OutputFolder& folder, const std::string& name) {
  // The held folder cannot be renamed meanwhile, so its files' paths still lead into it.
  return Open(folder.PathOf(name));
}

Result<std::size_t> InputFile::Read(char* buffer, std::size_t size) {
  if (file_ == kNoNativeFile) return Failure{ERROR_INVALID_HANDLE};
  return ReadPart(HandleOf(file_), buffer, size);
}

std::optional<std::uint64_t> InputFile::Size() const {
  LARGE_INTEGER size{};
  if (file_ == kNoNativeFile || !GetFileSizeEx(HandleOf(file_), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

Status InputFile::Rewind() {
  if (file_ == kNoNativeFile) return Failure{ERROR_INVALID_HANDLE};
  // A pipe or a console has no position to go back to.
  if (GetFileType(HandleOf(file_)) != FILE_TYPE_DISK) return Failure{kErrorNotPlainFile};
  if (!SetFilePointerEx(HandleOf(file_), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
    return Failure{GetLastError()};
  }
  return {};
}

std::optional<FileIdentity> InputFile::Identity() const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (file_ == kNoNativeFile || !GetFileInformationByHandle(HandleOf(file_), &info)) {
    return std::nullopt;
  }
  return IdentityOf(info);
}

void InputFile::Close() { UniqueHandle closed(HandleOf(std::exchange(file_, kNoNativeFile))); }

OutputFile::~OutputFile() { UniqueHandle closed(HandleOf(file_)); }

Status OutputFile::Create(const std::string& path, const std::vector<FileIdentity>& protectedFiles) {
  return Create(OutputFolder(), path, protectedFiles);
}

Status OutputFile::Create(const OutputFolder& folder, const std::string& name,
                          const std::vector<FileIdentity>& protectedFiles) {
  // The held folder cannot be renamed meanwhile, so the path still leads into it.
  const std::string path = folder.PathOf(name);
  if (!UsablePath(path)) return Failure{ERROR_INVALID_NAME};
  // The common case first: a name that does not exist yet is created in one call, and a file just
  // created can be neither read-only nor protected. Anything else takes the checked way below.
  UniqueHandle h(CreateFileAt(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.Valid()) {
    // Opened without following a reparse point and without truncating, so that what was opened
    // is judged before anything of it changes. A read-only file fails here where the system
    // enforces the attribute.
    h = UniqueHandle(CreateFileAt(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.Valid()) {
      const DWORD error = GetLastError();
      // A file that is held open elsewhere (the run's own settings file among them) may be one
      // that no output may replace: its identity still answers, and then that is the reason, as
      // ProbeOutputFile gives it.
      if (error == ERROR_SHARING_VIOLATION) {
        const std::optional<FileIdentity> identity = IdentifyFile(path);
        if (identity && std::find(protectedFiles.begin(), protectedFiles.end(), *identity) !=
                            protectedFiles.end()) {
          return Failure{kErrorProtectedFile};
        }
      }
      return Failure{OpenFailureReason(path, GENERIC_WRITE, error)};
    }
    const Result<OutputProbe> verdict = JudgeExistingOutput(h.Get(), protectedFiles);
    if (!verdict) return Failure{verdict.error()};
    // A device such as a console has no length to cut; a disk file that cannot be cut fails.
    if (*verdict == OutputProbe::PlainFile && !SetEndOfFile(h.Get())) {
      return Failure{GetLastError()};
    }
  }
  file_ = NativeOf(h.Release());
  path_ = path;
  return {};
}

void OutputFile::Write(const char* data, std::size_t size) {
  if (const DWORD error = WriteAll(HandleOf(file_), data, size)) {
    throw FileError(CauseFromWin32(error), path_, error);
  }
}

void OutputFile::Write(const std::string_view* pieces, std::size_t count) {
  // Kept from file to file, so that the joining does not allocate.
  thread_local std::string joined;
  joined.clear();
  for (std::size_t i = 0; i < count; ++i) joined.append(pieces[i]);
  Write(joined.data(), joined.size());
}

void OutputFile::Close() {
  if (file_ == kNoNativeFile) return;
  if (!UniqueHandle(HandleOf(std::exchange(file_, kNoNativeFile))).Close()) {
    const DWORD error = GetLastError();
    throw FileError(CauseFromWin32(error), path_, error);
  }
}

std::string FormatSystemMessage(ErrorCode code, std::uint32_t languageId) {
  char* buffer = nullptr;
  // FORMAT_MESSAGE_ALLOCATE_BUFFER: lpBuffer receives a LocalAlloc'd pointer, freed by LocalFree.
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, languageId, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length != 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

std::string SystemErrorMessage(ErrorCode code) {
  // The program's other texts on standard error are English; the user's language comes second.
  std::string text = FormatSystemMessage(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  return text.empty() ? FormatSystemMessage(code, 0) : text;
}

Result<OutputProbe> ProbeOutputFile(const std::string& path,
                                    const std::vector<FileIdentity>& protectedFiles) {
  return ProbeOutputFile(OutputFolder(), path, protectedFiles);
}

Result<OutputProbe> ProbeOutputFile(const OutputFolder& folder, const std::string& name,
                                    const std::vector<FileIdentity>& protectedFiles) {
  const std::string path = folder.PathOf(name);
  if (!UsablePath(path)) return Failure{ERROR_INVALID_NAME};
  // No access rights asked: the file can be looked at even while another program holds it.
  UniqueHandle h(CreateFileAt(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.Valid()) {
    // ERROR_FILE_NOT_FOUND: the folder is there and the file is not. A missing folder gives
    // ERROR_PATH_NOT_FOUND, a name the file system refuses ERROR_INVALID_NAME.
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return OutputProbe::Absent;
    if (FileAttributesAt(path) != INVALID_FILE_ATTRIBUTES) return OutputProbe::OtherFile;
    return Failure{error};
  }
  return JudgeExistingOutput(h.Get(), protectedFiles);
}

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  if (!UsablePath(path)) return std::nullopt;
  // No access rights asked, every sharing allowed: a file held by another program still answers.
  UniqueHandle h(CreateFileAt(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!h.Valid() || !GetFileInformationByHandle(h.Get(), &info)) return std::nullopt;
  return IdentityOf(info);
}

Status MakeFolder(const std::string& path) {
  if (!UsablePath(path)) return Failure{ERROR_INVALID_NAME};
  if (!CreateDirectoryAt(path)) return Failure{GetLastError()};
  return {};
}

Status WriteNewFile(const std::string& path, std::string_view bytes) {
  if (!UsablePath(path)) return Failure{ERROR_INVALID_NAME};
  UniqueHandle h(CreateFileAt(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) return Failure{GetLastError()};
  DWORD error = WriteAll(h.Get(), bytes.data(), bytes.size());
  if (!h.Close() && error == 0) error = GetLastError();
  if (error == 0) return {};
  DeleteFileAt(path);
  return Failure{error};
}

Status CheckFolderWritable(const std::string& path) {
  if (const Result<PathInfo> info = InspectPath(path); !info) return Failure{info.error()};
  return {};
}

Result<PathInfo> InspectPath(const std::string& path) {
  PathInfo info;
  if (!UsablePath(path)) return info;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!FileAttributesExAt(path, &data)) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return Failure{error};
    return info;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    info.kind = PathKind::Folder;
    return info;
  }
  // Device names (NUL, CON, COM1, ...) have attributes too; only a file on a disk is a file.
  // Access 0 asks for nothing but the handle, so the file itself is not touched.
  UniqueHandle h(CreateFileAt(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) return Failure{GetLastError()};
  info.kind = PathKind::Other;
  LARGE_INTEGER size{};
  if (GetFileType(h.Get()) == FILE_TYPE_DISK && GetFileSizeEx(h.Get(), &size)) {
    info.kind = PathKind::RegularFile;
    info.size = static_cast<std::uint64_t>(size.QuadPart);
  }
  return info;
}

Result<std::string> ReadWholeFile(const std::string& path) {
  if (!UsablePath(path)) return Failure{ERROR_INVALID_NAME};
  UniqueHandle h(CreateFileAt(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) return Failure{OpenFailureReason(path, GENERIC_READ, GetLastError())};
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    const Result<std::size_t> got = ReadPart(h.Get(), buffer, sizeof buffer);
    if (!got) return Failure{got.error()};
    if (*got == 0) return bytes;
    bytes.append(buffer, *got);
  }
}

Status ReplaceFileContents(const std::string& path, std::string_view bytes) {
  if (!UsablePath(path)) return Failure{ERROR_INVALID_NAME};
  const DWORD attributes = FileAttributesAt(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Failure{kErrorNotPlainFile};
  }
  if (MarkedReadOnly(attributes)) return Failure{kErrorReadOnly};
  std::string temp = path + ".~tmp";
  for (unsigned attempt = 0;; ++attempt) {
    UniqueHandle h(CreateFileAt(temp, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS && attempt < 100) {
        temp = path + ".~tmp" + std::to_string(GetCurrentProcessId()) + "_" +
               std::to_string(attempt);
        continue;
      }
      return Failure{error};
    }
    DWORD error = WriteAll(h.Get(), bytes.data(), bytes.size());
    if (!FlushFileBuffers(h.Get()) && error == 0) error = GetLastError();
    if (!h.Close() && error == 0) error = GetLastError();
    if (error == 0 && !MoveFileExAt(temp, path,
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      error = GetLastError();
    }
    if (error == 0) return {};
    DeleteFileAt(temp);
    return Failure{error};
  }
}

// ---- Standard streams ---------------------------------------------------------------------------

namespace {

// Whether every folder on the way to name inside the held folder is a folder and no reparse
// point (a symbolic link, a junction), and no component is empty, "." or "..": the path then
// leads where the name says, inside the folder. The held folder cannot be renamed meanwhile.
Status CheckWayInside(const OutputFolder& folder, const std::string& name) {
  if (!folder.Held()) return Failure{ERROR_INVALID_HANDLE};
  if (!UsablePath(name)) return Failure{ERROR_INVALID_NAME};
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = name.find('/', start);
    const std::string part = name.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return Failure{ERROR_INVALID_NAME};
    if (slash == std::string::npos) return {};
    const DWORD attributes = FileAttributesAt(folder.PathOf(name.substr(0, slash)));
    if (attributes == INVALID_FILE_ATTRIBUTES) return Failure{GetLastError()};
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return Failure{kErrorNotPlainFile};
    }
    start = slash + 1;
  }
}

}  // namespace

Result<bool> RemoveOutputFile(const OutputFolder& folder, const std::string& name,
                              const std::function<bool(InputFile&)>& accept) {
  if (const Status way = CheckWayInside(folder, name); !way) return Failure{way.error()};
  // Opened with DELETE access and no sharing, the reparse point itself rather than what it leads
  // to: the file read is the file removed, through its handle.
  UniqueHandle h(CreateFileAt(folder.PathOf(name), GENERIC_READ | DELETE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.Valid()) return Failure{GetLastError()};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.Get(), &info)) return Failure{GetLastError()};
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      GetFileType(h.Get()) != FILE_TYPE_DISK) {
    return Failure{kErrorNotPlainFile};
  }
  InputFile file;
  file.file_ = NativeOf(h.Get());
  const bool accepted = accept(file);
  file.file_ = kNoNativeFile;  // still h's
  if (!accepted) return false;
  // "DeleteFile: ... the file is deleted when the last handle to it is closed."
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!SetFileInformationByHandle(h.Get(), FileDispositionInfo, &disposition,
                                  sizeof disposition)) {
    return Failure{GetLastError()};
  }
  if (!h.Close()) return Failure{GetLastError()};
  return true;
}

Status RemoveOutputFolder(const OutputFolder& folder, const std::string& name) {
  if (const Status way = CheckWayInside(folder, name); !way) return Failure{way.error()};
  const std::string path = folder.PathOf(name);
  const DWORD attributes = FileAttributesAt(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return Failure{GetLastError()};
  // RemoveDirectory removes a junction or a linked folder itself: such a thing was never made by
  // a run, so it stays.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Failure{kErrorNotPlainFile};
  }
  const SystemPath systemPath(path);
  if (!systemPath.Valid()) return Failure{ERROR_NO_UNICODE_TRANSLATION};
  const BOOL removed = systemPath.Wide() ? RemoveDirectoryW(systemPath.WideText())
                                         : RemoveDirectoryA(systemPath.Ansi());
  if (!removed) return Failure{GetLastError()};
  return {};
}

bool NothingThere(ErrorCode code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool FolderNotEmpty(ErrorCode code) { return code == ERROR_DIR_NOT_EMPTY; }

Status ReplaceOutputFile(const OutputFolder& folder, const std::string& from,
                         const std::string& to) {
  if (!folder.Held()) return Failure{ERROR_INVALID_HANDLE};
  if (!UsablePath(from) || !UsablePath(to)) return Failure{ERROR_INVALID_NAME};
  // MoveFileEx replaces a symbolic link at to rather than the file it leads to.
  if (!MoveFileExAt(folder.PathOf(from), folder.PathOf(to),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Failure{GetLastError()};
  }
  return {};
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void SetStandardOutputBinary() { _setmode(_fileno(stdout), _O_BINARY); }

// ---- Threads ------------------------------------------------------------------------------------

std::chrono::nanoseconds ThreadProcessorTime() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return {};
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  // FILETIME counts in units of 100 ns.
  return std::chrono::nanoseconds(100 * (ticks(kernel) + ticks(user)));
}

// ---- Private-profile files ----------------------------------------------------------------------

std::string SystemProfileGetString(const std::string& path, const std::string& section,
                                   const std::string& key, const std::string& defaultValue,
                                   std::size_t bufferSize) {
  const std::optional<std::string> file = ProfilePath(path);
  if (!file) return defaultValue;
  std::string buffer(bufferSize, '\0');
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                     buffer.data(), static_cast<DWORD>(bufferSize), file->c_str());
  buffer.resize(n);
  return buffer;
}

std::int32_t SystemProfileGetInt(const std::string& path, const std::string& section,
                                 const std::string& key, std::int32_t defaultValue) {
  const std::optional<std::string> file = ProfilePath(path);
  if (!file) return defaultValue;
  return static_cast<std::int32_t>(
      GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, file->c_str()));
}

Status SystemProfileWriteString(const std::string& path, const std::string& section,
                                const std::string& key, const std::string& value) {
  if (MarkedReadOnly(path)) return Failure{kErrorReadOnly};
  const std::optional<std::string> file = ProfilePath(path);
  if (!file) return Failure{ERROR_NO_UNICODE_TRANSLATION};
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file->c_str())) {
    return Failure{GetLastError()};
  }
  return {};
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
