// Turns one record into one output file: fills a copy of the template field by field, names the
// file by the naming rule, writes it and notes the outcome in the run log.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FieldSplitter.h"
#include "engine/RunHost.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

struct MergedRecord;

// How a run treats the output files; both off is the window's way.
struct OutputOptions {
  // Open nothing for writing: a file that would be written gets the line "path -> dry run",
  // and a file that could not be opened its failure line, as a real run would give them.
  bool dryRun = false;
  // Leave a file that already holds exactly the record's bytes closed and untouched (contents,
  // modification time and identity stay): its line is "path -> unchanged".
  bool changedOnly = false;
};

enum class OutputOutcome { Written, WouldWrite, Unchanged };

// Told of every output file that a record wrote, would write or left unchanged, in record order,
// on the thread that writes the files.
class OutputObserver {
 public:
  virtual ~OutputObserver() = default;
  virtual void OnOutput(const MergedRecord& record, OutputOutcome outcome) = 0;
};

// What stays the same for every record of a run.
struct MergeContext {
  MergeContext(const GeneratorSettings& runSettings, const CodePageTable& codePageTable,
               const platform::PathRules& pathRules);

  const GeneratorSettings& settings;
  const CodePageTable& table;
  const platform::PathRules& rules;
  std::string folderPrefix;  // Output with its separator
  char breakByte;            // the in-field line break of the input
  // Files that no output may replace: the run's input and template.
  std::vector<platform::FileIdentity> protectedFiles;
  OutputOptions output;
  OutputObserver* observer = nullptr;
};

// One record made ready for writing.
struct MergedRecord {
  std::string content;     // the filled template
  std::string outputName;  // the name by the naming rule (for the failure message)
  std::string outputPath;  // folder and name joined; empty when the name is refused
  bool accepted = false;   // false: the record is reported like a file that cannot be opened
  std::uint32_t recordNumber = 0;
};

// The template taken apart into its literal stretches and the places that each field fills, for
// one count of fields. Built once and reused while the template, the placeholder texts and the
// count stay the same.
struct TemplatePlan;

// Working storage reused from record to record, so that merging does not allocate.
struct MergeScratch {
  FieldList fields;
  std::string value;
  std::string placeholder;
  std::vector<std::size_t> valueLengths;  // per field: its value's length in the output
  std::vector<std::size_t> valuePlaces;   // per field: where its value first went in the output
  std::shared_ptr<TemplatePlan> plan;     // the plan of the last record's template and count
};

// A record line longer than this that the caller hands over is freed once it is split.
inline constexpr std::size_t kKeptLineBytes = 8u << 20;

// Splits line, fills the template and builds the output name and path of record recordNumber.
void BuildMergedRecord(std::string_view line, char separator, std::string_view templateText,
                       std::uint32_t recordNumber, const MergeContext& context,
                       MergeScratch& scratch, MergedRecord& record);

// The same for a line that the caller hands over: a line longer than kKeptLineBytes is emptied
// and its storage freed as soon as it is split, so that one huge record is never held as its
// line, its fields and its output at once. A shorter line is left as it is.
void BuildMergedRecordTakingLine(std::string&& line, char separator,
                                 std::string_view templateText, std::uint32_t recordNumber,
                                 const MergeContext& context, MergeScratch& scratch,
                                 MergedRecord& record);

// Writes a merged record and appends its line to runLog: "path -> ok" (or, by context.output,
// "path -> dry run" or "path -> unchanged"), or the open-failure text, which also goes to the
// status line with an error beep. Returns false on that failure. A write or close failure raises
// platform::FileError.
bool WriteMergedRecord(const MergedRecord& record, const MergeContext& context,
                       std::string& runLog, RunHost& host);

// Both steps for one record.
bool MergeRecord(std::string_view line, char separator, std::string_view templateText,
                 std::uint32_t recordNumber, const MergeContext& context, MergeScratch& scratch,
                 MergedRecord& record, std::string& runLog, RunHost& host);
bool MergeRecordTakingLine(std::string&& line, char separator, std::string_view templateText,
                           std::uint32_t recordNumber, const MergeContext& context,
                           MergeScratch& scratch, MergedRecord& record, std::string& runLog,
                           RunHost& host);

// Appends to out the text that a value of a field becomes in the output. HTML (replaceFormat 0):
// every "&", double quote, ">" and "<" becomes its entity, whatever byte stands before it, and the
// break byte "<br>"; plain text: the break byte becomes CR LF. A break byte that is the second byte
// of a double-byte character (a lead byte followed by a byte of the trail set) stays.
void AppendTranslatedValue(std::string& out, std::string_view value, std::int32_t replaceFormat,
                           char breakByte, const CodePageTable& table);

// The length of that text.
std::size_t TranslatedLength(std::string_view value, std::int32_t replaceFormat, char breakByte,
                             const CodePageTable& table);

// The same in place.
void TranslateValue(std::string& value, std::int32_t replaceFormat, char breakByte,
                    const CodePageTable& table);

}  // namespace velmora
