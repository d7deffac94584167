// What stays the same for every record of a run, and what each record becomes: the data that the
// filling, the naming and the writing of a record share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/RunEvents.h"
#include "platform/CodePageTable.h"
#include "platform/Mutex.h"
#include "platform/Platform.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

struct MergedRecord;
class PredictedFiles;
class RunChoices;
class WrittenFiles;

// Takes a merged record in place of its file (a preview): keeps what it needs and writes nothing.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void Keep(const MergedRecord& record) = 0;
};

// How a run treats the output files; all off is the window's way.
struct OutputOptions {
  // Open nothing for writing: a file that would be written gets the line "path -> dry run",
  // and a file that could not be opened its failure line, as a real run would give them.
  bool dryRun = false;
  // Leave a file that already holds exactly the record's bytes closed and untouched (contents,
  // modification time and identity stay): its line is "path -> unchanged".
  bool changedOnly = false;
  // Every record goes to the sink instead of a file (outcome Kept).
  RecordSink* sink = nullptr;
  // When set, each file written, left unchanged or (dry run) that would be written is added to
  // it with its size and hash, from the writing thread.
  WrittenFiles* written = nullptr;
  // The missing folders along a file's name inside the output folder are made first (a dry run
  // only looks whether they could be); a folder that cannot be made fails the file's open.
  bool makeFolders = false;
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
  // The output folder (folderPrefix), through which every file is created, probed and compared;
  // the run holds it while it writes (platform::OutputFolder::Hold).
  platform::OutputFolder outputFolder;
  OutputOptions output;
  // What a dry run that leaves unchanged files alone has predicted so far (nullptr otherwise);
  // the writing threads share it (see PredictedFiles).
  PredictedFiles* predicted = nullptr;
  // Per field: the placeholder of its column's name (ReplaceLead, the header's name,
  // ReplaceTail), "" for a column that names nothing; empty when the run reads no header.
  std::vector<std::string> namedPlaceholders;
  // The identity keys of the output folder's sub-folders that OutputFileKey has looked up, by
  // the sub-folder's own key, so that each is asked of the system once a run; shared by the
  // threads that name and write the files.
  mutable Mutex folderKeysMutex;
  mutable std::unordered_map<std::string, std::string> folderKeys GUARDED_BY(folderKeysMutex);
  // The batch command's choice of records, names and lists (nullptr: every record, named by the
  // naming rule); asked only on the run's own thread, where records are split and named.
  RunChoices* choices = nullptr;
  // Tells this context from every other one of the process, so that working storage knows
  // whether what it keeps of a run (the template plans) belongs to this run.
  const std::uint64_t id;
};

// One record made ready for writing.
struct MergedRecord {
  std::string content;     // the filled template
  std::string outputName;  // the name by the naming rule (for the failure message)
  std::string outputPath;  // folder and name joined; empty when the name is refused
  // Which file the name reaches (OutputFileKey of the context and the name): records with the
  // same key write one file, whatever name or linked folder reaches it. Empty for a refused name.
  std::string fileKey;
  bool accepted = false;   // false: the record is reported like a file that cannot be opened
  bool skipped = false;    // RunChoices refused it: no file, no report
  std::uint32_t recordNumber = 0;
  std::uint32_t fieldCount = 0;  // the fields the record's line was split into
};

}  // namespace velmora
