#include "platform/CommandLine.h"

#include "platform/Platform.h"

namespace velmora::platform {

std::optional<std::vector<std::string>> CommandLineArguments(int argc, char** argv,
                                                             unsigned codePage,
                                                             std::string& refused) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  // The locale's character set, by the code page the program takes it for: a locale that the
  // program reads as UTF-8 (ASCII, the ISO 8859 sets) hands over UTF-8.
  const unsigned systemCodePage = SystemCodePage();
  if (codePage == systemCodePage) return arguments;
  for (std::string& argument : arguments) {
    std::optional<std::string> text = CodePageToCodePage(systemCodePage, codePage, argument);
    if (!text) {
      refused = argument;
      return std::nullopt;
    }
    argument = std::move(*text);
  }
  return arguments;
}

}  // namespace velmora::platform
