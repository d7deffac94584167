#include "cli/RunFindings.h"

#include <algorithm>
#include <utility>

#include "cli/OutputFailures.h"
#include "engine/ColumnNames.h"
#include "engine/Placeholder.h"

namespace velmora {

namespace {

// Records named beyond this are only counted.
constexpr std::size_t kKeptRecords = kReportLines;

}  // namespace

std::vector<PlaceholderText> PlaceholdersOf(std::string_view templateText, std::string_view lead,
                                            std::string_view tail, const CodePageTable& table) {
  std::vector<PlaceholderText> found;
  if (lead.empty() || tail.empty()) return found;
  std::size_t count = 0;  // characters are counted afresh from here (CountAfreshFrom)
  for (std::size_t start = FindAtCharacterStart(templateText, lead, 0, 0, table);
       start != std::string_view::npos;
       start = FindAtCharacterStart(templateText, lead, count, start + 1, table)) {
    count = CountAfreshFrom(templateText, count, start, table);
    const std::string_view rest = templateText.substr(start + lead.size());
    const DigitRun digits = ReadDigits(rest);
    if (!digits.fieldNumber || !rest.substr(digits.length).starts_with(tail)) continue;
    const std::string_view text =
        templateText.substr(start, lead.size() + digits.length + tail.size());
    if (std::none_of(found.begin(), found.end(),
                     [&](const PlaceholderText& seen) { return seen.text == text; })) {
      found.push_back({std::string(text), *digits.fieldNumber});
    }
  }
  return found;
}

std::string ColumnReport(const HeaderReport& report, std::string_view lead,
                         std::string_view tail) {
  BoundedLines shapes("header fields that hold the placeholder's lead or tail");
  BoundedLines empty("empty header fields");
  BoundedLines numbers("header fields that are numbers");
  BoundedLines own("header fields that begin with '#'");
  BoundedLines repeats("header fields that repeat an earlier one");
  BoundedLines unknown("texts of the template that name no column");
  for (std::size_t field = 0; field < report.columns.names.size(); ++field) {
    if (report.columns.naming[field] == 0) continue;
    const std::string& name = report.columns.names[field];
    const bool holdsLead = !lead.empty() && name.find(lead) != std::string::npos;
    const bool holdsTail = !tail.empty() && name.find(tail) != std::string::npos;
    if (!holdsLead && !holdsTail) continue;
    shapes.Add("velmora-batch: the header of field " + std::to_string(field) + ", '" + name +
               "', holds the placeholder's " + (holdsLead ? "lead '" : "tail '") +
               std::string(holdsLead ? lead : tail) + "': no placeholder can name its column\n");
  }
  for (const UnnamedColumn& column : report.columns.unnamed) {
    const std::string field = std::to_string(column.field);
    const std::string& name = report.columns.names[column.field];
    switch (column.why) {
      case Unnamed::Empty:
        empty.Add("velmora-batch: the header of field " + field + " is empty: it names no column\n");
        break;
      case Unnamed::Digits:
        numbers.Add("velmora-batch: the header of field " + field + ", '" + name +
                    "', is a number: it names no column\n");
        break;
      case Unnamed::Own:
        own.Add("velmora-batch: the header of field " + field + ", '" + name +
                "', begins with '#', which marks the program's own names: it names no column\n");
        break;
      case Unnamed::Repeat:
        repeats.Add("velmora-batch: the header of field " + field + ", '" + name +
                    "', repeats that of field " + std::to_string(column.earlierField) +
                    ": it names no column\n");
        break;
    }
  }
  for (const std::string& placeholder : report.unknownPlaceholders) {
    unknown.Add("velmora-batch: the template names a column that the header lacks: " +
                placeholder + "\n");
  }
  return shapes.Text() + empty.Text() + numbers.Text() + own.Text() + repeats.Text() +
         unknown.Text();
}

std::string NamesWithoutHeaderLine(const HeaderReport& report) {
  const std::vector<std::string>& names = report.unknownPlaceholders;
  if (names.empty()) return {};
  std::string line = "velmora-batch: the template names ";
  line += names.size() == 1 ? "a column (" : "columns (";
  const std::size_t shown = std::min(names.size(), kReportLines);
  for (std::size_t i = 0; i < shown; ++i) line += (i == 0 ? "" : ", ") + names[i];
  if (names.size() > shown) line += " and " + std::to_string(names.size() - shown) + " more";
  line += ") but --header was not given, so ";
  line += names.size() == 1 ? "it stays as it stands; " : "they stay as they stand; ";
  const std::size_t held = report.firstRecordNames.size();
  if (held == 0) return line + "give --header when the first record names the columns\n";
  line += held == names.size() ? (held == 1 ? "the first record holds this name"
                                            : "the first record holds these names")
                               : "the first record holds " + std::to_string(held) + " of them";
  return line + ": give --header to read it as the header\n";
}

std::string InputReport(const RunSummary& summary, const std::string& input) {
  std::string hints;
  if (const std::optional<ThreadsShort>& threads = summary.threadsShort) {
    hints += "velmora-batch: " + std::to_string(threads->started) + " of " +
             std::to_string(threads->asked) + " writing threads could be started (" +
             threads->reason + "), so the run wrote its files on " +
             (threads->started == 0 ? std::string("its own thread")
                                    : std::to_string(threads->started) +
                                          (threads->started == 1 ? " thread" : " threads")) +
             "\n";
  }
  if (summary.inputChanged) {
    hints += "velmora-batch: the input file " + DescribePath(input) +
             " changed during the run: it held " + std::to_string(summary.inputSizeAtOpen) +
             " bytes when it was opened and " + std::to_string(summary.inputBytesRead) +
             " bytes were read, so a record may be cut\n";
  }
  if (summary.autoChoseLf) {
    hints += "velmora-batch: the input file " + DescribePath(input) +
             " holds LF line ends but no CR, so its records ended at LF (--line-ends auto); the "
             "window reads such a file as one record\n";
  }
  if (summary.lfWithoutCr) {
    hints += "velmora-batch: the input holds LF line ends but no CR, so the whole input was read "
             "as one record; --line-ends any ends records at LF too\n";
  }
  if (summary.unclosedQuoteLine != 0) {
    hints += "velmora-batch: the input file " + DescribePath(input) +
             " opens a double quote at line " + std::to_string(summary.unclosedQuoteLine) +
             " that never closes, so the last record runs from there to the end of the file\n";
  }
  return hints;
}

RunFindings::RunFindings(const GeneratorSettings& settings)
    : settings_(settings),
      emptyName_(settings.RuleLead + settings.RuleTail),
      namingField_(settings.RuleNumber) {}

void RunFindings::NamingColumn(std::size_t field, std::string column) {
  namingField_ = static_cast<std::uint32_t>(field);
  namingColumn_ = std::move(column);
}

void RunFindings::Columns(const ColumnNames& columns) {
  namedPlaceholders_ = NamedPlaceholders(columns, settings_.ReplaceLead, settings_.ReplaceTail);
}

void RunFindings::RecordDone(const MergedRecord& record, OutputOutcome, platform::ErrorCode) {
  anyRecord_ = true;
  maxFields_ = std::max(maxFields_, record.fieldCount);
  // Only the field rule can leave the name between lead and tail empty.
  if (settings_.Rule == 1 && !namedByTemplate_ && record.outputName == emptyName_) {
    EmptyNamed& cause = record.fieldCount > namingField_ ? emptyField_ : missingField_;
    ++cause.count;
    if (cause.first.size() < kKeptRecords) cause.first.push_back(record.recordNumber);
  }
}

std::vector<PlaceholderText> RunFindings::Unfilled(std::string_view templateText,
                                                   const CodePageTable& table) const {
  std::vector<PlaceholderText> unfilled;
  if (!anyRecord_) return unfilled;
  for (PlaceholderText& placeholder :
       PlaceholdersOf(templateText, settings_.ReplaceLead, settings_.ReplaceTail, table)) {
    if (placeholder.fieldNumber >= maxFields_) unfilled.push_back(std::move(placeholder));
  }
  for (std::size_t field = maxFields_; field < namedPlaceholders_.size(); ++field) {
    const std::string& text = namedPlaceholders_[field];
    if (!text.empty() &&
        FindAtCharacterStart(templateText, text, 0, 0, table) != std::string_view::npos) {
      unfilled.push_back({text, static_cast<std::uint32_t>(field)});
    }
  }
  return unfilled;
}

bool RunFindings::Any(std::string_view templateText, const CodePageTable& table) const {
  return emptyField_.count != 0 || missingField_.count != 0 ||
         !Unfilled(templateText, table).empty();
}

std::string RunFindings::Report(std::string_view templateText, const CodePageTable& table,
                                std::size_t maxRecords) const {
  BoundedLines unfilled("placeholders of the template never filled");
  const std::string most = std::to_string(maxFields_);
  for (const PlaceholderText& placeholder : Unfilled(templateText, table)) {
    unfilled.Add("velmora-batch: the template's '" + placeholder.text +
                 "' was never filled: no record had field " +
                 std::to_string(placeholder.fieldNumber) + "; the records had at most " + most +
                 (maxFields_ == 1 ? " field" : " fields") + " (0 to " +
                 std::to_string(maxFields_ - 1) + ")\n");
  }
  std::string report = unfilled.Text();
  report += EmptyNamedLine(emptyField_, false, maxRecords);
  report += EmptyNamedLine(missingField_, true, maxRecords);
  return report;
}

std::string RunFindings::EmptyNamedLine(const EmptyNamed& records, bool missing,
                                        std::size_t maxRecords) const {
  if (records.count == 0) return {};
  const bool one = records.count == 1;
  std::string field = "field " + std::to_string(namingField_);
  if (!namingColumn_.empty()) field += " (column '" + namingColumn_ + "')";
  std::string line = "velmora-batch: " + std::to_string(records.count) +
                     (one ? " record had " : " records had ") +
                     (missing ? "no " + field + " at all" : "an empty " + field) +
                     (one ? ", so its file was named '" : ", so their file was named '") +
                     emptyName_ + "' by the lead and tail alone: record" + (one ? " " : "s ");
  const std::size_t shown = std::min(records.first.size(), maxRecords);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) line += ", ";
    line += std::to_string(records.first[i]);
  }
  if (records.count > shown) line += " and " + std::to_string(records.count - shown) + " more";
  return line + "\n";
}

}  // namespace velmora
