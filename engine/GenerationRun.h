// One pass over the whole input file that writes one output file per record, with its run log,
// status texts and closing beep.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/RunContext.h"
#include "engine/RunHost.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

// The working data of runs, owned by the host (the main window keeps it for its lifetime).
struct RunState {
  // The comma until a run sets it, so that a run with no separator chosen still has one.
  char SeparatorChar = ',';
  std::string RunLog;        // the last run's log, lines ending in CR LF
  std::string TemplateText;  // the template file as the last run loaded it
  std::string CurrentLine;   // the record line being processed
};

enum class RunOutcome {
  Completed,       // every record was handed to the merge
  InputFailed,     // the input file could not be opened
  TemplateFailed,  // the template could not be opened or read
};

struct RunSummary {
  RunOutcome outcome = RunOutcome::Completed;
  std::uint32_t records = 0;      // records handed to the merge
  std::uint32_t failedFiles = 0;  // of those, the ones whose file could not be opened
};

// How the run reaches the system; the defaults are the process's own.
struct RunEnvironment {
  const CodePageTable* table = nullptr;          // nullptr: the process code page's
  const platform::PathRules* rules = nullptr;    // nullptr: the system's
  std::size_t readBufferSize = 1 << 16;
  // Threads that write the files while this thread merges the records and reports them; 0
  // writes each file on this thread. The output files, RunLog and the result are those of the
  // run on one thread whatever the number (see WriterPipeline).
  unsigned writerThreads = 0;
  OutputOptions output;                // dry run, changed files only (batch command only)
  OutputObserver* observer = nullptr;  // told of every file written, would be written or unchanged
};

// Loads the template file whole into state.TemplateText. On failure sets the status line, appends
// its RunLog line and returns false. Memory running out raises std::bad_alloc.
bool LoadTemplate(RunState& state, const std::string& path, RunHost& host,
                  platform::FileIdentity* identity = nullptr);

class InputStream;

// What a started run reads its records from, and the data that all its records share.
struct OpenedRun {
  InputStream& stream;
  std::optional<std::uint64_t> inputSize;  // when the input has a size of its own
  const RunContext& context;
};

// Starts a run, the one way that the window, the batch command and the preview share: empties
// RunLog and writes its header, opens the input, chooses the separator (SeparatorChar and its
// RunLog line; any other FieldSeparator keeps the byte of the run before), loads the template,
// drops a UTF-8 byte-order mark from the template and the input in code page 65001, and makes
// the run's context, with the input and the template among the files that no output may replace;
// then hands all that to readRecords. When the input or the template cannot be had, sets the
// status line, appends its RunLog line, beeps the error and returns InputFailed or
// TemplateFailed without calling readRecords. After readRecords the input is closed and the
// result is Completed; what readRecords raises goes on to the caller, the input closed. Memory
// running out raises std::bad_alloc.
RunOutcome OpenRun(RunState& state, const GeneratorSettings& settings, RunHost& host,
                   const RunEnvironment& environment,
                   const std::function<void(const OpenedRun&)>& readRecords);

// Runs one generation with settings (already taken up from the controls). A write or close
// failure of an output file raises platform::FileError, and so does a read error of the input
// (cause HardIO, the input's path); memory running out raises std::bad_alloc. The input file is
// closed and the wait cursor turned off on every way out.
RunSummary GenerationRun(RunState& state, const GeneratorSettings& settings, RunHost& host,
                         const RunEnvironment& environment = {});

}  // namespace velmora
