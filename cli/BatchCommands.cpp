#include "cli/BatchCommands.h"

#include "engine/GenerationRun.h"
#include "engine/RecordMerger.h"
#include "engine/RecordReader.h"
#include "engine/SystemTexts.h"

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
                            std::FILE* out, std::string& failure) {
  const SystemTexts& texts = Texts();
  platform::InputFile input;
  if (!input.Open(settings.Input)) {
    failure = texts.inputOpenFailed;
    return PreviewResult::InputFailed;
  }
  RunState state;
  if (settings.FieldSeparator == 1) state.SeparatorChar = '\t';
  PreviewHost host;
  if (!LoadTemplate(state, settings.Template, host)) {
    failure = host.status;
    return PreviewResult::TemplateFailed;
  }
  // The same bytes as the run gives: without a UTF-8 byte-order mark in code page 65001.
  const bool skipByteOrderMark = ProcessCodePageTable().CodePage() == kUtf8CodePage;
  DropByteOrderMark(state.TemplateText, skipByteOrderMark);
  FileByteSource file(input);
  ByteOrderMarkSkipper source(file, skipByteOrderMark);
  InputStream stream(source);
  std::uint32_t n = 0;
  while (ReadRecord(stream, state.CurrentLine)) {
    if (++n != recordNumber) continue;
    MergeContext context(settings, ProcessCodePageTable(), platform::NativePathRules());
    MergeScratch scratch;
    MergedRecord record;
    BuildMergedRecord(state.CurrentLine, state.SeparatorChar, state.TemplateText, n, context,
                      scratch, record);
    std::fwrite(record.content.data(), 1, record.content.size(), out);
    std::fflush(out);
    return PreviewResult::Written;
  }
  if (stream.Failed()) throw platform::FileError(platform::FileErrorCause::HardIO, settings.Input);
  failure = "there is no record " + std::to_string(recordNumber) + ": the input holds " +
            std::to_string(n) + (n == 1 ? " record" : " records");
  return PreviewResult::NoSuchRecord;
}

}  // namespace velmora
