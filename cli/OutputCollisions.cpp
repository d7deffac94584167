#include "cli/OutputCollisions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "engine/OutputPath.h"

namespace velmora {

OutputCollisions::OutputCollisions(const platform::PathRules& rules, const CodePageTable& table)
    : rules_(rules), table_(table), slots_(1024, 0) {}

void OutputCollisions::RecordDone(const MergedRecord& record, OutputOutcome outcome,
                                  platform::ErrorCode) {
  lastRecord_ = record.recordNumber;
  switch (outcome) {
    case OutputOutcome::Written: ++written_; break;
    case OutputOutcome::WouldWrite: ++wouldWrite_; break;
    case OutputOutcome::Unchanged: ++unchanged_; break;
    case OutputOutcome::Failed:
    case OutputOutcome::WriteFailed: ++failed_; return;  // no file
    case OutputOutcome::Kept: return;
  }
  AddKey(record.fileKey, record.outputPath, record.recordNumber);
}

std::string_view OutputCollisions::KeyOf(const Entry& entry) const {
  return std::string_view(keys_).substr(entry.keyOffset, entry.keyLength);
}

void OutputCollisions::Grow() {
  std::vector<std::uint32_t> slots(slots_.size() * 2, 0);
  const std::size_t mask = slots.size() - 1;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    std::size_t slot = std::hash<std::string_view>{}(KeyOf(entries_[i])) & mask;
    while (slots[slot] != 0) slot = (slot + 1) & mask;
    slots[slot] = static_cast<std::uint32_t>(i + 1);
  }
  slots_.swap(slots);
}

void OutputCollisions::Add(std::string_view name, std::string_view path,
                           std::uint32_t recordNumber) {
  AddKey(OutputFileKey(name, rules_, table_), path, recordNumber);
}

void OutputCollisions::AddKey(std::string_view key, std::string_view path,
                              std::uint32_t recordNumber) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = std::hash<std::string_view>{}(key) & mask;
  for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
    Entry& entry = entries_[slots_[slot] - 1];
    if (KeyOf(entry) != key) continue;
    if (entry.collision == 0) {
      collisions_.push_back({std::string(path), {entry.firstRecord}});
      entry.collision = static_cast<std::uint32_t>(collisions_.size());
    }
    Collision& collision = collisions_[entry.collision - 1];
    collision.path.assign(path);
    collision.records.push_back(recordNumber);
    return;
  }
  entries_.push_back({keys_.size(), static_cast<std::uint32_t>(key.size()), recordNumber, 0});
  keys_.append(key);
  slots_[slot] = static_cast<std::uint32_t>(entries_.size());
  if (entries_.size() * 2 > slots_.size()) Grow();
}

std::vector<OutputCollisions::Collision> OutputCollisions::Collisions() const {
  std::vector<Collision> sorted = collisions_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Collision& a, const Collision& b) {
    return a.records.front() < b.records.front();
  });
  return sorted;
}

std::string CollisionReport(const std::vector<OutputCollisions::Collision>& collisions,
                            std::size_t maxLines, bool dryRun) {
  std::string report;
  const std::size_t shown = std::min(maxLines, collisions.size());
  for (std::size_t i = 0; i < shown; ++i) {
    const OutputCollisions::Collision& c = collisions[i];
    report += "velmora-batch: " + c.path + (dryRun ? " would be written" : " was written") +
              " by records ";
    for (std::size_t r = 0; r < c.records.size(); ++r) {
      if (r > 0) report += ", ";
      report += std::to_string(c.records[r]);
    }
    report += "; the file of record " + std::to_string(c.records.back()) +
              (dryRun ? " would stand\n" : " stands\n");
  }
  if (collisions.size() > shown) {
    report += "velmora-batch: and " + std::to_string(collisions.size() - shown) +
              (dryRun ? " more files would be written" : " more files written") +
              " by more than one record\n";
  }
  return report;
}

// The closing line: what the run did and how fast.
std::string SummaryLine(std::uint32_t records, const OutputCollisions& files, std::uint64_t failed,
                        std::size_t colliding, bool dryRun,
                        std::chrono::steady_clock::duration elapsed,
                        std::optional<std::uint32_t> skipped) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const std::uint64_t done = files.Written() + files.WouldWrite() + files.Unchanged();
  char timing[64];
  std::snprintf(timing, sizeof timing, "%.2f s, %.0f files/s", seconds,
                seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
  return "velmora-batch: " + std::to_string(records) + " records, " +
         (skipped ? std::to_string(*skipped) + " skipped, " : std::string()) +
         std::to_string(dryRun ? files.WouldWrite() : files.Written()) +
         (dryRun ? " files would be written, " : " files written, ") +
         std::to_string(files.Unchanged()) + " unchanged, " + std::to_string(failed) +
         " failed, " + std::to_string(colliding) + " colliding, " + timing + "\n";
}

}  // namespace velmora
