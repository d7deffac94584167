#include "cli/BatchCommands.h"

#include "engine/GenerationRun.h"
#include "engine/StatusLine.h"

namespace velmora {

namespace {

// Keeps the filled template of the one record that the preview runs to.
class PreviewSink : public RecordSink {
 public:
  void Keep(const MergedRecord& record) override {
    content = record.content;
    kept = true;
  }
  std::string content;
  bool kept = false;
};

// Takes the status text of a run that could not start; a preview shows no progress.
class PreviewEvents : public RunEvents {
 public:
  void RunFailed(RunFailure failure, platform::ErrorCode) override {
    status = RunFailureText(failure);
  }
  std::string status;
};

}  // namespace

PreviewResult PreviewRecord(const GeneratorSettings& settings, std::uint32_t recordNumber,
                            std::FILE* out, std::string& failure,
                            const RunEnvironment& environment) {
  // The run's own way, on one thread, with the record kept instead of written, so that its bytes
  // and every check on the way are those of the run.
  RunEnvironment preview = environment;
  preview.writerThreads = 0;
  PreviewSink sink;
  preview.output = OutputOptions{};
  preview.output.sink = &sink;
  preview.onlyRecord = recordNumber;
  RunState state;
  PreviewEvents events;
  const RunSummary summary = GenerationRun(state, settings, events, preview);
  switch (summary.outcome) {
    case RunOutcome::InputFailed:
      failure = events.status;
      return PreviewResult::InputFailed;
    case RunOutcome::TemplateFailed:
      failure = events.status;
      return PreviewResult::TemplateFailed;
    case RunOutcome::Stopped:
      return PreviewResult::Stopped;
    case RunOutcome::Completed:
      break;
  }
  if (summary.inspectorStopped) return PreviewResult::Stopped;
  if (sink.kept) {
    std::fwrite(sink.content.data(), 1, sink.content.size(), out);
    std::fflush(out);
    return PreviewResult::Written;
  }
  const std::uint32_t n = summary.records;
  failure = "there is no record " + std::to_string(recordNumber) + ": the input holds " +
            std::to_string(n) + (n == 1 ? " record" : " records");
  return PreviewResult::NoSuchRecord;
}

}  // namespace velmora
