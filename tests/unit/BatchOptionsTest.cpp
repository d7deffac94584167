#include "cli/BatchOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/BatchHost.h"

namespace velmora {
namespace {

TEST(BatchOptions, ReadsPathsCodePageAndFlags) {
  std::string error;
  auto options = ParseBatchOptions({"-i", "in.csv", "--template=t.html", "--output", "out",
                                    "--code-page", "932", "-q", "s.ini"},
                                   error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->settingsFile, "s.ini");
  EXPECT_EQ(options->input, "in.csv");
  EXPECT_EQ(options->templatePath, "t.html");
  EXPECT_EQ(options->output, "out");
  EXPECT_EQ(options->codePage, 932u);
  EXPECT_TRUE(options->quiet);
  EXPECT_FALSE(options->singleThread);
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
      {"--quiet=yes", "a.ini"},
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
  auto dashed = ParseBatchOptions({"--", "-odd.ini"}, error);
  ASSERT_TRUE(dashed);
  EXPECT_EQ(dashed->settingsFile, "-odd.ini");
}

TEST(BatchHost, DrawsAProgressBar) {
  EXPECT_EQ(ProgressBar(0.5, 10), "[#####.....]  50%");
  EXPECT_EQ(ProgressBar(1.5, 4), "[####] 100%");
  EXPECT_EQ(ProgressBar(0.0, 4), "[....]   0%");
}

}  // namespace
}  // namespace velmora
