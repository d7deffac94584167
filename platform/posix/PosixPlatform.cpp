#include "platform/Platform.h"
#include "platform/CommandLine.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#ifdef __APPLE__
#include <mach-o/dyld.h>
#endif

namespace velmora::platform {

// ---- Code pages -------------------------------------------------------------------------------

unsigned SystemCodePage() {
  // The locale's character set says which multibyte encoding the user's data is in.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = previous ? previous : "C";
  std::setlocale(LC_CTYPE, "");
  const char* charset = nl_langinfo(CODESET);
  unsigned codePage = CodePageFromCharsetName(charset ? charset : "");
  std::setlocale(LC_CTYPE, saved.c_str());
  return codePage;
}

CodePageInfo QueryCodePage(unsigned codePage) {
  CodePageInfo info;
  info.known = true;
  info.maxCharSize = codePage == 65001 ? 4 : 1;
  return info;
}

namespace {

std::string IconvName(unsigned codePage) {
  switch (codePage) {
    case 1361: return "JOHAB";
    case 20932: return "EUC-JP";
    default: return "CP" + std::to_string(codePage);
  }
}

// Owns a conversion descriptor of iconv and closes it on every way out.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) noexcept : cd_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (Valid()) iconv_close(cd_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  // False when the system has no converter between the two encodings.
  bool Valid() const noexcept { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const noexcept { return cd_; }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence that starts with this byte (1 for a stray byte).
std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::string Utf8ToCodePage(unsigned codePage, std::string_view utf8Text) {
  if (codePage == 65001) return std::string(utf8Text);
  const IconvHandle cd(IconvName(codePage).c_str(), "UTF-8");
  if (!cd.Valid()) {
    // Unknown to the system: keep ASCII and mark everything else as unrepresentable.
    std::string out;
    for (std::size_t i = 0; i < utf8Text.size();) {
      auto c = static_cast<unsigned char>(utf8Text[i]);
      if (c < 0x80) {
        out += static_cast<char>(c);
        ++i;
      } else {
        out += '?';
        i += Utf8SequenceLength(c);
      }
    }
    return out;
  }
  std::string out;
  std::string input(utf8Text);
  char* in = input.data();
  std::size_t inLeft = input.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    std::size_t result = iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // A character the code page cannot hold, or broken UTF-8: one "?" for it.
      out += '?';
      std::size_t skip = Utf8SequenceLength(static_cast<unsigned char>(*in));
      if (skip > inLeft) skip = inLeft;
      in += skip;
      inLeft -= skip;
    }
  }
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(cd.Get(), nullptr, nullptr, &outPtr, &outLeft);
  out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  return out;
}

// ---- Paths ------------------------------------------------------------------------------------

const PathRules& NativePathRules() {
  static const PathRules rules{false, false, '/', 0};
  return rules;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return path;
  std::string absolute = buffer;
  if (absolute.back() != '/') absolute += '/';
  return absolute + path;
}

std::string ProgramPath() {
#ifdef __APPLE__
  char buffer[PATH_MAX];
  std::uint32_t size = sizeof buffer;
  if (_NSGetExecutablePath(buffer, &size) != 0) return {};
  char resolved[PATH_MAX];
  if (realpath(buffer, resolved) == nullptr) return buffer;
  return resolved;
#else
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
#endif
}

// ---- Files ------------------------------------------------------------------------------------

namespace {

// The most bytes handed to one write(2) or read(2): macOS refuses a count above INT_MAX with
// EINVAL, and Linux moves at most 0x7ffff000 bytes per call anyway.
constexpr std::size_t kMaxIoChunk = 0x40000000u;

// Owns a file descriptor and closes it on every way out.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) noexcept : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    UniqueFd old(std::exchange(fd_, other.Release()));
    return *this;
  }

  bool Valid() const noexcept { return fd_ >= 0; }
  int Get() const noexcept { return fd_; }
  // Hands the descriptor to a new owner.
  int Release() noexcept { return std::exchange(fd_, -1); }
  // Closes now; false when the system reports a failure (the last data may then be lost).
  bool Close() noexcept { return ::close(Release()) == 0; }

