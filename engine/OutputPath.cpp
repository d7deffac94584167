#include "engine/OutputPath.h"

#include <algorithm>
#include <string>

#include "engine/FormatZeroPadded.h"
#include "engine/PathSyntax.h"
#include "engine/RunChoices.h"
#include "engine/WindowsNames.h"

namespace velmora {

namespace {

// Appends component as the system names it. Windows knows a file whatever the case of its ASCII
// letters and drops the trailing dots and blanks of a name, so there "A.html. " is "a.html"; a
// component of dots and blanks alone is taken for "." (one dot), ".." (more dots) or nothing.
// Elsewhere names are kept byte for byte.
void AppendFoldedComponent(std::string& out, std::string_view component,
                           const platform::PathRules& rules, const CodePageTable& table) {
  if (!rules.drivesAndUnc) {
    out.append(component);
    return;
  }
  const std::size_t start = out.size();
  std::size_t kept = start;  // out's length without the trailing dots and blanks
  std::size_t dots = 0;
  bool onlyDotsAndBlanks = true;
  for (CharacterWalk walk(component, table); !walk.Done(); walk.Advance()) {
    const unsigned char b = walk.Byte();
    const bool single = walk.End() - walk.Start() == 1;
    if (single && (b == '.' || b == ' ')) {
      if (b == '.') ++dots;
      out.push_back(static_cast<char>(b));
      continue;
    }
    onlyDotsAndBlanks = false;
    if (single && b >= 'A' && b <= 'Z') {
      out.push_back(static_cast<char>(b - 'A' + 'a'));
    } else {
      out.append(component.substr(walk.Start(), walk.End() - walk.Start()));
    }
    kept = out.size();
  }
  if (onlyDotsAndBlanks) {
    out.resize(start);
    out.append(std::min<std::size_t>(dots, 2), '.');
  } else {
    out.resize(kept);
  }
}

// A component that the system would take for the parent folder: "..", and on Windows also
// ".. " and "...": there a component of dots and blanks alone with two dots or more folds to
// ".." (AppendFoldedComponent). Dots and blanks are single bytes, so no character walk is needed.
bool IsParentComponent(std::string_view component, const platform::PathRules& rules) {
  if (!rules.drivesAndUnc) return component == "..";
  std::size_t dots = 0;
  for (const char c : component) {
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

// Whether text ends in a separator, so that its last component is empty.
bool EndsInSeparator(std::string_view text, const platform::PathRules& rules,
                     const CodePageTable& table) {
  return !text.empty() && LastComponentStart(text, rules, table) == text.size();
}

}  // namespace

void NameOutputFile(const RunContext& context, const FieldList& fields,
                    std::uint32_t recordNumber, MergedRecord& record) {
  const GeneratorSettings& s = context.settings;
  record.accepted = false;
  record.recordNumber = recordNumber;
  record.outputPath.clear();
  record.outputName.assign(s.RuleLead);
  bool nameBuilt = true;
  if (context.choices != nullptr && context.choices->NamesPages()) {
    context.choices->Name(fields, recordNumber, record.outputName);
  } else if (s.Rule == 0) {
    if (s.RuleNumber <= kMaxPaddedWidth) {
      record.outputName.append(FormatZeroPadded(s.RuleNumber, recordNumber));
    } else {
      // No path can hold that many digits: the record fails like a file that cannot be opened,
      // under its unpadded name.
      record.outputName.append(FormatZeroPadded(0, recordNumber));
      nameBuilt = false;
    }
    record.outputName.append(s.RuleTail);
  } else if (s.Rule == 1) {
    if (s.RuleNumber < fields.size()) {
      record.outputName.append(fields[s.RuleNumber]);
    } else {
      nameBuilt = false;  // the record has no such field
    }
    record.outputName.append(s.RuleTail);
  } else {
    record.outputName.clear();
    nameBuilt = false;
  }
  if (!nameBuilt) return;
  record.accepted = JoinOutputPath(record.outputPath, context.folderPrefix, record.outputName,
                                   context.rules, context.table, true);
}

std::vector<std::string> FolderComponents(std::string_view name, const platform::PathRules& rules,
                                          const CodePageTable& table) {
  std::vector<std::string> folders;
  ForEachPathComponent(name, rules, table, [&](std::string_view component, bool separated) {
    if (separated && !component.empty() && component != ".") folders.emplace_back(component);
    return true;
  });
  return folders;
}

bool IsSafeOutputName(std::string_view name, const platform::PathRules& rules,
                      const CodePageTable& table) {
  if (name.empty() || StartsAtRoot(name, rules, table)) return false;  // absolute, UNC, a drive
  if (HasWindowsStreamColon(name, rules, table)) return false;
  return ForEachPathComponent(name, rules, table, [&](std::string_view component, bool) {
    return !IsParentComponent(component, rules) &&
           !IsDeviceComponent(component, rules, table);
  });
}

std::string OutputFolderPrefix(std::string_view folder, const platform::PathRules& rules,
                               const CodePageTable& table) {
  std::string prefix(folder);
  if (!folder.empty() && !EndsInSeparator(folder, rules, table)) {
    prefix.push_back(rules.joinSeparator);
  }
  return prefix;
}

bool JoinOutputPath(std::string& path, std::string_view folderPrefix, std::string_view name,
                    const platform::PathRules& rules, const CodePageTable& table,
                    bool prefixReady) {
  path.clear();
  if (!IsSafeOutputName(name, rules, table)) return false;
  if (prefixReady) {
    path.assign(folderPrefix);
  } else {
    path = OutputFolderPrefix(folderPrefix, rules, table);
  }
  path.append(name);
  if (rules.maxPathBytes != 0 && path.size() >= rules.maxPathBytes) {
    path.clear();
    return false;
  }
  return true;
}

std::optional<std::string> JoinOutputPath(std::string_view folderPrefix, std::string_view name,
                                          const platform::PathRules& rules,
                                          const CodePageTable& table, bool prefixReady) {
  std::string path;
  if (!JoinOutputPath(path, folderPrefix, name, rules, table, prefixReady)) return std::nullopt;
  return path;
}

void AppendOutputFileKey(std::string& key, std::string_view path, const platform::PathRules& rules,
                         const CodePageTable& table) {
  const std::size_t keyStart = key.size();
  ForEachPathComponent(path, rules, table, [&](std::string_view component, bool separated) {
    // Folded straight into key, and taken back when it is no component of the key.
    const std::size_t start = key.size();
    AppendFoldedComponent(key, component, rules, table);
    const std::string_view folded = std::string_view(key).substr(start);
    // "a//b" and "a/./b" are "a/b"; a leading separator (an absolute folder) stays.
    if (folded == "." || (folded.empty() && start != keyStart)) {
      key.resize(start);
      return true;
    }
    // Windows also folds the case of letters beyond ASCII, as NTFS does.
    if (rules.drivesAndUnc && !folded.empty()) {
      const std::string cased = WindowsCaseKey(folded, table);
      key.resize(start);
      key.append(cased);
    }
    if (separated) key.push_back('/');
    return true;
  });
}

std::string OutputFileKey(std::string_view path, const platform::PathRules& rules,
                          const CodePageTable& table) {
  std::string key;
  key.reserve(path.size());
  AppendOutputFileKey(key, path, rules, table);
  return key;
}

void OutputFileKey(const RunContext& context, std::string_view name, std::string& key) {
  // The name's folder part, up to its last separator that is a character of its own.
  const std::string_view folder =
      name.substr(0, LastComponentStart(name, context.rules, context.table));
  // key holds the folder's key for the look-up, then the folder's identity key: no record
  // allocates once key has grown to its names.
  key.clear();
  AppendOutputFileKey(key, folder, context.rules, context.table);
  bool known = false;
  {
    MutexLock lock(context.folderKeysMutex);
    if (const auto found = context.folderKeys.find(key); found != context.folderKeys.end()) {
      key.assign(found->second);
      known = true;
    }
  }
  if (!known) {
    const std::optional<platform::FileIdentity> identity =
        context.outputFolder.FolderIdentity(std::string(folder));
    // A NUL cannot start a path's key, so the two kinds of key never meet.
    std::string identityKey = identity ? std::string(1, '\0') + std::to_string(identity->volume) +
                                             ":" + std::to_string(identity->index) + "/"
                                       : std::string(1, '\x01');
    MutexLock lock(context.folderKeysMutex);
    context.folderKeys.emplace(key, identityKey);
    key = std::move(identityKey);
  }
  if (key[0] != '\0') {
    key.clear();
    AppendOutputFileKey(key, context.outputFolder.PathOf(std::string(name)), context.rules,
                        context.table);
    return;
  }
  AppendOutputFileKey(key, name.substr(folder.size()), context.rules, context.table);
}

std::string OutputFileKey(const RunContext& context, std::string_view name) {
  std::string key;
  OutputFileKey(context, name, key);
  return key;
}

}  // namespace velmora
