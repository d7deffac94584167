#include "cli/BatchOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cli/BatchStatusLine.h"
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
  EXPECT_EQ(plain->lineEnds, LineEnds::Cr);
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
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"a.ini", "b.ini"},
      {"--bogus", "a.ini"},
      {"-i"},
      {"--code-page", "abc", "a.ini"},
      {"--code-page", "0", "a.ini"},
      {"--code-page", "70000", "a.ini"},
      {"--code-page", "utf-16", "a.ini"},
      {"--code-page", "shift jis", "a.ini"},
      {"--quiet=yes", "a.ini"},
      {"--preview", "0", "a.ini"},
      {"--preview", "+1", "a.ini"},
      {"--preview", "4294967296", "a.ini"},
      {"--preview", "", "a.ini"},
      {"--preview"},
      {"--strict=1", "a.ini"},
      {"--init"},
      {"--init="},
      {"--init", "new.ini", "a.ini"},
      {"--separator", "comma", "a.ini"},
      {"--field-break", "cr", "a.ini"},
      {"--format", "HTML", "a.ini"},
      {"--line-ends", "lf", "a.ini"},
      {"--lead"},
      {"--name-field", "256", "a.ini"},
      {"--name-field", "", "a.ini"},
      {"--name-field", "price", "a.ini"},
      {"--name-number", "-1", "a.ini"},
      {"--name-number", "256", "a.ini"},
      {"--name-field", "1", "--name-number", "2", "a.ini"},
      {"--header=yes", "a.ini"},
      {"--init", "new.ini", "--header"},
      {"--init", "new.ini", "--line-ends", "cr"},
      {"-i", "in.csv", "-t", "t.html"},
      {"--jobs", "0", "a.ini"},
      {"--jobs", "65", "a.ini"},
      {"--jobs=", "a.ini"},
      {"--jobs", "two", "a.ini"},
      {"--jobs", "2", "--single-thread", "a.ini"},
  };
  for (const auto& args : cases) {
    std::string error;
    EXPECT_FALSE(ParseBatchOptions(args, error));
    EXPECT_FALSE(error.empty());
    // A refused thread count names the option.
    if (args.size() > 1 && args[0].rfind("--jobs", 0) == 0) {
      EXPECT_NE(error.find("--jobs"), std::string::npos) << error;
    }
  }
  std::string error;
  ParseBatchOptions({"--jobs", "65", "a.ini"}, error);
  EXPECT_EQ(error, "--jobs needs a number of threads from 1 to 64, not '65'");
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