 private:
  int fd_;
};

bool UsablePath(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

FileErrorCause CauseFromErrno(int error) {
  switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return FileErrorCause::DiskFull;
    case ENOENT: return FileErrorCause::FileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileErrorCause::AccessDenied;
    case EMFILE:
    case ENFILE:
      return FileErrorCause::TooManyOpenFiles;
    case ENAMETOOLONG:
    case ENOTDIR:
      return FileErrorCause::BadPath;
    case EIO: return FileErrorCause::HardIO;
    case EBADF: return FileErrorCause::InvalidFile;
    case ESPIPE: return FileErrorCause::BadSeek;
    case EAGAIN: return FileErrorCause::LockViolation;
    default: return FileErrorCause::Generic;
  }
}

// Writes every byte; 0 when done, else the errno of the failure (ENOSPC when the system stores
// nothing and names no cause).
int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size < kMaxIoChunk ? size : kMaxIoChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// The pieces handed to one gather write: at most IOV_MAX (1024 on Linux, at least 16 by POSIX),
// and few enough to sit on the stack.
#if defined(IOV_MAX) && IOV_MAX < 64
constexpr std::size_t kGatherPieces = IOV_MAX;
#else
constexpr std::size_t kGatherPieces = 64;
#endif

// WriteAll for pieces, with as few gather writes as the system takes (each of at most
// kMaxIoChunk bytes); a write that takes part of the bytes is continued where it stopped.
int WriteAllPieces(int fd, const std::string_view* pieces, std::size_t count) {
  std::size_t piece = 0;
  std::size_t done = 0;  // bytes of pieces[piece] already written
  for (;;) {
    while (piece < count && done == pieces[piece].size()) {
      ++piece;
      done = 0;
    }
    if (piece == count) return 0;
    iovec vectors[kGatherPieces];
    int used = 0;
    std::size_t bytes = 0;
    for (std::size_t i = piece; i < count && used < static_cast<int>(kGatherPieces); ++i) {
      const std::size_t skip = i == piece ? done : 0;
      const std::size_t size = std::min(pieces[i].size() - skip, kMaxIoChunk - bytes);
      if (size == 0) continue;
      vectors[used].iov_base = const_cast<char*>(pieces[i].data() + skip);
      vectors[used].iov_len = size;
      ++used;
      bytes += size;
      if (bytes == kMaxIoChunk) break;
    }
    const ssize_t n = ::writev(fd, vectors, used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    for (auto left = static_cast<std::size_t>(n); left > 0;) {
      const std::size_t rest = pieces[piece].size() - done;
      if (left < rest) {
        done += left;
        break;
      }
      left -= rest;
      ++piece;
      done = 0;
    }
  }
}

FileIdentity IdentityOf(const struct stat& st) {
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// A file marked read-only: no write bit for anybody. The program never writes such a file, even
// for a user whom the system would let write it (root): every check of the mark goes through here.
bool MarkedReadOnly(const struct stat& st) {
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// errno of the call that just failed, as an ErrorCode.
ErrorCode LastErrno() { return static_cast<ErrorCode>(errno); }

// What a run may do with what lstat or fstat found at an output path; the one check that Create
// and ProbeOutputFile share. Only a plain file is written: a link may lead out of the output
// folder, and a pipe or a device may block or swallow the page. A read-only file stays untouched.
// A file with other names (hard links) is refused too: writing it would change it under every
// name, outside the output folder among them. A read-only file is untouched anyway and keeps that
// reason.
Result<OutputProbe> JudgeExistingOutput(const struct stat& st,
                                        const std::vector<FileIdentity>& protectedFiles) {
  if (!S_ISREG(st.st_mode)) return Failure{kErrorNotPlainFile};
  for (const FileIdentity& kept : protectedFiles) {
    if (kept == IdentityOf(st)) return Failure{kErrorProtectedFile};
  }
  if (MarkedReadOnly(st)) return Failure{kErrorReadOnly};
  if (st.st_nlink > 1) return Failure{kErrorOtherNames};
  return OutputProbe::PlainFile;
}

int DescriptorOf(NativeFile file) { return static_cast<int>(file); }

// Where the calls below start from for a name in folder: the held folder, or the current folder
// when none is held (the name is then the whole path).
struct FolderAndName {
  int folder;
  std::string name;
};

FolderAndName Locate(const OutputFolder& folder, const std::string& name) {
  if (!folder.Held()) return {AT_FDCWD, folder.PathOf(name)};
  // A name in a sub-folder starts from that sub-folder as the run first met it.
  const std::size_t slash = name.rfind('/');
  if (slash != std::string::npos && slash != 0) {
    const NativeFile sub = folder.SubFolder(name.substr(0, slash));
    if (sub != kNoNativeFile) {
      const std::string last = name.substr(slash + 1);
      return {DescriptorOf(sub), last.empty() ? std::string(".") : last};
    }
  }
  return {DescriptorOf(folder.Native()), name};
}

// A folder opened to be held and reached through, not read: O_PATH where the system has it.
#ifdef O_PATH
constexpr int kFolderOnly = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderOnly = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

}  // namespace

OutputFolder::~OutputFolder() {
  UniqueFd closed(DescriptorOf(folder_));
  for (const auto& [name, sub] : subFolders_) UniqueFd subClosed(DescriptorOf(sub));
}

NativeFile OutputFolder::SubFolder(const std::string& subFolder) const {
  std::lock_guard<std::mutex> lock(subFoldersMutex_);
  if (const auto found = subFolders_.find(subFolder); found != subFolders_.end()) {
    return found->second;
  }
  if (!UsablePath(subFolder)) return kNoNativeFile;
  UniqueFd fd(::openat(DescriptorOf(folder_), subFolder.c_str(), kFolderOnly));
  // A sub-folder that is not there yet is looked for again by the next name that leads into it.
  if (!fd.Valid()) return kNoNativeFile;
  const NativeFile sub = fd.Release();
  subFolders_.emplace(subFolder, sub);
  return sub;
}

Status OutputFolder::Hold() {
  UniqueFd closed(DescriptorOf(std::exchange(folder_, kNoNativeFile)));
  const std::string folder = prefix_.empty() ? "." : prefix_;
  if (!UsablePath(folder)) return Failure{ENOENT};
  // The folder as it is now, a link to it followed: later renames and links do not move it.
  // Linux can hold a folder that this user may write but not list.
  UniqueFd fd(::open(folder.c_str(), kFolderOnly));
  if (!fd.Valid()) return Failure{LastErrno()};
  folder_ = fd.Release();
  return {};
}

std::optional<FileIdentity> OutputFolder::FolderIdentity(const std::string& subFolder) const {
  const FolderAndName at = Locate(*this, subFolder.empty() ? std::string(".") : subFolder);
  struct stat st {};
  if (!UsablePath(at.name) || ::fstatat(at.folder, at.name.c_str(), &st, 0) != 0 ||
      !S_ISDIR(st.st_mode)) {
    return std::nullopt;
  }
  return IdentityOf(st);
}

Result<bool> OutputFolder::MakeSubFolders(const std::vector<std::string>& components,
                                          bool probeOnly) const {
  if (!Held()) return Failure{ENOENT};
  std::string joined;
  for (const std::string& component : components) {
    if (component.empty() || component == ".") continue;
    joined += (joined.empty() ? "" : "/") + component;
  }
  if (joined.empty() || SubFolder(joined) != kNoNativeFile) return true;
  // Walked one folder at a time without following links, so that a folder is only ever made
  // inside a real folder of the held one.
  constexpr int kWalkFlags = kFolderOnly | O_NOFOLLOW;
  UniqueFd current(::openat(DescriptorOf(folder_), ".", kWalkFlags));
  if (!current.Valid()) return Failure{LastErrno()};
  std::string path;
  for (const std::string& component : components) {
    if (component.empty() || component == ".") continue;
    path += (path.empty() ? "" : "/") + component;
    if (!UsablePath(component)) return Failure{ENOENT};
    UniqueFd next(::openat(current.Get(), component.c_str(), kWalkFlags));
    if (!next.Valid() && errno == ENOENT) {
      if (probeOnly) return false;
      if (::mkdirat(current.Get(), component.c_str(), 0777) == 0) {
        std::lock_guard<std::mutex> lock(subFoldersMutex_);
        made_.push_back(path);
      } else if (errno != EEXIST) {  // another writing thread may have made it meanwhile
        return Failure{LastErrno()};
      }
      next = UniqueFd(::openat(current.Get(), component.c_str(), kWalkFlags));
    }
    if (!next.Valid()) {
      return Failure{errno == ELOOP || errno == ENOTDIR ? kErrorNotPlainFile : LastErrno()};
    }
    current = std::move(next);
  }
  return SubFolder(joined) != kNoNativeFile;
}

std::vector<std::string> OutputFolder::MadeFolders() const {
  std::lock_guard<std::mutex> lock(subFoldersMutex_);
  return made_;
}

InputFile::~InputFile() { Close(); }

Status InputFile::Open(const std::string& path) {
  Close();
  if (!UsablePath(path)) return Failure{ENOENT};
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return Failure{LastErrno()};
  // A folder opens for reading here but is no file of records; Windows refuses to open one.
  if (S_ISDIR(st.st_mode)) return Failure{kErrorNotPlainFile};
  file_ = fd.Release();
  return {};
}

Status InputFile::Open(const OutputFolder& folder, const std::string& name) {
  Close();
  const FolderAndName at = Locate(folder, name);
  if (!UsablePath(at.name)) return Failure{ENOENT};
  UniqueFd fd(::openat(at.folder, at.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) {
    return Failure{errno == ELOOP ? kErrorNotPlainFile : LastErrno()};
  }
  if (!S_ISREG(st.st_mode)) return Failure{kErrorNotPlainFile};
  file_ = fd.Release();
  return {};
}

Result<std::size_t> InputFile::Read(char* buffer, std::size_t size) {
  if (file_ == kNoNativeFile) return Failure{EBADF};
  for (;;) {
    const ssize_t n = ::read(DescriptorOf(file_), buffer, size < kMaxIoChunk ? size : kMaxIoChunk);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return Failure{LastErrno()};
  }
}

std::optional<std::uint64_t> InputFile::Size() const {
  struct stat st {};
  if (file_ == kNoNativeFile || ::fstat(DescriptorOf(file_), &st) != 0 || !S_ISREG(st.st_mode)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(st.st_size);
}

Status InputFile::Rewind() {
  struct stat st {};
  if (file_ == kNoNativeFile || ::fstat(DescriptorOf(file_), &st) != 0) return Failure{EBADF};
  if (!S_ISREG(st.st_mode)) return Failure{kErrorNotPlainFile};
  if (::lseek(DescriptorOf(file_), 0, SEEK_SET) != 0) return Failure{LastErrno()};
  return {};
}

std::optional<FileIdentity> InputFile::Identity() const {
  struct stat st {};
  if (file_ == kNoNativeFile || ::fstat(DescriptorOf(file_), &st) != 0) return std::nullopt;
  return IdentityOf(st);
}

void InputFile::Close() { UniqueFd closed(DescriptorOf(std::exchange(file_, kNoNativeFile))); }

OutputFile::~OutputFile() { UniqueFd closed(DescriptorOf(file_)); }

Status OutputFile::Create(const std::string& path, const std::vector<FileIdentity>& protectedFiles) {
  return Create(OutputFolder(), path, protectedFiles);
}

Status OutputFile::Create(const OutputFolder& folder, const std::string& name,
                          const std::vector<FileIdentity>& protectedFiles) {
  const FolderAndName at = Locate(folder, name);
  if (!UsablePath(at.name)) return Failure{ENOENT};
  // The common case first: a name that does not exist yet is created in one call, and a file just
  // created can be neither protected, read-only nor known by other names. O_EXCL also fails on a
  // link, even one that leads nowhere. Anything else takes the checked way below.
  UniqueFd fd(::openat(at.folder, at.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.Valid()) {
    // Opened without following a link, without waiting for a pipe's reader and without cutting,
    // so that the file is judged by what was opened before anything of it changes.
    fd = UniqueFd(::openat(at.folder, at.name.c_str(),
                           O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                           0666));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) {
      // A link fails O_NOFOLLOW with ELOOP, a folder EISDIR and a pipe without reader ENXIO.
      return Failure{errno == ELOOP || errno == EISDIR || errno == ENXIO ? kErrorNotPlainFile
                                                                         : LastErrno()};
    }
    if (const Result<OutputProbe> verdict = JudgeExistingOutput(st, protectedFiles); !verdict) {
      return Failure{verdict.error()};
    }
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags == -1 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) == -1 ||
        ::ftruncate(fd.Get(), 0) != 0) {
      return Failure{LastErrno()};
    }
  }
  file_ = fd.Release();
  path_ = folder.PathOf(name);
  return {};
}

void OutputFile::Write(const char* data, std::size_t size) {
  if (const int error = WriteAll(DescriptorOf(file_), data, size)) {
    throw FileError(CauseFromErrno(error), path_, static_cast<ErrorCode>(error));
  }
}

void OutputFile::Write(const std::string_view* pieces, std::size_t count) {
  if (const int error = WriteAllPieces(DescriptorOf(file_), pieces, count)) {
    throw FileError(CauseFromErrno(error), path_, static_cast<ErrorCode>(error));
  }
}

void OutputFile::Close() {
  if (file_ == kNoNativeFile) return;
  if (!UniqueFd(DescriptorOf(std::exchange(file_, kNoNativeFile))).Close() && errno != EINTR) {
    const int error = errno;
    throw FileError(CauseFromErrno(error), path_, static_cast<ErrorCode>(error));
  }
}

Result<OutputProbe> ProbeOutputFile(const std::string& path,
                                    const std::vector<FileIdentity>& protectedFiles) {
  return ProbeOutputFile(OutputFolder(), path, protectedFiles);
}

Result<OutputProbe> ProbeOutputFile(const OutputFolder& outputFolder, const std::string& name,
                                    const std::vector<FileIdentity>& protectedFiles) {
  const FolderAndName at = Locate(outputFolder, name);
  const std::string& path = at.name;
  if (!UsablePath(path)) return Failure{ENOENT};
  struct stat st {};
  if (::fstatat(at.folder, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    Result<OutputProbe> verdict = JudgeExistingOutput(st, protectedFiles);
    // Not marked read-only, yet this user may not write it.
    if (verdict && ::faccessat(at.folder, path.c_str(), W_OK, 0) != 0) {
      return Failure{LastErrno()};
    }
    return verdict;
  }
  if (errno != ENOENT) return Failure{LastErrno()};
  // A new file needs a folder that exists and may be written, and a name the system accepts.
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::size_t nameLength =
      slash == std::string::npos ? path.size() : path.size() - slash - 1;
  if (::fstatat(at.folder, folder.c_str(), &st, 0) != 0) return Failure{LastErrno()};
  if (!S_ISDIR(st.st_mode)) return Failure{ENOTDIR};
  if (::faccessat(at.folder, folder.c_str(), W_OK | X_OK, 0) != 0) return Failure{LastErrno()};
  if (nameLength > NAME_MAX) return Failure{ENAMETOOLONG};
  return OutputProbe::Absent;
}

Status MakeFolder(const std::string& path) {
  if (!UsablePath(path)) return Failure{ENOENT};
  if (::mkdir(path.c_str(), 0777) != 0) return Failure{LastErrno()};
  return {};
}

Status WriteNewFile(const std::string& path, std::string_view bytes) {
  if (!UsablePath(path)) return Failure{ENOENT};
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.Valid()) return Failure{LastErrno()};
  int error = WriteAll(fd.Get(), bytes.data(), bytes.size());
  if (!fd.Close() && error == 0) error = errno;
  if (error == 0) return {};
  ::unlink(path.c_str());
  return Failure{static_cast<ErrorCode>(error)};
}

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
  struct stat st {};
  if (!UsablePath(path) || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return IdentityOf(st);
}

std::string SystemErrorMessage(ErrorCode code) {
  // strerror may keep its text in one buffer for all threads: only the reporting thread asks.
  return std::strerror(static_cast<int>(code));
}

Result<PathInfo> InspectPath(const std::string& path) {
  PathInfo info;
  struct stat st {};
  if (!UsablePath(path)) return info;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) return Failure{LastErrno()};
    return info;
  }
  if (S_ISREG(st.st_mode)) {
    info.kind = PathKind::RegularFile;
    info.size = static_cast<std::uint64_t>(st.st_size);
  } else {
    info.kind = S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
  }
  return info;
}

