// What the option table tells the user: --help, the manual's OPTIONS section and the README's
// options table.
#include <algorithm>
#include <vector>

#include "cli/BatchOptionTable.h"

namespace velmora {

namespace {

// The widest line of an option's help, as wide as the help's own paragraphs.
constexpr std::size_t kHelpWidth = 85;
// The column where an option's help text starts.
constexpr std::size_t kHelpColumn = 24;
// The manual's source lines, as wide as its hand-written parts.
constexpr std::size_t kManualWidth = 96;

// The manual's parts of the OPTIONS section, in roff: what comes before a group's options and
// after them.
struct ManualGroup {
  BatchOptionGroup group;
  const char* opening;
  const char* closing;
};
constexpr ManualGroup kManualGroups[] = {
    {BatchOptionGroup::Run, "",
     R"(.PP)" "\n"
     R"(An option's value may also follow an equals sign (\fB\-\-output=out\fR). \fB\-\-\fR )"
     R"(ends the options.)"},
    {BatchOptionGroup::Setting,
     R"(.SS Settings from the command line)" "\n"
     R"(Each of these overrides the setting of \fISETTINGS_FILE\fR; with \fB\-\-init\fR they )"
     R"(go into the new settings file, which the window imports as it stands. Texts are bytes )"
     R"(in the code page in effect (on Windows, the ANSI command line). An argument that is )"
     R"(not one of the values shown ends the command with exit status 2 and a message naming )"
     R"(the option.)",
     ""},
    {BatchOptionGroup::Recipe,
     R"(.SS Kept in the [Batch] section)" "\n"
     R"(These belong to the run rather than to the window's settings. With \fB\-\-init\fR, each )"
     R"(one given goes into the \fB[Batch]\fR section of the new settings file under its long )"
     R"(name (a flag as 1), so that a run from that file alone makes the same pages; an option )"
     R"(on the command line overrides the section. The window keeps the section as it stands )"
     R"(when it saves its settings. A value there that the option does not take ends the )"
     R"(command with exit status 2 and a message naming the file, the section and the key.)",
     ""},
};

// The words of text in lines of at most width characters; a longer word stands alone.
std::vector<std::string> WrapWords(const std::string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    const std::string word = text.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The rows as the entries of one document: a row whose text there is empty joins the entry
// before it.
std::vector<std::span<const BatchOption>> Entries(const char* BatchOption::*text) {
  const std::span<const BatchOption> table = BatchOptionTable();
  std::vector<std::span<const BatchOption>> entries;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (*(table[i].*text) == '\0' && !entries.empty()) {
      entries.back() = std::span(entries.back().data(), entries.back().size() + 1);
    } else {
      entries.push_back(table.subspan(i, 1));
    }
  }
  return entries;
}

// Roff spells a hyphen that stands for itself (in an option's name) "\-".
std::string RoffName(const std::string& text) {
  std::string roff;
  for (char c : text) roff += c == '-' ? std::string("\\-") : std::string(1, c);
  return roff;
}

// "\fB\-\-separator\fR \fBcsv\fR|\fBtsv\fR": names and words bold, a value's name italic.
std::string RoffTag(const BatchOption& option) {
  std::string tag;
  if (option.shortName) tag += "\\fB\\-" + std::string(1, option.shortName) + "\\fR, ";
  tag += "\\fB" + RoffName(option.LongName()) + "\\fR";
  if (!option.argument) return tag;
  tag += ' ';
  const std::string argument = option.argument;
  for (std::size_t start = 0; start <= argument.size();) {
    const std::size_t end = std::min(argument.find('|', start), argument.size());
    const std::string word = argument.substr(start, end - start);
    const bool isName = std::none_of(word.begin(), word.end(), [](char c) {
      return c >= 'a' && c <= 'z';
    });
    tag += (start == 0 ? "" : "|") + std::string(isName ? "\\fI" : "\\fB") + RoffName(word) +
           "\\fR";
    start = end + 1;
  }
  return tag;
}

// Roff source lines of a text of the table: requests and no-fill lines as they are, the rest
// wrapped. A wrapped line that would start with "." or "'" would be a request: "\&" keeps it
// text.
std::string RoffLines(const std::string& text) {
  std::string roff;
  bool noFill = false;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.starts_with('.') || noFill) {
      if (line == ".nf") noFill = true;
      if (line == ".fi") noFill = false;
      roff += line + "\n";
      continue;
    }
    for (const std::string& wrapped : WrapWords(line, kManualWidth)) {
      const bool looksLikeRequest = wrapped.starts_with('.') || wrapped.starts_with('\'');
      roff += (looksLikeRequest ? "\\&" : "") + wrapped + "\n";
    }
  }
  return roff;
}

