// What the batch command says on standard error about files it could not open, read or write:
// the full path that was tried and the system's reason, one line each, in English.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/ReportLines.h"
#include "engine/RunContext.h"
#include "platform/Platform.h"

namespace velmora {

// A path as the messages show it: made absolute against the current folder, and when it was
// given relative, the path as given beside it ("'/home/u/in.csv' (given as 'in.csv', from the
// current folder)").
std::string DescribePath(const std::string& path);

// The line for an input or template file (kind: "input", "template") that could not be opened or
// read, for reason (0: none known). Ends in "\n".
std::string OpenFailureLine(const char* kind, const std::string& path, platform::ErrorCode reason);

// The line for the file error being handled (a failed write or close of an output file, or a
// read error of the input): its full path and the system's reason; "" when the
// exception is no file error. Call only inside a catch block.
std::string CurrentFileErrorLine();

// Why every file of a run in outputFolder ("" being the current folder) fails alike: the text
// after the folder's path (" does not exist", " is not a folder", ": Permission denied");
// nothing when files can be created there.
std::optional<std::string> OutputFolderProblem(const std::string& outputFolder);

// Collects the output files of a run that could not be opened. Keeps the first failures whole
// and counts the rest.
class OutputFailures : public RunEvents {
 public:
  void RecordDone(const MergedRecord& record, OutputOutcome outcome,
                  platform::ErrorCode reason) override;

  // The lines on the failures, each ending in "\n": when the output folder (outputFolder, ""
  // being the current folder) does not exist or is no folder, one line with the count of the
  // files that failed for it, also when the folder cannot be entered or written; else one line per file, at most maxLines, then one with the count
  // of the rest. Refused names get lines of their own either way.
  std::string Report(const std::string& outputFolder, std::size_t maxLines = kReportLines) const;

 private:
  struct Failure {
    std::uint32_t recordNumber = 0;
    std::string path;  // empty: the name was refused
    std::string name;
    platform::ErrorCode reason = 0;
  };
  static constexpr std::size_t kKeptFailures = kReportLines;

  std::vector<Failure> kept_;        // the first failed files, and the first refused names
  std::uint64_t pathFailures_ = 0;   // files that could not be opened
  std::uint64_t refusedNames_ = 0;   // records whose name was refused
};

}  // namespace velmora
