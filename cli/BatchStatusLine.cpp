#include "cli/BatchStatusLine.h"

#include <algorithm>

#include "engine/ProgramTexts.h"
#include "engine/RunContext.h"
#include "engine/StatusLine.h"

namespace velmora {

std::string ProgressBar(double fraction, std::size_t width) {
  fraction = std::clamp(fraction, 0.0, 1.0);
  auto filled = static_cast<std::size_t>(fraction * static_cast<double>(width) + 0.5);
  std::string bar = "[";
  bar.append(filled, '#');
  bar.append(width - filled, '.');
  bar.append("] ");
  std::string percent = std::to_string(static_cast<int>(fraction * 100.0 + 0.5)) + "%";
  bar.append(4 - std::min<std::size_t>(4, percent.size()), ' ');
  bar.append(percent);
  return bar;
}

BatchStatusLine::BatchStatusLine(std::FILE* stream, bool terminal, bool quiet, bool echoFailures)
    : stream_(stream), drawing_(terminal && !quiet), echoFailures_(echoFailures) {}

void BatchStatusLine::Redraw(const std::string& text, std::optional<double> fraction) {
  std::string line = text;
  if (fraction) line += "  " + ProgressBar(*fraction, 30);
  std::string padding(drawnLength_ > line.size() ? drawnLength_ - line.size() : 0, ' ');
  std::fprintf(stream_, "\r%s%s", line.c_str(), padding.c_str());
  std::fflush(stream_);
  drawnLength_ = line.size();
  lastDraw_ = std::chrono::steady_clock::now();
}

void BatchStatusLine::Progress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                         std::optional<std::uint64_t> inputSize) {
  if (!drawing_) return;
  // Ten redraws a second keep the line readable without the terminal setting the pace.
  auto now = std::chrono::steady_clock::now();
  if (recordNumber != 1 && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  std::optional<double> fraction;
  if (inputSize && *inputSize > 0) {
    fraction = static_cast<double>(bytesRead) / static_cast<double>(*inputSize);
  }
  Redraw(ProgressText(recordNumber), fraction);
}

void BatchStatusLine::Fail(const std::string& text) {
  if (drawing_) {
    Redraw(text, std::nullopt);
    std::fputc('\n', stream_);
    drawnLength_ = 0;
  } else {
    std::fprintf(stream_, "%s\n", text.c_str());
  }
  std::fflush(stream_);
}

void BatchStatusLine::RecordDone(const MergedRecord& record, OutputOutcome outcome,
                           platform::ErrorCode) {
  if (outcome == OutputOutcome::Failed && echoFailures_) {
    Fail(OutputOpenFailedText(record.outputName));
  }
}

void BatchStatusLine::RunFailed(RunFailure failure, platform::ErrorCode) {
  Fail(RunFailureText(failure));
}

void BatchStatusLine::RunFinished(std::uint32_t records) {
  if (drawing_) Redraw(FinishedText(records), std::nullopt);
}

void BatchStatusLine::FinishLine() {
  if (drawing_ && drawnLength_ > 0) {
    std::fputc('\n', stream_);
    std::fflush(stream_);
    drawnLength_ = 0;
  }
}

}  // namespace velmora
