#include "settings/SettingsStore.h"

#include <vector>

#include "platform/Platform.h"

namespace velmora {

void LoadSettings(GeneratorSettings& s, const std::string& path, Profile& profile) {
  // An empty path names no file; the profile functions would look for one in the Windows folder.
  auto text = [&](const char* section, const char* key, const char* defaultValue) {
    return path.empty() ? std::string(defaultValue)
                        : profile.GetString(path, section, key, defaultValue);
  };
  auto number = [&](const char* section, const char* key) {
    return path.empty() ? 0 : profile.GetInt(path, section, key, 0);
  };
  s.Input = text("Settings", "Input", "");
  s.Output = text("Settings", "Output", "");
  s.Template = text("Settings", "Template", "");
  s.ReplaceLead = text("Replace", "Lead", "[$_");
  s.ReplaceTail = text("Replace", "Tail", "_$]");
  s.ReplaceDefault = text("Replace", "Default", "");
  s.ReplaceFormat = number("Replace", "Format");
  s.RuleLead = text("Rule", "Lead", "");
  s.RuleTail = text("Rule", "Tail", ".html");
  s.Rule = number("Rule", "Rule");
  s.RuleNumber = static_cast<std::uint32_t>(number("Rule", "Number"));
  s.FieldSeparator = number("Field", "Separator");
  s.FieldBreak = number("Field", "Break");
}

void SaveSettings(const GeneratorSettings& s, const std::string& path, Profile& profile) {
  if (path.empty()) return;
  // Numbers are stored as "%d" writes them, so a RuleNumber above 2147483647 is stored negative.
  auto number = [](std::int32_t value) { return std::to_string(value); };
  std::vector<ProfileEntry> entries = {
      {"Settings", "Input", s.Input},
      {"Settings", "Output", s.Output},
      {"Settings", "Template", s.Template},
      {"Replace", "Lead", s.ReplaceLead},
      {"Replace", "Tail", s.ReplaceTail},
      {"Replace", "Default", s.ReplaceDefault},
      {"Replace", "Format", number(s.ReplaceFormat)},
      {"Rule", "Lead", s.RuleLead},
      {"Rule", "Tail", s.RuleTail},
      {"Rule", "Rule", number(s.Rule)},
      {"Rule", "Number", number(static_cast<std::int32_t>(s.RuleNumber))},
      {"Field", "Separator", number(s.FieldSeparator)},
      {"Field", "Break", number(s.FieldBreak)},
  };
  profile.WriteStrings(path, entries);
}

void LoadSettings(GeneratorSettings& settings, const std::string& settingsFilePath) {
  auto profile = MakeSystemProfile();
  LoadSettings(settings, settingsFilePath, *profile);
}

void SaveSettings(const GeneratorSettings& settings, const std::string& settingsFilePath) {
  auto profile = MakeSystemProfile();
  SaveSettings(settings, settingsFilePath, *profile);
}

std::string PathBesideProgram(std::string_view programPath, std::string_view extension,
                              const CodePageTable& table) {
  std::size_t lastDot = std::string_view::npos;
  std::size_t lastSeparator = std::string_view::npos;
  for (std::size_t i = 0; i < programPath.size(); ++i) {
    auto b = static_cast<unsigned char>(programPath[i]);
    if (table.IsLead(b)) {
      ++i;  // the second byte of a double-byte character is never a dot
    } else if (b == '.') {
      lastDot = i;
    } else if (b == '/' || b == '\\') {
      lastSeparator = i;
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
