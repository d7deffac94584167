// How a path is put together under the system's path rules: which bytes separate its folders and
// which prefixes root it. Paths are walked by characters (CharacterWalk), so the second byte of a
// double-byte character never separates: 0x5C, "\" in ASCII, is the trail byte of many characters
// of code page 932.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/CodePageTable.h"
#include "platform/Platform.h"

namespace velmora {

// Whether byte separates folders: "/" always, and "\" where the rules say so.
inline bool IsPathSeparator(unsigned char byte, const platform::PathRules& rules) {
  return byte == '/' || (rules.backslashSeparates && byte == '\\');
}

// Whether the walk's current character separates folders: one byte that IsPathSeparator.
inline bool IsSeparatorCharacter(const CharacterWalk& walk, const platform::PathRules& rules) {
  return walk.End() - walk.Start() == 1 && IsPathSeparator(walk.Byte(), rules);
}

// The length of the drive prefix ("C:") that path starts with where the rules have drives: a byte
// that is no lead byte, then ":". 0 when there is none.
std::size_t DrivePrefixLength(std::string_view path, const platform::PathRules& rules,
                              const CodePageTable& table);

// Whether path starts at a root rather than in the folder it is put in: with a separator (an
// absolute path, or where the rules have drives a UNC path "\\server\share") or with a drive
// prefix.
bool StartsAtRoot(std::string_view path, const platform::PathRules& rules,
                  const CodePageTable& table);

// Where the last component of path starts: right after its last separator, or at 0.
std::size_t LastComponentStart(std::string_view path, const platform::PathRules& rules,
                               const CodePageTable& table);

// Calls visit(component, separated) for each component of path in order, the bytes between two
// separators: separated tells whether a separator follows it, which is false only for the last
// one (empty when path ends in a separator, and the whole path when it has none). Stops at the
// first component for which visit returns false, and returns whether it never did.
template <typename Visit>
bool ForEachPathComponent(std::string_view path, const platform::PathRules& rules,
                          const CodePageTable& table, Visit&& visit) {
  std::size_t start = 0;
  for (CharacterWalk walk(path, table); !walk.Done(); walk.Advance()) {
    if (!IsSeparatorCharacter(walk, rules)) continue;
    if (!visit(path.substr(start, walk.Start() - start), true)) return false;
    start = walk.End();
  }
  return visit(path.substr(start), false);
}

}  // namespace velmora
