#include "engine/RunReporter.h"

#include "engine/ProgramTexts.h"
#include "engine/StatusLine.h"

namespace velmora {

void RunReporter::Line(const std::string& text) {
  log_.append(text);
  log_.append("\r\n");
}

void RunReporter::Begin(const GeneratorSettings& settings) {
  const ProgramTexts& texts = Texts();
  log_.clear();
  Line(texts.rule);
  Line(texts.inputLabel);
  Line(settings.Input);
  Line(texts.templateLabel);
  Line(settings.Template);
  Line(texts.outputLabel);
  Line(settings.Output);
  Line(texts.rule);
}

void RunReporter::Separator(char separator) {
  Line(separator == '\t' ? Texts().separatorTab : Texts().separatorComma);
}

bool RunReporter::Record(const MergedRecord& record, OutputOutcome outcome,
                         platform::ErrorCode reason) {
  const char* lineEnd = nullptr;
  switch (outcome) {
    case OutputOutcome::Written: lineEnd = " -> ok\r\n"; break;
    case OutputOutcome::WouldWrite: lineEnd = " -> dry run\r\n"; break;
    case OutputOutcome::Unchanged: lineEnd = " -> unchanged\r\n"; break;
    case OutputOutcome::Failed: Line(OutputOpenFailedText(record.outputName)); break;
    case OutputOutcome::Kept:
    case OutputOutcome::WriteFailed: break;
  }
  if (lineEnd != nullptr) {
    log_.append(record.outputPath);
    log_.append(lineEnd);
  }
  events_.RecordDone(record, outcome, reason);
  return outcome != OutputOutcome::Failed;
}

void RunReporter::WriteFailed(const MergedRecord& record, const platform::FileError& error) {
  Line(FileErrorText(error));
  events_.RecordDone(record, OutputOutcome::WriteFailed, error.OsError());
}

void RunReporter::Failed(RunFailure failure, platform::ErrorCode reason) {
  Line(RunFailureText(failure));
  events_.RunFailed(failure, reason);
}

void RunReporter::Finished(std::uint32_t records) {
  Line(Texts().rule);
  Line(FinishedText(records));
  events_.RunFinished(records);
}

}  // namespace velmora
