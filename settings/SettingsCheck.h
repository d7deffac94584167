// What a settings file says that a run does not take as written: sections and keys the program
// does not know, and values that the reading rules turn into another number or cut.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct SettingsFinding {
  std::size_t line = 0;  // 1 for the first line of the file
  std::string text;      // in English, no line end: "[Rule] Number=300 is ..."
};

// Looks over the bytes of a settings file line by line, apart from LoadSettings, which it never
// changes. Finds each section the program does not know (its keys with it), each unknown key of a
// known section, each key or section repeated (reading takes the first), each line that is no
// section, key or comment, each number that is no signed 32-bit decimal number as a whole (with
// the value that reading gives it), each number outside the values that the window offers (with
// the value the run uses all the same) and each text longer than reading takes. Returns the
// findings in line order; nothing for a file that the window would show as it stands. The keys of
// the [Batch] section (kBatchSection) are the batch command's: each key for which batchKey
// returns false is found unknown.
std::vector<SettingsFinding> CheckSettingsText(
    std::string_view bytes,
    const std::function<bool(std::string_view key)>& batchKey = [](std::string_view) {
      return true;
    });

}  // namespace velmora
