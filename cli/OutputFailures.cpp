#include "cli/OutputFailures.h"

#include <exception>
#include <new>

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
  } catch (const std::bad_alloc&) {
    return "velmora-batch: the run ended because memory ran out: a record, the template or a "
           "filled page is larger than the memory left can hold\n";
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

std::optional<std::string> OutputFolderProblem(const std::string& outputFolder) {
  const std::string path = outputFolder.empty() ? "." : outputFolder;
  const platform::Result<platform::PathInfo> folder = platform::InspectPath(path);
  if (!folder) return ": " + platform::ErrorCodeText(folder.error());
  if (folder->kind == platform::PathKind::Missing) return std::string(" does not exist");
  if (folder->kind != platform::PathKind::Folder) return std::string(" is not a folder");
  // A folder that this process may not enter or write fails every file alike.
  if (const platform::Status writable = platform::CheckFolderWritable(path); !writable) {
    return ": " + platform::ErrorCodeText(writable.error());
  }
  return std::nullopt;
}

std::string OutputFailures::Report(const std::string& outputFolder, std::size_t maxLines) const {
  std::string report;
  const std::optional<std::string> problem = OutputFolderProblem(outputFolder);
  const bool folderMissing = problem.has_value();
  if (folderMissing && pathFailures_ != 0) {
    report += "velmora-batch: " + std::to_string(pathFailures_) +
              (pathFailures_ == 1 ? " file" : " files") + " could not be written: the output folder " +
              DescribePath(outputFolder) + *problem + "\n";
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