Status CheckFolderWritable(const std::string& path) {
  if (::faccessat(AT_FDCWD, path.c_str(), X_OK | W_OK, AT_EACCESS) != 0) return Failure{LastErrno()};
  return {};
}

Result<std::string> ReadWholeFile(const std::string& path) {
  InputFile file;
  if (const Status opened = file.Open(path); !opened) return Failure{opened.error()};
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    const Result<std::size_t> got = file.Read(buffer, sizeof buffer);
    if (!got) return Failure{got.error()};
    if (*got == 0) return bytes;
    bytes.append(buffer, *got);
  }
}

namespace {

// Writes bytes over the open file from its start and cuts it there; 0 or the errno of the failure.
ErrorCode WriteInPlace(int fd, std::string_view bytes) {
  if (::lseek(fd, 0, SEEK_SET) != 0) return LastErrno();
  if (const int error = WriteAll(fd, bytes.data(), bytes.size())) {
    return static_cast<ErrorCode>(error);
  }
  if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0) {
    return LastErrno();
  }
  return 0;
}

enum class NewFileOutcome {
  Replaced,  // the new file has taken the target's place
  NotMade,   // no new file could stand there as the target would need: write in place instead
  Failed,    // the new file could not be written; nothing has changed
};

struct NewFileResult {
  NewFileOutcome outcome;
  ErrorCode error = 0;  // why it was not Replaced
};

