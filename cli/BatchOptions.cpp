#include "cli/BatchOptions.h"

#include "engine/WriterPipeline.h"

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
         "      --preview N       write the filled template of record N to standard output and\n"
         "                        write no file\n"
         "      --dry-run         the whole run without creating, changing or removing a file;\n"
         "                        the run log says \"-> dry run\" where a file would be written\n"
         "      --changed-only    leave a file that already holds the record's bytes untouched;\n"
         "                        the run log says \"-> unchanged\"\n"
         "      --strict          end with exit status 4 when records wrote the same file\n"
         "      --summary         close with a summary line also when standard error is no\n"
         "                        terminal\n"
         "      --init FILE       write a new settings file with the defaults and exit\n"
         "      --jobs N          write the files on N threads, 1 to 64 (default: 4 per\n"
         "                        processor, at least 4 and at most 32)\n"
         "      --single-thread   merge and write on one thread\n"
         "  -q, --quiet           show no progress\n"
         "  -h, --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Standard output receives the run log. Standard error names every file that more than\n"
         "one record wrote. Exit status: 0 every file was written; 3 the run completed but some\n"
         "files could not be written; 4 with --strict, records wrote the same file; 1 the run\n"
         "failed; 2 usage error, an unreadable settings file, a record --preview cannot find, or\n"
         "an --init file that exists.\n";
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
      if (!number) {
        error = "--code-page needs a code page number from 1 to 65535, not '" + text + "'";
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
    } else if (arg == "--single-thread") {
      if (!flag(options.singleThread)) return std::nullopt;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
  }
  if (options.help || options.version) return options;
  if (options.jobs && options.singleThread) {
    error = "--jobs and --single-thread do not go together";
    return std::nullopt;
  }
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
