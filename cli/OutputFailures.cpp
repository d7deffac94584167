#include "cli/OutputFailures.h"

#include <exception>

namespace velmora {

std::string DescribePath(const std::string& path) {
  const std::string absolute = platform::AbsolutePath(path.empty() ? "." : path);
  std::string text = "'" + absolute + "'";
  if (absolute != path) text += " (given as '" + path + "', from the current folder)";
  return text;
}

std::string OpenFailureLine(const char* kind, const std::string& path, platform::ErrorCode reason) {
  // An empty path names the current folder to the system, which says nothing of the mistake.
  if (path.empty()) {
    const bool input = std::string_view(kind) == "input";
    return std::string("velmora-batch: no ") + kind + " file is named: give " +
           (input ? "-i PATH" : "-t PATH") + ", or set " + (input ? "Input" : "Template") +
           " in the [Settings] section of the settings file\n";
  }
  std::string line = std::string("velmora-batch: cannot read the ") + kind + " file " +
                     DescribePath(path);
  if (reason != 0) line += ": " + platform::ErrorCodeText(reason);
  return line + "\n";
}

std::string CurrentFileErrorLine() {
  try {
    throw;
  } catch (const platform::FileError& error) {
    // A write or close of an output file, or a read of the input: the path tells which.
    std::string line = "velmora-batch: the run ended on a failure of " + DescribePath(error.Path());
    if (error.OsError() != 0) line += ": " + platform::ErrorCodeText(error.OsError());
    return line + "\n";
  } catch (...) {
    return {};
  }
}

void OutputFailures::RecordDone(const MergedRecord& record, OutputOutcome outcome,
                                platform::ErrorCode reason) {
  if (outcome != OutputOutcome::Failed) return;
  const bool refused = record.outputPath.empty();
  ++(refused ? refusedNames_ : pathFailures_);
  if (kept_.size() < kKeptFailures * 2) {
    kept_.push_back(Failure{record.recordNumber, record.outputPath, record.outputName, reason});
  }
}

std::string OutputFailures::Report(const std::string& outputFolder, std::size_t maxLines) const {
  std::string report;
  const platform::Result<platform::PathInfo> folder =
      platform::InspectPath(outputFolder.empty() ? "." : outputFolder);
  const bool folderMissing = !folder || folder->kind != platform::PathKind::Folder;
  if (folderMissing && pathFailures_ != 0) {
    report += "velmora-batch: " + std::to_string(pathFailures_) +
              (pathFailures_ == 1 ? " file" : " files") + " could not be written: the output folder " +
              DescribePath(outputFolder) +
              (!folder ? ": " + platform::ErrorCodeText(folder.error()) + "\n"
               : folder->kind == platform::PathKind::Missing ? " does not exist\n"
                                                              : " is not a folder\n");
  }
  std::size_t lines = 0;
  std::uint64_t listed = 0;
  for (const Failure& failure : kept_) {
    if (folderMissing && !failure.path.empty()) continue;
    if (lines == maxLines) break;
    ++lines;
    ++listed;
    const std::string record = " (record " + std::to_string(failure.recordNumber) + ")";
    if (failure.path.empty()) {
      report += "velmora-batch: the file name '" + failure.name + "'" + record +
                " is refused: it is empty, leaves the output folder, names a device or makes "
                "the path too long\n";
    } else {
      report += "velmora-batch: cannot write " + DescribePath(failure.path) + record;
      if (failure.reason != 0) report += ": " + platform::ErrorCodeText(failure.reason);
      report += "\n";
    }
  }
  const std::uint64_t total = refusedNames_ + (folderMissing ? 0 : pathFailures_);
  if (total > listed) {
    report += "velmora-batch: " + std::to_string(total - listed) + " more " +
              (total - listed == 1 ? "file" : "files") + " could not be written\n";
  }
  return report;
}

}  // namespace velmora
