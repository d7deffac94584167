// velmora-batch: runs one generation from a settings file, for scripts and scheduled jobs.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "cli/BatchCommands.h"
#include "cli/BatchHost.h"
#include "cli/BatchOptions.h"
#include "cli/FailureReport.h"
#include "cli/OutputCollisions.h"
#include "cli/PlaceholderReport.h"
#include "cli/TextWarnings.h"
#include "engine/ExceptionText.h"
#include "engine/GenerationRun.h"
#include "engine/SystemTexts.h"
#include "engine/WindowsNames.h"
#include "engine/WriterPipeline.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/SettingsCheck.h"
#include "settings/SettingsStore.h"
#include "VelmoraVersion.h"

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
  const velmora::platform::Result<velmora::platform::PathInfo> info =
      velmora::platform::InspectPath(path);
  const char* problem = nullptr;
  if (info && (info->kind == velmora::platform::PathKind::Folder ||
               info->kind == velmora::platform::PathKind::Other)) {
    problem = "is not a regular file";
  } else if (info && info->kind == velmora::platform::PathKind::RegularFile &&
             info->size > kMaxSettingsFileBytes) {
    problem = "is larger than 16 MB";
  } else {
    // A path the system could not look at (no permission, a loop of links) gets its reason.
    velmora::platform::ErrorCode error = info.error();
    if (info && info->kind == velmora::platform::PathKind::RegularFile) {
      const velmora::platform::Result<std::string> bytes = velmora::platform::ReadWholeFile(path);
      if (bytes) return true;
      error = bytes.error();
    }
    if (error != 0) {
      std::fprintf(stderr, "velmora-batch: cannot read the settings file '%s': %s\n", path.c_str(),
                   velmora::platform::ErrorCodeText(error).c_str());
    } else {
      std::fprintf(stderr, "velmora-batch: cannot read the settings file '%s'\n", path.c_str());
    }
    return false;
  }
  std::fprintf(stderr, "velmora-batch: the settings file '%s' %s\n", path.c_str(), problem);
  return false;
}

// Whether every byte written to standard output reached it, flushed now. When a write failed (a
// full disk, a closed pipe) the system's reason goes to standard error and the result is false:
// a run whose log or preview is lost has failed, whatever files it wrote. errno is read at once,
// so that it still holds the failed write's error.
bool StandardOutputWritten() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  const int error = errno != 0 ? errno : EIO;
  std::fprintf(stderr, "velmora-batch: cannot write to standard output: %s\n",
               std::strerror(error));
  return false;
}

// Says on standard error what in the settings file at path a run does not take as it is written;
// the run itself reads the file as the window does.
void WarnOfIgnoredSettings(const std::string& path) {
  const velmora::platform::Result<std::string> bytes = velmora::platform::ReadWholeFile(path);
  if (!bytes) return;
  const std::string file = velmora::platform::AbsolutePath(path);
  for (const velmora::SettingsFinding& finding : velmora::CheckSettingsText(*bytes)) {
    std::fprintf(stderr, "velmora-batch: %s, line %zu: %s\n", file.c_str(), finding.line,
                 finding.text.c_str());
  }
}

// Writes the run log to standard output; false as StandardOutputWritten.
bool WriteLog(const std::string& log) {
  errno = 0;
  std::fwrite(log.data(), 1, log.size(), stdout);
  return StandardOutputWritten();
}

// Writes a new settings file with the defaults changed by the setting options; an existing file
// is never replaced, and a device is never written to (the system reads the path in its own code
// page, whatever --code-page says).
int InitSettingsFile(const std::string& path, const velmora::BatchOptions& options) {
  if (velmora::EndsInWindowsDeviceName(path, velmora::platform::NativePathRules(),
                                       velmora::CodePageTable::ForCodePage(
                                           velmora::platform::SystemCodePage()))) {
    std::fprintf(stderr, "velmora-batch: '%s' names a device and is not written\n", path.c_str());
    return kExitUsage;
  }
  std::error_code ec;
  if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found) {
    std::fprintf(stderr, "velmora-batch: '%s' exists already and is not replaced\n", path.c_str());
    return kExitUsage;
  }
  velmora::GeneratorSettings settings = velmora::DefaultSettings();
  velmora::ApplyBatchOptions(options, settings);
  if (!velmora::platform::WriteNewFile(path, velmora::SettingsFileText(settings)).ok()) {
    std::fprintf(stderr, "velmora-batch: cannot create the settings file '%s'\n", path.c_str());
    return kExitUsage;
  }
  return kExitOk;
}

// Says on standard error what the header gave that the user may not expect: columns that name
// nothing, and named placeholders of the template that no column answers. Returns false when
// that ends the run: with strict, a template that names a missing column writes no file.
bool ReportHeader(const velmora::HeaderReport& report, bool strict) {
  using velmora::Unnamed;
  for (const velmora::UnnamedColumn& column : report.columns.unnamed) {
    const std::string field = std::to_string(column.field);
    const std::string& name = report.columns.names[column.field];
    switch (column.why) {
      case Unnamed::Empty:
        std::fprintf(stderr, "velmora-batch: the header of field %s is empty: it names no column\n",
                     field.c_str());
        break;
      case Unnamed::Digits:
        std::fprintf(stderr,
                     "velmora-batch: the header of field %s, '%s', is a number: it names no "
                     "column\n",
                     field.c_str(), name.c_str());
        break;
      case Unnamed::Repeat:
        std::fprintf(stderr,
                     "velmora-batch: the header of field %s, '%s', repeats that of field %s: it "
                     "names no column\n",
                     field.c_str(), name.c_str(), std::to_string(column.earlierField).c_str());
        break;
    }
  }
  for (const std::string& placeholder : report.unknownPlaceholders) {
    std::fprintf(stderr, "velmora-batch: the template names a column that the header lacks: %s\n",
                 placeholder.c_str());
  }
  if (strict && !report.unknownPlaceholders.empty()) {
    std::fputs("velmora-batch: --strict: no file is written\n", stderr);
    return false;
  }
  return true;
}

