#include "cli/BatchCommands.h"

#include "cli/OutputFailures.h"
#include "engine/GenerationRun.h"

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

// A preview shows no progress: its failures are told as the batch command tells a run's.
class PreviewEvents : public RunEvents {};

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
      failure = OpenFailureLine("input", settings.Input, summary.openError);
      return PreviewResult::InputFailed;
    case RunOutcome::TemplateFailed:
      failure = OpenFailureLine("template", settings.Template, summary.openError);
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
