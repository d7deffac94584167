#include "engine/RunContext.h"

#include <atomic>

#include "engine/OutputPath.h"

namespace velmora {

namespace {

std::uint64_t NextContextId() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

}  // namespace

RunContext::RunContext(const GeneratorSettings& runSettings, std::string_view runTemplate,
                       char runSeparator, const CodePageTable& codePageTable,
                       const platform::PathRules& pathRules)
    : settings(runSettings),
      templateText(runTemplate),
      separator(runSeparator),
      breakByte(runSettings.FieldBreak == 0 ? '\x0A' : '\x0B'),
      table(codePageTable),
      rules(pathRules),
      folderPrefix(OutputFolderPrefix(runSettings.Output, pathRules, codePageTable)),
      outputFolder(folderPrefix),
      id(NextContextId()) {}

}  // namespace velmora
