// The command line of velmora-batch. Each option is one row of the table in BatchOptionTable.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/RecordReader.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

struct BatchOptions {
  std::string settingsFile;  // "": none, the run starts from the defaults of a new one
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
  bool prune = false;  // remove the pages that earlier pruning runs wrote and this one did not
  bool strict = false;   // colliding file names end the run with exit status 4
  bool summary = false;  // the closing summary also when standard error is no terminal
  std::optional<std::string> init;  // the new settings file to write with the defaults
  bool header = false;  // the first record names the columns
  // The naming rule: rule 1 by field nameField or by the column headed nameColumn (needs
  // header), or rule 0 with nameNumber digits at least; the texts around the name.
  std::optional<std::uint32_t> nameField;
  std::optional<std::string> nameColumn;
  std::optional<std::uint32_t> nameNumber;
  std::optional<std::string> nameLead;
  std::optional<std::string> nameTail;
  LineEnds lineEnds = LineEnds::Auto;
  // Conditions (NAME=VALUE or NAME!=VALUE) that a record must all meet to get a page.
  std::vector<std::string> where;
  std::optional<std::string> nameTemplate;  // the pages' names, filled from each record
  bool makeFolders = false;                 // make the missing folders of the names
  std::optional<std::string> list;          // the list template's path
  std::optional<std::string> listOutput;    // each record's list name (default "index.html")
  // The other settings: FieldSeparator, FieldBreak, ReplaceFormat, ReplaceLead, ReplaceTail,
  // ReplaceDefault.
  std::optional<std::int32_t> separator;
  std::optional<std::int32_t> fieldBreak;
  std::optional<std::int32_t> format;
  std::optional<std::string> lead;
  std::optional<std::string> tail;
  std::optional<std::string> defaultText;
  // The options of the run's recipe (--init keeps them in [Batch]) as the command line gave
  // them, in its order: long name and value ("1" for a flag).
  std::vector<std::pair<std::string, std::string>> recipe;
};

// Parses the arguments after the program name. Nothing, with error set to a one-line message,
// when they are not a valid command line.
std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error);

// Puts the settings that options give into settings, over what the settings file gave.
// nameColumn becomes rule 1 with the field number left to the run, which finds the column.
void ApplyBatchOptions(const BatchOptions& options, GeneratorSettings& settings);

// The text that --help prints.
const char* BatchUsage();

}  // namespace velmora
