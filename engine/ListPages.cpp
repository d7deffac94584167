#include "engine/ListPages.h"

#include "engine/OutputPath.h"
#include "engine/OutputWriter.h"
#include "engine/PathSyntax.h"
#include "engine/Placeholder.h"
#include "engine/ReplaceAll.h"

namespace velmora {

namespace {

constexpr std::int32_t kHtml = 0;  // ReplaceFormat of a run in HTML

std::unique_ptr<RunContext> PartContext(const RunContext& run, const std::string& text) {
  auto part = std::make_unique<RunContext>(run.settings, text, run.separator, run.table, run.rules);
  part->namedPlaceholders = run.namedPlaceholders;
  return part;
}

}  // namespace

std::optional<ListTemplate> SplitListTemplate(std::string_view text,
                                              const GeneratorSettings& settings,
                                              const CodePageTable& table, std::string& error) {
  const std::string rows = OwnPlaceholder(settings, "rows");
  const std::string end = OwnPlaceholder(settings, "end");
  const auto find = [&](const std::string& what, std::size_t from) {
    return FindAtCharacterStart(text, what, 0, from, table);
  };
  const std::size_t open = find(rows, 0);
  if (open == std::string_view::npos) {
    error = "the list template has no block of rows: " + rows + " ... " + end;
    return std::nullopt;
  }
  const std::size_t inside = open + rows.size();
  if (find(rows, inside) != std::string_view::npos) {
    error = "the list template has " + rows + " twice: it may have one block of rows";
    return std::nullopt;
  }
  const std::size_t close = find(end, inside);
  if (close == std::string_view::npos) {
    error = "the list template's block of rows has no " + end + " after " + rows;
    return std::nullopt;
  }
  const std::size_t stray = find(end, 0);
  if (stray < open || find(end, close + end.size()) != std::string_view::npos) {
    error = "the list template has " + end + " outside its block of rows";
    return std::nullopt;
  }
  return ListTemplate{std::string(text.substr(0, open)),
                      std::string(text.substr(inside, close - inside)),
                      std::string(text.substr(close + end.size()))};
}

ListPages::ListPages(ListTemplate listTemplate, std::string outputName)
    : template_(std::move(listTemplate)), outputText_(std::move(outputName)) {}

void ListPages::Attach(const RunContext& run) {
  run_ = &run;
  outputName_ = std::make_unique<NameTemplate>(outputText_, run);
  head_ = PartContext(run, template_.head);
  row_ = PartContext(run, template_.row);
  tail_ = PartContext(run, template_.tail);
}

std::string_view ListPages::Piece(std::size_t index) const {
  const std::size_t start = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(bytes_).substr(start, ends_[index] - start);
}

void ListPages::FieldsOf(const Row& row, FieldList& fields) const {
  fields.resize(row.pieces - 1);
  for (std::uint32_t i = 1; i < row.pieces; ++i) fields[i - 1].assign(Piece(row.firstPiece + i));
}

void ListPages::Noted(const FieldList& fields, const MergedRecord& record) {
  Row row{record.recordNumber, static_cast<std::uint32_t>(fields.size() + 1), ends_.size(), 0};
  bytes_.append(record.outputName);
  ends_.push_back(bytes_.size());
  for (const std::string& field : fields) {
    bytes_.append(field);
    ends_.push_back(bytes_.size());
  }
  outputName_->Fill(fields, record.recordNumber, name_);
  const auto [list, fresh] = lists_.try_emplace(name_, names_.size());
  if (fresh) names_.push_back(name_);
  row.list = list->second;
  rows_.push_back(row);
}

void ListPages::Done(const MergedRecord& record, OutputOutcome outcome) {
  // Records that were never reported (a run stopped from outside) stay out of every list.
  while (reported_ < rows_.size() && rows_[reported_].recordNumber < record.recordNumber) {
    ++reported_;
  }
  if (reported_ == rows_.size() || rows_[reported_].recordNumber != record.recordNumber) return;
  rows_[reported_++].kept = outcome == OutputOutcome::Written ||
                            outcome == OutputOutcome::Unchanged ||
                            outcome == OutputOutcome::WouldWrite;
}

void ListPages::AppendOwn(std::string& text, std::string_view name,
                          std::string_view value) const {
  ReplaceAll(text, OwnPlaceholder(run_->settings, name), value, run_->table);
}

// The text of part filled from row's fields, then its own placeholders: "#count" (when count is
// given), "#record" and "#file", the page's name with "/" between its folders, HTML-escaped.
std::string ListPages::FillPart(const RunContext& part, const Row& row, std::size_t count) {
  FieldsOf(row, fields_);
  std::string text;
  FillTemplate(part, fields_, scratch_, text);
  if (count != 0) AppendOwn(text, "count", std::to_string(count));
  AppendOwn(text, "record", std::to_string(row.recordNumber));
  std::string file;
  ForEachPathComponent(Piece(row.firstPiece), run_->rules, run_->table,
                       [&](std::string_view component, bool separated) {
                         file.append(component);
                         if (separated) file.push_back('/');
                         return true;
                       });
  std::string escaped;
  AppendTranslatedValue(escaped, file, kHtml, run_->breakByte, run_->table);
  AppendOwn(text, "file", escaped);
  return text;
}

std::uint32_t ListPages::Write(const RunContext& run, RunReporter& reporter) {
  std::vector<std::vector<std::size_t>> members(names_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].kept) members[rows_[i].list].push_back(i);
  }
  std::uint32_t failed = 0;
  MergedRecord list;
  for (std::size_t l = 0; l < names_.size(); ++l) {
    if (members[l].empty()) continue;
    const Row& first = rows_[members[l].front()];
    const std::size_t count = members[l].size();
    list.content = FillPart(*head_, first, count);
    for (const std::size_t i : members[l]) list.content += FillPart(*row_, rows_[i], 0);
    list.content += FillPart(*tail_, first, count);
    list.outputName = names_[l];
    list.recordNumber = first.recordNumber;
    list.fieldCount = 0;
    std::optional<std::string> path =
        JoinOutputPath(run.folderPrefix, list.outputName, run.rules, run.table, true);
    list.accepted = path.has_value();
    list.outputPath = path.value_or(std::string());
    list.fileKey = list.accepted ? OutputFileKey(run, list.outputName) : std::string();
    platform::ErrorCode reason = 0;
    OutputOutcome outcome = OutputOutcome::Failed;
    try {
      outcome = WriteOutputFile(list, run, &reason);
    } catch (const platform::FileError& error) {
      reporter.WriteFailed(list, error);
      throw;
    }
    if (!reporter.Record(list, outcome, reason)) ++failed;
  }
  return failed;
}

}  // namespace velmora
