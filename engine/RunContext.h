// What stays the same for every record of a run, and what each record becomes: the data that the
// filling, the naming and the writing of a record share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

struct MergedRecord;
class PredictedFiles;

// How a run treats the output files; both off is the window's way.
struct OutputOptions {
  // Open nothing for writing: a file that would be written gets the line "path -> dry run",
  // and a file that could not be opened its failure line, as a real run would give them.
  bool dryRun = false;
  // Leave a file that already holds exactly the record's bytes closed and untouched (contents,
  // modification time and identity stay): its line is "path -> unchanged".
  bool changedOnly = false;
};

// What became of a record's file. Failed: it could not be opened (or its name was refused).
enum class OutputOutcome { Written, WouldWrite, Unchanged, Failed };

// Told of what became of every record's file, in record order, on the thread that reports the
// outcomes: written, would be written, left unchanged, or Failed (it could not be opened, or its
// write failed and ended the run).
class OutputObserver {
 public:
  virtual ~OutputObserver() = default;
  virtual void OnOutput(const MergedRecord& record, OutputOutcome outcome) = 0;
  // A record whose file could not be opened or whose name was refused (record.outputPath is then
  // empty), with the reason when the system gave one (platform::ErrorCode, else 0).
  virtual void OnFailure(const MergedRecord& record, platform::ErrorCode reason) {
    static_cast<void>(record);
    static_cast<void>(reason);
  }
};

// A run's fixed data: made once, when the input is open and the template loaded, and read by
// every record. It points to the settings, the template, the table and the rules, which outlive
// it.
struct RunContext {
  RunContext(const GeneratorSettings& runSettings, std::string_view runTemplate,
             char runSeparator, const CodePageTable& codePageTable,
             const platform::PathRules& pathRules);
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  const GeneratorSettings& settings;
  std::string_view templateText;  // the template as the run loaded it
  char separator;                 // SeparatorChar of the run
  char breakByte;                 // the in-field line break of the input
  const CodePageTable& table;
  const platform::PathRules& rules;
  std::string folderPrefix;  // Output with its separator
  // Files that no output may replace: the run's input and template.
  std::vector<platform::FileIdentity> protectedFiles;
  OutputOptions output;
  OutputObserver* observer = nullptr;
  // What a dry run that leaves unchanged files alone has predicted so far (nullptr otherwise);
  // changed only by the thread that writes, in record order.
  PredictedFiles* predicted = nullptr;
  // Per field: the placeholder of its column's name (ReplaceLead, the header's name,
  // ReplaceTail), "" for a column that names nothing; empty when the run reads no header.
  std::vector<std::string> namedPlaceholders;
  // Tells this context from every other one of the process, so that working storage knows
  // whether what it keeps of a run (the template plans) belongs to this run.
  const std::uint64_t id;
};

// One record made ready for writing.
struct MergedRecord {
  std::string content;     // the filled template
  std::string outputName;  // the name by the naming rule (for the failure message)
  std::string outputPath;  // folder and name joined; empty when the name is refused
  bool accepted = false;   // false: the record is reported like a file that cannot be opened
  std::uint32_t recordNumber = 0;
  std::uint32_t fieldCount = 0;  // the fields the record's line was split into
};

}  // namespace velmora
