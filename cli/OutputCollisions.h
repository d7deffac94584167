// Output files that more than one record of a run wrote: the later record's file replaces the
// earlier one, so the earlier pages are lost unless somebody is told.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ReportLines.h"
#include "engine/RunContext.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"

namespace velmora {

// Collects the files of a run and which records wrote each of them, and counts the outcomes. Every file costs its name's
// bytes and about 40 more, so that a run of a million files stays small.
class OutputCollisions : public RunEvents {
 public:
  OutputCollisions(const platform::PathRules& rules, const CodePageTable& table);

  void RecordDone(const MergedRecord& record, OutputOutcome outcome,
                  platform::ErrorCode reason) override;
  // Notes that record recordNumber wrote the file name (in the run's output folder) at path;
  // names are one file when their OutputFileKey is the same.
  void Add(std::string_view name, std::string_view path, std::uint32_t recordNumber);
  // The same for the file known by key (MergedRecord::fileKey).
  void AddKey(std::string_view key, std::string_view path, std::uint32_t recordNumber);

  struct Collision {
    std::string path;                    // as the last record that wrote it spelled it
    std::vector<std::uint32_t> records;  // in record order; the last one's file stands
  };
  // The files written by two or more records, in the order in which their first record came.
  std::vector<Collision> Collisions() const;

  std::uint64_t Written() const { return written_; }
  std::uint64_t WouldWrite() const { return wouldWrite_; }
  std::uint64_t Unchanged() const { return unchanged_; }
  std::uint64_t Failed() const { return failed_; }
  // The number of the last record whose outcome came, 0 before the first.
  std::uint32_t LastRecord() const { return lastRecord_; }

 private:
  struct Entry {
    std::uint64_t keyOffset = 0;  // into keys_
    std::uint32_t keyLength = 0;
    std::uint32_t firstRecord = 0;
    std::uint32_t collision = 0;  // 1 + index into collisions_, 0 while one record wrote it
  };
  std::string_view KeyOf(const Entry& entry) const;
  void Grow();

  const platform::PathRules& rules_;
  const CodePageTable& table_;
  std::string keys_;                  // the keys of all entries, one after the other
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> slots_;  // open addressing: 1 + index into entries_, 0 when free
  std::vector<Collision> collisions_;
  std::uint64_t written_ = 0;
  std::uint64_t wouldWrite_ = 0;
  std::uint64_t unchanged_ = 0;
  std::uint64_t failed_ = 0;
  std::uint32_t lastRecord_ = 0;
};

// The lines that report collisions on standard error: one per file, at most maxLines, then one
// line with the count of the rest, in the future tense for a dry run. Each line ends in "\n".
std::string CollisionReport(const std::vector<OutputCollisions::Collision>& collisions,
                            std::size_t maxLines = kReportLines, bool dryRun = false);

// The closing summary line of a run: records (and of them skipped, when records were chosen),
// files written (or that would be), unchanged, failed and colliding, the time and the files per
// second. Ends in "\n".
std::string SummaryLine(std::uint32_t records, const OutputCollisions& files, std::uint64_t failed,
                        std::size_t colliding, bool dryRun,
                        std::chrono::steady_clock::duration elapsed,
                        std::optional<std::uint32_t> skipped = std::nullopt);

}  // namespace velmora
