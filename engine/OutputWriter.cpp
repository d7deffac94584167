#include "engine/OutputWriter.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/ContentHash.h"
#include "engine/OutputPath.h"
#include "engine/PruneManifest.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

// Whether the file name in folder holds exactly bytes, read piece by piece so that no file is ever
// held whole. A file that cannot be read counts as different.
bool HoldsExactly(const platform::OutputFolder& folder, const std::string& name,
                  std::string_view bytes) {
  platform::InputFile file;
  if (!file.Open(folder, name).ok()) return false;
  const std::optional<std::uint64_t> size = file.Size();
  if (!size || *size != bytes.size()) return false;
  constexpr std::size_t kPiece = 1 << 16;
  thread_local std::unique_ptr<char[]> buffer(new char[kPiece]);
  std::size_t done = 0;
  for (;;) {
    const platform::Result<std::size_t> got = file.Read(buffer.get(), kPiece);
    if (got && *got == 0) return done == bytes.size();
    if (!got || *got > bytes.size() - done ||
        std::memcmp(buffer.get(), bytes.data() + done, *got) != 0) {
      return false;
    }
    done += *got;
  }
}

// The record's file goes into the run's list of written files, when it keeps one; hashed here, on
// the writing thread, from the bytes written or compared.
OutputOutcome Listed(OutputOutcome outcome, const MergedRecord& record,
                     const OutputOptions& output) {
  if (output.written != nullptr) {
    output.written->AddFile(record.outputName, record.content.size(), HashBytes(record.content));
  }
  return outcome;
}

}  // namespace

void PredictedFiles::Note(const std::string& key, std::string_view content) {
  MutexLock lock(mutex_);
  files_[key] = Fingerprint{content.size(), std::hash<std::string_view>{}(content)};
}

std::optional<bool> PredictedFiles::WouldHold(const std::string& key,
                                              std::string_view content) const {
  MutexLock lock(mutex_);
  const auto found = files_.find(key);
  if (found == files_.end()) return std::nullopt;
  return found->second.length == content.size() &&
         found->second.hash == std::hash<std::string_view>{}(content);
}

OutputOutcome WriteOutputFile(const MergedRecord& record, const RunContext& context,
                              platform::ErrorCode* reason) {
  if (reason != nullptr) *reason = 0;
  const OutputOptions& output = context.output;
  if (output.sink != nullptr) {
    output.sink->Keep(record);
    return OutputOutcome::Kept;
  }
  if (!record.accepted) return OutputOutcome::Failed;
  // A folder that a dry run would make holds no file yet.
  bool folderToMake = false;
  if (output.makeFolders) {
    const std::vector<std::string> folders =
        FolderComponents(record.outputName, context.rules, context.table);
    if (!folders.empty()) {
      const platform::Result<bool> there =
          context.outputFolder.MakeSubFolders(folders, output.dryRun);
      if (!there) {
        if (reason != nullptr) *reason = there.error();
        return OutputOutcome::Failed;
      }
      folderToMake = !*there;
    }
  }
  platform::Result<platform::OutputProbe> probe = platform::OutputProbe::Absent;
  if ((output.dryRun || output.changedOnly) && !folderToMake) {
    probe = platform::ProbeOutputFile(context.outputFolder, record.outputName,
                                      context.protectedFiles);
    if (reason != nullptr) *reason = probe.error();
  }
  // A file that a real run would have written by now, for an earlier record, holds that record's
  // bytes; a device or a refused name stays what the probe says.
  PredictedFiles* const predicted = output.dryRun ? context.predicted : nullptr;
  const bool plainAfterWrite = probe && (*probe == platform::OutputProbe::Absent ||
                                         *probe == platform::OutputProbe::PlainFile);
  static const std::string kNoKey;
  const std::string& key = predicted != nullptr && plainAfterWrite ? record.fileKey : kNoKey;
  if (output.changedOnly) {
    std::optional<bool> earlier;
    if (!key.empty()) earlier = predicted->WouldHold(key, record.content);
    // A read-only file that already holds the bytes needs no writing, so it is no failure.
    const bool readOnly = !probe && probe.error() == platform::kErrorReadOnly;
    const bool plainFile = probe && *probe == platform::OutputProbe::PlainFile;
    const bool same = earlier ? *earlier
                              : (plainFile || readOnly) &&
                                    HoldsExactly(context.outputFolder, record.outputName,
                                                 record.content);
    if (same) {
      if (reason != nullptr) *reason = 0;
      return Listed(OutputOutcome::Unchanged, record, output);
    }
  }
  if (output.dryRun) {
    if (!probe) return OutputOutcome::Failed;
    if (!key.empty()) predicted->Note(key, record.content);
    return Listed(OutputOutcome::WouldWrite, record, output);
  }
  platform::OutputFile file;
  if (const platform::Status created =
          file.Create(context.outputFolder, record.outputName, context.protectedFiles);
      !created) {
    if (reason != nullptr) *reason = created.error();
    return OutputOutcome::Failed;
  }
  file.Write(record.content.data(), record.content.size());
  file.Close();
  return Listed(OutputOutcome::Written, record, output);
}

}  // namespace velmora
