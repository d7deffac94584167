// The one place where a run's outcomes become its log and its events: the run log's lines, in
// record order, and the same outcome told to the host.
#pragma once

#include <cstdint>
#include <string>

#include "engine/RunContext.h"
#include "engine/RunEvents.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

class RunReporter {
 public:
  // log: the run log (RunState::RunLog), lines ending in CR LF; events: the host's side.
  RunReporter(std::string& log, RunEvents& events) : log_(log), events_(events) {}
  RunReporter(const RunReporter&) = delete;
  RunReporter& operator=(const RunReporter&) = delete;

  // Empties the log and writes its header: the rule, the input, template and output paths.
  void Begin(const GeneratorSettings& settings);
  // The separator line of SeparatorChar (',' or TAB).
  void Separator(char separator);
  // "path -> ok", "path -> dry run", "path -> unchanged", the open-failure text (Failed), or no
  // line (Kept); then events.RecordDone. Returns false for Failed. For WriteFailed use WriteFailed.
  bool Record(const MergedRecord& record, OutputOutcome outcome, platform::ErrorCode reason = 0);
  // A file that was created or cut and then could not be written or closed: the error box's text
  // for error (which names the file), so that the log names every file the run changed; then
  // events.RecordDone with WriteFailed.
  void WriteFailed(const MergedRecord& record, const platform::FileError& error);
  // The input or template could not be had: its text closes the log.
  void Failed(RunFailure failure, platform::ErrorCode reason);
  // The closing rule and text for records.
  void Finished(std::uint32_t records);

  RunEvents& Events() { return events_; }

 private:
  void Line(const std::string& text);

  std::string& log_;
  RunEvents& events_;
};

}  // namespace velmora
