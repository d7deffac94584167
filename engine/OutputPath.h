// Naming the output files: a record's file name by the naming rule, its path in the output
// folder (never outside it), and whether two names are one file on this system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FieldSplitter.h"
#include "engine/RunContext.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"

namespace velmora {

// Sets record's outputName by the naming rule, or by the name template of context.choices when it
// has one (Rule 0: RuleLead, the record number zero-padded
// to RuleNumber digits, RuleTail; Rule 1: RuleLead, field RuleNumber as the splitter gave it,
// RuleTail), its outputPath in the output folder and its recordNumber. accepted is false, and the
// path empty, when the name cannot be had (no such rule or field, a padding wider than any path)
// or is refused by JoinOutputPath: the record is then reported like a file that cannot be opened.
void NameOutputFile(const RunContext& context, const FieldList& fields,
                    std::uint32_t recordNumber, MergedRecord& record);

// The folders that name leads through inside the output folder, in order: its components but the
// last, without empty and "." ones. Empty for a name of the output folder itself.
std::vector<std::string> FolderComponents(std::string_view name, const platform::PathRules& rules,
                                          const CodePageTable& table);

// Whether name may be written inside the output folder: not empty, not absolute, no drive or UNC
// prefix, no device name (CON, NUL, COM1, ...) and no ":" where the system has them, and no ".."
// component. Separators are found only at the start of a character (see CharacterWalk), so the
// second byte of a double-byte character never separates.
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
// The same into path, whose storage serves record after record: false, and path empty, when the
// name is refused.
bool JoinOutputPath(std::string& path, std::string_view folderPrefix, std::string_view name,
                    const platform::PathRules& rules, const CodePageTable& table,
                    bool prefixReady = false);

// The form of path under which the file system knows the file: two paths with the same key are
// one file. Where drive letters exist (Windows), names are the same file whatever the case of
// their letters as the file system folds it (WindowsCaseKey: full-width and accented letters
// too), "/" and "\" are the same separator, and trailing dots and blanks of a name count for
// nothing; elsewhere names are compared byte for byte. Both ways, empty and "." components are
// dropped. Only characters of one byte separate or are dropped (see CharacterWalk), so a
// double-byte character never changes but for its case.
std::string OutputFileKey(std::string_view path, const platform::PathRules& rules,
                          const CodePageTable& table);
// The same, appended to key.
void AppendOutputFileKey(std::string& key, std::string_view path, const platform::PathRules& rules,
                         const CodePageTable& table);

// The key of the file that name (a record's outputName) reaches in the run's output folder: two
// names with the same key are one file, even when they reach it through different sub-folders
// (a linked sub-folder and the folder it links to). The key is the identity of the folder that
// holds the file, found from the output folder as the file's path is (context.outputFolder),
// and the file's own name folded as OutputFileKey folds it. A name whose folder the system cannot
// identify (a missing one) is keyed by OutputFileKey of its path. Each folder is looked up once
// a run; safe on several threads at once.
std::string OutputFileKey(const RunContext& context, std::string_view name);
// The same, into key, whose storage serves record after record.
void OutputFileKey(const RunContext& context, std::string_view name, std::string& key);

}  // namespace velmora
