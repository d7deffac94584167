// The command line of velmora-batch.
#pragma once

#include <cstdint>
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
  std::optional<unsigned> jobs;  // writing threads; none: DefaultWriterThreads()
  std::optional<std::uint32_t> preview;  // the record whose filled template goes to stdout
  bool dryRun = false;
  bool changedOnly = false;
  bool strict = false;   // colliding file names end the run with exit status 4
  bool summary = false;  // the closing summary also when standard error is no terminal
  std::optional<std::string> init;  // the new settings file to write with the defaults
};

// Parses the arguments after the program name. Nothing, with error set to a one-line message,
// when they are not a valid command line.
std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error);

// The text that --help prints.
const char* BatchUsage();

}  // namespace velmora
