#include "cli/BatchOptions.h"

#include <algorithm>
#include <iterator>

#include "engine/WriterPipeline.h"
#include "platform/Platform.h"

namespace velmora {

const char* BatchUsage() {
  return "Usage: velmora-batch [options] SETTINGS_FILE\n"
         "       velmora-batch [options] -i INPUT -t TEMPLATE -o DIR\n"
         "       velmora-batch [setting options] --init NEW_SETTINGS_FILE\n"
         "Writes one file per record of the input file from the template, with the settings of\n"
         "SETTINGS_FILE (a .ini or .vmz file as the window writes them), or of a new settings\n"
         "file when none is given. The options below override the settings file.\n"
         "\n"
         "Options:\n"
         "  -i, --input PATH      use PATH as the input file of records\n"
         "  -t, --template PATH   use PATH as the template file\n"
         "  -o, --output DIR      write the files into the folder DIR\n"
         "      --code-page N     treat texts as code page N (932, 936, 949, 950, 1361, 65001, ...)\n"
         "                        or by name (utf-8, shift_jis, sjis, cp932, euc-jp, gbk, big5,\n"
         "                        euc-kr, windows-1252), in any letter case\n"
         "      --preview N       write the filled template of record N to standard output and\n"
         "                        write no file\n"
         "      --dry-run         the whole run without creating, changing or removing a file;\n"
         "                        the run log says \"-> dry run\" where a file would be written\n"
         "      --changed-only    leave a file that already holds the record's bytes untouched;\n"
         "                        the run log says \"-> unchanged\"\n"
         "      --strict          end with exit status 4 when records wrote the same file, a\n"
         "                        placeholder was never filled or a file was named by the lead\n"
         "                        and tail alone, or at text that is no text of the code page;\n"
         "                        with --header, write no file and end with exit status 4\n"
         "                        when the template names a column that the header lacks\n"
         "      --summary         close with a summary line also when standard error is no\n"
         "                        terminal\n"
         "      --name-field N|NAME\n"
         "                        name each file by field N (from 0) or, with --header, by\n"
         "                        the column headed NAME\n"
         "      --name-number DIGITS\n"
         "                        name each file by its record number, DIGITS digits at least\n"
         "      --name-lead TEXT  the text in front of the number or field in a file name\n"
         "      --name-tail TEXT  the text after it, extension included (.html)\n"
         "      --separator csv|tsv\n"
         "                        fields are separated by commas or by TABs\n"
         "      --field-break lf|vt\n"
         "                        the line break inside a field is LF or VT\n"
         "      --format html|text\n"
         "                        escape values for HTML (line breaks become <br>) or put\n"
         "                        them in as they are (line breaks become CR LF)\n"
         "      --lead TEXT       the text in front of a field number in a placeholder ([$_)\n"
         "      --tail TEXT       the text after it (_$])\n"
         "      --default TEXT    the text that stands in for an empty field\n"
         "      --line-ends cr|any\n"
         "                        records end at CR or CR LF (cr, the default), or at CR LF,\n"
         "                        LF or CR outside double quotes (any)\n"
         "      --header          the first record names the columns: it writes no file, and\n"
         "                        [$_name_$] stands for the field of the column headed name\n"
         "      --init FILE       write a new settings file with the defaults, changed by the\n"
         "                        setting options given, and exit\n"
         "      --jobs N          write the files on N threads, 1 to 64 (default: 4 per\n"
         "                        processor, at least 4 and at most 32)\n"
         "      --single-thread   merge and write on one thread\n"
         "  -q, --quiet           show no progress\n"
         "  -h, --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Standard output receives the run log. Standard error names every file that more than\n"
         "one record wrote, and after the run, in English, what went wrong and why. Exit status:\n"
         "0 every file was written; 3 the run completed but some files could not be written;\n"
         "4 with --strict, one of its findings; 1 the run failed; 2 usage error, an unreadable\n"
         "settings file, a record --preview cannot find, or an --init file that exists.\n"
         "\n"
         "What each message on standard error means, the keys of the settings file and how\n"
         "relative paths are found (from the current folder): see README.md, \"When something\n"
         "goes wrong\", beside the program or in its documentation folder.\n";
}

namespace {

// A decimal number from 1 to max, digits only.
std::optional<std::uint64_t> PositiveNumber(const std::string& text, std::uint64_t max) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (number == 0 || number > max) return std::nullopt;
  return number;
}

// A decimal number from 0 to max, digits only.
std::optional<std::uint32_t> SmallNumber(const std::string& text, std::uint32_t max) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (number > max) return std::nullopt;
  return static_cast<std::uint32_t>(number);
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// One of two words, as 0 or 1; nothing for any other text.
std::optional<std::int32_t> Choice(const std::string& text, const char* zero, const char* one) {
  if (text == zero) return 0;
  if (text == one) return 1;
  return std::nullopt;
}

// The options that take one of two words, and the setting each sets.
struct ChoiceOption {
  const char* name;
  const char* zero;
  const char* one;
  std::optional<std::int32_t> BatchOptions::*setting;
};
constexpr ChoiceOption kChoiceOptions[] = {
    {"--separator", "csv", "tsv", &BatchOptions::separator},
    {"--field-break", "lf", "vt", &BatchOptions::fieldBreak},
    {"--format", "html", "text", &BatchOptions::format},
};

// The options that take a text of the settings, and where each keeps it.
struct TextOption {
  const char* name;
  std::optional<std::string> BatchOptions::*setting;
};
constexpr TextOption kTextOptions[] = {
    {"--name-lead", &BatchOptions::nameLead}, {"--name-tail", &BatchOptions::nameTail},
    {"--lead", &BatchOptions::lead},          {"--tail", &BatchOptions::tail},
    {"--default", &BatchOptions::defaultText},
};

// The window accepts field numbers and widths up to this.
constexpr std::uint32_t kRuleNumberMaximum = 255;

}  // namespace

