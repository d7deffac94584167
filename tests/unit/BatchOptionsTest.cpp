#include "cli/BatchOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cli/BatchHost.h"
#include "cli/OutputCollisions.h"

namespace velmora {
namespace {

TEST(BatchOptions, ReadsPathsCodePageAndFlags) {
  std::string error;
  auto options = ParseBatchOptions({"-i", "in.csv", "--template=t.html", "--output", "out",
                                    "--code-page", "932", "-q", "--preview", "4294967295",
                                    "--dry-run", "--changed-only", "--strict", "--summary", "s.ini"},
                                   error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->settingsFile, "s.ini");
  EXPECT_EQ(options->input, "in.csv");
  EXPECT_EQ(options->templatePath, "t.html");
  EXPECT_EQ(options->output, "out");
  EXPECT_EQ(options->codePage, 932u);
  EXPECT_TRUE(options->quiet);
  EXPECT_FALSE(options->singleThread);
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
               plain->summary);
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
  };
  for (const auto& args : cases) {
    std::string error;
    EXPECT_FALSE(ParseBatchOptions(args, error));
    EXPECT_FALSE(error.empty());
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

TEST(BatchHost, DrawsAProgressBar) {
  EXPECT_EQ(ProgressBar(0.5, 10), "[#####.....]  50%");
  EXPECT_EQ(ProgressBar(1.5, 4), "[####] 100%");
  EXPECT_EQ(ProgressBar(0.0, 4), "[....]   0%");
}

}  // namespace
}  // namespace velmora
