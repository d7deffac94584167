// Parsing the command line of velmora-batch by the option table, and putting what it gives into
// the settings.
#include "cli/BatchOptions.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "cli/BatchOptionTable.h"
#include "engine/WriterPipeline.h"
#include "platform/DecimalText.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

// A decimal number from min to max, digits only.
std::optional<std::uint64_t> Decimal(const std::string& text, std::uint64_t min,
                                     std::uint64_t max) {
  const std::optional<std::uint64_t> number = platform::ParseDecimal(text, max);
  if (!number || *number < min) return std::nullopt;
  return number;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The window accepts field numbers and widths up to this.
constexpr std::uint32_t kRuleNumberMaximum = 255;

}  // namespace

std::optional<std::int32_t> ReadWord(const BatchOption& option, const std::string& value,
                                     std::string& error) {
  const std::string words = option.argument;
  std::string list;  // "a or b", "a, b or c"
  std::int32_t index = 0;
  for (std::size_t start = 0; start <= words.size(); ++index) {
    std::size_t end = std::min(words.find('|', start), words.size());
    const std::string word = words.substr(start, end - start);
    if (value == word) return index;
    list += (start == 0 ? "" : end == words.size() ? " or " : ", ") + word;
    start = end + 1;
  }
  error = option.LongName() + " needs " + list + ", not '" + value + "'";
  return std::nullopt;
}

bool ReadCodePage(const BatchOption&, const std::string& value, BatchOptions& options,
                  std::string& error) {
  std::optional<std::uint64_t> number = Decimal(value, 1, 65535);
  if (!number) number = platform::CodePageFromName(value);
  if (!number) {
    error = "--code-page needs a code page number from 1 to 65535 or a name such as utf-8 or "
            "shift_jis, not '" + value + "'";
    return false;
  }
  // A run reads bytes in which ASCII stands for itself: the UTF-16 and UTF-32 code pages and
  // UTF-7 are none, and a code page the system has no converter for gives no names.
  const auto codePage = static_cast<unsigned>(*number);
  constexpr unsigned kNotBytes[] = {1200, 1201, 12000, 12001, 65000};
  const bool notBytes =
      std::find(std::begin(kNotBytes), std::end(kNotBytes), codePage) != std::end(kNotBytes);
  if (notBytes || !platform::CodePageToUtf16(codePage, "a")) {
    error = "--code-page " + value + ": code page " + std::to_string(codePage) +
            (notBytes ? " is no code page of bytes in which ASCII stands for itself"
                      : " is one that this system cannot convert");
    return false;
  }
  options.codePage = codePage;
  return true;
}

bool ReadPreview(const BatchOption&, const std::string& value, BatchOptions& options,
                 std::string& error) {
  std::optional<std::uint64_t> number = Decimal(value, 1, 0xFFFFFFFFu);
  if (!number) {
    error = "--preview needs a record number from 1 to 4294967295, not '" + value + "'";
    return false;
  }
  options.preview = static_cast<std::uint32_t>(*number);
  return true;
}

bool ReadJobs(const BatchOption&, const std::string& value, BatchOptions& options,
              std::string& error) {
  std::optional<std::uint64_t> number = Decimal(value, 1, kMaxWriterThreads);
  if (!number) {
    error = "--jobs needs a number of threads from 1 to " + std::to_string(kMaxWriterThreads) +
            ", not '" + value + "'";
    return false;
  }
  options.jobs = static_cast<unsigned>(*number);
  return true;
}

bool ReadInit(const BatchOption&, const std::string& value, BatchOptions& options,
              std::string& error) {
  if (value.empty()) {
    error = "--init needs the name of the new settings file";
    return false;
  }
  options.init = value;
  return true;
}

bool ReadNameField(const BatchOption&, const std::string& value, BatchOptions& options,
                   std::string& error) {
  // The last --name-field given counts, whichever form it takes.
  options.nameColumn.reset();
  options.nameField.reset();
  if (value.empty()) {
    error = "--name-field needs a field number or a column name";
    return false;
  }
  if (!AllDigits(value)) {
    options.nameColumn = value;
    return true;
  }
  if (std::optional<std::uint64_t> number = Decimal(value, 0, kRuleNumberMaximum)) {
    options.nameField = static_cast<std::uint32_t>(*number);
    return true;
  }
  error = "--name-field needs a field number from 0 to 255 or a column name, not '" + value + "'";
  return false;
}

bool ReadNameNumber(const BatchOption&, const std::string& value, BatchOptions& options,
                    std::string& error) {
  std::optional<std::uint64_t> number = Decimal(value, 0, kRuleNumberMaximum);
  if (!number) {
    error = "--name-number needs a count of digits from 0 to 255, not '" + value + "'";
    return false;
  }
  options.nameNumber = static_cast<std::uint32_t>(*number);
  return true;
}

bool ReadLineEnds(const BatchOption& option, const std::string& value, BatchOptions& options,
                  std::string& error) {
  std::optional<std::int32_t> word = ReadWord(option, value, error);
  if (!word) return false;
  constexpr LineEnds kWords[] = {LineEnds::Auto, LineEnds::Cr, LineEnds::Any};
  options.lineEnds = kWords[*word];
  return true;
}

