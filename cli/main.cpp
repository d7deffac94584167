// velmora-batch: runs one generation from a settings file, for scripts and scheduled jobs. A
// command goes in three steps: the settings, read and checked once; the run; the exit status,
// decided in one place from what the run came to.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/BatchChoices.h"
#include "cli/BatchCommands.h"
#include "cli/BatchOptions.h"
#include "cli/BatchPrune.h"
#include "cli/BatchSettings.h"
#include "cli/BatchStatusLine.h"
#include "cli/EncodingCheck.h"
#include "cli/OutputCollisions.h"
#include "cli/OutputFailures.h"
#include "cli/ReportLines.h"
#include "cli/RunFindings.h"
#include "engine/ExceptionText.h"
#include "engine/GenerationRun.h"
#include "engine/ProgramTexts.h"
#include "engine/WriterPipeline.h"
#include "platform/CodePageTable.h"
#include "platform/CommandLine.h"
#include "platform/Interrupts.h"
#include "platform/Platform.h"
#include "VelmoraVersion.h"

namespace {

using namespace velmora;

constexpr int kExitOk = 0;
constexpr int kExitRunFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSomeFilesFailed = 3;
// With --strict: records wrote the same file, a placeholder was never filled, a file was named by
// the lead and tail alone, text that is no text of the code page, or a column the header lacks.
constexpr int kExitStrictFindings = 4;

// What a command came to, for its exit status.
struct BatchOutcome {
  // A request from outside stopped the run: the exit status it stands for (130, 143, ...).
  int interrupted = 0;
  // The run failed: a failure raised (a write, the input's read, memory), the input or template
  // unreadable, or standard output lost.
  bool failed = false;
  bool textRefused = false;   // --strict: text that is no text of the code page ended the run
  int stopped = kExitOk;      // the run stopped before its records: kExitUsage or a strict finding
  bool someFilesFailed = false;  // files that could not be opened or named
  bool strictFindings = false;   // --strict: what the run found once it was done
};

int ExitStatus(const BatchOutcome& outcome) {
  if (outcome.interrupted != 0) return outcome.interrupted;
  if (outcome.failed) return kExitRunFailed;
  if (outcome.textRefused) return kExitStrictFindings;
  if (outcome.stopped != kExitOk) return outcome.stopped;
  if (outcome.someFilesFailed) return kExitSomeFilesFailed;
  if (outcome.strictFindings) return kExitStrictFindings;
  return kExitOk;
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

// Writes bytes to standard output; false as StandardOutputWritten.
bool WriteStandardOutput(const std::string& bytes) {
  errno = 0;
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  return StandardOutputWritten();
}

// The failure being handled, on standard error: the error box's text and the file and reason.
void ReportCurrentFailure() {
  std::fprintf(stderr, "%s\n", CurrentExceptionText().text.c_str());
  std::fputs(CurrentFileErrorLine().c_str(), stderr);
}

// How the run of options reads, checks and writes; header checks set outcome.stopped, put their
// lines into notes (standard error gets them after the hints that may explain them) and tell
// findings (when given) the column that names the files, and choices (when given) the columns.
RunEnvironment MakeEnvironment(const BatchOptions& options, const GeneratorSettings& settings,
                               RunInspector& inspector, BatchOutcome& outcome, std::string& notes,
                               RunFindings* findings = nullptr, RunChoices* choices = nullptr) {
  RunEnvironment environment;
  environment.writerThreads =
      options.singleThread ? 0 : options.jobs.value_or(DefaultWriterThreads());
  environment.fillOnWriters = true;
  environment.output.dryRun = options.dryRun;
  environment.output.changedOnly = options.changedOnly;
  environment.inspector = &inspector;
  if (!options.settingsFile.empty()) environment.protectedPaths.push_back(options.settingsFile);
  environment.lineEnds = options.lineEnds;
  environment.header = options.header;
  environment.nameColumn = options.nameColumn;
  environment.checkHeader = [&options, &settings, &outcome, &notes, findings,
                             choices](const HeaderReport& report) {
    std::optional<std::string> where;
    if (options.header && !report.nameColumnMissing && choices != nullptr) {
      where = choices->ResolveColumns(&report.columns);
    }
    if (report.nameColumnMissing || where) {
      notes += std::string("velmora-batch: ") + (where ? "--where" : "--name-field") +
               ": the header has no column '" + (where ? *where : *options.nameColumn) + "'\n";
      outcome.stopped = kExitUsage;
      return false;
    }
    if (findings != nullptr && options.header) {
      findings->Columns(report.columns);
      if (options.nameColumn) {
        findings->NamingColumn(*FindColumn(report.columns, *options.nameColumn),
                               *options.nameColumn);
      }
    }
    notes += options.header ? ColumnReport(report, settings.ReplaceLead, settings.ReplaceTail)
                            : NamesWithoutHeaderLine(report);
    if (!options.strict || report.unknownPlaceholders.empty()) return true;
    notes += "velmora-batch: --strict: no file is written\n";
    outcome.stopped = kExitStrictFindings;
    return false;
  };
  return environment;
}

// Writes the filled template of record options.preview to standard output.
BatchOutcome RunPreview(const BatchOptions& options, const GeneratorSettings& settings) {
  BatchOutcome outcome;
  EncodingCheck encoding(ProcessCodePageTable(), settings.Template, settings.Input, options.strict);
  std::string notes;
  const RunEnvironment environment = MakeEnvironment(options, settings, encoding, outcome, notes);
  std::string failureText;
  errno = 0;
  try {
    switch (PreviewRecord(settings, *options.preview, stdout, failureText, environment)) {
      case PreviewResult::Written: outcome.failed = !StandardOutputWritten(); break;
      case PreviewResult::Stopped: outcome.textRefused = encoding.Stopped(); break;
      case PreviewResult::NoSuchRecord:
        std::fprintf(stderr, "velmora-batch: %s\n", failureText.c_str());
        outcome.stopped = kExitUsage;
        break;
      case PreviewResult::InputFailed:
      case PreviewResult::TemplateFailed:
        std::fputs(failureText.c_str(), stderr);
        outcome.failed = true;
        break;
    }
  } catch (...) {
    // A read error of the input, or no memory.
    ReportCurrentFailure();
    outcome.failed = true;
  }
  std::fputs(notes.c_str(), stderr);
  if (encoding.Stopped()) std::fputs(encoding.Report().c_str(), stderr);
  return outcome;
}

// Runs the generation: the run log on standard output, then what went wrong on standard error.
BatchOutcome RunGeneration(const BatchOptions& options, const GeneratorSettings& settings) {
  BatchOutcome outcome;
  std::unique_ptr<RunChoices> choices;
  if (!PrepareRunChoices(options, settings, choices)) return BatchOutcome{.stopped = kExitUsage};
  const bool terminal = platform::StandardErrorIsTerminal();
  // When the output folder is not there, every record fails alike: one line after the run says
  // so, instead of one per record.
  const bool echoFailures = !OutputFolderProblem(settings.Output);
  BatchStatusLine host(stderr, terminal, options.quiet, echoFailures);
  OutputCollisions files(platform::NativePathRules(), ProcessCodePageTable());
  RunFindings findings(settings);
  OutputFailures failures;
  RunEventsList events{&host, &failures, &findings, &files};
  EncodingCheck encoding(ProcessCodePageTable(), settings.Template, settings.Input, options.strict);
  std::string notes;
  RunEnvironment environment =
      MakeEnvironment(options, settings, encoding, outcome, notes, &findings, choices.get());
  UseRunChoices(options, choices.get(), environment, findings);
  WrittenFiles written(platform::NativePathRules(), ProcessCodePageTable());
  if (options.prune) environment.output.written = &written;
  // Ctrl+C or SIGTERM stops the run between records: the log so far still reaches standard
  // output, and every file written is named in it.
  platform::CatchInterrupts();
  environment.stopRequested = [] { return platform::InterruptStatus() != 0; };
  RunState state;
  RunSummary summary;
  std::exception_ptr failure;
  const auto started = std::chrono::steady_clock::now();
  try {
    summary = GenerationRun(state, settings, events, environment);
  } catch (...) {
    failure = std::current_exception();
  }
  // The log of the run as far as it went, then what stopped it.
  host.FinishLine();
  const bool completed = !failure && !summary.interrupted && !summary.inputChanged &&
                         summary.failedFiles == 0 && summary.outcome == RunOutcome::Completed &&
                         !encoding.Stopped();
  for (const std::string& folder : summary.madeFolders) written.AddFolder(folder);
  const bool pruneFailed =
      options.prune && !PruneAfterRun(settings, written, completed, options.dryRun, state.RunLog);
  const bool logWritten = WriteStandardOutput(state.RunLog);
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      ReportCurrentFailure();
    }
  }
  if (summary.interrupted) {
    std::fprintf(stderr,
                 "velmora-batch: stopped by %s before record %u: every file that the run wrote "
                 "is named in the log, and a record not named there wrote nothing\n",
                 platform::InterruptName(), summary.records + 1);
    outcome.interrupted = platform::InterruptStatus();
  }
  outcome.failed = failure || !logWritten || pruneFailed || summary.inputChanged ||
                   summary.outcome == RunOutcome::InputFailed ||
                   summary.outcome == RunOutcome::TemplateFailed;
  outcome.someFilesFailed = summary.failedFiles != 0;
  std::fputs(InputReport(summary, settings.Input).c_str(), stderr);
  std::fputs(notes.c_str(), stderr);
  if (summary.outcome == RunOutcome::InputFailed) {
    std::fputs(OpenFailureLine("input", settings.Input, summary.openError).c_str(), stderr);
  } else if (summary.outcome == RunOutcome::TemplateFailed) {
    std::fputs(OpenFailureLine("template", settings.Template, summary.openError).c_str(), stderr);
  }
  std::fputs(encoding.Report().c_str(), stderr);
  std::fputs(failures.Report(settings.Output).c_str(), stderr);
  const auto elapsed = std::chrono::steady_clock::now() - started;
  const std::vector<OutputCollisions::Collision> collisions = files.Collisions();
  std::fputs(CollisionReport(collisions, kReportLines, options.dryRun).c_str(), stderr);
  std::fputs(findings.Report(state.TemplateText, ProcessCodePageTable()).c_str(), stderr);
  if (options.summary || (terminal && !options.quiet)) {
    // A run ended by a failure returns no summary; what it did is what its files were told.
    const std::uint32_t records = failure ? files.LastRecord() : summary.records;
    const std::uint64_t failed = failure ? files.Failed() : summary.failedFiles;
    const std::optional<std::uint32_t> skipped =
        options.where.empty() ? std::nullopt : std::optional(choices->Skipped());
    std::fputs(SummaryLine(records, files, failed, collisions.size(), options.dryRun, elapsed,
                           skipped).c_str(),
               stderr);
  }
  outcome.strictFindings =
      options.strict &&
      (!collisions.empty() || findings.Any(state.TemplateText, ProcessCodePageTable()));
  outcome.textRefused = encoding.Stopped();
  return outcome;
}

