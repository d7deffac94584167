// Helpers for the fault tests: a run host that records what the run reports, another process's
// hold on a file, read-only files, and running the batch command as a separate process.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/StatusLine.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velmora::test {

// Records the run's status texts and beeps.
class RecordingHost : public StatusLineEvents {
 public:
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void ShowProgress(std::uint32_t recordNumber, std::uint64_t, std::optional<std::uint64_t>) override {
    lastProgress = recordNumber;
  }
  void Beep(unsigned type) override { beeps.push_back(type); }
  void BeginWaitCursor() override { ++waitCursor; }
  void EndWaitCursor() override { --waitCursor; }

  std::vector<std::string> statuses;
  std::vector<unsigned> beeps;
  std::uint32_t lastProgress = 0;
  int waitCursor = 0;
};

// Whether this process still has the file open (the run must close its input on every way out).
inline bool OpenInThisProcess(const std::string& path) {
#ifdef _WIN32
  // The run opens files without sharing: while it holds one, nobody can open it.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(handle);
  return false;
#else
  std::error_code error;
  const std::filesystem::path wanted = std::filesystem::canonical(path, error);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(entry.path(), ignored) == wanted) return true;
  }
  return false;
#endif
}

inline void MakeReadOnly(const std::string& path) {
  std::filesystem::permissions(path,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
}

// Another program's hold on a file: on Windows an open handle without sharing, which makes every
// other open of the file fail with a sharing violation. POSIX files have no share modes.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path) {
#ifdef _WIN32
    handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    (void)path;
#endif
  }
  ~HeldFile() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#endif
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  static bool Supported() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
  }
#ifdef _WIN32
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  bool Held() const { return false; }
#endif
};

struct ProcessResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// A path of the build tree as this system spells it: Wine shows the Unix root as drive Z:.
inline std::string HostPath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
#endif
  return path;
}

// The batch program built beside the tests.
inline std::string BatchProgram() { return HostPath(VELMORA_BATCH_PROGRAM); }

// Runs a program with arguments, its standard output and error caught in files of dir; standard
// output goes to outFile instead when one is named (a device that fails every write).
inline ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const TempDir& dir, const std::string& outFile = "") {
  const std::string outPath = outFile.empty() ? dir / "stdout.txt" : outFile;
  const std::string errPath = dir / "stderr.txt";
  ProcessResult result;
#ifdef _WIN32
  std::string commandLine = "\"" + program + "\"";
  for (const std::string& arg : args) commandLine += " \"" + arg + "\"";
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out);
  CloseHandle(err);
#else
  pid_t child = fork();
  if (child == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  }
#endif
  if (outFile.empty()) result.out = ReadBytes(outPath);
  result.err = ReadBytes(errPath);
  return result;
}

}  // namespace velmora::test
