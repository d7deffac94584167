// The batch command's side of a run: status texts on standard error.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "engine/RunHost.h"
#include "platform/Mutex.h"

namespace velmora {

class BatchHost : public RunHost {
 public:
  // On a terminal the status is one line redrawn in place with a progress bar; elsewhere only
  // failures are written, one per line. quiet leaves out the status line and the progress bar;
  // failures are still written, one per line.
  BatchHost(std::FILE* stream, bool terminal, bool quiet);

  void SetStatus(const std::string& text) override EXCLUDES(mutex_);
  void ShowProgress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                    std::optional<std::uint64_t> inputSize) override EXCLUDES(mutex_);
  void Beep(unsigned type) override EXCLUDES(mutex_);
  // Ends the status line on a terminal, so that what follows starts on a line of its own.
  void FinishLine() EXCLUDES(mutex_);

 private:
  void Redraw(const std::string& text, std::optional<double> fraction) REQUIRES(mutex_);

  std::FILE* stream_;
  bool terminal_;
  bool quiet_;
  Mutex mutex_;
  std::string status_ GUARDED_BY(mutex_);
  std::size_t drawnLength_ GUARDED_BY(mutex_) = 0;
  std::chrono::steady_clock::time_point lastDraw_ GUARDED_BY(mutex_) = {};
};

// The bar drawn after the status text: "[#####.....]  50%".
std::string ProgressBar(double fraction, std::size_t width);

}  // namespace velmora