// Puts bytes in place of target through a new file beside it. NotMade when the folder takes no
// new file or the new file could not get the target's group; Failed on any other failure, a full
// disk among them, where writing in place would fail part-way and leave the target cut.
NewFileResult ReplaceThroughNewFile(const std::string& target, std::string_view bytes, mode_t mode,
                                    const struct stat* existing) {
  std::size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = (slash == std::string::npos ? std::string() : folder) + "." + base + ".XXXXXX";
  UniqueFd fd(::mkstemp(temp.data()));
  if (!fd.Valid()) {
    const bool notMade = errno == EACCES || errno == EPERM || errno == EROFS;
    return {notMade ? NewFileOutcome::NotMade : NewFileOutcome::Failed, LastErrno()};
  }
  NewFileOutcome failed = NewFileOutcome::Failed;
  ErrorCode error = static_cast<ErrorCode>(WriteAll(fd.Get(), bytes.data(), bytes.size()));
  if (error == 0 && ::fchmod(fd.Get(), mode) != 0) error = LastErrno();
  if (error == 0 && existing != nullptr) {
    struct stat made {};
    if (::fstat(fd.Get(), &made) != 0 ||
        (made.st_gid != existing->st_gid &&
         ::fchown(fd.Get(), static_cast<uid_t>(-1), existing->st_gid) != 0)) {
      error = LastErrno();
      failed = NewFileOutcome::NotMade;
    }
  }
  if (error == 0 && ::fsync(fd.Get()) != 0) error = LastErrno();
  if (!fd.Close() && error == 0) error = LastErrno();
  if (error == 0 && existing != nullptr) {
    // The file may have turned read-only since it was looked at.
    struct stat now {};
    if (::stat(target.c_str(), &now) == 0 && MarkedReadOnly(now)) error = kErrorReadOnly;
  }
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = LastErrno();
  if (error == 0) return {NewFileOutcome::Replaced};
  ::unlink(temp.c_str());
  return {failed, error};
}

}  // namespace

