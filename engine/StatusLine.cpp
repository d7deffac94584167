#include "engine/StatusLine.h"

#include "engine/ProgramTexts.h"
#include "engine/RunContext.h"

namespace velmora {

const std::string& RunFailureText(RunFailure failure) {
  const ProgramTexts& texts = Texts();
  switch (failure) {
    case RunFailure::InputOpen: return texts.inputOpenFailed;
    case RunFailure::TemplateOpen: return texts.templateOpenFailed;
    case RunFailure::TemplateRead: break;
  }
  return texts.templateReadFailed;
}

std::string OutputOpenFailedText(const std::string& outputName) {
  const ProgramTexts& texts = Texts();
  std::string text = texts.outputOpenFailedLead;
  text.append(outputName);
  text.append(texts.outputOpenFailedTail);
  return text;
}

void StatusLineEvents::RecordDone(const MergedRecord& record, OutputOutcome outcome,
                                  platform::ErrorCode) {
  if (outcome != OutputOutcome::Failed) return;
  SetStatus(OutputOpenFailedText(record.outputName));
  Beep(kBeepError);
}

void StatusLineEvents::RunFailed(RunFailure failure, platform::ErrorCode) {
  SetStatus(RunFailureText(failure));
  Beep(kBeepError);
}

void StatusLineEvents::RunFinished(std::uint32_t records) {
  SetStatus(FinishedText(records));
  Beep(kBeepOk);
}

}  // namespace velmora
