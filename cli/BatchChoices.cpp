#include "cli/BatchChoices.h"

#include <cstdio>

#include "engine/RecordReader.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

// The run's choices from options, as PrepareRunChoices says; nullptr with error set when refused.
std::unique_ptr<RunChoices> MakeRunChoices(const BatchOptions& options,
                                           const GeneratorSettings& settings, std::string& error) {
  if (options.where.empty() && !options.nameTemplate && !options.list) return nullptr;
  const CodePageTable& table = ProcessCodePageTable();
  std::vector<RecordCondition> conditions;
  for (const std::string& text : options.where) {
    std::optional<RecordCondition> condition = ParseRecordCondition(text, table);
    if (!condition) {
      error = "--where needs NAME=VALUE or NAME!=VALUE, not '" + text + "'";
      return nullptr;
    }
    conditions.push_back(std::move(*condition));
  }
  std::optional<ListRequest> list;
  if (options.list) {
    platform::Result<std::string> text = platform::ReadWholeFile(*options.list);
    if (!text) {
      error = "--list: cannot read the list template " + *options.list + ": " +
              platform::ErrorCodeText(text.error());
      return nullptr;
    }
    // In UTF-8 a byte-order mark says how the file is encoded, as in the page template.
    DropByteOrderMark(*text, table.CodePage() == kUtf8CodePage);
    std::optional<ListTemplate> split = SplitListTemplate(*text, settings, table, error);
    if (!split) {
      error = "--list " + *options.list + ": " + error;
      return nullptr;
    }
    list = ListRequest{std::move(*split), options.listOutput.value_or("index.html")};
  }
  return std::make_unique<RunChoices>(std::move(conditions), options.nameTemplate,
                                      std::move(list));
}

}  // namespace

bool PrepareRunChoices(const BatchOptions& options, const GeneratorSettings& settings,
                       std::unique_ptr<RunChoices>& choices) {
  std::string error;
  choices = MakeRunChoices(options, settings, error);
  if (!error.empty()) {
    std::fprintf(stderr, "velmora-batch: %s\n", error.c_str());
    return false;
  }
  if (!options.makeFolders || options.dryRun || settings.Output.empty()) return true;
  // A folder that cannot be made leaves every file to fail as in a run without the option.
  const platform::Result<platform::PathInfo> folder = platform::InspectPath(settings.Output);
  if (folder && folder->kind == platform::PathKind::Missing) {
    (void)platform::MakeFolder(settings.Output);
  }
  return true;
}

void UseRunChoices(const BatchOptions& options, RunChoices* choices, RunEnvironment& environment,
                   RunFindings& findings) {
  environment.choices = choices;
  environment.output.makeFolders = options.makeFolders;
  if (options.list) environment.protectedPaths.push_back(*options.list);
  if (options.nameTemplate) findings.NamedByTemplate();
}

}  // namespace velmora
