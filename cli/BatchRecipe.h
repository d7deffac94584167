// The run's recipe kept in a settings file: --init writes the options of the Recipe group that
// were given into the [Batch] section, and a run from that file replays them through the same row
// readers unless the command line gives them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/BatchOptionTable.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"

namespace velmora {

// The section that keeps the recipe.
inline constexpr const char* kRecipeSection = kBatchSection;

// The [Batch] entries for options.recipe, in the table's order: a row's last value under its long
// name, a repeatable row's values in turn under its long name numbered from 1, a flag as "1".
std::vector<ProfileEntry> RecipeEntries(const BatchOptions& options,
                                        std::span<const BatchOption> table = BatchOptionTable());

// Replays the [Batch] section that reader gives into options, for each row of the Recipe group
// that options.recipe lacks. False, with error set to "[Batch] KEY: the reason", at the first value
// that its row does not take (for a flag: anything but 1 or 0).
bool ReadRecipe(ProfileReader& reader, BatchOptions& options, std::string& error,
                std::span<const BatchOption> table = BatchOptionTable());

// Whether key names an option of the recipe in the [Batch] section: a row's long name, or a
// repeatable row's numbered from 1 (letter case aside, as the profile rules read names).
bool IsRecipeKey(std::string_view key, std::span<const BatchOption> table = BatchOptionTable());

}  // namespace velmora
