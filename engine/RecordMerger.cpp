#include "engine/RecordMerger.h"

#include "engine/OutputPath.h"
#include "engine/RunChoices.h"

namespace velmora {

void SplitAndNameRecord(std::string& line, std::uint32_t recordNumber, const RunContext& context,
                        FieldList& fields, MergedRecord& record, LineAfterSplit after) {
  SplitFields(line, context.separator, context.table, fields);
  if (after == LineAfterSplit::FreeIfHuge && line.size() > kKeptLineBytes) {
    std::string().swap(line);
  }
  record.fieldCount = static_cast<std::uint32_t>(fields.size());
  record.skipped = context.choices != nullptr && !context.choices->Take(fields);
  if (record.skipped) {
    record.recordNumber = recordNumber;
    record.accepted = false;
    return;
  }
  NameOutputFile(context, fields, recordNumber, record);
  if (context.choices != nullptr && record.accepted) context.choices->Named(fields, record);
  // Once per record, for every place that must know which records write one file.
  if (record.accepted) {
    OutputFileKey(context, record.outputName, record.fileKey);
  } else {
    record.fileKey.clear();
  }
}

void BuildMergedRecord(std::string& line, std::uint32_t recordNumber, const RunContext& context,
                       MergeScratch& scratch, MergedRecord& record, LineAfterSplit after) {
  SplitAndNameRecord(line, recordNumber, context, scratch.fields, record, after);
  if (!record.skipped) FillTemplate(context, scratch.fields, scratch.fill, record.content);
}

}  // namespace velmora
