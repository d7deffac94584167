#include "engine/RunEvents.h"

namespace velmora {

void RunEventsList::RunStarted() {
  for (RunEvents* events : events_) events->RunStarted();
}

void RunEventsList::RunEnded() {
  for (RunEvents* events : events_) events->RunEnded();
}

void RunEventsList::Progress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                             std::optional<std::uint64_t> inputSize) {
  for (RunEvents* events : events_) events->Progress(recordNumber, bytesRead, inputSize);
}

void RunEventsList::RecordDone(const MergedRecord& record, OutputOutcome outcome,
                               platform::ErrorCode reason) {
  for (RunEvents* events : events_) events->RecordDone(record, outcome, reason);
}

void RunEventsList::RunFailed(RunFailure failure, platform::ErrorCode reason) {
  for (RunEvents* events : events_) events->RunFailed(failure, reason);
}

void RunEventsList::RunFinished(std::uint32_t records) {
  for (RunEvents* events : events_) events->RunFinished(records);
}

void RunEventsList::KeepResponsive() {
  for (RunEvents* events : events_) events->KeepResponsive();
}

}  // namespace velmora
