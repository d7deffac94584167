// Pruning the output folder: what earlier pruning runs wrote (their list, PruneManifest.h) and
// this run did not write is removed, when it is still as written.
#pragma once

#include <string>
#include <vector>

#include "engine/PruneManifest.h"
#include "platform/Platform.h"

namespace velmora {

enum class ManifestState {
  Absent,   // no list: nothing to remove
  Read,     // entries hold it
  Damaged,  // a file of that name that is no such list, or a link
  Unreadable,  // it could not be read (error says why)
};

struct ManifestRead {
  ManifestState state = ManifestState::Absent;
  std::vector<ManifestEntry> entries;
  platform::ErrorCode error = 0;
};

// Reads the list of the held output folder (kManifestName).
ManifestRead ReadManifest(const platform::OutputFolder& folder, const platform::PathRules& rules,
                          const CodePageTable& table);

// What became of one entry of the earlier list that this run did not write.
enum class PruneOutcome {
  Removed,  // (dry run: would be)
  Changed,  // kept: its size or hash is no longer the one listed
  Kept,     // kept: it could not be checked or removed (reason), or is a folder that holds files
};

struct PruneItem {
  std::string name;
  bool folder = false;
  PruneOutcome outcome = PruneOutcome::Removed;
  platform::ErrorCode reason = 0;
};

struct PruneResult {
  std::vector<PruneItem> items;  // files in the list's order, then folders, the deepest first
  // The new list: what this run wrote, and what the earlier list named that is still the runs'
  // (a folder that still holds files, a file that could not be removed).
  std::vector<ManifestEntry> manifest;
};

// Removes from the held output folder each file of previous that written does not hold, when its
// size and hash are still those listed, then each such folder that is empty; files and folders
// already gone are left out. With dryRun nothing is removed and the items say what would be.
// Nothing outside the folder is touched and no link is followed (platform::RemoveOutputFile).
PruneResult PruneOutputFolder(const platform::OutputFolder& folder,
                              const std::vector<ManifestEntry>& previous,
                              const WrittenFiles& written, bool dryRun);

// Writes the list into the held output folder: a new file beside it first, which then takes its
// place. Fails with the system's code, the old list untouched; a write failure raises nothing.
platform::Status WriteManifest(const platform::OutputFolder& folder,
                               const std::vector<ManifestEntry>& entries);

}  // namespace velmora
