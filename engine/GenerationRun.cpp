#include "engine/GenerationRun.h"

#include <exception>
#include <new>
#include <utility>

#include "engine/OutputWriter.h"
#include "engine/RecordMerger.h"
#include "engine/RecordReader.h"
#include "engine/RunReporter.h"
#include "engine/WriterPipeline.h"

namespace velmora {

namespace {

// Tells the host that the run began, and that it ended whichever way it ends.
class RunningEvents {
 public:
  explicit RunningEvents(RunEvents& events) : events_(events) { events_.RunStarted(); }
  ~RunningEvents() { events_.RunEnded(); }
  RunningEvents(const RunningEvents&) = delete;
  RunningEvents& operator=(const RunningEvents&) = delete;

 private:
  RunEvents& events_;
};

// The input as a run reads it: its records, and how far into the file each one began.
struct RecordSource {
  InputStream& stream;
  const ByteOrderMarkSkipper& mark;
  RunInspector* inspector;
};

// Reads the next record into line: false at the end of the input, or when the inspector ends the
// run before record recordNumber (stopped is then set).
bool ReadInspectedRecord(const RecordSource& input, std::string& line, std::uint32_t recordNumber,
                         bool& stopped) {
  if (!ReadRecord(input.stream, line)) return false;
  if (input.inspector == nullptr) return true;
  RecordPlace place;
  place.offset = input.stream.RecordStart() + input.mark.Dropped();
  if (input.stream.Ends() == LineEnds::Any) {
    place.line = input.stream.RecordLine();
    place.quotedBreaks = input.stream.QuotedBreaks();
  }
  stopped = !input.inspector->InspectRecord(line, recordNumber, place);
  return !stopped;
}

// Loads the template file whole into state.TemplateText; nothing when it could be, else why not,
// with the system's reason in *error. Memory running out raises std::bad_alloc.
std::optional<RunFailure> LoadTemplate(RunState& state, const std::string& path,
                                       platform::FileIdentity* identity,
                                       platform::ErrorCode* error) {
  platform::InputFile file;
  if (const platform::Status opened = file.Open(path); !opened) {
    *error = opened.error();
    return RunFailure::TemplateOpen;
  }
  if (identity != nullptr) {
    if (auto id = file.Identity()) *identity = *id;
  }
  // The template is read to its end: a device or a pipe has no size of its own (an empty device
  // is an empty template). A file's size only sets aside the memory at once, so that a template
  // larger than memory fails before it is read.
  if (std::optional<std::uint64_t> size = file.Size()) {
    if (*size > state.TemplateText.max_size()) throw std::bad_alloc();
    state.TemplateText.reserve(static_cast<std::size_t>(*size));
  }
  state.TemplateText.clear();
  platform::Result<std::size_t> got = 0;
  char buffer[1 << 16];
  for (;;) {
    got = file.Read(buffer, sizeof buffer);
    if (!got || *got == 0) break;
    state.TemplateText.append(buffer, *got);
  }
  if (!got) {
    *error = got.error();
    return RunFailure::TemplateRead;
  }
  return std::nullopt;
}

// What a started run reads its records from, and the data that all its records share.
struct OpenedRun {
  const RecordSource& records;
  InputStream& stream;
  std::uint64_t templateMarkBytes;  // of a byte-order mark dropped from the template
  const platform::InputFile& input;  // what stream reads, for the reason of a read error
  std::optional<std::uint64_t> inputSize;  // when the input has a size of its own
  const RunContext& context;
  bool firstRecordRead;  // RunState::CurrentLine holds record 1, read and inspected
};

// Starts a run as GenerationRun says, up to its first record, and hands it to readRecords, unless
// the input or the template could not be had (summary.openError then says why) or checkHeader
// stopped the run. After readRecords the input is closed and the result is Completed; what
// readRecords raises goes on to the caller, the input closed.
RunOutcome OpenRun(RunState& state, const GeneratorSettings& settings, RunReporter& reporter,
                   const RunEnvironment& environment, RunSummary& summary,
                   const std::function<void(const OpenedRun&)>& readRecords) {
  const CodePageTable& table =
      environment.table != nullptr ? *environment.table : ProcessCodePageTable();
  const platform::PathRules& rules =
      environment.rules != nullptr ? *environment.rules : platform::NativePathRules();

  reporter.Begin(settings);

  platform::InputFile input;
  if (const platform::Status opened = input.Open(settings.Input); !opened) {
    summary.openError = opened.error();
    reporter.Failed(RunFailure::InputOpen, summary.openError);
    return RunOutcome::InputFailed;
  }

  if (settings.FieldSeparator == 0 || settings.FieldSeparator == 1) {
    state.SeparatorChar = settings.FieldSeparator == 0 ? ',' : '\t';
    reporter.Separator(state.SeparatorChar);
  }

  platform::FileIdentity templateIdentity;
  if (const std::optional<RunFailure> failure =
          LoadTemplate(state, settings.Template, &templateIdentity, &summary.openError)) {
    reporter.Failed(*failure, summary.openError);
    return RunOutcome::TemplateFailed;
  }
  // In UTF-8 a byte-order mark at the start of the template or the input says how the file is
  // encoded; it is no text of the page and no part of the first field or of a file name. In the
  // other code pages its bytes are characters like any others.
  const bool skipByteOrderMark = table.CodePage() == kUtf8CodePage;
  const std::size_t templateSize = state.TemplateText.size();
  DropByteOrderMark(state.TemplateText, skipByteOrderMark);
  const std::uint64_t templateMarkBytes = templateSize - state.TemplateText.size();

  bool lfSeen = false;
  const platform::Result<LineEnds> lineEnds = ChooseLineEnds(environment.lineEnds, input, lfSeen);
  if (!lineEnds) {
    throw platform::FileError(platform::FileErrorCause::HardIO, settings.Input, lineEnds.error());
  }
  summary.autoChoseLf = environment.lineEnds == LineEnds::Auto && *lineEnds == LineEnds::Any &&
                        lfSeen;
  FileByteSource file(input);
  ByteOrderMarkSkipper source(file, skipByteOrderMark);
  InputStream stream(source, environment.readBufferSize,
                     RecordEnds{*lineEnds, settings.FieldBreak == 0 ? '\x0A' : '\x0B', &table});
  const RecordSource records{stream, source, environment.inspector};

  // The header comes before the context: a column named for the file names sets the field.
  HeaderReport report;
  GeneratorSettings namedSettings;
  const GeneratorSettings* runSettings = &settings;
  bool firstRecordRead = false;  // state.CurrentLine holds record 1, read and inspected
  if (environment.header) {
    // An input without even a header is a run of no records all the same. A header that the
    // inspector refuses ends the run before any record, as a completed one.
    if (ReadInspectedRecord(records, state.CurrentLine, 0, summary.inspectorStopped)) {
      FieldList names;
      SplitFields(state.CurrentLine, state.SeparatorChar, table, names);
      report.columns = ReadColumnNames(names);
    } else if (summary.inspectorStopped) {
      summary.lfWithoutCr = stream.LfWithoutCr();
      return RunOutcome::Completed;
    }
    report.unknownPlaceholders = UnknownNamedPlaceholders(
        state.TemplateText, settings.ReplaceLead, settings.ReplaceTail, report.columns, table);
    if (environment.nameColumn) {
      const std::optional<std::size_t> field = FindColumn(report.columns, *environment.nameColumn);
      report.nameColumnMissing = !field;
      namedSettings = settings;
      namedSettings.Rule = 1;
      namedSettings.RuleNumber = field ? static_cast<std::uint32_t>(*field) : 0;
      runSettings = &namedSettings;
    }
    const bool goOn = !environment.checkHeader || environment.checkHeader(report);
    if (!goOn || report.nameColumnMissing) {
      summary.lfWithoutCr = stream.LfWithoutCr();
      input.Close();
      return RunOutcome::Stopped;
    }
  } else if (environment.checkHeader) {
    // Without a header no placeholder names a column: the check is told of the template's named
    // ones, and whether the first record holds their names (a header that was not asked for).
    report.unknownPlaceholders = UnknownNamedPlaceholders(
        state.TemplateText, settings.ReplaceLead, settings.ReplaceTail, report.columns, table);
    if (!report.unknownPlaceholders.empty()) {
      firstRecordRead =
          ReadInspectedRecord(records, state.CurrentLine, 1, summary.inspectorStopped);
      if (summary.inspectorStopped) return RunOutcome::Completed;
      if (firstRecordRead) {
        FieldList fields;
        SplitFields(state.CurrentLine, state.SeparatorChar, table, fields);
        report.firstRecordNames = FirstRecordNames(report.unknownPlaceholders, fields,
                                                   settings.ReplaceLead, settings.ReplaceTail);
      }
      if (!environment.checkHeader(report)) {
        input.Close();
        return RunOutcome::Stopped;
      }
    }
  }

  RunContext context(*runSettings, state.TemplateText, state.SeparatorChar, table, rules);
  context.output = environment.output;
  PredictedFiles predicted;
  if (environment.output.dryRun && environment.output.changedOnly) context.predicted = &predicted;
  if (auto id = input.Identity()) context.protectedFiles.push_back(*id);
  if (templateIdentity != platform::FileIdentity{}) {
    context.protectedFiles.push_back(templateIdentity);
  }
  for (const std::string& path : environment.protectedPaths) {
    if (auto id = platform::IdentifyFile(path)) context.protectedFiles.push_back(*id);
  }
  // A folder that cannot be held (a missing one) leaves each file to fail by its path.
  if (environment.output.sink == nullptr) (void)context.outputFolder.Hold();
  if (environment.header) {
    context.namedPlaceholders =
        NamedPlaceholders(report.columns, settings.ReplaceLead, settings.ReplaceTail);
  }
  if (environment.choices != nullptr) environment.choices->Attach(context);
  readRecords(OpenedRun{records, stream, templateMarkBytes, input, input.Size(), context,
                        firstRecordRead});
  input.Close();
  return RunOutcome::Completed;
}

}  // namespace

RunSummary GenerationRun(RunState& state, const GeneratorSettings& settings, RunEvents& events,
                         const RunEnvironment& environment) {
  RunningEvents running(events);
  RunEventsList withChoices{&events, environment.choices};
  RunReporter reporter(state.RunLog, environment.choices != nullptr ? withChoices : events);
  RunSummary summary;
  std::uint32_t n = 1;
  const auto readRecords = [&](const OpenedRun& run) {
    RunInspector* inspector = environment.inspector;
    if (inspector != nullptr &&
        !inspector->InspectTemplate(run.context.templateText, run.templateMarkBytes)) {
      summary.inspectorStopped = true;
      return;
    }
    ResponsiveTicker ticker(events);
    WriterPipeline pipeline(run.context, reporter,
                            WritingOptions{environment.writerThreads, environment.fillOnWriters});
    summary.threadsShort = pipeline.Short();
    try {
      for (;;) {
        if (environment.stopRequested != nullptr && environment.stopRequested()) {
          summary.interrupted = true;
          pipeline.Interrupt();
          break;
        }
        const bool read = n == 1 && run.firstRecordRead;
        if (!read && !ReadInspectedRecord(run.records, state.CurrentLine, n,
                                          summary.inspectorStopped)) {
          break;
        }
        if (environment.onlyRecord && n != *environment.onlyRecord) {
          ++n;
          continue;
        }
        events.Progress(n, run.stream.BytesConsumed(), run.inputSize);
        // The merge may free a huge line's storage; the next read fills the line afresh anyway.
        pipeline.Submit(state.CurrentLine, n, LineAfterSplit::FreeIfHuge);
        ticker.Tick();
        ++n;
        if (environment.onlyRecord) break;
      }
    } catch (...) {
      // Memory ran out in the read or the merge, or a write failed: the records before are
      // written and logged as on one thread, unless one of them failed first, which then is the
      // run's failure.
      std::exception_ptr failure = std::current_exception();
      try {
        pipeline.Finish();
      } catch (...) {
        failure = std::current_exception();
      }
      std::rethrow_exception(failure);
    }
    summary.failedFiles = pipeline.Finish();
    // A read error is no end of the input: the records after it would be lost without a word, so
    // the run ends like one whose output cannot be written, naming the input file.
    if (run.stream.Failed()) {
      throw platform::FileError(platform::FileErrorCause::HardIO, settings.Input,
                                run.stream.ReadError());
    }
    summary.lfWithoutCr = run.stream.LfWithoutCr();
    summary.unclosedQuoteLine = run.stream.UnclosedQuoteLine();
    const bool readToTheEnd =
        !summary.inspectorStopped && !summary.interrupted && !environment.onlyRecord;
    if (readToTheEnd && environment.choices != nullptr) {
      summary.failedFiles += environment.choices->WriteLists(run.context, reporter);
    }
    summary.madeFolders = run.context.outputFolder.MadeFolders();
    if (readToTheEnd && run.inputSize.value_or(0) != 0) {
      summary.inputSizeAtOpen = *run.inputSize;
      summary.inputBytesRead = run.stream.BytesConsumed() + run.records.mark.Dropped();
      summary.inputChanged = summary.inputBytesRead != summary.inputSizeAtOpen;
    }
  };
  summary.outcome = OpenRun(state, settings, reporter, environment, summary, readRecords);
  if (summary.outcome != RunOutcome::Completed) return summary;

  summary.records = n - 1;
  if (!summary.interrupted) reporter.Finished(summary.records);
  return summary;
}

}  // namespace velmora
