// The only header of the portable core that stands for the operating system: files opened the way
// the system needs them, the process code page and its lead bytes, the conversion of the program's
// own texts into that code page and the program's own path. Every call that can fail says why in
// a Status or Result (Result.h) carrying the system's error code. Win32 and POSIX implementations
// live side by side in win32/ and posix/; what only Windows has (its private-profile functions,
// its message texts, its read-only mark) is in win32/Win32Platform.h, for Windows-only code.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Result.h"

namespace velmora::platform {

// ---- Code pages -------------------------------------------------------------------------------

// The system's multibyte (ANSI) code page: GetACP on Windows; elsewhere derived from the character
// set of the locale (UTF-8 -> 65001, Shift_JIS/CP932 -> 932, GBK/GB2312/GB18030 -> 936,
// EUC-KR/CP949 -> 949, Big5/CP950 -> 950, Johab -> 1361, EUC-JP -> 20932, CP and a number -> that
// number, anything else (ASCII, the ISO 8859 sets, ...) -> 65001).
unsigned SystemCodePage();

// Maps a character-set name as a locale reports it to a code page by the rule above.
unsigned CodePageFromCharsetName(std::string_view charset);

// The code page of a name as users type it, ignoring case, dashes and underscores: utf-8 (65001),
// shift_jis, sjis or cp932 (932), euc-jp (20932), gbk (936), big5 (950), euc-kr (949),
// windows-1252 (1252) and the other names a locale may report; nothing for any other name.
std::optional<unsigned> CodePageFromName(std::string_view name);

// What the system knows of a code page that the program's own table does not name.
struct CodePageInfo {
  bool known = false;          // false: the system cannot describe the code page
  unsigned maxCharSize = 1;    // 1 for single-byte code pages
  std::vector<std::pair<std::uint8_t, std::uint8_t>> leadRanges;  // inclusive ranges
};

// GetCPInfo on Windows. Elsewhere 65001 is a multibyte code page without lead-byte ranges and
// every other code page is described as single-byte.
CodePageInfo QueryCodePage(unsigned codePage);

// Converts UTF-8 text into the given code page. Characters that the code page cannot hold become
// "?". Code page 65001 returns the text unchanged.
std::string Utf8ToCodePage(unsigned codePage, std::string_view utf8Text);

// ---- Paths ------------------------------------------------------------------------------------

// How the system spells paths: which bytes separate folders, whether drive letters and UNC
// prefixes exist, and how many bytes a path may have (0: no fixed limit).
struct PathRules {
  bool backslashSeparates = false;  // "\" separates as well as "/"
  bool drivesAndUnc = false;        // "C:" and "\\server" prefixes exist
  char joinSeparator = '/';         // put between a folder and a name
  std::size_t maxPathBytes = 0;     // 260 on Windows, the size of the path buffer
};

const PathRules& NativePathRules();

// The path made absolute against the current folder (the system's private-profile functions look
// for a bare file name in the Windows folder otherwise).
std::string AbsolutePath(const std::string& path);

// The full path of the running program file, "" when the system cannot tell or the path cannot be
// had whole: on Windows one that does not fit 260 bytes with its NUL, or that holds a character
// the process code page has no bytes for.
std::string ProgramPath();

// ---- Files ------------------------------------------------------------------------------------

// Why a file operation failed; the program shows a text for each cause.
enum class FileErrorCause {
  Generic,
  FileNotFound,
  BadPath,
  TooManyOpenFiles,
  AccessDenied,
  InvalidFile,
  DirectoryFull,
  BadSeek,
  HardIO,
  SharingViolation,
  LockViolation,
  DiskFull,
  EndOfFile,
};

// The program's own refusals of a file, beside the system's codes (ErrorCode is in Result.h).
// They lie in the range that Windows keeps for applications (bit 29 set), which errno values never
// reach either.
// The run's own input, template or settings file.
inline constexpr ErrorCode kErrorProtectedFile = 0x20000001;
inline constexpr ErrorCode kErrorNotPlainFile = 0x20000002;   // a folder, link, pipe or device
inline constexpr ErrorCode kErrorReadOnly = 0x20000003;       // a file marked read-only
// A file with more than one name (hard links): writing it would change it under its other names,
// which may lie outside the output folder.
inline constexpr ErrorCode kErrorOtherNames = 0x20000004;

// The system's text for code, in English where the system has it (strerror; FormatMessage in
// US English, else in the user's language), without a closing period or line end. Gives
// "error N" for a code that the system has no text for and "" for 0.
std::string ErrorCodeText(ErrorCode code);

// The system's own message for one of its codes, as it gives it (ErrorCodeText tidies it).
std::string SystemErrorMessage(ErrorCode code);

// Raised when an opened file cannot be read, written or closed. Carries the cause, the file's path
// (bytes in the process code page) and the system's error code; the host turns it into the text
// of its error box.
class FileError : public std::exception {
 public:
  FileError(FileErrorCause cause, std::string path, ErrorCode osError = 0)
      : cause_(cause), path_(std::move(path)), osError_(osError) {}
  FileErrorCause Cause() const noexcept { return cause_; }
  const std::string& Path() const noexcept { return path_; }
  ErrorCode OsError() const noexcept { return osError_; }
  const char* what() const noexcept override { return "file error"; }

