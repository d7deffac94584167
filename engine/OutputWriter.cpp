#include "engine/OutputWriter.h"

#include <algorithm>
#include <cassert>
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

// The bytes of a page: count pieces, size bytes in all.
struct PageBytes {
  const std::string_view* pieces;
  std::size_t count;
  std::size_t size;
};

// Whether the file name in folder holds exactly the pieces' bytes, one after the other, read a
// stretch at a time so that no file is ever held whole. A file that cannot be read counts as
// different.
bool HoldsExactly(const platform::OutputFolder& folder, const std::string& name,
                  const PageBytes& page) {
  platform::InputFile file;
  if (!file.Open(folder, name).ok()) return false;
  const std::optional<std::uint64_t> size = file.Size();
  if (!size || *size != page.size) return false;
  constexpr std::size_t kStretch = 1 << 16;
  thread_local std::unique_ptr<char[]> buffer(new char[kStretch]);
  std::size_t piece = 0;
  std::size_t done = 0;  // bytes of page.pieces[piece] compared
  const auto skipCompared = [&] {
    while (piece < page.count && done == page.pieces[piece].size()) {
      ++piece;
      done = 0;
    }
  };
  for (;;) {
    const platform::Result<std::size_t> got = file.Read(buffer.get(), kStretch);
    skipCompared();
    if (!got) return false;
    if (*got == 0) return piece == page.count;
    for (std::size_t at = 0; at < *got; skipCompared()) {
      if (piece == page.count) return false;  // the file grew since its size was taken
      const std::size_t length = std::min(*got - at, page.pieces[piece].size() - done);
      if (std::memcmp(buffer.get() + at, page.pieces[piece].data() + done, length) != 0) {
        return false;
      }
      at += length;
      done += length;
    }
  }
}

// The record's file goes into the run's list of written files, when it keeps one; hashed here, on
// the writing thread, from the bytes written or compared.
// A page written from its pieces is hashed piece by piece: the record then holds no content.
OutputOutcome Listed(OutputOutcome outcome, const MergedRecord& record, const PageBytes& page,
                     const OutputOptions& output) {
  if (output.written != nullptr) {
    ContentHash hash;
    for (std::size_t i = 0; i < page.count; ++i) hash.Update(page.pieces[i]);
    output.written->AddFile(record.outputName, page.size, hash.Value());
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
                              platform::ErrorCode* reason, const FilledPieces* pieces) {
  if (reason != nullptr) *reason = 0;
  const OutputOptions& output = context.output;
  assert(pieces == nullptr || (output.sink == nullptr && !output.dryRun));
  const std::string_view content = record.content;
  const PageBytes page = pieces != nullptr
                             ? PageBytes{pieces->pieces.data(), pieces->pieces.size(), pieces->size}
                             : PageBytes{&content, 1, content.size()};
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
                                                 page);
    if (same) {
      if (reason != nullptr) *reason = 0;
      return Listed(OutputOutcome::Unchanged, record, page, output);
    }
  }
  if (output.dryRun) {
    if (!probe) return OutputOutcome::Failed;
    if (!key.empty()) predicted->Note(key, record.content);
    return Listed(OutputOutcome::WouldWrite, record, page, output);
  }
  platform::OutputFile file;
  if (const platform::Status created =
          file.Create(context.outputFolder, record.outputName, context.protectedFiles);
      !created) {
    if (reason != nullptr) *reason = created.error();
    return OutputOutcome::Failed;
  }
  file.Write(page.pieces, page.count);
  file.Close();
  return Listed(OutputOutcome::Written, record, page, output);
}

}  // namespace velmora
