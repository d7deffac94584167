// A run's events as the main window shows them: one status text at a time, a beep when something
// failed and when the run closes, and the wait cursor for the run's length.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/RunEvents.h"

namespace velmora {

// The two beeps of a run; the window plays them as the system's error and default sounds.
inline constexpr unsigned kBeepOk = 0;     // the run completed
inline constexpr unsigned kBeepError = 1;  // something failed

// The status text of a run that could not start, and of a record whose file could not be opened.
const std::string& RunFailureText(RunFailure failure);
std::string OutputOpenFailedText(const std::string& outputName);

class StatusLineEvents : public RunEvents {
 public:
  // A status text: a failure, or the closing text. Begins with one space.
  virtual void SetStatus(const std::string& text) = 0;
  // Before each record; the status line then reads ProgressText(recordNumber).
  virtual void ShowProgress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                            std::optional<std::uint64_t> inputSize) = 0;
  virtual void Beep(unsigned type) = 0;
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}

  void RunStarted() override { BeginWaitCursor(); }
  void RunEnded() override { EndWaitCursor(); }
  void Progress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                std::optional<std::uint64_t> inputSize) override {
    ShowProgress(recordNumber, bytesRead, inputSize);
  }
  // A file that could not be opened: its failure text and the error beep.
  void RecordDone(const MergedRecord& record, OutputOutcome outcome,
                  platform::ErrorCode reason) override;
  void RunFailed(RunFailure failure, platform::ErrorCode reason) override;
  void RunFinished(std::uint32_t records) override;
};

}  // namespace velmora