 private:
  FileErrorCause cause_;
  std::string path_;
  ErrorCode osError_;
};

// Which file a path or handle names, so that a run never writes over its own input or template.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// An open file as the system knows it: a HANDLE on Windows, a file descriptor elsewhere, both held
// in one integer so that the classes below need no system header; -1 (INVALID_HANDLE_VALUE on
// Windows) when no file is open. Only win32/ and posix/ look inside.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoNativeFile = -1;

// The output folder held for a run, so that every file of the run lands in the folder that the run
// began with even when the folder is renamed, or replaced by a link, meanwhile. POSIX: the folder
// is opened once and every file is reached from it (openat); a linked sub-folder inside it is
// followed, as by a path. Windows: a handle to the folder held without FILE_SHARE_DELETE forbids
// renaming and deleting it until the run ends, so its paths keep naming it. Made from the folder
// as the run's paths begin (the folder and its separator, "" for the current folder); the paths
// in messages stay that prefix followed by the name. Until it is held, and when it cannot be
// (missing, no folder), its files are reached by their paths and fail there as they would.
// Usable from many threads at once; closed by the destructor.
class OutputFolder {
 public:
  explicit OutputFolder(std::string prefix = {}) : prefix_(std::move(prefix)) {}
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Opens the folder that the prefix names ("" the current folder) and holds it. Fails with the
  // system's code; the files are then reached by their paths.
  [[nodiscard]] Status Hold();
  bool Held() const noexcept { return folder_ != kNoNativeFile; }
  // The path of name as messages show it: the prefix followed by name.
  std::string PathOf(const std::string& name) const { return prefix_ + name; }
  // Which folder subFolder names inside this one ("" this one), reached as a file's path there
  // reaches it (a linked sub-folder followed); nothing when it is missing, no folder, or the
  // system cannot tell.
  std::optional<FileIdentity> FolderIdentity(const std::string& subFolder) const;
  // Only win32/ and posix/ use it.
  NativeFile Native() const noexcept { return folder_; }
  // POSIX: the sub-folder subFolder of the held folder, opened the first time a name leads into
  // it (a link there followed as it is then) and held from then on, so that a sub-folder swapped
  // for a link later in the run is not followed; kNoNativeFile when it cannot be opened.
  NativeFile SubFolder(const std::string& subFolder) const;
  // Makes the missing folders of a sub-folder of the held folder, given as its components (the
  // names between its separators, in order): each one inside the one before it (POSIX mkdirat,
  // Windows CreateDirectoryW), never through a link. A sub-folder that is there already, a
  // linked one too, is left as it is. True when the sub-folder is there now; with probeOnly
  // nothing is made, and false says that something would be. Fails with the system's code, or
  // kErrorNotPlainFile where a link or a file stands in the way of a folder to be made.
  [[nodiscard]] Result<bool> MakeSubFolders(const std::vector<std::string>& components,
                                            bool probeOnly) const;
  // The folders that MakeSubFolders made, each as its path relative to this folder (the
  // system's separator between components), in the order they were made.
  std::vector<std::string> MadeFolders() const;

 private:
  std::string prefix_;
  NativeFile folder_ = kNoNativeFile;
  mutable std::mutex subFoldersMutex_;  // the writing threads reach sub-folders at once
  mutable std::unordered_map<std::string, NativeFile> subFolders_;
  mutable std::vector<std::string> made_;  // under subFoldersMutex_
};

// A file opened for reading only, existing files only, binary, without sharing where the system
// has share modes (no other program can open it meanwhile, and one held open elsewhere fails).
// Closed by the destructor on every way out.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens the file. Fails with the system's code when it is missing, denied or held by another
  // program, and with kErrorNotPlainFile for a folder on every system.
  [[nodiscard]] Status Open(const std::string& path);
  // Opens name in the output folder, the way the run's files are reached (see OutputFolder); on
  // POSIX never through a link at name itself, nor a pipe or device (kErrorNotPlainFile).
  [[nodiscard]] Status Open(const OutputFolder& folder, const std::string& name);
  // Reads up to size bytes: how many were read, 0 at the end of the file; fails with the system's
  // code on a read error.
  [[nodiscard]] Result<std::size_t> Read(char* buffer, std::size_t size);
  // The file's length in bytes, or nothing when the system cannot tell.
  std::optional<std::uint64_t> Size() const;
  // Goes back to the start of a file on disk, so that it is read again from its first byte;
  // fails with kErrorNotPlainFile for a pipe or a device, which cannot go back.
  [[nodiscard]] Status Rewind();
  // Which file is open, or nothing when the system cannot tell.
  std::optional<FileIdentity> Identity() const;
  void Close();

