// The options of velmora-batch, each defined once: the command line is parsed from this table,
// and --help, the manual's OPTIONS section and the README's options table are made from it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "cli/BatchOptions.h"

namespace velmora {

// Where an option belongs; the manual gives each group its own part of the OPTIONS section.
enum class BatchOptionGroup {
  Run,          // what to run and how
  Setting,      // a setting of the settings file: --init writes it into the new one
  Recipe,       // kept by --init in the [Batch] section under its long name
};

struct BatchOption;

// Reads an option's value (empty for a flag) into options. False, with error set to a one-line
// message naming the option, when the value is not one the option takes.
using ReadBatchOption = bool (*)(const BatchOption& option, const std::string& value,
                                 BatchOptions& options, std::string& error);
// Puts what the option gave into the settings, when it gave something.
using ApplyBatchOption = void (*)(const BatchOptions& options, GeneratorSettings& settings);

struct BatchOption {
  char shortName;        // '\0': none
  const char* longName;  // without the leading "--"
  // The value's name ("PATH", upper case) or its words ("csv|tsv", lower case); nullptr for a
  // flag, which takes no value.
  const char* argument;
  BatchOptionGroup group;
  ReadBatchOption read;
  ApplyBatchOption apply;  // nullptr: the option changes no setting
  // What it does: the --help text (wrapped when printed), the manual's paragraph in roff (a
  // "\n" keeps a line, a line that starts with "." is a request, nothing is wrapped between
  // .nf and .fi), and the meaning in the README's table. An empty manual or README text joins
  // the option to the entry before it, which then names both.
  const char* help;
  const char* manual;
  const char* readme;
  // Given again and again, each value counts (kept in [Batch] under numbered keys: name1, ...).
  bool repeatable = false;

  std::string LongName() const { return std::string("--") + longName; }
};

// Every option, in the order of --help, the manual and the README.
std::span<const BatchOption> BatchOptionTable();

// ParseBatchOptions by the rows of table.
std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error,
                                              std::span<const BatchOption> table);

// The manual's OPTIONS section, from ".SH OPTIONS" up to the next section, as
// docs/velmora-batch.1 holds it.
std::string BatchManualOptions();

// The README's options table, header row included, one line per entry.
std::string BatchReadmeOptions();

// The readers of the rows. The templates store a value where the row says; the others check
// what their option accepts (in BatchOptions.cpp).
template <bool BatchOptions::*flag>
bool ReadFlag(const BatchOption&, const std::string&, BatchOptions& options, std::string&) {
  options.*flag = true;
  return true;
}

template <std::optional<std::string> BatchOptions::*text>
bool ReadText(const BatchOption&, const std::string& value, BatchOptions& options,
              std::string&) {
  options.*text = value;
  return true;
}

// The index of value among the words of the option's argument ("csv|tsv": csv 0, tsv 1);
// nothing for any other text, with error set.
std::optional<std::int32_t> ReadWord(const BatchOption& option, const std::string& value,
                                     std::string& error);

template <std::optional<std::int32_t> BatchOptions::*choice>
bool ReadChoice(const BatchOption& option, const std::string& value, BatchOptions& options,
                std::string& error) {
  options.*choice = ReadWord(option, value, error);
  return (options.*choice).has_value();
}

bool ReadCodePage(const BatchOption&, const std::string&, BatchOptions&, std::string&);
bool ReadPreview(const BatchOption&, const std::string&, BatchOptions&, std::string&);
bool ReadJobs(const BatchOption&, const std::string&, BatchOptions&, std::string&);
bool ReadInit(const BatchOption&, const std::string&, BatchOptions&, std::string&);
bool ReadNameField(const BatchOption&, const std::string&, BatchOptions&, std::string&);
bool ReadNameNumber(const BatchOption&, const std::string&, BatchOptions&, std::string&);
bool ReadLineEnds(const BatchOption&, const std::string&, BatchOptions&, std::string&);
bool ReadWhere(const BatchOption&, const std::string&, BatchOptions&, std::string&);

// Puts the option's value, when given, into the setting.
template <auto value, auto setting>
void ApplyValue(const BatchOptions& options, GeneratorSettings& settings) {
  if (options.*value) settings.*setting = *(options.*value);
}

void ApplyNameField(const BatchOptions& options, GeneratorSettings& settings);
void ApplyNameNumber(const BatchOptions& options, GeneratorSettings& settings);

}  // namespace velmora
