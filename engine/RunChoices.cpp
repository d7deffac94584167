#include "engine/RunChoices.h"

namespace velmora {

RunChoices::RunChoices(std::vector<RecordCondition> conditions,
                       std::optional<std::string> nameTemplate, std::optional<ListRequest> list)
    : filter_(std::move(conditions)), nameText_(std::move(nameTemplate)) {
  if (list) {
    lists_ = std::make_unique<ListPages>(std::move(list->listTemplate),
                                         std::move(list->outputName));
  }
}

std::optional<std::string> RunChoices::ResolveColumns(const ColumnNames* columns) {
  return filter_.Resolve(columns);
}

void RunChoices::Attach(RunContext& context) {
  context.choices = this;
  if (nameText_) nameTemplate_ = std::make_unique<NameTemplate>(*nameText_, context);
  if (lists_) lists_->Attach(context);
}

void RunChoices::RecordDone(const MergedRecord& record, OutputOutcome outcome,
                            platform::ErrorCode) {
  if (lists_ && !writingLists_) lists_->Done(record, outcome);
}

std::uint32_t RunChoices::WriteLists(const RunContext& context, RunReporter& reporter) {
  if (!lists_) return 0;
  writingLists_ = true;
  return lists_->Write(context, reporter);
}

}  // namespace velmora
