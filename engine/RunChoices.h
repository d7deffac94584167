// What a batch run chooses beyond its settings: which records get a page (RecordFilter), how the
// pages are named (NameTemplate) and which list files follow the pages (ListPages). The run asks
// it about each record on its own thread, in record order, and is told each outcome by it as an
// event.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ListPages.h"
#include "engine/NameTemplate.h"
#include "engine/RecordFilter.h"
#include "engine/RunEvents.h"

namespace velmora {

struct ListRequest {
  ListTemplate listTemplate;
  std::string outputName;  // filled per record like a name template
};

class RunChoices : public RunEvents {
 public:
  RunChoices(std::vector<RecordCondition> conditions, std::optional<std::string> nameTemplate,
             std::optional<ListRequest> list);

  // The header's columns (nullptr: no header): the name of the first condition that no column
  // has, else nothing.
  std::optional<std::string> ResolveColumns(const ColumnNames* columns);
  // Makes the run's context ask this about its records (RunContext::choices); before the first.
  void Attach(RunContext& context);

  // Whether a record with fields gets a page; a refused one is counted (Skipped).
  bool Take(const FieldList& fields) { return filter_.Passes(fields); }
  bool NamesPages() const { return nameTemplate_ != nullptr; }
  // The name of record recordNumber's page by the name template.
  void Name(const FieldList& fields, std::uint32_t recordNumber, std::string& name) {
    nameTemplate_->Fill(fields, recordNumber, name);
  }
  // A record named for writing (see ListPages::Noted).
  void Named(const FieldList& fields, const MergedRecord& record) {
    if (lists_) lists_->Noted(fields, record);
  }
  void RecordDone(const MergedRecord& record, OutputOutcome outcome,
                  platform::ErrorCode reason) override;

  // Writes the list files after the pages (see ListPages::Write); 0 without lists.
  std::uint32_t WriteLists(const RunContext& context, RunReporter& reporter);
  // The records that the conditions refused.
  std::uint32_t Skipped() const { return filter_.Refused(); }

 private:
  RecordFilter filter_;
  std::optional<std::string> nameText_;
  std::unique_ptr<NameTemplate> nameTemplate_;
  std::unique_ptr<ListPages> lists_;
  bool writingLists_ = false;
};

}  // namespace velmora
