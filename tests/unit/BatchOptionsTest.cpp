#include "cli/BatchOptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/BatchOptionTable.h"
#include "cli/BatchRecipe.h"
#include "cli/BatchStatusLine.h"
#include "settings/ProfileText.h"
#include "cli/OutputCollisions.h"

namespace velmora {
namespace {

TEST(BatchOptions, ReadsPathsCodePageAndFlags) {
  std::string error;
  auto options = ParseBatchOptions({"-i", "in.csv", "--template=t.html", "--output", "out",
                                    "--code-page", "932", "-q", "--preview", "4294967295",
                                    "--dry-run", "--changed-only", "--strict", "--summary",
                                    "--jobs=64", "s.ini"},
                                   error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->settingsFile, "s.ini");
  EXPECT_EQ(options->input, "in.csv");
  EXPECT_EQ(options->templatePath, "t.html");
  EXPECT_EQ(options->output, "out");
  EXPECT_EQ(options->codePage, 932u);
  EXPECT_TRUE(options->quiet);
  EXPECT_FALSE(options->singleThread);
  EXPECT_EQ(options->jobs, 64u);
  EXPECT_EQ(options->preview, 4294967295u);
  EXPECT_TRUE(options->dryRun && options->changedOnly && options->strict && options->summary);
  EXPECT_FALSE(options->init);
  // Code pages by name, in any letter case.
  const std::vector<std::pair<std::string, unsigned>> names = {
      {"utf-8", 65001},    {"UTF8", 65001},  {"Shift_JIS", 932},   {"sjis", 932},
      {"CP932", 932},      {"euc-jp", 20932}, {"GBK", 936},        {"big5", 950},
      {"EUC-KR", 949},     {"windows-1252", 1252},
  };
  for (const auto& [name, codePage] : names) {
    auto named = ParseBatchOptions({"--code-page", name, "s.ini"}, error);
    ASSERT_TRUE(named) << name << ": " << error;
    EXPECT_EQ(named->codePage, codePage) << name;
  }
  auto plain = ParseBatchOptions({"s.ini"}, error);
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->preview || plain->dryRun || plain->changedOnly || plain->strict ||
               plain->summary || plain->header || plain->jobs);
  EXPECT_EQ(plain->lineEnds, LineEnds::Auto);
  GeneratorSettings unchanged;
  unchanged.RuleTail = ".html";
  GeneratorSettings applied = unchanged;
  ApplyBatchOptions(*plain, applied);
  EXPECT_EQ(applied, unchanged);