 private:
  friend Result<bool> RemoveOutputFile(const OutputFolder&, const std::string&,
                                       const std::function<bool(InputFile&)>&);
  NativeFile file_ = kNoNativeFile;
};

// A file created, or cut to zero length when it exists, for writing without sharing. Write and
// Close raise FileError; the destructor closes silently (used only when unwinding).
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates the file. Fails when it cannot be opened (missing folder, a folder of
  // that name, a read-only file, a file in use, a name the file system refuses), when it is one
  // of the protected files, when it has other names (hard links), or when the name is a link (on
  // Windows any reparse point: a symbolic link, a junction) or names a pipe, and elsewhere any
  // file that is no plain file (a device, a socket). Such files stay untouched and a link is
  // never followed, not even one that leads nowhere; a linked folder before the last name is
  // followed. A pipe without a reader does not make the call wait. The failure carries the
  // system's code, or kErrorProtectedFile, kErrorNotPlainFile, kErrorReadOnly or
  // kErrorOtherNames for the files that Create refuses itself.
  [[nodiscard]] Status Create(const std::string& path,
                              const std::vector<FileIdentity>& protectedFiles = {});
  // The same for name in the output folder (see OutputFolder); write and close failures name
  // folder.PathOf(name).
  [[nodiscard]] Status Create(const OutputFolder& folder, const std::string& name,
                              const std::vector<FileIdentity>& protectedFiles = {});
  // Writes every byte or raises FileError (a full disk among the causes).
  void Write(const char* data, std::size_t size);
  // Writes the pieces one after the other, every byte, or raises FileError: on POSIX with gather
  // writes, so that bytes kept in several places are not first copied into one; on Windows
  // through one buffer and one write, as a file's bytes are written there anyway.
  void Write(const std::string_view* pieces, std::size_t count);
  // Closes the file, raising FileError when the system reports a failure.
  void Close();

 private:
  std::string path_;
  NativeFile file_ = kNoNativeFile;
};

// What a run would meet at an output path that it may try to write, found without opening anything
// for writing.
enum class OutputProbe {
  Absent,       // no such file, and its folder exists: creating it would be tried
  PlainFile,    // a plain file that a run may replace (neither protected nor read-only)
  OtherFile,    // a device on Windows (elsewhere refused): only opening it tells
};

// Which file path names, links followed, so that a file can be protected by its identity whatever
// name or link an output reaches it by; nothing when it is missing or the system cannot tell.
std::optional<FileIdentity> IdentifyFile(const std::string& path);

// Looks at path the way OutputFile::Create would treat it. Fails, with the reason that Create
// would give, where a run would fail to open it: a folder, a protected or read-only file, a file
// with other names, a missing folder, a name the file system refuses, a link or what Create
// refuses. A file held open by another program without sharing is not recognised; opening it
// then fails as usual.
[[nodiscard]] Result<OutputProbe> ProbeOutputFile(
    const std::string& path, const std::vector<FileIdentity>& protectedFiles = {});
// The same for name in the output folder (see OutputFolder).
[[nodiscard]] Result<OutputProbe> ProbeOutputFile(
    const OutputFolder& folder, const std::string& name,
    const std::vector<FileIdentity>& protectedFiles = {});

// Creates the folder path, whose parent must exist. Fails with the system's code (one that
// exists already among the reasons).
[[nodiscard]] Status MakeFolder(const std::string& path);

// Creates a new file holding bytes. Fails when path exists already (it is never replaced) or the
// file cannot be created or written (a file half written is removed again).
[[nodiscard]] Status WriteNewFile(const std::string& path, std::string_view bytes);

// What a path names, looked at without opening it (opening a pipe that nobody writes would wait).
enum class PathKind { Missing, RegularFile, Folder, Other };
struct PathInfo {
  PathKind kind = PathKind::Missing;  // Other: a device, a pipe, anything but a file or folder
  std::uint64_t size = 0;             // of a regular file
};
// Fails with the system's code when the system could not look at the path (no permission, a loop
// of links); a path that is missing, or whose folder is missing, is PathKind::Missing.
[[nodiscard]] Result<PathInfo> InspectPath(const std::string& path);
// Whether this process may create files in the folder at path: on POSIX, fails with the system's
// code (EACCES, EROFS) when it may not enter or write the folder; on Windows, where the rights of
// each file decide, it fails only when the folder cannot be looked at.
[[nodiscard]] Status CheckFolderWritable(const std::string& path);

