#include "engine/GenerationRun.h"

#include <exception>
#include <new>
#include <utility>

#include "engine/OutputWriter.h"
#include "engine/RecordMerger.h"
#include "engine/RecordReader.h"
#include "engine/SystemTexts.h"
#include "engine/WriterPipeline.h"

namespace velmora {

namespace {

void AppendLine(std::string& log, const std::string& line) {
  log.append(line);
  log.append("\r\n");
}

// Keeps the wait cursor on for the life of the run, whichever way it ends.
class WaitCursor {
 public:
  explicit WaitCursor(RunHost& host) : host_(host) { host_.BeginWaitCursor(); }
  ~WaitCursor() { host_.EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  RunHost& host_;
};

// Reads the next record into line: false at the end of the input, or when inspector ends the run
// before record recordNumber.
bool ReadInspectedRecord(InputStream& stream, std::string& line, std::uint32_t recordNumber,
                         RunInspector* inspector) {
  const std::uint64_t start = stream.BytesConsumed();
  if (!ReadRecord(stream, line)) return false;
  return inspector == nullptr || inspector->InspectRecord(line, recordNumber, start);
}

}  // namespace

bool LoadTemplate(RunState& state, const std::string& path, RunHost& host,
                  platform::FileIdentity* identity) {
  const SystemTexts& texts = Texts();
  platform::InputFile file;
  if (const platform::Status opened = file.Open(path); !opened) {
    state.OpenError = opened.error();
    host.SetStatus(texts.templateOpenFailed);
    AppendLine(state.RunLog, texts.templateOpenFailed);
    return false;
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
    state.OpenError = got.error();
    host.SetStatus(texts.templateReadFailed);
    AppendLine(state.RunLog, texts.templateReadFailed);
    return false;
  }
  return true;
}

RunOutcome OpenRun(RunState& state, const GeneratorSettings& settings, RunHost& host,
                   const RunEnvironment& environment,
                   const std::function<void(const OpenedRun&)>& readRecords) {
  const SystemTexts& texts = Texts();
  const CodePageTable& table =
      environment.table != nullptr ? *environment.table : ProcessCodePageTable();
  const platform::PathRules& rules =
      environment.rules != nullptr ? *environment.rules : platform::NativePathRules();

  state.RunLog.clear();
  state.OpenError = 0;
  AppendLine(state.RunLog, texts.rule);
  AppendLine(state.RunLog, texts.inputLabel);
  AppendLine(state.RunLog, settings.Input);
  AppendLine(state.RunLog, texts.templateLabel);
  AppendLine(state.RunLog, settings.Template);
  AppendLine(state.RunLog, texts.outputLabel);
  AppendLine(state.RunLog, settings.Output);
  AppendLine(state.RunLog, texts.rule);

  platform::InputFile input;
  if (const platform::Status opened = input.Open(settings.Input); !opened) {
    state.OpenError = opened.error();
    host.SetStatus(texts.inputOpenFailed);
    AppendLine(state.RunLog, texts.inputOpenFailed);
    host.Beep(kBeepError);
    return RunOutcome::InputFailed;
  }

  if (settings.FieldSeparator == 0) {
    state.SeparatorChar = ',';
    AppendLine(state.RunLog, texts.separatorComma);
  } else if (settings.FieldSeparator == 1) {
    state.SeparatorChar = '\t';
    AppendLine(state.RunLog, texts.separatorTab);
  }

  platform::FileIdentity templateIdentity;
  if (!LoadTemplate(state, settings.Template, host, &templateIdentity)) {
    host.Beep(kBeepError);
    return RunOutcome::TemplateFailed;
  }
  // In UTF-8 a byte-order mark at the start of the template or the input says how the file is
  // encoded; it is no text of the page and no part of the first field or of a file name. In the
  // other code pages its bytes are characters like any others.
  const bool skipByteOrderMark = table.CodePage() == kUtf8CodePage;
  DropByteOrderMark(state.TemplateText, skipByteOrderMark);

  FileByteSource file(input);
  ByteOrderMarkSkipper source(file, skipByteOrderMark);
  InputStream stream(source, environment.readBufferSize,
                     RecordEnds{environment.lineEnds, settings.FieldBreak == 0 ? '\x0A' : '\x0B',
                                &table});

  // The header comes before the context: a column named for the file names sets the field.
  HeaderReport report;
  GeneratorSettings namedSettings;
  const GeneratorSettings* runSettings = &settings;
  if (environment.header) {
    // An input without even a header is a run of no records all the same.
    if (ReadRecord(stream, state.CurrentLine)) {
      FieldList names;
      SplitFields(state.CurrentLine, state.SeparatorChar, table, names);
      report.columns = ReadColumnNames(names);
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
      input.Close();
      return RunOutcome::Stopped;
    }
  }

  RunContext context(*runSettings, state.TemplateText, state.SeparatorChar, table, rules);
  context.output = environment.output;
  context.observer = environment.observer;
  PredictedFiles predicted;
  if (environment.output.dryRun && environment.output.changedOnly) context.predicted = &predicted;
  if (auto id = input.Identity()) context.protectedFiles.push_back(*id);
  if (templateIdentity != platform::FileIdentity{}) {
    context.protectedFiles.push_back(templateIdentity);
  }
  for (const std::string& path : environment.protectedPaths) {
    if (auto id = platform::IdentifyFile(path)) context.protectedFiles.push_back(*id);
  }
  if (environment.header) {
    context.namedPlaceholders =
        NamedPlaceholders(report.columns, settings.ReplaceLead, settings.ReplaceTail);
  }
  readRecords(OpenedRun{stream, input.Size(), context});
  input.Close();
  return RunOutcome::Completed;
}

RunSummary GenerationRun(RunState& state, const GeneratorSettings& settings, RunHost& host,
                         const RunEnvironment& environment) {
  WaitCursor waitCursor(host);
  RunSummary summary;
  std::uint32_t n = 1;
  summary.outcome = OpenRun(state, settings, host, environment, [&](const OpenedRun& run) {
    RunInspector* inspector = environment.inspector;
    if (inspector != nullptr && !inspector->InspectTemplate(run.context.templateText)) return;
    // The merge may free a huge line's storage; the next read fills the line afresh anyway.
    ResponsiveTicker ticker(host);
    if (environment.writerThreads > 0) {
      WriterPipeline pipeline(run.context, state.RunLog, host, environment.writerThreads,
                              environment.fillOnWriters);
      try {
        while (ReadInspectedRecord(run.stream, state.CurrentLine, n, inspector)) {
          host.ShowProgress(n, run.stream.BytesConsumed(), run.inputSize);
          pipeline.Submit(state.CurrentLine, n, LineAfterSplit::FreeIfHuge);
          ticker.Tick();
          ++n;
        }
      } catch (...) {
        // Memory ran out in the read or the merge: the records before are written and logged as
        // on one thread, unless one of them failed first, which then is the run's failure.
        std::exception_ptr failure = std::current_exception();
        try {
          pipeline.Finish();
        } catch (...) {
          failure = std::current_exception();
        }
        std::rethrow_exception(failure);
      }
      summary.failedFiles = pipeline.Finish();
    } else {
      MergeScratch scratch;
      MergedRecord record;
      while (ReadInspectedRecord(run.stream, state.CurrentLine, n, inspector)) {
        host.ShowProgress(n, run.stream.BytesConsumed(), run.inputSize);
        if (!MergeRecord(state.CurrentLine, n, run.context, scratch, record, state.RunLog, host,
                         LineAfterSplit::FreeIfHuge)) {
          ++summary.failedFiles;
        }
        ticker.Tick();
        ++n;
      }
    }
    // A read error is no end of the input: the records after it would be lost without a word, so
    // the run ends like one whose output cannot be written, naming the input file.
    if (run.stream.Failed()) {
      throw platform::FileError(platform::FileErrorCause::HardIO, settings.Input,
                                run.stream.ReadError());
    }
    summary.lfWithoutCr = run.stream.LfWithoutCr();
  });
  if (summary.outcome != RunOutcome::Completed) return summary;

  summary.records = n - 1;
  const std::string finished = FinishedText(summary.records);
  host.SetStatus(finished);
  AppendLine(state.RunLog, Texts().rule);
  AppendLine(state.RunLog, finished);
  host.Beep(kBeepOk);
  return summary;
}

}  // namespace velmora