  // Without a settings file the paths come from options; every setting can.
  auto settingsOptions = ParseBatchOptions(
      {"-i", "x", "-t", "y", "-o", "z", "--header", "--name-field", "3", "--name-field", "price",
       "--name-lead=p-", "--name-tail", "", "--separator", "tsv", "--field-break", "vt",
       "--format", "text", "--lead", "{", "--tail", "}", "--default=", "--line-ends", "any"},
      error);
  ASSERT_TRUE(settingsOptions) << error;
  EXPECT_EQ(settingsOptions->settingsFile, "");
  EXPECT_EQ(settingsOptions->nameColumn, "price");
  EXPECT_FALSE(settingsOptions->nameField);  // the last --name-field counts
  EXPECT_EQ(settingsOptions->lineEnds, LineEnds::Any);
  GeneratorSettings s;
  s.Rule = 0;
  s.RuleNumber = 7;
  s.ReplaceDefault = "-";
  ApplyBatchOptions(*settingsOptions, s);
  EXPECT_EQ(s.Input + s.Template + s.Output, "xyz");
  EXPECT_EQ(s.Rule, 1);
  EXPECT_EQ(s.RuleLead + "|" + s.RuleTail, "p-|");
  EXPECT_EQ(s.FieldSeparator + s.FieldBreak + s.ReplaceFormat, 3);
  EXPECT_EQ(s.ReplaceLead + s.ReplaceTail + s.ReplaceDefault, "{}");
  struct Rule {
    std::vector<std::string> args;
    std::int32_t rule;
    std::uint32_t number;
  };
  for (const Rule& r : {Rule{{"--name-field", "255", "s.ini"}, 1, 255},
                        Rule{{"--name-number", "0", "s.ini"}, 0, 0},
                        Rule{{"--name-number=12", "s.ini"}, 0, 12}}) {
    auto ruleOptions = ParseBatchOptions(r.args, error);
    ASSERT_TRUE(ruleOptions) << error;
    GeneratorSettings named;
    named.Rule = 5;
    named.RuleNumber = 99;
    ApplyBatchOptions(*ruleOptions, named);
    EXPECT_EQ(named.Rule, r.rule) << r.args[0];
    EXPECT_EQ(named.RuleNumber, r.number) << r.args[0];
  }
}

TEST(BatchOptions, RefusesWhatIsNoValidCommandLine) {
  struct Refused {
    std::vector<std::string> args;
    std::string error;
  };
  const std::string kCodePage =
      "--code-page needs a code page number from 1 to 65535 or a name such as utf-8 or "
      "shift_jis, not ";
  const std::vector<Refused> cases = {
      {{}, "no settings file given: without one, --input, --template and --output are needed"},
      {{"a.ini", "b.ini"}, "more than one settings file given: 'b.ini'"},
      {{"--bogus", "a.ini"}, "unknown option --bogus"},
      {{"-i"}, "option -i needs a value"},
      {{"--code-page", "abc", "a.ini"}, kCodePage + "'abc'"},
      {{"--code-page", "0", "a.ini"}, kCodePage + "'0'"},
      {{"--code-page", "70000", "a.ini"}, kCodePage + "'70000'"},
      {{"--code-page", "utf-16", "a.ini"}, kCodePage + "'utf-16'"},
      {{"--code-page", "shift jis", "a.ini"}, kCodePage + "'shift jis'"},
      {{"--code-page", "1200", "a.ini"},
       "--code-page 1200: code page 1200 is no code page of bytes in which ASCII stands for "
       "itself"},
      {{"--code-page", "65000", "a.ini"},
       "--code-page 65000: code page 65000 is no code page of bytes in which ASCII stands for "
       "itself"},
      {{"--code-page", "12345", "a.ini"},
       "--code-page 12345: code page 12345 is one that this system cannot convert"},
      {{"--init", "n.ini", "--dry-run"},
       "--init writes a new settings file and runs nothing: --dry-run does not go with it"},
      {{"--preview", "1", "--init", "n.ini"},
       "--init writes a new settings file and runs nothing: --preview does not go with it"},
      {{"--init", "n.ini", "--jobs", "2"},
       "--init writes a new settings file and runs nothing: --jobs does not go with it"},
      {{"--init", "n.ini", "--strict"},
       "--init writes a new settings file and runs nothing: --strict does not go with it"},
      {{"--init", "n.ini", "--changed-only"},
       "--init writes a new settings file and runs nothing: --changed-only does not go with it"},
      {{"--quiet=yes", "a.ini"}, "option --quiet takes no value"},
      {{"--preview", "0", "a.ini"},
       "--preview needs a record number from 1 to 4294967295, not '0'"},
      {{"--preview", "+1", "a.ini"},
       "--preview needs a record number from 1 to 4294967295, not '+1'"},
      {{"--preview", "4294967296", "a.ini"},
       "--preview needs a record number from 1 to 4294967295, not '4294967296'"},
      {{"--preview", "", "a.ini"}, "--preview needs a record number from 1 to 4294967295, not ''"},
      {{"--preview"}, "option --preview needs a value"},
      {{"--strict=1", "a.ini"}, "option --strict takes no value"},
      {{"--init"}, "option --init needs a value"},
      {{"--init="}, "--init needs the name of the new settings file"},
      {{"--init", "new.ini", "a.ini"},
       "--init writes a new settings file and takes no other: 'a.ini'"},
      {{"--separator", "comma", "a.ini"}, "--separator needs csv or tsv, not 'comma'"},
      {{"--field-break", "cr", "a.ini"}, "--field-break needs lf or vt, not 'cr'"},
      {{"--format", "HTML", "a.ini"}, "--format needs html or text, not 'HTML'"},
      {{"--line-ends", "lf", "a.ini"}, "--line-ends needs auto, cr or any, not 'lf'"},
      {{"--lead"}, "option --lead needs a value"},
      {{"--name-field", "256", "a.ini"},
       "--name-field needs a field number from 0 to 255 or a column name, not '256'"},
      {{"--name-field", "", "a.ini"}, "--name-field needs a field number or a column name"},
      {{"--name-field", "price", "a.ini"},
       "--name-field 'price' names a column: it needs --header"},
      {{"--name-number", "-1", "a.ini"},
       "--name-number needs a count of digits from 0 to 255, not '-1'"},
      {{"--name-number", "256", "a.ini"},
       "--name-number needs a count of digits from 0 to 255, not '256'"},
      {{"--name-field", "1", "--name-number", "2", "a.ini"},
       "--name-field and --name-number are two naming rules: give one"},
      {{"--header=yes", "a.ini"}, "option --header takes no value"},
      {{"--init", "new.ini", "--prune=1"}, "option --prune takes no value"},
      {{"--init", "new.ini", "--line-ends", "lf"}, "--line-ends needs auto, cr or any, not 'lf'"},
      {{"-i", "in.csv", "-t", "t.html"},
       "no settings file given: without one, --input, --template and --output are needed"},
      {{"--jobs", "0", "a.ini"}, "--jobs needs a number of threads from 1 to 64, not '0'"},
      {{"--jobs", "65", "a.ini"}, "--jobs needs a number of threads from 1 to 64, not '65'"},
      {{"--jobs=", "a.ini"}, "--jobs needs a number of threads from 1 to 64, not ''"},
      {{"--jobs", "two", "a.ini"}, "--jobs needs a number of threads from 1 to 64, not 'two'"},
      {{"--jobs", "2", "--single-thread", "a.ini"},
       "--jobs and --single-thread do not go together"},
      {{"-x", "a.ini"}, "unknown option -x"},
      {{"-iin.csv", "a.ini"}, "unknown option -iin.csv"},
      {{"--input"}, "option --input needs a value"},
      {{"-h=1"}, "unknown option -h=1"},
      {{"--name-field=00000000256", "a.ini"},
       "--name-field needs a field number from 0 to 255 or a column name, not '00000000256'"},
      {{"--init", "n.ini", "--header", "--name-field", "price"},
       "--init keeps a field's number, not a column's name: --name-field 'price'"},
      {{"--init", "n.ini", "--line-ends=any", "--header", "x.ini"},
       "--init writes a new settings file and takes no other: 'x.ini'"},
      {{"--where", "public", "a.ini"}, "--where needs NAME=VALUE or NAME!=VALUE, not 'public'"},
      {{"--where", "!=x", "a.ini"}, "--where needs NAME=VALUE or NAME!=VALUE, not '!=x'"},
      {{"--where", "0=a", "--where", "kind!=x", "a.ini"},
       "--where 'kind!=x' names a column: it needs --header"},
      {{"--list-output", "i.html", "a.ini"},
       "--list-output names the list files of --list: it needs --list"},
      {{"--name-template", "[$_0_$]", "--name-number", "2", "a.ini"},
       "--name-template names the files itself: it does not go with --name-field or "
       "--name-number"},
  };
  for (const Refused& r : cases) {
    std::string error;
    EXPECT_FALSE(ParseBatchOptions(r.args, error));
    EXPECT_EQ(error, r.error);
    // A refused thread count names the option.
    if (r.args.size() > 1 && r.args[0].rfind("--jobs", 0) == 0) {
      EXPECT_NE(error.find("--jobs"), std::string::npos) << error;
    }
  }
}

TEST(BatchOptions, HelpAndVersionNeedNoSettingsFile) {
  std::string error;
  EXPECT_TRUE(ParseBatchOptions({"--help"}, error)->help);
  EXPECT_TRUE(ParseBatchOptions({"--version"}, error)->version);
  EXPECT_EQ(ParseBatchOptions({"--init", "new.ini"}, error)->init, "new.ini");
  auto dashed = ParseBatchOptions({"--", "-odd.ini"}, error);
  ASSERT_TRUE(dashed);
  EXPECT_EQ(dashed->settingsFile, "-odd.ini");
}

TEST(BatchOptionTable, NamesEachOptionOnceAndReadsItByItsRow) {
  std::set<std::string> names;
  const BatchOption* before = nullptr;
  for (const BatchOption& option : BatchOptionTable()) {
    const std::string name = option.LongName();
    EXPECT_TRUE(names.insert(name).second) << name;
    if (option.shortName) {
      EXPECT_TRUE(names.insert(std::string("-") + option.shortName).second) << name;
    }
    // A setting that the settings file stores reaches it, and --init writes it.
    if (option.group == BatchOptionGroup::Setting) {
      EXPECT_TRUE(option.apply) << name;
    }
    // An option described with the one before it belongs to the same part of the manual.
    if (!*option.manual) {
      ASSERT_TRUE(before) << name;
      EXPECT_EQ(option.group, before->group) << name;
    }
    before = &option;
    std::string error;
    if (option.argument) {
      EXPECT_FALSE(ParseBatchOptions({name}, error));
      EXPECT_EQ(error, "option " + name + " needs a value");
    } else {
      EXPECT_FALSE(ParseBatchOptions({name + "=1", "a.ini"}, error));
      EXPECT_EQ(error, "option " + name + " takes no value");
    }
  }
}

// A repeatable row for the test alone: its values in order.
std::vector<std::string> gRepeated;
bool ReadRepeated(const BatchOption&, const std::string& value, BatchOptions&, std::string&) {
  gRepeated.push_back(value);
  return true;
}

TEST(BatchRecipe, ReplaysTheSectionThatInitWritesUnlessTheCommandLineGivesTheOption) {
  const std::span<const BatchOption> real = BatchOptionTable();
  auto row = [&](const char* name) {
    return *std::find_if(real.begin(), real.end(),
                         [&](const BatchOption& o) { return o.longName == std::string(name); });
  };
  std::vector<BatchOption> table = {row("init"), row("header"), row("line-ends"),
                                    row("code-page")};
  table.push_back({0, "where", "EXPR", BatchOptionGroup::Recipe, ReadRepeated, nullptr, "", "",
                   "", true});
  std::string error;
  gRepeated.clear();
  const auto given = ParseBatchOptions({"--init", "n.ini", "--where", " a ", "--header",
                                        "--line-ends", "cr", "--line-ends=any", "--where",
                                        "\"b\""},
                                       error, table);
  ASSERT_TRUE(given) << error;
  const std::vector<ProfileEntry> entries = RecipeEntries(*given, table);
  const std::vector<ProfileEntry> expected = {{"Batch", "header", "1"},
                                              {"Batch", "line-ends", "any"},
                                              {"Batch", "where1", " a "},
                                              {"Batch", "where2", "\"b\""}};
  ASSERT_EQ(entries.size(), expected.size());
  std::string text;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].key, expected[i].key);
    EXPECT_EQ(entries[i].value, expected[i].value);
    text += entries[i].key + "=" + *StoredProfileValue(entries[i].value, error) + "\r\n";
  }
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> repeated;
    LineEnds lineEnds;
  };
  const Case cases[] = {
      {{"s.ini"}, {" a ", "\"b\""}, LineEnds::Any},
      {{"--line-ends", "cr", "s.ini"}, {" a ", "\"b\""}, LineEnds::Cr},
      {{"--where", "c", "s.ini"}, {"c"}, LineEnds::Any},
  };
  for (const Case& c : cases) {
    gRepeated.clear();
    auto options = ParseBatchOptions(c.args, error, table);
    ASSERT_TRUE(options) << error;
    const std::unique_ptr<ProfileReader> reader =
        MakeTextProfile("[Batch]\r\n" + text)->Read("s.ini");
    ASSERT_TRUE(ReadRecipe(*reader, *options, error, table)) << error;
    EXPECT_TRUE(options->header);
    EXPECT_EQ(options->lineEnds, c.lineEnds);
    EXPECT_EQ(gRepeated, c.repeated);
  }
  for (const auto& [key, known] : std::vector<std::pair<const char*, bool>>{
           {"where1", true}, {"WHERE12", true}, {"where", false}, {"where0", false},
           {"where1x", false}, {"Header", true}, {"header1", false}, {"init", false}}) {
    EXPECT_EQ(IsRecipeKey(key, table), known) << key;
  }
  const std::pair<const char*, const char*> bad[] = {
      {"header=yes", "[Batch] header: needs 1 or 0, not 'yes'"},
      {"line-ends=lf", "[Batch] line-ends: --line-ends needs auto, cr or any, not 'lf'"},
      {"code-page=1200",
       "[Batch] code-page: --code-page 1200: code page 1200 is no code page of bytes in which "
       "ASCII stands for itself"},
  };
  for (const auto& [line, message] : bad) {
    auto options = ParseBatchOptions({"s.ini"}, error, table);
    const std::unique_ptr<ProfileReader> reader =
        MakeTextProfile(std::string("[Batch]\r\n") + line + "\r\n")->Read("s.ini");
    EXPECT_FALSE(ReadRecipe(*reader, *options, error, table)) << line;
    EXPECT_EQ(error, message);
  }
}

