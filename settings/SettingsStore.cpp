#include "settings/SettingsStore.h"

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/Platform.h"
#include "settings/ProfileText.h"
#include "settings/SettingsKeys.h"

namespace velmora {

namespace {

// Whether a member of GeneratorSettings holds a text; the others are 32-bit numbers.
template <typename Member>
constexpr bool kIsText = std::is_same_v<Member, std::string GeneratorSettings::*>;

// The thirteen keys with the values of s, as the file stores them. Numbers are stored as "%d"
// writes them, so a RuleNumber above 2147483647 is stored negative.
std::vector<ProfileEntry> SettingsEntries(const GeneratorSettings& s) {
  std::vector<ProfileEntry> entries;
  entries.reserve(std::size(kSettingsKeys));
  for (const SettingsKey& row : kSettingsKeys) {
    std::string value = std::visit(
        [&](auto member) {
          if constexpr (kIsText<decltype(member)>) {
            return s.*member;
          } else {
            return std::to_string(static_cast<std::int32_t>(s.*member));
          }
        },
        row.field);
    entries.push_back({row.section, row.key, std::move(value)});
  }
  return entries;
}

}  // namespace

GeneratorSettings DefaultSettings() {
  GeneratorSettings s;
  for (const SettingsKey& row : kSettingsKeys) {
    std::visit(
        [&](auto member) {
          using Field = std::remove_reference_t<decltype(s.*member)>;
          if constexpr (kIsText<decltype(member)>) {
            s.*member = row.defaultValue;
          } else {
            s.*member = static_cast<Field>(ReadLeadingNumberAsProfileDoes(row.defaultValue));
          }
        },
        row.field);
  }
  return s;
}

void LoadSettings(GeneratorSettings& s, const std::string& path, Profile& profile) {
  // An empty path names no file; the profile functions would look for one in the Windows folder.
  if (path.empty()) {
    s = DefaultSettings();
    return;
  }
  // One reader for the thirteen keys: the portable profile reads and parses the file once.
  const std::unique_ptr<ProfileReader> reader = profile.Read(path);
  for (const SettingsKey& row : kSettingsKeys) {
    std::visit(
        [&](auto member) {
          using Field = std::remove_reference_t<decltype(s.*member)>;
          if constexpr (kIsText<decltype(member)>) {
            s.*member = reader->GetString(row.section, row.key, row.defaultValue);
          } else {
            // The 32 bits as the file gives them: -1 reads back as 4294967295 into RuleNumber.
            s.*member = static_cast<Field>(
                reader->GetInt(row.section, row.key, ReadLeadingNumberAsProfileDoes(row.defaultValue)));
          }
        },
        row.field);
  }
}

platform::Status SaveSettings(const GeneratorSettings& s, const std::string& path,
                              Profile& profile) {
  if (path.empty()) return {};
  return profile.WriteStrings(path, SettingsEntries(s));
}

void LoadSettings(GeneratorSettings& settings, const std::string& settingsFilePath) {
  auto profile = MakeSystemProfile();
  LoadSettings(settings, settingsFilePath, *profile);
}

platform::Status SaveSettings(const GeneratorSettings& settings,
                              const std::string& settingsFilePath) {
  auto profile = MakeSystemProfile();
  return SaveSettings(settings, settingsFilePath, *profile);
}

std::string SettingsFileText(const GeneratorSettings& settings) {
  ProfileText text("");
  for (const ProfileEntry& entry : SettingsEntries(settings)) {
    text.Set(entry.section, entry.key, entry.value);
  }
  return text.Bytes();
}

std::string DefaultSettingsFileText() { return SettingsFileText(DefaultSettings()); }

std::string PathBesideProgram(std::string_view programPath, std::string_view extension,
                              const CodePageTable& table) {
  std::size_t lastDot = std::string_view::npos;
  std::size_t lastSeparator = std::string_view::npos;
  for (CharacterWalk walk(programPath, table); !walk.Done(); walk.Advance()) {
    if (walk.Byte() == '.') {
      lastDot = walk.Start();
    } else if (walk.Byte() == '/' || walk.Byte() == '\\') {
      lastSeparator = walk.Start();
    }
  }
  std::string path(programPath);
  // A dot in a folder name is no extension of the program file.
  if (lastDot == std::string_view::npos ||
      (lastSeparator != std::string_view::npos && lastDot < lastSeparator)) {
    return path.append(extension);
  }
  path.resize(lastDot);
  return path.append(extension);
}

std::string SettingsFilePathFor(std::string_view programPath, const CodePageTable& table) {
  if (programPath.empty()) return {};
  std::string path = PathBesideProgram(programPath, ".ini", table);
  const std::size_t limit = platform::NativePathRules().maxPathBytes;
  if (limit != 0 && path.size() >= limit) return {};
  return path;
}

}  // namespace velmora