Status ReplaceFileContents(const std::string& path, std::string_view bytes) {
  if (!UsablePath(path)) return Failure{ENOENT};
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) return Failure{LastErrno()};
    target = resolved;
  }
  if (::stat(target.c_str(), &st) != 0) {
    if (errno != ENOENT) return Failure{LastErrno()};
    mode_t mask = ::umask(0);
    ::umask(mask);
    const NewFileResult made = ReplaceThroughNewFile(target, bytes, 0666 & ~mask, nullptr);
    if (made.outcome == NewFileOutcome::Replaced) return {};
    return Failure{made.error};
  }
  if (!S_ISREG(st.st_mode)) return Failure{kErrorNotPlainFile};
  if (MarkedReadOnly(st)) return Failure{kErrorReadOnly};
  // As the system's profile writer: only a user who may write the file itself changes it; being
  // allowed to write its folder is not enough.
  UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.Valid()) return Failure{LastErrno()};
  // A new file in its place is one that readers see whole or not at all, but it belongs to this
  // user and stands under this one name only: for a file of another owner or with other names
  // (hard links), and in a folder that takes no new file, the bytes go into the file itself.
  NewFileResult outcome{NewFileOutcome::NotMade};
  if (st.st_uid == ::geteuid() && st.st_nlink == 1) {
    outcome = ReplaceThroughNewFile(target, bytes, st.st_mode & 07777, &st);
  }
  ErrorCode error = outcome.outcome == NewFileOutcome::Replaced ? 0 : outcome.error;
  if (outcome.outcome == NewFileOutcome::NotMade) {
    struct stat now {};
    if (::fstat(fd.Get(), &now) != 0) {
      error = LastErrno();
    } else if (MarkedReadOnly(now)) {
      error = kErrorReadOnly;
    } else {
      error = WriteInPlace(fd.Get(), bytes);
    }
  }
  if (!fd.Close() && error == 0) error = LastErrno();
  if (error == 0) return {};
  return Failure{error};
}