// "`--name-field N\|NAME`": a code span, with the table's own "|" escaped.
std::string ReadmeNames(const BatchOption& option) {
  std::string names;
  if (option.shortName) names += "`-" + std::string(1, option.shortName) + "`, ";
  names += "`" + option.LongName();
  if (option.argument) {
    names += ' ';
    for (const char* c = option.argument; *c; ++c) names += *c == '|' ? "\\|" : std::string(1, *c);
  }
  return names + "`";
}

std::string RenderUsage() {
  std::string usage =
      "Usage: velmora-batch [options] SETTINGS_FILE\n"
      "       velmora-batch [options] -i INPUT -t TEMPLATE -o DIR\n"
      "       velmora-batch [setting options] --init NEW_SETTINGS_FILE\n"
      "Writes one file per record of the input file from the template, with the settings of\n"
      "SETTINGS_FILE (a .ini or .vmz file as the window writes them), or of a new settings\n"
      "file when none is given. The options below override the settings file.\n"
      "\n"
      "Options:\n";
  const std::string indent(kHelpColumn, ' ');
  for (const BatchOption& option : BatchOptionTable()) {
    std::string tag = option.shortName ? std::string("  -") + option.shortName + ", " : "      ";
    tag += option.LongName() + (option.argument ? std::string(" ") + option.argument : "");
    // The text starts in its column, on the next line when the name leaves no two blanks.
    usage += tag.size() + 2 <= kHelpColumn ? tag + std::string(kHelpColumn - tag.size(), ' ')
                                           : tag + "\n" + indent;
    const std::vector<std::string> lines = WrapWords(option.help, kHelpWidth - kHelpColumn);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      usage += (i == 0 ? "" : indent) + lines[i] + "\n";
    }
  }
  return usage +
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

}  // namespace

const char* BatchUsage() {
  static const std::string usage = RenderUsage();
  return usage.c_str();
}

std::string BatchManualOptions() {
  std::string manual = ".SH OPTIONS\n";
  const std::vector<std::span<const BatchOption>> entries = Entries(&BatchOption::manual);
  for (const ManualGroup& group : kManualGroups) {
    manual += RoffLines(group.opening);
    for (std::span<const BatchOption> entry : entries) {
      if (entry.front().group != group.group) continue;
      manual += ".TP\n";
      for (const BatchOption& option : entry) {
        manual += (&option == &entry.front() ? "" : ", ") + RoffTag(option);
      }
      manual += "\n" + RoffLines(entry.front().manual);
    }
    manual += RoffLines(group.closing);
  }
  return manual;
}

std::string BatchReadmeOptions() {
  std::string readme = "| option | meaning |\n| --- | --- |\n";
  for (std::span<const BatchOption> entry : Entries(&BatchOption::readme)) {
    readme += "| ";
    for (const BatchOption& option : entry) {
      readme += (&option == &entry.front() ? "" : ", ") + ReadmeNames(option);
    }
    readme += " | " + std::string(entry.front().readme) + " |\n";
  }
  return readme;
}

}  // namespace velmora