void ApplyBatchOptions(const BatchOptions& options, GeneratorSettings& settings) {
  if (options.input) settings.Input = *options.input;
  if (options.templatePath) settings.Template = *options.templatePath;
  if (options.output) settings.Output = *options.output;
  if (options.nameField) {
    settings.Rule = 1;
    settings.RuleNumber = *options.nameField;
  }
  if (options.nameColumn) settings.Rule = 1;
  if (options.nameNumber) {
    settings.Rule = 0;
    settings.RuleNumber = *options.nameNumber;
  }
  if (options.nameLead) settings.RuleLead = *options.nameLead;
  if (options.nameTail) settings.RuleTail = *options.nameTail;
  if (options.separator) settings.FieldSeparator = *options.separator;
  if (options.fieldBreak) settings.FieldBreak = *options.fieldBreak;
  if (options.format) settings.ReplaceFormat = *options.format;
  if (options.lead) settings.ReplaceLead = *options.lead;
  if (options.tail) settings.ReplaceTail = *options.tail;
  if (options.defaultText) settings.ReplaceDefault = *options.defaultText;
}

std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error) {
  BatchOptions options;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  bool lineEndsGiven = false;
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
    if (arg.rfind("--", 0) == 0) {
      std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        arg.resize(equals);
      }
    }
    auto value = [&](std::string& out) {
      if (inlineValue) {
        out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto flag = [&](bool& out) {
      if (inlineValue) {
        error = "option " + arg + " takes no value";
        return false;
      }
      out = true;
      return true;
    };
    std::string text;
    if (arg == "-i" || arg == "--input") {
      if (!value(text)) return std::nullopt;
      options.input = text;
    } else if (arg == "-t" || arg == "--template") {
      if (!value(text)) return std::nullopt;
      options.templatePath = text;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(text)) return std::nullopt;
      options.output = text;
    } else if (arg == "--code-page") {
      if (!value(text)) return std::nullopt;
      std::optional<std::uint64_t> number = PositiveNumber(text, 65535);
      if (!number) number = platform::CodePageFromName(text);
      if (!number) {
        error = "--code-page needs a code page number from 1 to 65535 or a name such as utf-8 or "
                "shift_jis, not '" + text + "'";
        return std::nullopt;
      }
      options.codePage = static_cast<unsigned>(*number);
    } else if (arg == "--preview") {
      if (!value(text)) return std::nullopt;
      std::optional<std::uint64_t> number = PositiveNumber(text, 0xFFFFFFFFu);
      if (!number) {
        error = "--preview needs a record number from 1 to 4294967295, not '" + text + "'";
        return std::nullopt;
      }
      options.preview = static_cast<std::uint32_t>(*number);
    } else if (arg == "--jobs") {
      if (!value(text)) return std::nullopt;
      std::optional<std::uint64_t> number = PositiveNumber(text, kMaxWriterThreads);
      if (!number) {
        error = "--jobs needs a number of threads from 1 to " +
                std::to_string(kMaxWriterThreads) + ", not '" + text + "'";
        return std::nullopt;
      }
      options.jobs = static_cast<unsigned>(*number);
    } else if (arg == "--init") {
      if (!value(text)) return std::nullopt;
      if (text.empty()) {
        error = "--init needs the name of the new settings file";
        return std::nullopt;
      }
      options.init = text;
    } else if (arg == "--dry-run") {
      if (!flag(options.dryRun)) return std::nullopt;
    } else if (arg == "--changed-only") {
      if (!flag(options.changedOnly)) return std::nullopt;
    } else if (arg == "--strict") {
      if (!flag(options.strict)) return std::nullopt;
    } else if (arg == "--summary") {
      if (!flag(options.summary)) return std::nullopt;
    } else if (arg == "-q" || arg == "--quiet") {
      if (!flag(options.quiet)) return std::nullopt;
    } else if (arg == "-h" || arg == "--help") {
      if (!flag(options.help)) return std::nullopt;
    } else if (arg == "--version") {
      if (!flag(options.version)) return std::nullopt;
    } else if (arg == "--name-field") {
      if (!value(text)) return std::nullopt;
      // The last --name-field given counts, whichever form it takes.
      options.nameColumn.reset();
      if (AllDigits(text)) {
        options.nameField = SmallNumber(text, kRuleNumberMaximum);
        if (!options.nameField) {
          error = "--name-field needs a field number from 0 to 255 or a column name, not '" +
                  text + "'";
          return std::nullopt;
        }
      } else if (text.empty()) {
        error = "--name-field needs a field number or a column name";
        return std::nullopt;
      } else {
        options.nameField.reset();
        options.nameColumn = text;
      }
    } else if (arg == "--name-number") {
      if (!value(text)) return std::nullopt;
      options.nameNumber = SmallNumber(text, kRuleNumberMaximum);
      if (!options.nameNumber) {
        error = "--name-number needs a count of digits from 0 to 255, not '" + text + "'";
        return std::nullopt;
      }
    } else if (const auto* choice = std::find_if(
                   std::begin(kChoiceOptions), std::end(kChoiceOptions),
                   [&](const ChoiceOption& o) { return arg == o.name; });
               choice != std::end(kChoiceOptions)) {
      if (!value(text)) return std::nullopt;
      options.*choice->setting = Choice(text, choice->zero, choice->one);
      if (!(options.*choice->setting)) {
        error = arg + " needs " + choice->zero + " or " + choice->one + ", not '" + text + "'";
        return std::nullopt;
      }
    } else if (const auto* textOption = std::find_if(
                   std::begin(kTextOptions), std::end(kTextOptions),
                   [&](const TextOption& o) { return arg == o.name; });
               textOption != std::end(kTextOptions)) {
      if (!value(text)) return std::nullopt;
      options.*textOption->setting = text;
    } else if (arg == "--line-ends") {
      if (!value(text)) return std::nullopt;
      if (text != "cr" && text != "any") {
        error = "--line-ends needs cr or any, not '" + text + "'";
        return std::nullopt;
      }
      options.lineEnds = text == "any" ? LineEnds::Any : LineEnds::Cr;
      lineEndsGiven = true;
    } else if (arg == "--header") {
      if (!flag(options.header)) return std::nullopt;
    } else if (arg == "--single-thread") {
      if (!flag(options.singleThread)) return std::nullopt;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
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
  if (options.jobs && options.singleThread) {
    error = "--jobs and --single-thread do not go together";
    return std::nullopt;
  }
  if (options.init) {
    if (!positional.empty()) {
      error = "--init writes a new settings file and takes no other: '" + positional[0] + "'";
      return std::nullopt;
    }
    if (options.header || lineEndsGiven) {
      error = std::string(options.header ? "--header" : "--line-ends") +
              " belongs to the command line: no settings file stores it";
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
