// Turns one record line into what its output file needs: splits the line into fields, names the
// file (OutputPath.h) and fills the template (TemplateFill.h). WriterPipeline writes and reports
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/FieldSplitter.h"
#include "engine/RunContext.h"
#include "engine/TemplateFill.h"

namespace velmora {

// Working storage reused from record to record, so that merging does not allocate.
struct MergeScratch {
  FieldList fields;
  FillScratch fill;
};

// A record line longer than this is freed once it is split when the caller asks for it.
inline constexpr std::size_t kKeptLineBytes = 8u << 20;

// What becomes of the record line once it is split. FreeIfHuge: a line longer than
// kKeptLineBytes is emptied and its storage freed, so that one huge record is never held as its
// line, its fields and its output at once (the run's way, which reads the next line afresh
// anyway); a shorter line is left as it is.
enum class LineAfterSplit { Keep, FreeIfHuge };

// Splits line at the run's separator into fields and names the output file of record
// recordNumber into record (NameOutputFile), with its count of fields; record.content is left as
// it is, for FillTemplate from fields. A record that context.choices refuses is only marked
// skipped, and one that it names is noted there. Memory running out raises std::bad_alloc.
void SplitAndNameRecord(std::string& line, std::uint32_t recordNumber, const RunContext& context,
                        FieldList& fields, MergedRecord& record, LineAfterSplit after);

// SplitAndNameRecord, then FillTemplate into record.content: the whole merged record. Memory
// running out raises std::bad_alloc.
void BuildMergedRecord(std::string& line, std::uint32_t recordNumber, const RunContext& context,
                       MergeScratch& scratch, MergedRecord& record,
                       LineAfterSplit after = LineAfterSplit::Keep);

}  // namespace velmora
