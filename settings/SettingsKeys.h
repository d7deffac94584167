// The thirteen keys of a settings file, written once: where each key lives, the
// field of GeneratorSettings it holds, what reading gives for a missing key,
// and the numbers that the window's controls offer for it. The reader, the
// writer, the first settings file and the batch command's check of a settings
// file all take them from here.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "settings/GeneratorSettings.h"

namespace velmora {

// The field of GeneratorSettings that a key holds.
using SettingsField = std::variant<std::string GeneratorSettings::*,
                                   std::int32_t GeneratorSettings::*,
                                   std::uint32_t GeneratorSettings::*>;

struct SettingsKey {
  const char *section;
  const char *key;
  SettingsField field;
  const char *defaultValue; // what reading gives for a missing key, as the file
                            // would store it
  std::int64_t offeredMin; // the numbers that the window's controls offer (0 to
                           // 0 for a text)
  std::int64_t offeredMax;
};

// In the order in which they are read and written.
inline constexpr SettingsKey kSettingsKeys[] = {
    {"Settings", "Input", &GeneratorSettings::Input, "", 0, 0},
    {"Settings", "Output", &GeneratorSettings::Output, "", 0, 0},
    {"Settings", "Template", &GeneratorSettings::Template, "", 0, 0},
    {"Replace", "Lead", &GeneratorSettings::ReplaceLead, "[$_", 0, 0},
    {"Replace", "Tail", &GeneratorSettings::ReplaceTail, "_$]", 0, 0},
    {"Replace", "Default", &GeneratorSettings::ReplaceDefault, "", 0, 0},
    {"Replace", "Format", &GeneratorSettings::ReplaceFormat, "0", 0, 1},
    {"Rule", "Lead", &GeneratorSettings::RuleLead, "", 0, 0},
    {"Rule", "Tail", &GeneratorSettings::RuleTail, ".html", 0, 0},
    {"Rule", "Rule", &GeneratorSettings::Rule, "0", 0, 1},
    {"Rule", "Number", &GeneratorSettings::RuleNumber, "0", 0, 255},
    {"Field", "Separator", &GeneratorSettings::FieldSeparator, "0", 0, 1},
    {"Field", "Break", &GeneratorSettings::FieldBreak, "0", 0, 1},
};

// The batch command's own section: the window keeps it as it stands, and the batch command
// checks its keys as it reads them (the options that velmora-batch --init keeps).
inline constexpr const char *kBatchSection = "Batch";

// Whether a key holds a text, and whether its number is unsigned; the others
// are signed 32-bit.
inline bool HoldsText(const SettingsKey &key) {
  return std::holds_alternative<std::string GeneratorSettings::*>(key.field);
}
inline bool HoldsUnsigned(const SettingsKey &key) {
  return std::holds_alternative<std::uint32_t GeneratorSettings::*>(key.field);
}

} // namespace velmora
