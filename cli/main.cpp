// velmora-batch: runs one generation from a settings file, for scripts and scheduled jobs.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "cli/BatchCommands.h"
#include "cli/BatchHost.h"
#include "cli/BatchOptions.h"
#include "cli/OutputCollisions.h"
#include "engine/ExceptionText.h"
#include "engine/GenerationRun.h"
#include "engine/SystemTexts.h"
#include "engine/WriterPipeline.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/SettingsStore.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRunFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSomeFilesFailed = 3;
constexpr int kExitCollisions = 4;

// No settings file comes near this size; a bigger one is a mistake, not settings.
constexpr std::uint64_t kMaxSettingsFileBytes = 16u << 20;

// Whether path names a settings file that can be read: a regular file of a sound size. A device,
// a pipe or a huge file would otherwise be read without end or run memory out; each gets a
// message naming the file.
bool CheckSettingsFile(const std::string& path) {
  const velmora::platform::PathInfo info = velmora::platform::InspectPath(path);
  const char* problem = nullptr;
  if (info.kind == velmora::platform::PathKind::Folder ||
      info.kind == velmora::platform::PathKind::Other) {
    problem = "is not a regular file";
  } else if (info.kind == velmora::platform::PathKind::RegularFile &&
             info.size > kMaxSettingsFileBytes) {
    problem = "is larger than 16 MB";
  } else {
    std::string bytes;
    if (info.kind == velmora::platform::PathKind::RegularFile &&
        velmora::platform::ReadWholeFile(path, bytes)) {
      return true;
    }
    std::fprintf(stderr, "velmora-batch: cannot read the settings file '%s'\n", path.c_str());
    return false;
  }
  std::fprintf(stderr, "velmora-batch: the settings file '%s' %s\n", path.c_str(), problem);
  return false;
}

void WriteLog(const std::string& log) {
  std::fwrite(log.data(), 1, log.size(), stdout);
  std::fflush(stdout);
}

// Writes a new settings file with the defaults; an existing file is never replaced.
int InitSettingsFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found) {
    std::fprintf(stderr, "velmora-batch: '%s' exists already and is not replaced\n", path.c_str());
    return kExitUsage;
  }
  if (!velmora::platform::WriteNewFile(path, velmora::DefaultSettingsFileText())) {
    std::fprintf(stderr, "velmora-batch: cannot create the settings file '%s'\n", path.c_str());
    return kExitUsage;
  }
  return kExitOk;
}

// The closing line: what the run did and how fast.
std::string SummaryLine(std::uint32_t records, const velmora::OutputCollisions& files,
                        std::uint32_t failed, std::size_t colliding, bool dryRun,
                        std::chrono::steady_clock::duration elapsed) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const std::uint64_t done = files.Written() + files.WouldWrite() + files.Unchanged();
  char timing[64];
  std::snprintf(timing, sizeof timing, "%.2f s, %.0f files/s", seconds,
                seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
  return "velmora-batch: " + std::to_string(records) + " records, " +
         std::to_string(dryRun ? files.WouldWrite() : files.Written()) +
         (dryRun ? " files would be written, " : " files written, ") +
         std::to_string(files.Unchanged()) + " unchanged, " + std::to_string(failed) +
         " failed, " + std::to_string(colliding) + " colliding, " + timing + "\n";
}

int Run(const std::vector<std::string>& args) {
  using namespace velmora;
  std::string error;
  std::optional<BatchOptions> options = ParseBatchOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "velmora-batch: %s\nTry 'velmora-batch --help'.\n", error.c_str());
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(BatchUsage(), stdout);
    return kExitOk;
  }
  if (options->version) {
    std::puts("velmora-batch 1.0.0.4");
    return kExitOk;
  }
  if (options->init) return InitSettingsFile(*options->init);

  const unsigned codePage = options->codePage.value_or(platform::SystemCodePage());
  SetProcessCodePage(codePage);
  InitSystemTexts(codePage);

  if (!CheckSettingsFile(options->settingsFile)) return kExitUsage;
  GeneratorSettings settings;
  LoadSettings(settings, platform::AbsolutePath(options->settingsFile));
  if (options->input) settings.Input = *options->input;
  if (options->templatePath) settings.Template = *options->templatePath;
  if (options->output) settings.Output = *options->output;

  platform::SetStandardOutputBinary();
  const bool terminal = platform::StandardErrorIsTerminal();
  BatchHost host(stderr, terminal, options->quiet);
  RunState state;
  RunEnvironment environment;
  environment.writerThreads =
      options->singleThread ? 0 : options->jobs.value_or(DefaultWriterThreads());
  environment.output.dryRun = options->dryRun;
  environment.output.changedOnly = options->changedOnly;
  OutputCollisions files(platform::NativePathRules(), ProcessCodePageTable());
  environment.observer = &files;
  RunSummary summary;
  std::exception_ptr failure;
  const auto started = std::chrono::steady_clock::now();
  try {
    if (options->preview) {
      std::string failureText;
      switch (PreviewRecord(settings, *options->preview, stdout, failureText)) {
        case PreviewResult::Written: return kExitOk;
        case PreviewResult::NoSuchRecord:
          std::fprintf(stderr, "velmora-batch: %s\n", failureText.c_str());
          return kExitUsage;
        default:
          std::fprintf(stderr, "%s\n", failureText.c_str());
          return kExitRunFailed;
      }
    }
    summary = GenerationRun(state, settings, host, environment);
  } catch (...) {
    failure = std::current_exception();
  }
  // The log of the run as far as it went, then what stopped it.
  host.FinishLine();
  WriteLog(state.RunLog);
  int status = kExitOk;
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      std::fprintf(stderr, "%s\n", CurrentExceptionText().text.c_str());
    }
    status = kExitRunFailed;
  } else if (summary.outcome != RunOutcome::Completed) {
    status = kExitRunFailed;
  } else if (summary.failedFiles != 0) {
    status = kExitSomeFilesFailed;
  }
  if (options->preview) return kExitRunFailed;  // a read error of the input, or no memory
  const auto elapsed = std::chrono::steady_clock::now() - started;
  const std::vector<OutputCollisions::Collision> collisions = files.Collisions();
  std::fputs(CollisionReport(collisions).c_str(), stderr);
  if (options->summary || (terminal && !options->quiet)) {
    std::fputs(SummaryLine(summary.records, files, summary.failedFiles, collisions.size(),
                           options->dryRun, elapsed)
                   .c_str(),
               stderr);
  }
  if (status == kExitOk && options->strict && !collisions.empty()) status = kExitCollisions;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Memory may also run out before or after the run (the options, the settings file): the same
  // text then, never an abort.
  try {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return Run(args);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s\n", velmora::CurrentExceptionText().text.c_str());
    return kExitRunFailed;
  }
}
