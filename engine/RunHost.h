// What a generation run asks of the program that hosts it: the main window or the batch command.
#pragma once

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
};

}  // namespace velmora