int Run(int argc, char** argv) {
  std::string error;
  std::string refused;
  // The command line as the system gave it tells the run's code page (--code-page is ASCII); in
  // another code page than the system's, its texts are taken again, converted into that one.
  std::optional<BatchOptions> options = ParseBatchOptions(
      *platform::CommandLineArguments(argc, argv, platform::SystemCodePage(), refused), error);
  // The settings file's [Batch] section gives what the command line does not.
  if (options && !LoadBatchRecipe(*options)) return kExitUsage;
  if (options && options->codePage && *options->codePage != platform::SystemCodePage()) {
    const unsigned runCodePage = *options->codePage;
    const std::optional<std::vector<std::string>> args =
        platform::CommandLineArguments(argc, argv, runCodePage, refused);
    options = args ? ParseBatchOptions(*args, error) : std::nullopt;
    if (options && !LoadBatchRecipe(*options)) return kExitUsage;
    if (!args) {
      error = "the argument '" + refused + "' has no text in code page " +
              std::to_string(runCodePage);
    }
  }
  if (!options) {
    std::fprintf(stderr, "velmora-batch: %s\nTry 'velmora-batch --help'.\n", error.c_str());
    return kExitUsage;
  }
  if (options->help || options->version) {
    errno = 0;
    std::fputs(options->help ? BatchUsage() : "velmora-batch " VELMORA_VERSION "\n", stdout);
    return StandardOutputWritten() ? kExitOk : kExitRunFailed;
  }
  const unsigned codePage = options->codePage.value_or(platform::SystemCodePage());
  SetProcessCodePage(codePage);
  InitProgramTexts(codePage);
  if (options->init) return InitSettingsFile(*options->init, *options) ? kExitOk : kExitUsage;

  const std::optional<GeneratorSettings> settings = LoadBatchSettings(*options);
  if (!settings) return kExitUsage;
  platform::SetStandardOutputBinary();
  const BatchOutcome outcome =
      options->preview ? RunPreview(*options, *settings) : RunGeneration(*options, *settings);
  platform::InterruptHandled();
  return ExitStatus(outcome);
}

}  // namespace

int main(int argc, char** argv) {
  // Memory may also run out before or after the run (the options, the settings file): the same
  // text then, never an abort.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    ReportCurrentFailure();
    return kExitRunFailed;
  }
}
