// velmora-floor: the file system's own share of a run. Given the run log and the output folder of
// a finished run, it loads every written file into memory, then creates the same names in a fresh
// folder, in the same order, and writes the same bytes with one write each, the way the generator
// opens its files and nothing else. Only the system calls that create, write and close each file
// are timed; their sum in seconds goes to standard output, followed by the processor time (user
// and system) that those calls took. Each file's bytes are copied into one reused buffer before
// its clock starts, so that the floor writes from memory that is in the cache, as a run does,
// rather than from half a gigabyte of cold memory.
//
//   velmora-floor [--threads N] RUN_LOG REFERENCE_FOLDER TARGET_FOLDER
//
// With --threads N the files are written on N threads (the parallel floor), each name always on
// the same thread so that a name written twice keeps its order; the times are then the wall-clock
// time and the processor time of every thread from the first create to the last close.
//
// The processor time is the figure that the load of a machine shared with other work swings least:
// time waited for a processor is not in it.
//
// The names are the run log's " -> ok" lines without the output folder of its header (line 7).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

// The processor time, user and system, that the process has used so far, in seconds.
double ProcessorSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  const auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
#else
  // Exact to the nanosecond, where getrusage counts in whole ticks.
  timespec now{};
  if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) != 0) return 0;
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
#endif
}

#ifdef _WIN32
constexpr char kSeparator = '\\';

bool ReadAll(const std::string& path, std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buffer[1 << 16];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) {
    bytes.append(buffer, got);
  }
  CloseHandle(h);
  return ok;
}

// Creates the file without sharing, as the generator does.
bool WriteOne(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
            written == bytes.size();
  return CloseHandle(h) != 0 && ok;
}
#else
constexpr char kSeparator = '/';

bool ReadAll(const std::string& path, std::string& bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes.clear();
  char buffer[1 << 16];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(got));
  ::close(fd);
  return got == 0;
}

bool WriteOne(const std::string& path, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return ::close(fd) == 0 && ok;
}
#endif

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder.push_back(kSeparator);
  return folder;
}

// The lines of a CR LF text.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string_view::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned threads = 0;
  if (argc == 6 && std::string_view(argv[1]) == "--threads") {
    threads = static_cast<unsigned>(std::atoi(argv[2]));
    argv += 2;
    argc -= 2;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: velmora-floor [--threads N] RUN_LOG REFERENCE_FOLDER TARGET_FOLDER\n");
    return 2;
  }
  std::string log;
  if (!ReadAll(argv[1], log)) {
    std::fprintf(stderr, "velmora-floor: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<std::string_view> lines = Lines(log);
  if (lines.size() < 8) {
    std::fprintf(stderr, "velmora-floor: %s is no run log\n", argv[1]);
    return 1;
  }
  // The run wrote "output folder" + separator + name; the separator is '/' or '\'.
  const std::string_view outputFolder = lines[6];
  const std::string reference = WithSeparator(argv[2]);
  const std::string target = WithSeparator(argv[3]);
  constexpr std::string_view kOk = " -> ok";
  std::vector<std::string> names;
  std::vector<std::string> contents;
  for (std::string_view line : lines) {
    if (!line.ends_with(kOk) || !line.starts_with(outputFolder)) continue;
    std::string_view name = line.substr(outputFolder.size(), line.size() - outputFolder.size() - kOk.size());
    if (!outputFolder.empty() && outputFolder.back() != '/' && outputFolder.back() != '\\') {
      name.remove_prefix(1);
    }
    names.emplace_back(name);
    contents.emplace_back();
    if (!ReadAll(reference + names.back(), contents.back())) {
      std::fprintf(stderr, "velmora-floor: cannot read %s%s\n", reference.c_str(), names.back().c_str());
      return 1;
    }
  }
  std::vector<std::string> paths;
  paths.reserve(names.size());
  std::size_t bytes = 0;
  std::size_t longest = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    paths.push_back(target + names[i]);
    bytes += contents[i].size();
    longest = std::max(longest, contents[i].size());
  }

  if (threads > 0) {
    std::vector<std::vector<std::size_t>> shares(threads);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      shares[std::hash<std::string>{}(names[i]) % threads].push_back(i);
    }
    std::atomic<bool> failed = false;
    const double processorStart = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (const std::vector<std::size_t>& share : shares) {
      pool.emplace_back([&, &share = share] {
        for (std::size_t i : share) {
          if (!WriteOne(paths[i], contents[i])) failed = true;
        }
      });
    }
    for (std::thread& thread : pool) thread.join();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double processor = ProcessorSeconds() - processorStart;
    if (failed) {
      std::fprintf(stderr, "velmora-floor: cannot write every file\n");
      return 1;
    }
    std::fprintf(stderr, "velmora-floor: %zu files, %zu bytes, %u threads\n", paths.size(), bytes,
                 threads);
    std::printf("%.4f %.4f\n", elapsed.count(), processor);
    return 0;
  }

  std::string hot;
  hot.reserve(longest);
  std::chrono::steady_clock::duration elapsed{};
  double processor = 0;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    hot.assign(contents[i]);
    const double processorStart = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = WriteOne(paths[i], hot);
    elapsed += std::chrono::steady_clock::now() - start;
    processor += ProcessorSeconds() - processorStart;
    if (!ok) {
      std::fprintf(stderr, "velmora-floor: cannot write %s\n", paths[i].c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "velmora-floor: %zu files, %zu bytes\n", paths.size(), bytes);
  std::printf("%.4f %.4f\n", std::chrono::duration<double>(elapsed).count(), processor);
  return 0;
}
