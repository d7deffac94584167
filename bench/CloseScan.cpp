// libvelmora-closescan.so: a model of a virus scanner that reads every new file when its handle is
// closed. Preloaded into a program (LD_PRELOAD), it makes close() of a file that was open for
// writing under the folder VELMORA_SCAN_DIR sleep VELMORA_SCAN_MS milliseconds (2 by default)
// before the file is closed. Every other close is passed straight on.

#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using CloseFunction = int (*)(int);

CloseFunction RealClose() {
  static CloseFunction real = reinterpret_cast<CloseFunction>(dlsym(RTLD_NEXT, "close"));
  return real;
}

const char* ScanFolder() {
  static const char* folder = std::getenv("VELMORA_SCAN_DIR");
  return folder;
}

long ScanNanoseconds() {
  static const long nanoseconds = [] {
    const char* text = std::getenv("VELMORA_SCAN_MS");
    const double ms = text != nullptr ? std::atof(text) : 2.0;
    return static_cast<long>(ms * 1e6);
  }();
  return nanoseconds;
}

// Whether fd is a file open for writing whose path lies under the scanned folder.
bool Scanned(int fd) {
  const char* folder = ScanFolder();
  if (folder == nullptr || *folder == '\0') return false;
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) return false;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char path[4096];
  const ssize_t length = readlink(link, path, sizeof path - 1);
  if (length <= 0) return false;
  path[length] = '\0';
  const std::size_t folderLength = std::strlen(folder);
  return std::strncmp(path, folder, folderLength) == 0 && path[folderLength] == '/';
}

}  // namespace

extern "C" int close(int fd) {
  if (Scanned(fd)) {
    const long nanoseconds = ScanNanoseconds();
    timespec wait{nanoseconds / 1000000000L, nanoseconds % 1000000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
  }
  return RealClose()(fd);
}
