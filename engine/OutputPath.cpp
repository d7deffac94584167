#include "engine/OutputPath.h"

#include <algorithm>
#include <string>

#include "engine/WindowsNames.h"

namespace velmora {

namespace {

bool IsSeparator(char c, const platform::PathRules& rules) {
  return c == '/' || (rules.backslashSeparates && c == '\\');
}

// A component that the system would take for the parent folder. Windows drops trailing dots and
// blanks from a component, so there ".. " and "..." count as well.
bool IsParentComponent(std::string_view component, const platform::PathRules& rules) {
  if (component == "..") return true;
  if (!rules.drivesAndUnc) return false;
  std::size_t dots = 0;
  for (char c : component) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// A component that names a device rather than a file: a record named like one would send its
// file to a console or a port.
bool IsDeviceComponent(std::string_view component, const platform::PathRules& rules,
                       const CodePageTable& table) {
  return rules.drivesAndUnc && IsWindowsDeviceName(component, table);
}

// Whether text ends in a separator that stands at the start of a character.
bool EndsInSeparator(std::string_view text, const platform::PathRules& rules,
                     const CodePageTable& table) {
  bool last = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto b = static_cast<unsigned char>(text[i]);
    last = false;
    if (table.IsLead(b)) {
      ++i;  // the next byte belongs to this character
    } else {
      last = IsSeparator(static_cast<char>(b), rules);
    }
  }
  return last;
}

}  // namespace

bool IsSafeOutputName(std::string_view name, const platform::PathRules& rules,
                      const CodePageTable& table) {
  if (name.empty()) return false;
  if (IsSeparator(name[0], rules)) return false;  // absolute, or a UNC prefix
  if (rules.drivesAndUnc && name.size() >= 2 && name[1] == ':' &&
      !table.IsLead(static_cast<unsigned char>(name[0]))) {
    return false;  // a drive prefix
  }
  if (HasWindowsStreamColon(name, rules, table)) return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto b = static_cast<unsigned char>(name[i]);
    if (table.IsLead(b)) {
      ++i;
    } else if (IsSeparator(static_cast<char>(b), rules)) {
      const std::string_view component = name.substr(start, i - start);
      if (IsParentComponent(component, rules) || IsDeviceComponent(component, rules, table)) {
        return false;
      }
      start = i + 1;
    }
  }
  const std::string_view last = name.substr(std::min(start, name.size()));
  return !IsParentComponent(last, rules) && !IsDeviceComponent(last, rules, table);
}

std::string OutputFolderPrefix(std::string_view folder, const platform::PathRules& rules,
                               const CodePageTable& table) {
  std::string prefix(folder);
  if (!folder.empty() && !EndsInSeparator(folder, rules, table)) prefix.push_back(rules.joinSeparator);
  return prefix;
}

std::optional<std::string> JoinOutputPath(std::string_view folderPrefix, std::string_view name,
                                          const platform::PathRules& rules,
                                          const CodePageTable& table, bool prefixReady) {
  if (!IsSafeOutputName(name, rules, table)) return std::nullopt;
  std::string path = prefixReady ? std::string(folderPrefix)
                                 : OutputFolderPrefix(folderPrefix, rules, table);
  path.append(name);
  if (rules.maxPathBytes != 0 && path.size() >= rules.maxPathBytes) return std::nullopt;
  return path;
}

}  // namespace velmora
