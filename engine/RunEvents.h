// What a generation run tells the program that hosts it (the main window, the batch command, a
// preview): one interface of events, each told once, on the run's own thread, in record order.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "platform/Platform.h"

namespace velmora {

struct MergedRecord;

// What became of a record's file.
enum class OutputOutcome {
  Written,      // created or replaced: "path -> ok"
  WouldWrite,   // a dry run would have written it: "path -> dry run"
  Unchanged,    // it already held the record's bytes and was left alone: "path -> unchanged"
  Kept,         // taken by a preview instead of a file: no file, no log line
  Failed,       // it could not be opened, or its name was refused; the run goes on
  WriteFailed,  // its write or close failed: the run ends with that failure
};

// Why a run could not start its records.
enum class RunFailure { InputOpen, TemplateOpen, TemplateRead };

class RunEvents {
 public:
  virtual ~RunEvents() = default;
  // The run begins; RunEnded follows on every way out, a raised failure included.
  virtual void RunStarted() {}
  virtual void RunEnded() {}
  // Record recordNumber is about to be merged; bytesRead counts the input consumed so far, of
  // inputSize when the input has a size of its own. After a write failure ended a run on several
  // threads, told once more for the failed record, so that the last progress is where one thread
  // would have stopped.
  virtual void Progress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                        std::optional<std::uint64_t> inputSize) {
    static_cast<void>(recordNumber);
    static_cast<void>(bytesRead);
    static_cast<void>(inputSize);
  }
  // What became of one record's file, with the reason of a failed open when the system gave one
  // (platform::ErrorCode, else 0; record.outputPath is empty for a refused name).
  virtual void RecordDone(const MergedRecord& record, OutputOutcome outcome,
                          platform::ErrorCode reason) {
    static_cast<void>(record);
    static_cast<void>(outcome);
    static_cast<void>(reason);
  }
  // The input or the template could not be had: no record is read.
  virtual void RunFailed(RunFailure failure, platform::ErrorCode reason) {
    static_cast<void>(failure);
    static_cast<void>(reason);
  }
  // Every record was handed to the merge: records of them.
  virtual void RunFinished(std::uint32_t records) { static_cast<void>(records); }
  // Called at least every kResponsiveInterval while the run goes on (between records, and while
  // it waits for the writing threads), so that a window can show the system that it is alive.
  virtual void KeepResponsive() {}
};

// Windows marks a window "not responding" when its thread has not looked at its messages for five
// seconds; a tenth of a second leaves room for a record that takes long to merge.
inline constexpr std::chrono::milliseconds kResponsiveInterval{100};

// Calls events.KeepResponsive when kResponsiveInterval has passed since the last call.
class ResponsiveTicker {
 public:
  explicit ResponsiveTicker(RunEvents& events) : events_(events) {}
  void Tick() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kResponsiveInterval) return;
    last_ = now;
    events_.KeepResponsive();
  }

 private:
  RunEvents& events_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Tells every one of a list of hosts' pieces each event, in the list's order.
class RunEventsList : public RunEvents {
 public:
  RunEventsList(std::initializer_list<RunEvents*> events) : events_(events) {}
  void RunStarted() override;
  void RunEnded() override;
  void Progress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                std::optional<std::uint64_t> inputSize) override;
  void RecordDone(const MergedRecord& record, OutputOutcome outcome,
                  platform::ErrorCode reason) override;
  void RunFailed(RunFailure failure, platform::ErrorCode reason) override;
  void RunFinished(std::uint32_t records) override;
  void KeepResponsive() override;

 private:
  std::vector<RunEvents*> events_;
};

}  // namespace velmora
