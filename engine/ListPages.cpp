#include "engine/ListPages.h"

#include <algorithm>

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
  countPlaceholder_ = OwnPlaceholder(run.settings, "count");
  recordPlaceholder_ = OwnPlaceholder(run.settings, "record");
  filePlaceholder_ = OwnPlaceholder(run.settings, "file");
}

void ListPages::FindUsedFields(std::size_t count) {
  const GeneratorSettings& s = run_->settings;
  std::string placeholder;
  for (std::size_t i = fieldsLookedAt_; i < count; ++i) {
    placeholder.clear();
    AppendFieldPlaceholder(placeholder, s.ReplaceLead, i, s.ReplaceTail);
    const std::string* named =
        i < run_->namedPlaceholders.size() && !run_->namedPlaceholders[i].empty()
            ? &run_->namedPlaceholders[i]
            : nullptr;
    for (const std::string* text :
         {&template_.head, &template_.row, &template_.tail, &outputText_}) {
      const auto holds = [&](const std::string& what) {
        return FindAtCharacterStart(*text, what, 0, 0, run_->table) != std::string::npos;
      };
      if (holds(placeholder) || (named != nullptr && holds(*named))) {
        usedFields_.push_back(i);
        break;
      }
    }
  }
  fieldsLookedAt_ = std::max(fieldsLookedAt_, count);
}

std::string_view ListPages::Piece(std::size_t index) const {
  const std::size_t start = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(bytes_).substr(start, ends_[index] - start);
}

void ListPages::FieldsOf(const Row& row, FieldList& fields) const {
  fields.resize(row.fieldCount);
  std::size_t piece = row.firstPiece + 1;
  if (row.everyField) {
    for (std::string& field : fields) field.assign(Piece(piece++));
    return;
  }
  for (std::string& field : fields) field.clear();
  for (const std::size_t i : usedFields_) {
    if (i >= row.fieldCount) break;
    fields[i].assign(Piece(piece++));
  }
}

void ListPages::Noted(const FieldList& fields, const MergedRecord& record) {
  if (fields.size() > fieldsLookedAt_) FindUsedFields(fields.size());
  const std::string& lead = run_->settings.ReplaceLead;
  // The default text stands in for empty fields, and might start a placeholder too.
  bool everyField = lead.empty() || run_->settings.ReplaceDefault.find(lead.front()) !=
                                        std::string::npos;
  for (const std::size_t i : usedFields_) {
    if (i >= fields.size() || everyField) break;
    everyField = fields[i].find(lead.front()) != std::string::npos;
  }
  Row row{record.recordNumber, static_cast<std::uint32_t>(fields.size()), ends_.size(), 0,
          everyField};
  bytes_.append(record.outputName);
  ends_.push_back(bytes_.size());
  const auto keep = [&](const std::string& field) {
    bytes_.append(field);
    ends_.push_back(bytes_.size());
  };
  if (everyField) {
    for (const std::string& field : fields) keep(field);
  } else {
    for (const std::size_t i : usedFields_) {
      if (i >= fields.size()) break;
      keep(fields[i]);
    }
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

// The text of part filled from row's fields, then its own placeholders: "#count" (when count is
// given), "#record" and "#file", the page's name with "/" between its folders, HTML-escaped.
std::string ListPages::FillPart(const RunContext& part, const Row& row, std::size_t count) {
  FieldsOf(row, fields_);
  std::string text;
  FillTemplate(part, fields_, scratch_, text);
  if (count != 0) ReplaceAll(text, countPlaceholder_, std::to_string(count), run_->table);
  ReplaceAll(text, recordPlaceholder_, std::to_string(row.recordNumber), run_->table);
  std::string file;
  ForEachPathComponent(Piece(row.firstPiece), run_->rules, run_->table,
                       [&](std::string_view component, bool separated) {
                         file.append(component);
                         if (separated) file.push_back('/');
                         return true;
                       });
  std::string escaped;
  AppendTranslatedValue(escaped, file, kHtml, run_->breakByte, run_->table);
  ReplaceAll(text, filePlaceholder_, escaped, run_->table);
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
