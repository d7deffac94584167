// Output file paths: the join of the output folder and a file name, which never leads outside the
// output folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/CodePageTable.h"
#include "platform/Platform.h"

namespace velmora {

// Whether name may be written inside the output folder: not empty, not absolute, no drive or UNC
// prefix, no device name (CON, NUL, COM1, ...) and no ":" where the system has them, and no ".."
// component. Separators are found only at the
// start of a character, so the second byte of a double-byte character never separates.
bool IsSafeOutputName(std::string_view name, const platform::PathRules& rules,
                      const CodePageTable& table);

// The folder followed by one separator, unless it ends in one already; "" for an empty folder,
// so that names then stand alone.
std::string OutputFolderPrefix(std::string_view folder, const platform::PathRules& rules,
                               const CodePageTable& table);

// folder, one separator, name (see OutputFolderPrefix; with prefixReady the first argument is
// such a prefix already). Nothing when the name is not safe or the path would not fit the
// system's path buffer.
std::optional<std::string> JoinOutputPath(std::string_view folder, std::string_view name,
                                          const platform::PathRules& rules,
                                          const CodePageTable& table, bool prefixReady = false);

}  // namespace velmora
