// Placeholders of the template that no record filled, and files named by the lead and the tail
// alone: what a run did as it was told but most likely not as it was meant.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ReportLines.h"
#include "engine/GenerationRun.h"
#include "engine/RunContext.h"
#include "platform/CodePageTable.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

struct PlaceholderText {
  std::string text;           // as the template holds it: lead, number, tail
  std::uint32_t fieldNumber;  // the number between them
};

// Each text of the template that has the shape of a placeholder (lead, decimal digits without a
// leading zero, tail), once, in the order of its first place. Leads are found only at the start
// of a character (CharacterWalk), as the filling finds them. Nothing for an empty lead or tail.
std::vector<PlaceholderText> PlaceholdersOf(std::string_view templateText, std::string_view lead,
                                            std::string_view tail, const CodePageTable& table);

// The lines, each ending in "\n", on what a header gave that the user may not expect: columns
// that name nothing, columns whose name holds the placeholder's lead or tail (no placeholder can
// name them), and named placeholders of the template that no column answers.
// Each kind of line stops after kReportLines with a count of the rest.
std::string ColumnReport(const HeaderReport& report, std::string_view lead, std::string_view tail);

// Without --header: the line on the template's named placeholders, which no column answers, and
// whether the first record holds their names; "" when the template has none.
std::string NamesWithoutHeaderLine(const HeaderReport& report);

// What the run found of the input as a whole and of its threads (fewer writing threads started
// than asked for; the input changed during the run; LF read as a line end or not; a quote never
// closed), each a line ending in "\n": standard error gives them before the warnings that they
// may explain.
std::string InputReport(const RunSummary& summary, const std::string& input);

// Notes the count of fields of every record and the records whose file name came out as the
// naming rule's lead and tail alone.
class RunFindings : public RunEvents {
 public:
  explicit RunFindings(const GeneratorSettings& settings);

  void RecordDone(const MergedRecord& record, OutputOutcome outcome,
                  platform::ErrorCode reason) override;
  // The files are named by field field, the column headed column (a header run): the report
  // names the column beside the field.
  void NamingColumn(std::size_t field, std::string column);
  // The header's columns (a header run): a placeholder of a column that no record had is
  // reported as one of a field number is.
  void Columns(const ColumnNames& columns);
  // The files are named by a name template, not by the naming rule's lead and tail.
  void NamedByTemplate() { namedByTemplate_ = true; }

  // The lines, each ending in "\n": one per placeholder of templateText whose field no record
  // had, with the highest count of fields seen, and one naming the records whose file had an
  // empty name between the lead and the tail because their naming field was empty, and one for
  // those that had no such field at all (the first maxRecords each, then the count of the rest).
  // "" when there is nothing to say or no record was merged.
  std::string Report(std::string_view templateText, const CodePageTable& table,
                     std::size_t maxRecords = kReportLines) const;
  // Whether Report has anything to say.
  bool Any(std::string_view templateText, const CodePageTable& table) const;

 private:
  std::vector<PlaceholderText> Unfilled(std::string_view templateText,
                                        const CodePageTable& table) const;

  // Records whose file was named by the lead and tail alone, for one cause.
  struct EmptyNamed {
    std::vector<std::uint32_t> first;  // the first records, in record order
    std::uint64_t count = 0;
  };
  std::string EmptyNamedLine(const EmptyNamed& records, bool missing, std::size_t maxRecords) const;

  const GeneratorSettings& settings_;
  std::string emptyName_;  // the rule's lead and tail
  std::uint32_t namingField_;
  std::string namingColumn_;  // "" when the files are named by a field number
  std::vector<std::string> namedPlaceholders_;  // per column: its placeholder, "" for none
  bool namedByTemplate_ = false;
  bool anyRecord_ = false;
  std::uint32_t maxFields_ = 0;
  EmptyNamed emptyField_;    // the naming field was there and empty
  EmptyNamed missingField_;  // the record had fewer fields
};

}  // namespace velmora
