#include "cli/BatchCommands.h"

#include "engine/GenerationRun.h"
#include "engine/RecordMerger.h"
#include "engine/RecordReader.h"

namespace velmora {

namespace {

// Takes the status text of a failure; a preview shows no progress.
class PreviewHost : public RunHost {
 public:
  void SetStatus(const std::string& text) override { status = text; }
  void ShowProgress(std::uint32_t, std::uint64_t, std::optional<std::uint64_t>) override {}
  void Beep(unsigned) override {}
  std::string status;
};

}  // namespace

PreviewResult PreviewRecord(const GeneratorSettings& settings, std::uint32_t recordNumber,
                            std::FILE* out, std::string& failure,
                            const RunEnvironment& environment) {
  RunState state;
  PreviewHost host;
  std::uint32_t n = 0;
  bool written = false;
  // The run's own start, so that the record's bytes are those the run gives it.
  const RunOutcome outcome = OpenRun(state, settings, host, environment, [&](const OpenedRun& run) {
    while (ReadRecord(run.stream, state.CurrentLine)) {
      if (++n != recordNumber) continue;
      MergeScratch scratch;
      MergedRecord record;
      BuildMergedRecord(state.CurrentLine, n, run.context, scratch, record);
      std::fwrite(record.content.data(), 1, record.content.size(), out);
      std::fflush(out);
      written = true;
      return;
    }
    if (run.stream.Failed()) {
      throw platform::FileError(platform::FileErrorCause::HardIO, settings.Input,
                                run.stream.ReadError());
    }
  });
  switch (outcome) {
    case RunOutcome::InputFailed:
      failure = host.status;
      return PreviewResult::InputFailed;
    case RunOutcome::TemplateFailed:
      failure = host.status;
      return PreviewResult::TemplateFailed;
    case RunOutcome::Stopped:
      return PreviewResult::Stopped;
    case RunOutcome::Completed:
      break;
  }
  if (written) return PreviewResult::Written;
  failure = "there is no record " + std::to_string(recordNumber) + ": the input holds " +
            std::to_string(n) + (n == 1 ? " record" : " records");
  return PreviewResult::NoSuchRecord;
}

}  // namespace velmora
