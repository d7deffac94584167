// Writing a merged record's file, and telling the run what became of it: the log line, and for a
// file that cannot be opened the failure text in the status line with the error beep.
#pragma once

#include <string>

#include "engine/RunContext.h"
#include "engine/RunHost.h"

namespace velmora {

// Creates (or cuts) the record's file and writes the filled template into it; by context.output,
// only probes it (dry run) or leaves a file that holds exactly those bytes untouched (changed
// only). A file that no output may replace, a refused name and an open failure give Failed. Only
// the file system is touched, so that files may be written on a thread of their own; the outcome
// goes to ReportOutput in record order, with *reason (when given) the reason of a failed open
// (0 for a refused name or a dry run). A write or close failure raises platform::FileError.
OutputOutcome WriteOutputFile(const MergedRecord& record, const RunContext& context,
                              platform::ErrorCode* reason = nullptr);

// Appends the record's line to runLog for outcome: "path -> ok", "path -> dry run" or
// "path -> unchanged", and tells context.observer; or for Failed the open-failure text, which
// also goes to the status line with an error beep, and to context.observer with reason.
// Returns false for Failed.
bool ReportOutput(const MergedRecord& record, OutputOutcome outcome, const RunContext& context,
                  std::string& runLog, RunHost& host, platform::ErrorCode reason = 0);

}  // namespace velmora