// The manual's OPTIONS section and the README's options table are the table's own text. After
// a change of the table, VELMORA_UPDATE_DOCS=1 writes it into them.
TEST(BatchOptionTable, ManualAndReadmeDescribeTheOptionsAsTheTableDoes) {
  struct Part {
    const char* file;
    std::string expected;
    bool (*ends)(const std::string& line);  // the first line after the part
  };
  const Part parts[] = {
      {"docs/velmora-batch.1", BatchManualOptions(),
       [](const std::string& line) { return line.starts_with(".SH "); }},
      {"README.md", BatchReadmeOptions(),
       [](const std::string& line) { return !line.starts_with("|"); }},
  };
  for (const Part& part : parts) {
    const std::string path = std::string(VELMORA_SOURCE_DIR) + "/" + part.file;
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string first = part.expected.substr(0, part.expected.find('\n') + 1);
    std::size_t begin = text.find("\n" + first);
    ASSERT_NE(begin, std::string::npos) << part.file << " lacks " << first;
    ++begin;
    std::size_t end = begin + first.size();
    while (end < text.size()) {
      const std::size_t next = std::min(text.find('\n', end), text.size());
      if (part.ends(text.substr(end, next - end))) break;
      end = next + 1;
    }
    if (std::getenv("VELMORA_UPDATE_DOCS")) {
      text.replace(begin, end - begin, part.expected);
      std::ofstream(path, std::ios::binary) << text;
      continue;
    }
    EXPECT_EQ(text.substr(begin, end - begin), part.expected) << part.file;
  }
}

