#include "cli/BatchOptions.h"

namespace velmora {

const char* BatchUsage() {
  return "Usage: velmora-batch [options] SETTINGS_FILE\n"
         "Writes one file per record of the input file from the template, with the settings of\n"
         "SETTINGS_FILE (a .ini or .vmz file as the window writes them).\n"
         "\n"
         "Options:\n"
         "  -i, --input PATH      use PATH as the input file of records\n"
         "  -t, --template PATH   use PATH as the template file\n"
         "  -o, --output DIR      write the files into the folder DIR\n"
         "      --code-page N     treat texts as code page N (932, 936, 949, 950, 1361, 65001, ...)\n"
         "      --single-thread   merge and write on one thread\n"
         "  -q, --quiet           show no progress\n"
         "  -h, --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Standard output receives the run log. Exit status: 0 every file was written; 3 the run\n"
         "completed but some files could not be written; 1 the run failed; 2 usage error or an\n"
         "unreadable settings file.\n";
}

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
      unsigned long number = 0;
      bool digits = !text.empty() && text.size() <= 5;
      for (char c : text) {
        if (c < '0' || c > '9') digits = false;
      }
      if (digits) number = std::stoul(text);
      if (!digits || number == 0 || number > 65535) {
        error = "--code-page needs a code page number from 1 to 65535, not '" + text + "'";
        return std::nullopt;
      }
      options.codePage = static_cast<unsigned>(number);
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
