// The command line of velmora-batch.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct BatchOptions {
  std::string settingsFile;
  std::optional<std::string> input;
  std::optional<std::string> templatePath;
  std::optional<std::string> output;
  std::optional<unsigned> codePage;
  bool quiet = false;
  bool help = false;
  bool version = false;
  bool singleThread = false;
};

// Parses the arguments after the program name. Nothing, with error set to a one-line message,
// when they are not a valid command line.
std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error);

// The text that --help prints.
const char* BatchUsage();

}  // namespace velmora