TEST(OutputCollisions, ReportsTheFilesThatSeveralRecordsWrote) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  const platform::PathRules windows{true, true, '\\', 260};
  OutputCollisions files(windows, table);
  std::uint32_t record = 0;
  for (const char* name : {"A", "b", "a", "c", "B", "./a"}) {
    files.Add(name, std::string("o\\") + name, ++record);
  }
  for (int i = 0; i < 5000; ++i) files.Add("n" + std::to_string(i), "o\\n", ++record);
  const auto collisions = files.Collisions();
  ASSERT_EQ(collisions.size(), 2u);
  EXPECT_EQ(collisions[0].path, "o\\./a");
  EXPECT_EQ(collisions[0].records, (std::vector<std::uint32_t>{1, 3, 6}));
  EXPECT_EQ(collisions[1].records, (std::vector<std::uint32_t>{2, 5}));
  EXPECT_EQ(CollisionReport(collisions, 1),
            "velmora-batch: o\\./a was written by records 1, 3, 6; the file of record 6 stands\n"
            "velmora-batch: and 1 more files written by more than one record\n");
}

TEST(BatchStatusLine, DrawsAProgressBar) {
  EXPECT_EQ(ProgressBar(0.5, 10), "[#####.....]  50%");
  EXPECT_EQ(ProgressBar(1.5, 4), "[####] 100%");
  EXPECT_EQ(ProgressBar(0.0, 4), "[....]   0%");
}

}  // namespace
}  // namespace velmora
