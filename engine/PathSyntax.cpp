#include "engine/PathSyntax.h"

namespace velmora {

std::size_t DrivePrefixLength(std::string_view path, const platform::PathRules& rules,
                              const CodePageTable& table) {
  const bool drive = rules.drivesAndUnc && path.size() >= 2 && path[1] == ':' &&
                     !table.IsLead(static_cast<unsigned char>(path[0]));
  return drive ? 2 : 0;
}

bool StartsAtRoot(std::string_view path, const platform::PathRules& rules,
                  const CodePageTable& table) {
  return (!path.empty() && IsPathSeparator(static_cast<unsigned char>(path[0]), rules)) ||
         DrivePrefixLength(path, rules, table) != 0;
}

std::size_t LastComponentStart(std::string_view path, const platform::PathRules& rules,
                               const CodePageTable& table) {
  std::size_t start = 0;
  for (CharacterWalk walk(path, table); !walk.Done(); walk.Advance()) {
    if (IsSeparatorCharacter(walk, rules)) start = walk.End();
  }
  return start;
}

}  // namespace velmora
