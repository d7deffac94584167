// The batch command's status line: progress and failures on standard error.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "engine/RunEvents.h"

namespace velmora {

// Told of a run's events on the run's thread. On a terminal the status is one line redrawn in
// place with a progress bar; elsewhere only failures are written (in the run's code page, as the
// window shows them), one per line. quiet leaves out the status line and the progress bar;
// failures are still written, one per line.
class BatchStatusLine : public RunEvents {
 public:
  // echoFailures: write the failure text of each file that could not be opened.
  BatchStatusLine(std::FILE* stream, bool terminal, bool quiet, bool echoFailures = true);

  void Progress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                std::optional<std::uint64_t> inputSize) override;
  void RecordDone(const MergedRecord& record, OutputOutcome outcome,
                  platform::ErrorCode reason) override;
  void RunFailed(RunFailure failure, platform::ErrorCode reason) override;
  void RunFinished(std::uint32_t records) override;
  // Ends the status line on a terminal, so that what follows starts on a line of its own.
  void FinishLine();

 private:
  void Redraw(const std::string& text, std::optional<double> fraction);
  // A failure stays on a line of its own, quiet or not: only progress is ever left out.
  void Fail(const std::string& text);

  std::FILE* stream_;
  bool drawing_;  // a terminal, and not quiet
  bool echoFailures_;
  std::size_t drawnLength_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// The bar drawn after the status text: "[#####.....]  50%".
std::string ProgressBar(double fraction, std::size_t width);

}  // namespace velmora