// The closing line: what the run did and how fast.
std::string SummaryLine(std::uint32_t records, const velmora::OutputCollisions& files,
                        std::uint64_t failed, std::size_t colliding, bool dryRun,
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
    std::puts("velmora-batch " VELMORA_VERSION);
    return kExitOk;
  }
  const unsigned codePage = options->codePage.value_or(platform::SystemCodePage());
  SetProcessCodePage(codePage);
  InitSystemTexts(codePage);
  if (options->init) return InitSettingsFile(*options->init, *options);

  GeneratorSettings settings = DefaultSettings();
  if (!options->settingsFile.empty()) {
    if (!CheckSettingsFile(options->settingsFile)) return kExitUsage;
    WarnOfIgnoredSettings(options->settingsFile);
    LoadSettings(settings, platform::AbsolutePath(options->settingsFile));
  }
  ApplyBatchOptions(*options, settings);

  platform::SetStandardOutputBinary();
  const bool terminal = platform::StandardErrorIsTerminal();
  BatchHost host(stderr, terminal, options->quiet);
  RunState state;
  RunEnvironment environment;
  environment.writerThreads =
      options->singleThread ? 0 : options->jobs.value_or(DefaultWriterThreads());
  environment.fillOnWriters = true;
  environment.output.dryRun = options->dryRun;
  environment.output.changedOnly = options->changedOnly;
  OutputCollisions files(platform::NativePathRules(), ProcessCodePageTable());
  RunFindings findings(settings, &files);
  OutputFailures failures(&findings);
  environment.observer = &failures;
  EncodingCheck encoding(ProcessCodePageTable(), settings.Template, settings.Input, options->strict);
  environment.inspector = &encoding;
  if (!options->settingsFile.empty()) environment.protectedPaths.push_back(options->settingsFile);
  environment.lineEnds = options->lineEnds;
  int stoppedStatus = kExitOk;
  if (options->header) {
    environment.header = true;
    environment.nameColumn = options->nameColumn;
    environment.checkHeader = [&](const HeaderReport& report) {
      if (report.nameColumnMissing) {
        std::fprintf(stderr, "velmora-batch: --name-field: the header has no column '%s'\n",
                     options->nameColumn->c_str());
        stoppedStatus = kExitUsage;
        return false;
      }
      if (ReportHeader(report, options->strict)) return true;
      stoppedStatus = kExitCollisions;
      return false;
    };
  }
  RunSummary summary;
  std::exception_ptr failure;
  const auto started = std::chrono::steady_clock::now();
  try {
    if (options->preview) {
      std::string failureText;
      errno = 0;
      switch (PreviewRecord(settings, *options->preview, stdout, failureText, environment)) {
        case PreviewResult::Written: return StandardOutputWritten() ? kExitOk : kExitRunFailed;
        case PreviewResult::Stopped: return stoppedStatus;
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
  const bool logWritten = WriteLog(state.RunLog);
  int status = kExitOk;
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      std::fprintf(stderr, "%s\n", CurrentExceptionText().text.c_str());
      std::fputs(CurrentFileErrorLine().c_str(), stderr);
    }
    status = kExitRunFailed;
  } else if (summary.outcome == RunOutcome::Stopped) {
    status = stoppedStatus;
  } else if (summary.outcome != RunOutcome::Completed) {
    status = kExitRunFailed;
  } else if (summary.failedFiles != 0) {
    status = kExitSomeFilesFailed;
  }
  if (options->preview) return kExitRunFailed;  // a read error of the input, or no memory
  if (summary.lfWithoutCr) {
    std::fputs("velmora-batch: the input holds LF line ends but no CR, so the whole input was read "
               "as one record; --line-ends any ends records at LF too\n",
               stderr);
  }
  if (summary.outcome == RunOutcome::InputFailed) {
    std::fputs(OpenFailureLine("input", settings.Input, state.OpenError).c_str(), stderr);
  } else if (summary.outcome == RunOutcome::TemplateFailed) {
    std::fputs(OpenFailureLine("template", settings.Template, state.OpenError).c_str(), stderr);
  }
  std::fputs(encoding.Report().c_str(), stderr);
  std::fputs(failures.Report(settings.Output).c_str(), stderr);
  const auto elapsed = std::chrono::steady_clock::now() - started;
  const std::vector<OutputCollisions::Collision> collisions = files.Collisions();
  std::fputs(CollisionReport(collisions).c_str(), stderr);
  std::fputs(findings.Report(state.TemplateText, ProcessCodePageTable()).c_str(), stderr);
  if (options->summary || (terminal && !options->quiet)) {
    // A run ended by a failure returns no summary; what it did is what its files were told.
    const std::uint32_t records = failure ? files.LastRecord() : summary.records;
    const std::uint64_t failed = failure ? files.Failed() : summary.failedFiles;
    std::fputs(SummaryLine(records, files, failed, collisions.size(), options->dryRun, elapsed)
                   .c_str(),
               stderr);
  }
  if (status == kExitOk && options->strict &&
      (!collisions.empty() || findings.Any(state.TemplateText, ProcessCodePageTable()))) {
    status = kExitCollisions;
  }
  // Text that is no text of the code page ended the run: no run with it has done its work.
  if (status != kExitRunFailed && encoding.Stopped()) status = kExitCollisions;
  return logWritten ? status : kExitRunFailed;
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
