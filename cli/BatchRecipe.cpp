#include "cli/BatchRecipe.h"

#include <algorithm>

#include "settings/ProfileText.h"

namespace velmora {

namespace {

// What reading gives for a key that the section lacks; no stored value is this.
const std::string kMissing(1, '\x01');

bool Given(const BatchOptions& options, const char* longName) {
  return std::any_of(options.recipe.begin(), options.recipe.end(),
                     [&](const auto& given) { return given.first == longName; });
}

}  // namespace

std::vector<ProfileEntry> RecipeEntries(const BatchOptions& options,
                                        std::span<const BatchOption> table) {
  std::vector<ProfileEntry> entries;
  for (const BatchOption& row : table) {
    if (row.group != BatchOptionGroup::Recipe) continue;
    std::vector<std::string> values;
    for (const auto& [name, value] : options.recipe) {
      if (name == row.longName) values.push_back(value);
    }
    if (values.empty()) continue;
    if (!row.repeatable) {
      entries.push_back({kRecipeSection, row.longName, values.back()});
      continue;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      entries.push_back({kRecipeSection, row.longName + std::to_string(i + 1), values[i]});
    }
  }
  return entries;
}

bool ReadRecipe(ProfileReader& reader, BatchOptions& options, std::string& error,
                std::span<const BatchOption> table) {
  for (const BatchOption& row : table) {
    if (row.group != BatchOptionGroup::Recipe || Given(options, row.longName)) continue;
    for (std::size_t number = 1;; ++number) {
      const std::string key =
          row.repeatable ? row.longName + std::to_string(number) : std::string(row.longName);
      const std::string value = reader.GetString(kRecipeSection, key, kMissing);
      if (value == kMissing) break;
      std::string reason;
      const bool flag = row.argument == nullptr;
      bool taken = false;
      if (flag && value != "1" && value != "0") {
        reason = "needs 1 or 0, not '" + value + "'";
      } else {
        taken = (flag && value == "0") || row.read(row, value, options, reason);
      }
      if (!taken) {
        error = "[" + std::string(kRecipeSection) + "] " + key + ": " + reason;
        return false;
      }
      if (!row.repeatable) break;
    }
  }
  return true;
}

bool IsRecipeKey(std::string_view key, std::span<const BatchOption> table) {
  return std::any_of(table.begin(), table.end(), [&](const BatchOption& row) {
    if (row.group != BatchOptionGroup::Recipe) return false;
    const std::string_view name = row.longName;
    if (key.size() < name.size() || !SameProfileName(key.substr(0, name.size()), name)) {
      return false;
    }
    const std::string_view number = key.substr(name.size());
    if (!row.repeatable) return number.empty();
    return !number.empty() && number.front() != '0' &&
           number.find_first_not_of("0123456789") == std::string_view::npos;
  });
}

}  // namespace velmora