// ---- Standard streams ---------------------------------------------------------------------------

namespace {

// The folder that holds name inside the held folder, each folder on the way opened without
// following a link, and name's last component. An empty, "." or ".." component would lead
// elsewhere than the name says and is refused.
Result<std::pair<UniqueFd, std::string>> OpenHoldingFolder(const OutputFolder& folder,
                                                           const std::string& name) {
  if (!folder.Held()) return Failure{EBADF};
  if (!UsablePath(name)) return Failure{ENOENT};
  constexpr int kFolderFlags = kFolderOnly | O_NOFOLLOW;
  UniqueFd at(::fcntl(DescriptorOf(folder.Native()), F_DUPFD_CLOEXEC, 0));
  if (!at.Valid()) return Failure{LastErrno()};
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = name.find('/', start);
    const std::string part = name.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return Failure{EINVAL};
    if (slash == std::string::npos) return std::pair{std::move(at), part};
    UniqueFd next(::openat(at.Get(), part.c_str(), kFolderFlags));
    // A link fails O_NOFOLLOW with ELOOP, or with O_DIRECTORY ENOTDIR.
    if (!next.Valid()) return Failure{errno == ELOOP ? kErrorNotPlainFile : LastErrno()};
    at = std::move(next);
    start = slash + 1;
  }
}

}  // namespace

