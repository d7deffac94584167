// Writing a merged record's file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/RunContext.h"
#include "engine/TemplateFill.h"
#include "platform/Mutex.h"

namespace velmora {

// What a dry run that leaves unchanged files alone has predicted so far, by OutputFileKey: in the
// real run a later record that names the same file meets the earlier record's bytes, not those on
// the disk. A file is known by the length and hash of its bytes, so that a run of any size keeps
// little; two different pages of one length with the same 64-bit hash would be taken for one.
// Writing threads share it: records that name one file reach it one after another in record
// order (the pipeline writes them so), others at any time, so every call takes its lock.
class PredictedFiles {
 public:
  // Notes that the file known by key would hold content.
  void Note(const std::string& key, std::string_view content) EXCLUDES(mutex_);
  // Nothing when no earlier record would have written the file; else whether it would then hold
  // exactly content.
  std::optional<bool> WouldHold(const std::string& key, std::string_view content) const
      EXCLUDES(mutex_);

 private:
  struct Fingerprint {
    std::size_t length = 0;
    std::size_t hash = 0;
  };
  mutable Mutex mutex_;
  std::unordered_map<std::string, Fingerprint> files_ GUARDED_BY(mutex_);
};

// Creates (or cuts) the record's file and writes the filled template into it (record.content, or
// the pieces when given: never with a sink or a dry run, which need the one copy); by
// context.output, hands the record to its sink instead (Kept), only probes the file (dry run) or
// leaves a file that holds exactly those bytes untouched (changed only; a dry run of it compares
// with what context.predicted says earlier records would have written). A file that no output may
// replace, a refused name and an open failure give Failed. Only the file system is touched, so that
// files may be written on a thread of their own; the outcome goes to RunReporter::Record in record
// order, with *reason (when given) the reason of a failed open (0 for a refused name or a dry run).
// A write or close failure raises platform::FileError.
OutputOutcome WriteOutputFile(const MergedRecord& record, const RunContext& context,
                              platform::ErrorCode* reason = nullptr,
                              const FilledPieces* pieces = nullptr);

}  // namespace velmora
