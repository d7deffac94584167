// One pass over the whole input file that writes one output file per record, with its run log
// and its events (RunEvents).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ColumnNames.h"
#include "engine/RecordReader.h"
#include "engine/RunChoices.h"
#include "engine/RunContext.h"
#include "engine/RunEvents.h"
#include "engine/WriterPipeline.h"
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
  Stopped,         // the check of the header's columns ended the run before its first record
};

// What a run learnt from its header record, told before the first record is read; without a
// header, what the template's named placeholders came to, told before record 1 is merged.
struct HeaderReport {
  ColumnNames columns;  // none without a header
  // Texts of the template shaped like a named placeholder whose name is no column.
  std::vector<std::string> unknownPlaceholders;
  // Without a header: those of unknownPlaceholders whose names are fields of record 1.
  std::vector<std::string> firstRecordNames;
  // RunEnvironment::nameColumn is no column of the header: the run stops.
  bool nameColumnMissing = false;
};

struct RunSummary {
  RunOutcome outcome = RunOutcome::Completed;
  std::uint32_t records = 0;      // records handed to the merge
  std::uint32_t failedFiles = 0;  // of those, the ones whose file could not be opened
  // InputFailed, TemplateFailed: why the file could not be opened or read (the system's code, or
  // platform::kErrorNotPlainFile for a folder); 0 when the system gave none.
  platform::ErrorCode openError = 0;
  // Records end at CR only, and the input held LF bytes but no CR: it was one record.
  bool lfWithoutCr = false;
  // LineEnds::Auto chose Any for an input that holds LF bytes but no CR.
  bool autoChoseLf = false;
  // Records end at any line end, and a double quote that opened on this line of the input was
  // never closed: the last record ran to the end of the file. 0: none.
  std::uint64_t unclosedQuoteLine = 0;
  // The input was read to its end, and the bytes read were not the size it had when it was
  // opened: it changed during the run, and a record may have been cut (or one read half new).
  // A size of 0 counts as none, as files of the system's own (/proc) give it.
  bool inputChanged = false;
  // RunEnvironment::stopRequested stopped the run before record records + 1.
  bool interrupted = false;
  std::uint64_t inputSizeAtOpen = 0;
  std::uint64_t inputBytesRead = 0;
  // RunEnvironment::inspector ended the run before a record (or before the first, at the
  // template or the header).
  bool inspectorStopped = false;
  // The folders that the run made inside the output folder (OutputOptions::makeFolders), each
  // as its path there, in the order they were made.
  std::vector<std::string> madeFolders;
  // The system started fewer writing threads than RunEnvironment::writerThreads: the run went on
  // with those (or on its own thread).
  std::optional<ThreadsShort> threadsShort;
};

// Where a record's line came from in the input file.
struct RecordPlace {
  std::uint64_t offset = 0;  // where the record began (a dropped byte-order mark counted)
  // Records that end at any line end: the line of the file where the record began (from 1),
  // and its quoted line breaks, each one byte of the line. Records that end at CR: line 0 and
  // no breaks, the line holding the record's bytes as the file does.
  std::uint64_t line = 0;
  std::span<const QuotedBreak> quotedBreaks;
};

// Looks at a run's template and at each record line before it is merged (the batch command's
// checks of the text); either may end the run there.
class RunInspector {
 public:
  virtual ~RunInspector() = default;
  // The template as the run loaded it, after markBytes of a byte-order mark that the run dropped
  // (0 or 3); false ends the run before any record is read.
  virtual bool InspectTemplate(std::string_view templateText, std::uint64_t markBytes) = 0;
  // The line of record recordNumber (0: the header record), from place in the input file; the
  // records come in file order, each after its line end. false ends the run before this record
  // is merged (the header: before any).
  virtual bool InspectRecord(std::string_view line, std::uint32_t recordNumber,
                             const RecordPlace& place) = 0;
};

// How the run reaches the system; the defaults are the process's own.
struct RunEnvironment {
  const CodePageTable* table = nullptr;          // nullptr: the process code page's
  const platform::PathRules* rules = nullptr;    // nullptr: the system's
  std::size_t readBufferSize = 1 << 16;
  // Threads that write the files while this thread merges the records and reports them; 0
  // writes each file on this thread. The output files, RunLog and the result are those of the
  // run on one thread whatever the number (see WriterPipeline and WritingOptions).
  unsigned writerThreads = 0;
  // With writerThreads: the writing threads fill each record's template too, and this thread
  // only reads, splits and names the records (batch command); else this thread merges them whole.
  bool fillOnWriters = false;
  // Dry run, changed files only (batch command); a sink in place of the files (preview).
  OutputOptions output;
  // Only this record is merged and handed on, and the run ends after it (a preview); the records
  // before it are read and inspected as in a run.
  std::optional<std::uint32_t> onlyRecord;
  // Files besides the input and the template that no output may replace (the settings file in
  // use), known by their identity when the run starts, so that no link or other name reaches them.
  std::vector<std::string> protectedPaths;
  // The first record names the columns (batch command only): it is no record of the run, and
  // placeholders may name columns. checkHeader, when set, is told what the header gave; false
  // ends the run there, with outcome Stopped and no record read. Without a header it is told,
  // when the template holds named placeholders, what they came to (see HeaderReport); false
  // ends the run before record 1 is merged.
  bool header = false;
  std::function<bool(const HeaderReport&)> checkHeader;
  // With header: the files are named by the field of the column so headed (rule 1); a header
  // without that column stops the run after checkHeader.
  std::optional<std::string> nameColumn;
  LineEnds lineEnds = LineEnds::Cr;  // where records end (batch command only)
  RunInspector* inspector = nullptr;   // batch command only
  // Asked between records: true stops the run there, as a request from outside to end it (the
  // batch command on Ctrl+C or SIGTERM). The files being written are finished and reported, no
  // other is started, and the log gets no closing lines (RunSummary::interrupted).
  bool (*stopRequested)() = nullptr;
  // Which records get a page, how pages are named, and the list files written after the pages
  // of a run that went to its end (batch command only); it is told every outcome, as an event.
  RunChoices* choices = nullptr;
};

// Runs one generation with settings (already taken up from the controls), the one way that the
// window, the batch command and the preview share: empties RunLog and writes its header, opens the
// input, chooses the separator (SeparatorChar and its RunLog line; any other FieldSeparator keeps
// the byte of the run before), loads the template, drops a UTF-8 byte-order mark from the template
// and the input in code page 65001, reads the header record when asked (see
// RunEnvironment::header), protects the input, the template and environment.protectedPaths from
// every output, then hands each record to a WriterPipeline and closes the log. When the input or
// the template cannot be had, the result is InputFailed or TemplateFailed (events.RunFailed, its
// RunLog line; no record is read); when checkHeader stops the run, Stopped. environment.inspector,
// when set, sees the template and each record first and may end the run there; the run then
// closes as a completed one with the records merged so far. A write or close failure of an output
// file raises platform::FileError, and so does a read error of the input (cause HardIO, the
// input's path); memory running out raises std::bad_alloc. The input file is closed and
// events.RunEnded told on every way out.
RunSummary GenerationRun(RunState& state, const GeneratorSettings& settings, RunEvents& events,
                         const RunEnvironment& environment = {});

}  // namespace velmora
