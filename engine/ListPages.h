// List files: after the pages, one file per group of records that list the pages, made from a
// list template whose block of rows repeats once per record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/FieldSplitter.h"
#include "engine/NameTemplate.h"
#include "engine/RunContext.h"
#include "engine/RunEvents.h"
#include "engine/RunReporter.h"
#include "engine/TemplateFill.h"

namespace velmora {

// A list template split at its block of rows: "#rows" and "#end" placeholders around the text
// that repeats once per record.
struct ListTemplate {
  std::string head;  // before the block
  std::string row;   // the block's text
  std::string tail;  // after the block
};

// Splits text at its one block of rows (the placeholders "#rows" and "#end" written with lead and
// tail, found where a character starts). Nothing, with error set to a one-line reason, when it has
// no such block or more than one.
std::optional<ListTemplate> SplitListTemplate(std::string_view text,
                                              const GeneratorSettings& settings,
                                              const CodePageTable& table, std::string& error);

class ListPages {
 public:
  // outputName: the name of each record's list, filled like a name template.
  ListPages(ListTemplate listTemplate, std::string outputName);
  ListPages(const ListPages&) = delete;
  ListPages& operator=(const ListPages&) = delete;

  // Takes up the page run's settings, column names and output folder; before the first record.
  void Attach(const RunContext& run);
  // A record whose page is about to be written, on the run's thread in record order: keeps its
  // fields, its page's name and its list's name until its outcome comes.
  void Noted(const FieldList& fields, const MergedRecord& record);
  // The outcome of a noted record, in record order: a page written, unchanged or that a dry run
  // would write puts the record in its list. Outcomes of records never noted are ignored.
  void Done(const MergedRecord& record, OutputOutcome outcome);
  // Writes each list that holds a record, in the order of their first records, as a page is
  // written (WriteOutputFile, then reporter), and returns how many could not be opened. A write
  // failure raises platform::FileError after reporter has named the file.
  std::uint32_t Write(const RunContext& run, RunReporter& reporter);

 private:
  struct Row {
    std::uint32_t recordNumber;
    std::uint32_t fieldCount;
    std::size_t firstPiece;  // into ends_: the page's name, then the fields kept
    std::size_t list;        // into names_
    bool everyField;         // every field is kept, not only those of usedFields_
    bool kept = false;
  };
  std::string_view Piece(std::size_t index) const;
  // Notes which of the first count fields the list's texts name.
  void FindUsedFields(std::size_t count);
  void FieldsOf(const Row& row, FieldList& fields) const;
  std::string FillPart(const RunContext& part, const Row& row, std::size_t count);

  ListTemplate template_;
  std::string outputText_;
  const RunContext* run_ = nullptr;
  std::unique_ptr<NameTemplate> outputName_;
  std::unique_ptr<RunContext> head_, row_, tail_;
  // The fields whose placeholder (numbered or named) the list's texts hold, in order; only they
  // are kept of a record, unless one of their values holds the lead's first byte and so might
  // make a placeholder of another field, when the record keeps every field.
  std::vector<std::size_t> usedFields_;
  std::size_t fieldsLookedAt_ = 0;
  std::string countPlaceholder_, recordPlaceholder_, filePlaceholder_;
  std::string bytes_;               // the names and fields of the rows, one after the other
  std::vector<std::size_t> ends_;   // where each piece of bytes_ ends
  std::vector<Row> rows_;
  std::size_t reported_ = 0;        // rows_ before this have had their outcome
  std::vector<std::string> names_;  // the lists, in the order of their first records
  std::unordered_map<std::string, std::size_t> lists_;
  std::string name_;
  FieldList fields_;
  FillScratch scratch_;
};

}  // namespace velmora
