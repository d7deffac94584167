// velmora-batch: runs one generation from a settings file, for scripts and scheduled jobs.

#include <cstdint>
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

  if (!CheckSettingsFile(options->settingsFile)) return kExitUsage;
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
  // Memory may also run out before or after the run (the options, the settings file): the same
  // text then, never an abort.
  try {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return Run(args);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s\n", velmora::Texts().outOfMemory.c_str());
    return kExitRunFailed;
  }
}
