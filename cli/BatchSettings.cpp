#include "cli/BatchSettings.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "cli/BatchRecipe.h"
#include "cli/OutputFailures.h"
#include "engine/WindowsNames.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/Profile.h"
#include "settings/ProfileText.h"
#include "settings/SettingsCheck.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace velmora {

namespace {

// No settings file comes near this size; a bigger one is a mistake, not settings.
constexpr std::uint64_t kMaxSettingsFileBytes = 16u << 20;

// The bytes of the settings file at path, when it is a regular file of a sound size that can be
// read. A device, a pipe or a huge file would otherwise be read without end or run memory out;
// each gets a message naming the file.
std::optional<std::string> ReadSettingsFile(const std::string& path) {
  const platform::Result<platform::PathInfo> info = platform::InspectPath(path);
  const char* problem = nullptr;
  if (info &&
      (info->kind == platform::PathKind::Folder || info->kind == platform::PathKind::Other)) {
    problem = "is not a regular file";
  } else if (info && info->kind == platform::PathKind::RegularFile &&
             info->size > kMaxSettingsFileBytes) {
    problem = "is larger than 16 MB";
  } else {
    // A path the system could not look at (no permission, a loop of links) gets its reason.
    platform::ErrorCode error = info.error();
    if (info && info->kind == platform::PathKind::RegularFile) {
      platform::Result<std::string> bytes = platform::ReadWholeFile(path);
      if (bytes) return std::move(*bytes);
      error = bytes.error();
    }
    if (error != 0) {
      std::fprintf(stderr, "velmora-batch: cannot read the settings file '%s': %s\n", path.c_str(),
                   platform::ErrorCodeText(error).c_str());
    } else {
      std::fprintf(stderr, "velmora-batch: cannot read the settings file '%s'\n", path.c_str());
    }
    return std::nullopt;
  }
  std::fprintf(stderr, "velmora-batch: the settings file '%s' %s\n", path.c_str(), problem);
  return std::nullopt;
}

// The settings file's text with the settings and the recipe of options, or nothing, with the
// reason on standard error, when a value cannot be stored so that it reads back as given.
std::optional<std::string> NewSettingsText(const GeneratorSettings& settings,
                                           const BatchOptions& options) {
  std::vector<ProfileEntry> entries;
  for (const SettingsKey& key : kSettingsKeys) {
    if (HoldsText(key)) {
      entries.push_back({key.section, key.key,
                         settings.*std::get<std::string GeneratorSettings::*>(key.field)});
    }
  }
  const std::vector<ProfileEntry> recipe = RecipeEntries(options);
  entries.insert(entries.end(), recipe.begin(), recipe.end());
  ProfileText text(SettingsFileText(settings));
  for (const ProfileEntry& entry : entries) {
    std::string reason;
    const std::optional<std::string> stored = StoredProfileValue(entry.value, reason);
    if (!stored) {
      std::fprintf(stderr, "velmora-batch: --init: [%s] %s: %s\n", entry.section.c_str(),
                   entry.key.c_str(), reason.c_str());
      return std::nullopt;
    }
    if (*stored != entry.value || entry.section == kRecipeSection) {
      text.Set(entry.section, entry.key, *stored);
    }
  }
  return text.Bytes();
}

}  // namespace

bool LoadBatchRecipe(BatchOptions& options) {
  if (options.settingsFile.empty() || options.help || options.version) return true;
  const platform::Result<platform::PathInfo> info = platform::InspectPath(options.settingsFile);
  if (!info || info->kind != platform::PathKind::RegularFile ||
      info->size > kMaxSettingsFileBytes) {
    return true;
  }
  platform::Result<std::string> bytes = platform::ReadWholeFile(options.settingsFile);
  if (!bytes) return true;
  const std::string file = platform::AbsolutePath(options.settingsFile);
  // Read as LoadBatchSettings reads the file.
  std::unique_ptr<Profile> profile =
      HasSystemProfile() ? MakeSystemProfile() : MakeTextProfile(std::move(*bytes));
  const std::unique_ptr<ProfileReader> reader = profile->Read(file);
  std::string error;
  if (ReadRecipe(*reader, options, error)) return true;
  std::fprintf(stderr, "velmora-batch: %s, %s\n", file.c_str(), error.c_str());
  return false;
}

std::optional<GeneratorSettings> LoadBatchSettings(const BatchOptions& options) {
  GeneratorSettings settings = DefaultSettings();
  if (!options.settingsFile.empty()) {
    std::optional<std::string> bytes = ReadSettingsFile(options.settingsFile);
    if (!bytes) return std::nullopt;
    // What in the file a run does not take as it is written; the run reads it as the window does.
    const std::string file = platform::AbsolutePath(options.settingsFile);
    for (const SettingsFinding& finding : CheckSettingsText(*bytes, [](std::string_view key) {
           return IsRecipeKey(key);
         })) {
      std::fprintf(stderr, "velmora-batch: %s, line %zu: %s\n", file.c_str(), finding.line,
                   finding.text.c_str());
    }
    // Where the system has profile functions of its own, they read the file as the window does;
    // elsewhere the bytes already read are parsed by the same rules.
    std::unique_ptr<Profile> profile =
        HasSystemProfile() ? MakeSystemProfile() : MakeTextProfile(std::move(*bytes));
    LoadSettings(settings, file, *profile);
  }
  ApplyBatchOptions(options, settings);
  return settings;
}

bool InitSettingsFile(const std::string& path, const BatchOptions& options) {
  // The system reads the path in its own code page, whatever --code-page says.
  if (EndsInWindowsDeviceName(path, platform::NativePathRules(),
                              CodePageTable::ForCodePage(platform::SystemCodePage()))) {
    std::fprintf(stderr, "velmora-batch: '%s' names a device and is not written\n", path.c_str());
    return false;
  }
  std::error_code ec;
  if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found) {
    std::fprintf(stderr, "velmora-batch: '%s' exists already and is not replaced\n", path.c_str());
    return false;
  }
  GeneratorSettings settings = DefaultSettings();
  ApplyBatchOptions(options, settings);
  const std::optional<std::string> text = NewSettingsText(settings, options);
  if (!text) return false;
  // A missing or read-only folder, or a full disk: the system's reason, and no file is left.
  if (const platform::Status written = platform::WriteNewFile(path, *text); !written) {
    std::fprintf(stderr, "velmora-batch: cannot create the settings file %s: %s\n",
                 DescribePath(path).c_str(), platform::ErrorCodeText(written.error()).c_str());
    return false;
  }
  return true;
}

}  // namespace velmora
