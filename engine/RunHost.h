// What a generation run asks of the program that hosts it: the main window or the batch command.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// Beep types of a run (MessageBeep values).
inline constexpr unsigned kBeepOk = 0x00;     // MB_OK: the run completed
inline constexpr unsigned kBeepError = 0x10;  // MB_ICONHAND: something failed

class RunHost {
 public:
  virtual ~RunHost() = default;
  // A status text of the run: a failure, or the closing text. Begins with one space.
  virtual void SetStatus(const std::string& text) = 0;
  // Called before each record is merged; the status line then reads ProgressText(recordNumber).
  // bytesRead counts the input consumed so far, of inputSize when the size is known.
  virtual void ShowProgress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                            std::optional<std::uint64_t> inputSize) = 0;
  virtual void Beep(unsigned type) = 0;
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}
  // Called on the run's thread at least every kResponsiveInterval while the run goes on (between
  // records, and while it waits for the writing threads), so that a window can show the system
  // that it is alive.
  virtual void KeepResponsive() {}
};

// Windows marks a window "not responding" when its thread has not looked at its messages for five
// seconds; a tenth of a second leaves room for a record that takes long to merge.
inline constexpr std::chrono::milliseconds kResponsiveInterval{100};

// Calls host.KeepResponsive when kResponsiveInterval has passed since the last call.
class ResponsiveTicker {
 public:
  explicit ResponsiveTicker(RunHost& host) : host_(host) {}
  void Tick() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kResponsiveInterval) return;
    last_ = now;
    host_.KeepResponsive();
  }

 private:
  RunHost& host_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace velmora