bool ReadWhere(const BatchOption&, const std::string& value, BatchOptions& options,
               std::string& error) {
  const std::size_t equals = value.find('=');
  if (equals == std::string::npos || equals == 0 || (equals == 1 && value[0] == '!')) {
    error = "--where needs NAME=VALUE or NAME!=VALUE, not '" + value + "'";
    return false;
  }
  options.where.push_back(value);
  return true;
}

// A column name leaves the field number to the run, which finds the column.
void ApplyNameField(const BatchOptions& options, GeneratorSettings& settings) {
  if (options.nameField || options.nameColumn) settings.Rule = 1;
  if (options.nameField) settings.RuleNumber = *options.nameField;
}

void ApplyNameNumber(const BatchOptions& options, GeneratorSettings& settings) {
  if (!options.nameNumber) return;
  settings.Rule = 0;
  settings.RuleNumber = *options.nameNumber;
}

void ApplyBatchOptions(const BatchOptions& options, GeneratorSettings& settings) {
  for (const BatchOption& option : BatchOptionTable()) {
    if (option.apply) option.apply(options, settings);
  }
}

std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error) {
  return ParseBatchOptions(args, error, BatchOptionTable());
}

std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error,
                                              std::span<const BatchOption> table) {
  BatchOptions options;
  std::vector<std::string> positional;
  std::vector<bool> given(table.size());
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    const bool isLong = arg.rfind("--", 0) == 0;
    if (isLong) {
      std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        arg.resize(equals);
      }
    }
    const auto option = std::find_if(table.begin(), table.end(), [&](const BatchOption& o) {
      return isLong ? arg.compare(2, std::string::npos, o.longName) == 0
                    : o.shortName != 0 && arg.size() == 2 && arg[1] == o.shortName;
    });
    if (option == table.end()) {
      error = "unknown option " + arg;
      return std::nullopt;
    }
    std::string value;
    if (!option->argument) {
      if (inlineValue) {
        error = "option " + arg + " takes no value";
        return std::nullopt;
      }
    } else if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = "option " + arg + " needs a value";
      return std::nullopt;
    }
    if (!option->read(*option, value, options, error)) return std::nullopt;
    if (option->group == BatchOptionGroup::Recipe) {
      options.recipe.emplace_back(option->longName, option->argument ? value : "1");
    }
    given[static_cast<std::size_t>(option - table.begin())] = true;
  }
  if (options.help || options.version) return options;
  if ((options.nameField || options.nameColumn) && options.nameNumber) {
    error = "--name-field and --name-number are two naming rules: give one";
    return std::nullopt;
  }
  if (options.nameColumn && !options.header) {
    error = "--name-field '" + *options.nameColumn + "' names a column: it needs --header";
    return std::nullopt;
  }
  if (options.nameTemplate && (options.nameField || options.nameColumn || options.nameNumber)) {
    error = "--name-template names the files itself: it does not go with --name-field or "
            "--name-number";
    return std::nullopt;
  }
  if (options.listOutput && !options.list) {
    error = "--list-output names the list files of --list: it needs --list";
    return std::nullopt;
  }
  for (const std::string& condition : options.where) {
    std::string name = condition.substr(0, condition.find('='));
    if (name.ends_with('!')) name.pop_back();
    if (!options.header && !AllDigits(name)) {
      error = "--where '" + condition + "' names a column: it needs --header";
      return std::nullopt;
    }
  }
  if (options.jobs && options.singleThread) {
    error = "--jobs and --single-thread do not go together";
    return std::nullopt;
  }
  if (options.init) {
    // Options of a run: a new settings file runs nothing.
    for (const char* runOnly : {"dry-run", "preview", "jobs", "single-thread", "strict",
                                "changed-only"}) {
      for (std::size_t k = 0; k < table.size(); ++k) {
        if (given[k] && table[k].longName == std::string_view(runOnly)) {
          error = "--init writes a new settings file and runs nothing: " + table[k].LongName() +
                  " does not go with it";
          return std::nullopt;
        }
      }
    }
    if (!positional.empty()) {
      error = "--init writes a new settings file and takes no other: '" + positional[0] + "'";
      return std::nullopt;
    }
    // The settings file names the files by a field's number only.
    if (options.nameColumn) {
      error = "--init keeps a field's number, not a column's name: --name-field '" +
              *options.nameColumn + "'";
      return std::nullopt;
    }
    return options;
  }
  if (positional.empty()) {
    // The defaults of a new settings file name no files.
    if (!options.input || !options.templatePath || !options.output) {
      error = "no settings file given: without one, --input, --template and --output are needed";
      return std::nullopt;
    }
    return options;
  }
  if (positional.size() > 1) {
    error = "more than one settings file given: '" + positional[1] + "'";
    return std::nullopt;
  }
  options.settingsFile = positional[0];
  return options;
}

}  // namespace velmora
