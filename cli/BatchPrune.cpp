#include "cli/BatchPrune.h"

#include <cstdio>

#include "cli/ReportLines.h"
#include "engine/OutputPath.h"
#include "engine/OutputPrune.h"
#include "platform/CodePageTable.h"

namespace velmora {

namespace {

// The line on standard error for an entry that stays.
void ReportKept(const platform::OutputFolder& folder, const PruneItem& item) {
  const std::string path = folder.PathOf(item.name);
  if (item.outcome == PruneOutcome::Changed) {
    std::fprintf(stderr,
                 "velmora-batch: --prune: %s changed since the last run and is kept\n",
                 path.c_str());
  } else {
    std::fprintf(stderr, "velmora-batch: --prune: %s is kept: %s\n", path.c_str(),
                 platform::ErrorCodeText(item.reason).c_str());
  }
}

}  // namespace

bool PruneAfterRun(const GeneratorSettings& settings, const WrittenFiles& written, bool completed,
                   bool dryRun, std::string& runLog) {
  if (!completed) {
    std::fputs(
        "velmora-batch: --prune: the run had failures or was stopped, so no file is removed\n",
        stderr);
    return true;
  }
  const platform::PathRules& rules = platform::NativePathRules();
  const CodePageTable& table = ProcessCodePageTable();
  platform::OutputFolder folder(OutputFolderPrefix(settings.Output, rules, table));
  const std::string listPath = folder.PathOf(kManifestName);
  if (const platform::Status held = folder.Hold(); !held) {
    std::fprintf(stderr, "velmora-batch: --prune: cannot open the output folder: %s\n",
                 platform::ErrorCodeText(held.error()).c_str());
    return false;
  }
  const ManifestRead list = ReadManifest(folder, rules, table);
  if (list.state == ManifestState::Damaged) {
    std::fprintf(stderr,
                 "velmora-batch: --prune: %s is no list of files that velmora-batch wrote, so no "
                 "file is removed and it is left as it is\n",
                 listPath.c_str());
    return true;
  }
  if (list.state == ManifestState::Unreadable) {
    std::fprintf(stderr, "velmora-batch: --prune: cannot read %s: %s, so no file is removed\n",
                 listPath.c_str(), platform::ErrorCodeText(list.error).c_str());
    return false;
  }
  const PruneResult result = PruneOutputFolder(folder, list.entries, written, dryRun);
  std::size_t keptLines = 0;
  for (const PruneItem& item : result.items) {
    if (item.outcome == PruneOutcome::Removed) {
      runLog.append(folder.PathOf(item.name));
      runLog.append(dryRun ? " -> would be removed\r\n" : " -> removed\r\n");
    } else if (++keptLines <= kReportLines) {
      ReportKept(folder, item);
    }
  }
  if (keptLines > kReportLines) {
    std::fprintf(stderr, "velmora-batch: --prune: %zu more files are kept\n",
                 keptLines - kReportLines);
  }
  if (dryRun) return true;
  if (const platform::Status saved = WriteManifest(folder, result.manifest); !saved) {
    std::fprintf(stderr, "velmora-batch: --prune: cannot write %s: %s\n", listPath.c_str(),
                 platform::ErrorCodeText(saved.error()).c_str());
    return false;
  }
  return true;
}

}  // namespace velmora
