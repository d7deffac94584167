// velmora-batch: runs one generation from a settings file, for scripts and scheduled jobs.

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "cli/BatchHost.h"
#include "cli/BatchOptions.h"
#include "engine/GenerationRun.h"
#include "engine/SystemTexts.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/SettingsStore.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRunFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSomeFilesFailed = 3;

void WriteLog(const std::string& log) {
  std::fwrite(log.data(), 1, log.size(), stdout);
  std::fflush(stdout);
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

  const unsigned codePage = options->codePage.value_or(platform::SystemCodePage());
  SetProcessCodePage(codePage);
  InitSystemTexts(codePage);

  std::string settingsBytes;
  if (!platform::ReadWholeFile(options->settingsFile, settingsBytes)) {
    std::fprintf(stderr, "velmora-batch: cannot read the settings file '%s'\n",
                 options->settingsFile.c_str());
    return kExitUsage;
  }
  GeneratorSettings settings;
  LoadSettings(settings, platform::AbsolutePath(options->settingsFile));
  if (options->input) settings.Input = *options->input;
  if (options->templatePath) settings.Template = *options->templatePath;
  if (options->output) settings.Output = *options->output;

  platform::SetStandardOutputBinary();
  BatchHost host(stderr, platform::StandardErrorIsTerminal(), options->quiet);
  RunState state;
  RunEnvironment environment;
  environment.pipelined = !options->singleThread;
  try {
    RunSummary summary = GenerationRun(state, settings, host, environment);
    host.FinishLine();
    WriteLog(state.RunLog);
    if (summary.outcome != RunOutcome::Completed) return kExitRunFailed;
    return summary.failedFiles == 0 ? kExitOk : kExitSomeFilesFailed;
  } catch (const platform::FileError& fileError) {
    host.FinishLine();
    WriteLog(state.RunLog);
    std::fprintf(stderr, "%s\n", FileErrorText(fileError).c_str());
  } catch (const std::bad_alloc&) {
    host.FinishLine();
    WriteLog(state.RunLog);
    std::fprintf(stderr, "%s\n", Texts().outOfMemory.c_str());
  } catch (...) {
    host.FinishLine();
    WriteLog(state.RunLog);
    std::fprintf(stderr, "%s\n", Texts().internalError.c_str());
  }
  return kExitRunFailed;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return Run(args);
}
