#include "engine/RecordMerger.h"

#include <charconv>

#include "engine/FormatZeroPadded.h"
#include "engine/OutputPath.h"
#include "engine/ReplaceAll.h"
#include "engine/SystemTexts.h"

namespace velmora {

MergeContext::MergeContext(const GeneratorSettings& runSettings,
                           const CodePageTable& codePageTable,
                           const platform::PathRules& pathRules)
    : settings(runSettings),
      table(codePageTable),
      rules(pathRules),
      folderPrefix(OutputFolderPrefix(runSettings.Output, pathRules, codePageTable)),
      breakByte(runSettings.FieldBreak == 0 ? '\x0A' : '\x0B') {}

void TranslateValue(std::string& value, std::int32_t replaceFormat, char breakByte,
                    const CodePageTable& table) {
  const std::string_view breakText(&breakByte, 1);
  if (replaceFormat == 0) {
    // "&" first, so that the entities made by the later steps are not escaped again; "<br>" last,
    // after "<" was escaped, so that it stays markup.
    ReplaceAll(value, "&", "&amp;", table);
    ReplaceAll(value, "\"", "&quot;", table);
    ReplaceAll(value, ">", "&gt;", table);
    ReplaceAll(value, "<", "&lt;", table);
    ReplaceAll(value, breakText, "<br>", table);
  } else {
    ReplaceAll(value, breakText, "\r\n", table);
  }
}

void BuildMergedRecord(std::string_view line, char separator, std::string_view templateText,
                       std::uint32_t recordNumber, const MergeContext& context,
                       MergeScratch& scratch, MergedRecord& record) {
  const GeneratorSettings& s = context.settings;
  SplitFields(line, separator, context.table, scratch.fields);
  const std::size_t count = scratch.fields.size();

  record.content.assign(templateText);
  for (std::size_t i = 0; i < count; ++i) {
    scratch.value = scratch.fields[i];
    TranslateValue(scratch.value, s.ReplaceFormat, context.breakByte, context.table);
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, i);
    scratch.placeholder.assign(s.ReplaceLead);
    scratch.placeholder.append(digits, end);
    scratch.placeholder.append(s.ReplaceTail);
    const std::string& value =
        scratch.value.empty() && !s.ReplaceDefault.empty() ? s.ReplaceDefault : scratch.value;
    ReplaceAll(record.content, scratch.placeholder, value, context.table);
  }

  record.accepted = false;
  record.outputPath.clear();
  record.outputName.assign(s.RuleLead);
  bool nameBuilt = true;
  if (s.Rule == 0) {
    if (s.RuleNumber <= kMaxPaddedWidth) {
      record.outputName.append(FormatZeroPadded(s.RuleNumber, recordNumber));
    } else {
      // No path can hold that many digits: the record fails like a file that cannot be opened,
      // under its unpadded name.
      record.outputName.append(FormatZeroPadded(0, recordNumber));
      nameBuilt = false;
    }
    record.outputName.append(s.RuleTail);
  } else if (s.Rule == 1) {
    if (s.RuleNumber < count) {
      record.outputName.append(scratch.fields[s.RuleNumber]);
    } else {
      nameBuilt = false;  // the record has no such field
    }
    record.outputName.append(s.RuleTail);
  } else {
    record.outputName.clear();
    nameBuilt = false;
  }
  if (!nameBuilt) return;
  std::optional<std::string> path =
      JoinOutputPath(context.folderPrefix, record.outputName, context.rules, context.table, true);
  if (!path) return;
  record.outputPath = std::move(*path);
  record.accepted = true;
}

bool WriteMergedRecord(const MergedRecord& record, const MergeContext& context,
                       std::string& runLog, RunHost& host) {
  if (record.accepted) {
    platform::OutputFile file;
    if (file.Create(record.outputPath, context.protectedFiles)) {
      file.Write(record.content.data(), record.content.size());
      file.Close();
      runLog.append(record.outputPath);
      runLog.append(" -> ok\r\n");
      return true;
    }
  }
  const SystemTexts& texts = Texts();
  std::string message = texts.outputOpenFailedLead;
  message.append(record.outputName);
  message.append(texts.outputOpenFailedTail);
  host.SetStatus(message);
  runLog.append(message);
  runLog.append("\r\n");
  host.Beep(kBeepError);
  return false;
}

bool MergeRecord(std::string_view line, char separator, std::string_view templateText,
                 std::uint32_t recordNumber, const MergeContext& context, MergeScratch& scratch,
                 MergedRecord& record, std::string& runLog, RunHost& host) {
  BuildMergedRecord(line, separator, templateText, recordNumber, context, scratch, record);
  return WriteMergedRecord(record, context, runLog, host);
}

}  // namespace velmora
