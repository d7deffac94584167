#include "engine/OutputPrune.h"

#include <algorithm>
#include <memory>

#include "engine/ContentHash.h"

namespace velmora {

namespace {

// Pieces in which a listed file is read and hashed, so that no file is held whole.
constexpr std::size_t kPiece = 1 << 16;

// The new list is written under this name first; a run's names never end so.
constexpr const char* kManifestTemp = ".velmora-files.~tmp";

// Whether file holds size bytes whose hash is hash.
bool HoldsListed(platform::InputFile& file, const ManifestEntry& entry) {
  const std::optional<std::uint64_t> size = file.Size();
  if (!size || *size != entry.size) return false;
  const std::unique_ptr<char[]> buffer(new char[kPiece]);
  ContentHash hash;
  std::uint64_t total = 0;
  for (;;) {
    const platform::Result<std::size_t> got = file.Read(buffer.get(), kPiece);
    if (!got) return false;
    if (*got == 0) return total == entry.size && hash.Value() == entry.hash;
    hash.Update(std::string_view(buffer.get(), *got));
    total += *got;
  }
}

}  // namespace

ManifestRead ReadManifest(const platform::OutputFolder& folder, const platform::PathRules& rules,
                          const CodePageTable& table) {
  ManifestRead read;
  platform::InputFile file;
  if (const platform::Status opened = file.Open(folder, kManifestName); !opened) {
    if (platform::NothingThere(opened.error())) return read;
    read.state = opened.error() == platform::kErrorNotPlainFile ? ManifestState::Damaged
                                                                 : ManifestState::Unreadable;
    read.error = opened.error();
    return read;
  }
  std::string text;
  const std::unique_ptr<char[]> buffer(new char[kPiece]);
  for (;;) {
    const platform::Result<std::size_t> got = file.Read(buffer.get(), kPiece);
    if (!got) {
      read.state = ManifestState::Unreadable;
      read.error = got.error();
      return read;
    }
    if (*got == 0) break;
    text.append(buffer.get(), *got);
  }
  std::optional<std::vector<ManifestEntry>> entries = ParseManifest(text, rules, table);
  read.state = entries ? ManifestState::Read : ManifestState::Damaged;
  if (entries) read.entries = std::move(*entries);
  return read;
}

PruneResult PruneOutputFolder(const platform::OutputFolder& folder,
                              const std::vector<ManifestEntry>& previous,
                              const WrittenFiles& written, bool dryRun) {
  PruneResult result;
  result.manifest = written.Entries();
  std::vector<const ManifestEntry*> folders;
  for (const ManifestEntry& entry : previous) {
    if (entry.folder) {
      folders.push_back(&entry);
      continue;
    }
    if (written.Holds(entry.name)) continue;
    bool same = false;
    const platform::Result<bool> removed =
        platform::RemoveOutputFile(folder, entry.name, [&](platform::InputFile& file) {
          same = HoldsListed(file, entry);
          return same && !dryRun;
        });
    if (!removed && platform::NothingThere(removed.error())) continue;
    PruneItem item{entry.name, false, PruneOutcome::Removed, 0};
    if (!removed) {
      item.outcome = PruneOutcome::Kept;
      item.reason = removed.error();
      // A file that could not be had stays the runs' own, and a later run tries again; what is
      // no plain file now was never one of theirs.
      if (removed.error() != platform::kErrorNotPlainFile) result.manifest.push_back(entry);
    } else if (!same || (!*removed && !dryRun)) {
      // Changed, or another file put in its place while it was read.
      item.outcome = PruneOutcome::Changed;
    }
    result.items.push_back(std::move(item));
  }
  // The deepest first, so that a folder emptied by its sub-folder's removal goes too.
  std::sort(folders.begin(), folders.end(),
            [](const ManifestEntry* a, const ManifestEntry* b) { return a->name > b->name; });
  for (const ManifestEntry* entry : folders) {
    // A folder that still holds this run's files stays the runs' own; a dry run cannot tell
    // which folders the removals would empty, and names none.
    if (dryRun || written.Holds(entry->name)) {
      result.manifest.push_back(*entry);
      continue;
    }
    const platform::Status removed = platform::RemoveOutputFolder(folder, entry->name);
    if (removed) {
      result.items.push_back(PruneItem{entry->name, true, PruneOutcome::Removed, 0});
    } else if (!platform::NothingThere(removed.error())) {
      result.manifest.push_back(*entry);
      // Files of others in it are no news.
      if (!platform::FolderNotEmpty(removed.error())) {
        result.items.push_back(PruneItem{entry->name, true, PruneOutcome::Kept, removed.error()});
      }
    }
  }
  std::sort(result.manifest.begin(), result.manifest.end(),
            [](const ManifestEntry& a, const ManifestEntry& b) { return a.name < b.name; });
  return result;
}

platform::Status WriteManifest(const platform::OutputFolder& folder,
                               const std::vector<ManifestEntry>& entries) {
  const std::string text = ManifestText(entries);
  {
    platform::OutputFile file;
    if (const platform::Status created = file.Create(folder, kManifestTemp); !created) {
      return created;
    }
    try {
      file.Write(text.data(), text.size());
      file.Close();
    } catch (const platform::FileError& error) {
      return platform::Failure{error.OsError()};
    }
  }
  return platform::ReplaceOutputFile(folder, kManifestTemp, kManifestName);
}

}  // namespace velmora
