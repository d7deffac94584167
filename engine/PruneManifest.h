// The list of what pruning runs wrote, kept in the output folder as ".velmora-files": the pages
// (and other files of the run) by name, size and hash, and the folders the runs made. A later
// pruning run removes what the list names and that run did not write, when it is still as written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/CodePageTable.h"
#include "platform/Mutex.h"
#include "platform/Platform.h"

namespace velmora {

// The list's own name in the output folder.
inline constexpr const char* kManifestName = ".velmora-files";

struct ManifestEntry {
  std::string name;  // relative to the output folder, folders joined by "/"
  bool folder = false;
  std::uint64_t size = 0;  // of a file
  std::uint64_t hash = 0;  // HashBytes of a file's bytes
  bool operator==(const ManifestEntry&) const = default;
};

// The files and folders of one run as they are written, from any thread. Names are kept
// "/"-joined and each under the key by which the file system knows it (OutputFileKey), so that a
// name written again in another letter case on Windows is one file.
class WrittenFiles {
 public:
  WrittenFiles(const platform::PathRules& rules, const CodePageTable& table)
      : rules_(rules), table_(table) {}

  // A file written or left unchanged, by its name in the output folder (separators as the
  // system's rules have them); a later call for the same file replaces the earlier one.
  void AddFile(std::string_view name, std::uint64_t size, std::uint64_t hash) EXCLUDES(mutex_);
  // A folder that the run made.
  void AddFolder(std::string_view name) EXCLUDES(mutex_);
  // Whether name (as in the list) is a file or folder of this run, or a folder that holds one.
  bool Holds(std::string_view name) const EXCLUDES(mutex_);
  // Every entry, sorted by name.
  std::vector<ManifestEntry> Entries() const EXCLUDES(mutex_);

  // name with its separators as "/" (a "\" only where it separates, never a double-byte
  // character's trail byte).
  std::string ListName(std::string_view name) const;

 private:
  void Add(ManifestEntry entry) EXCLUDES(mutex_);

  const platform::PathRules& rules_;
  const CodePageTable& table_;
  mutable Mutex mutex_;
  std::unordered_map<std::string, ManifestEntry> entries_ GUARDED_BY(mutex_);
  std::unordered_map<std::string, bool> parents_ GUARDED_BY(mutex_);  // folders of entries
};

// The list's text: a first line that marks it, then one line per entry.
std::string ManifestText(const std::vector<ManifestEntry>& entries);

// The entries of a list's text; nothing when it is damaged or no such list, or names a file
// outside the output folder (an absolute name, "..", a name that IsSafeOutputName refuses).
std::optional<std::vector<ManifestEntry>> ParseManifest(std::string_view text,
                                                        const platform::PathRules& rules,
                                                        const CodePageTable& table);

}  // namespace velmora