Result<bool> RemoveOutputFile(const OutputFolder& folder, const std::string& name,
                              const std::function<bool(InputFile&)>& accept) {
  Result<std::pair<UniqueFd, std::string>> at = OpenHoldingFolder(folder, name);
  if (!at) return Failure{at.error()};
  const int dir = at->first.Get();
  const char* last = at->second.c_str();
  UniqueFd fd(::openat(dir, last, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat opened {};
  if (!fd.Valid() || ::fstat(fd.Get(), &opened) != 0) {
    return Failure{errno == ELOOP ? kErrorNotPlainFile : LastErrno()};
  }
  if (!S_ISREG(opened.st_mode)) return Failure{kErrorNotPlainFile};
  InputFile file;
  file.file_ = fd.Release();
  if (!accept(file)) return false;
  // The name must still reach the file that was read: another file put there meanwhile stays.
  struct stat now {};
  if (::fstatat(dir, last, &now, AT_SYMLINK_NOFOLLOW) != 0) return Failure{LastErrno()};
  if (!(IdentityOf(now) == IdentityOf(opened))) return false;
  if (::unlinkat(dir, last, 0) != 0) return Failure{LastErrno()};
  return true;
}

Status RemoveOutputFolder(const OutputFolder& folder, const std::string& name) {
  Result<std::pair<UniqueFd, std::string>> at = OpenHoldingFolder(folder, name);
  if (!at) return Failure{at.error()};
  // rmdir of a link fails with ENOTDIR: the link and what it leads to both stay.
  if (::unlinkat(at->first.Get(), at->second.c_str(), AT_REMOVEDIR) != 0) {
    return Failure{errno == ENOTDIR ? kErrorNotPlainFile : LastErrno()};
  }
  return {};
}

bool NothingThere(ErrorCode code) { return code == ENOENT; }

bool FolderNotEmpty(ErrorCode code) { return code == ENOTEMPTY || code == EEXIST; }

Status ReplaceOutputFile(const OutputFolder& folder, const std::string& from,
                         const std::string& to) {
  if (!folder.Held()) return Failure{EBADF};
  if (!UsablePath(from) || !UsablePath(to)) return Failure{ENOENT};
  const int dir = DescriptorOf(folder.Native());
  if (::renameat(dir, from.c_str(), dir, to.c_str()) != 0) return Failure{LastErrno()};
  return {};
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void SetStandardOutputBinary() {}

// ---- Threads ------------------------------------------------------------------------------------

std::chrono::nanoseconds ThreadProcessorTime() {
  timespec now{};
  if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0) return {};
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// ---- Names as the file system sees them ---------------------------------------------------------

namespace {

// iconv's name of a code page.
std::string IconvCodePageName(unsigned codePage) {
  return codePage == 65001   ? std::string("UTF-8")
         : codePage == 54936 ? std::string("GB18030")
                             : IconvName(codePage);
}

// text converted by iconv from one encoding to another, into at most capacity bytes; nothing when
// iconv has no such converter or a byte sequence has no counterpart (no //TRANSLIT).
std::optional<std::string> ConvertWithIconv(const std::string& to, const std::string& from,
                                            std::string_view text, std::size_t capacity) {
  const IconvHandle cd(to.c_str(), from.c_str());
  if (!cd.Valid()) return std::nullopt;
  std::string input(text);
  std::string output(capacity, '\0');
  char* in = input.data();
  std::size_t inLeft = input.size();
  char* out = output.data();
  std::size_t outLeft = output.size();
  const bool converted =
      iconv(cd.Get(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
      iconv(cd.Get(), nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
  if (!converted || inLeft != 0) return std::nullopt;
  output.resize(output.size() - outLeft);
  return output;
}

}  // namespace

std::optional<std::u16string> CodePageToUtf16(unsigned codePage, std::string_view bytes) {
  if (bytes.empty()) return std::u16string();
  // At most one UTF-16 unit per byte, or two for a four-byte character.
  const std::optional<std::string> output =
      ConvertWithIconv("UTF-16LE", IconvCodePageName(codePage), bytes, bytes.size() * 2 + 8);
  if (!output) return std::nullopt;
  const std::size_t units = output->size() / 2;
  std::u16string wide(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) {
    wide[i] = static_cast<char16_t>(static_cast<unsigned char>((*output)[2 * i]) |
                                    static_cast<unsigned char>((*output)[2 * i + 1]) << 8);
  }
  return wide;
}

std::optional<std::u16string> FileSystemUpperCase(std::u16string_view) { return std::nullopt; }

// ---- Command-line texts -------------------------------------------------------------------------

std::optional<std::string> CodePageToCodePage(unsigned fromCodePage, unsigned toCodePage,
                                              std::string_view text) {
  if (fromCodePage == toCodePage || text.empty()) return std::string(text);
  // At most four bytes for each byte in, and room for a closing shift sequence.
  return ConvertWithIconv(IconvCodePageName(toCodePage), IconvCodePageName(fromCodePage), text,
                          text.size() * 4 + 16);
}


}  // namespace velmora::platform