// Reads a whole file (shared for reading). Fails with the system's code when it cannot be opened
// or read (kErrorNotPlainFile for a folder).
[[nodiscard]] Result<std::string> ReadWholeFile(const std::string& path);

// Replaces the file's content, as the system's own profile writer would. On both systems: a file
// that is marked read-only, or is a folder, is left as it is and the call fails with
// kErrorReadOnly or kErrorNotPlainFile; a missing file is created; the bytes go to a new file
// beside the old one, which then takes its place, so that readers see the old file or the new one
// and never a mix; any failure before that (a full disk among them) leaves the old file whole and
// fails with the system's code.
//
// POSIX: a file that exists is changed only when the caller may write it, and keeps its owner,
// group, mode and every name it has: for a file of another owner, a file with hard links, or in a
// folder that takes no new file, the bytes are written into the file itself instead. Any other
// file that is no plain file (a device, a pipe) is left alone (kErrorNotPlainFile). A link is
// followed to the file it names.
//
// Windows: the new file takes the old one's place by MoveFileEx, always: the caller needs the
// right to replace the old file in its folder, not to write it; the file then has the attributes
// and security that a new file in its folder gets; any hard link to the old file keeps the old
// bytes; and a symbolic link at path is replaced by a file rather than followed. A folder that
// takes no new file fails. The new file is path with ".~tmp" added (or ".~tmp" with the process
// id and a count when that name is taken).
[[nodiscard]] Status ReplaceFileContents(const std::string& path, std::string_view bytes);

// ---- Removing what a run wrote from the output folder ----------------------------------------

// The calls below reach name inside the held output folder (OutputFolder::Hold; they fail when it
// is not held) without following a link anywhere on the way, so that they never act outside it:
// a folder on the way or the file itself that is a link (on Windows any reparse point) fails with
// kErrorNotPlainFile, as does anything but a plain file.

// Opens the file name for reading and removes it when accept, given the open file, returns
// true: true when it was removed, false when accept kept it or the name no longer reached the
// file that accept read. Fails with the system's code when it cannot be opened or removed.
[[nodiscard]] Result<bool> RemoveOutputFile(const OutputFolder& folder, const std::string& name,
                                            const std::function<bool(InputFile&)>& accept);

// Removes the folder name when it is empty; a folder that holds anything stays and the call
// fails with the system's code.
[[nodiscard]] Status RemoveOutputFolder(const OutputFolder& folder, const std::string& name);

// Whether code says that a file or folder, or a folder on its way, is not there.
bool NothingThere(ErrorCode code);
// Whether code is the failure to remove a folder that holds something.
bool FolderNotEmpty(ErrorCode code);

// Puts the file from in the place of to, both directly in the output folder: readers see the old
// file or the new one. A link at to is replaced, never followed.
[[nodiscard]] Status ReplaceOutputFile(const OutputFolder& folder, const std::string& from,
                                       const std::string& to);

// ---- Standard streams ---------------------------------------------------------------------------

// Whether standard error is a terminal (a console on Windows).
bool StandardErrorIsTerminal();

// Puts standard output into binary mode, so that CR LF and every other byte pass unchanged.
void SetStandardOutputBinary();

// ---- Threads ------------------------------------------------------------------------------------

// The processor time, user and system, that the calling thread has used so far; zero where the
// system cannot tell. On Windows it advances in clock ticks (about 16 ms), so only a sum over
// many calls is worth reading.
std::chrono::nanoseconds ThreadProcessorTime();

// ---- Names as the file system sees them ---------------------------------------------------------

// Decodes bytes in codePage into UTF-16, as the system's file functions decode a name given in that
// code page: MultiByteToWideChar with MB_ERR_INVALID_CHARS on Windows, iconv elsewhere. Nothing
// when the bytes are no valid text in that code page or the system has no converter for it.
std::optional<std::u16string> CodePageToUtf16(unsigned codePage, std::string_view bytes);

// text in upper case as the file system folds names, one unit for one unit: on Windows
// LCMapStringEx with LCMAP_UPPERCASE for the invariant locale, which without
// LCMAP_LINGUISTIC_CASING cases by the file-system rules, the same uppercase table that
// CompareStringOrdinal applies when it ignores case. Nothing where the system has no such table
// (POSIX file systems tell names apart by their bytes) or the call fails.
std::optional<std::u16string> FileSystemUpperCase(std::u16string_view text);

}  // namespace velmora::platform
