#include "cli/BatchOptions.h"

#include "platform/Platform.h"

namespace velmora {

const char* BatchUsage() {
  return "Usage: velmora-batch [options] SETTINGS_FILE\n"
         "       velmora-batch --init NEW_SETTINGS_FILE\n"
         "Writes one file per record of the input file from the template, with the settings of\n"
         "SETTINGS_FILE (a .ini or .vmz file as the window writes them).\n"
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
         "                        and tail alone, or at text that is no text of the code page\n"
         "      --summary         close with a summary line also when standard error is no\n"
         "                        terminal\n"
         "      --init FILE       write a new settings file with the defaults and exit\n"
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

}  // namespace

std::optional<BatchOptions> ParseBatchOptions(const std::vector<std::string>& args,
                                              std::string& error) {
  BatchOptions options;
  std::vector<std::string> positional;
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
    } else if (arg == "--single-thread") {
      if (!flag(options.singleThread)) return std::nullopt;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (options.help || options.version) return options;
  if (options.init) {
    if (!positional.empty()) {
      error = "--init writes a new settings file and takes no other: '" + positional[0] + "'";
      return std::nullopt;
    }
    return options;
  }
  if (positional.empty()) {
    error = "no settings file given";
    return std::nullopt;
  }
  if (positional.size() > 1) {
    error = "more than one settings file given: '" + positional[1] + "'";
    return std::nullopt;
  }
  options.settingsFile = positional[0];
  return options;
}

}  // namespace velmora
