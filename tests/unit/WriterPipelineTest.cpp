#include "engine/WriterPipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ScopedCodePage.h"
#include "support/TestFiles.h"

namespace velmora {
namespace {

struct Outcome {
  std::string runLog;
  std::uint32_t failed = 0;
  bool fileError = false;
  std::vector<std::pair<std::string, std::string>> files;  // name, bytes
};

// Merges and writes lines as a run does, on one thread (no writers) or through a pipeline of
// writers threads (depth 0: the pipeline's own depth).
Outcome Write(const std::vector<std::string>& lines, const std::string& folder, std::size_t depth,
              std::size_t maxBytes, unsigned writers = 1, bool fillOnWriters = false,
              bool judgeEveryBatch = false) {
  GeneratorSettings settings;
  settings.Output = folder;
  settings.ReplaceLead = "[$_";
  settings.ReplaceTail = "_$]";
  settings.Rule = 1;
  settings.RuleNumber = 0;
  const CodePageTable table = CodePageTable::ForCodePage(932);
  const std::string templateText = "<p>[$_1_$]</p>[$_0_$]";
  RunContext context(settings, templateText, ',', table, platform::NativePathRules());
  RunEvents quiet;
  Outcome outcome;
  RunReporter reporter(outcome.runLog, quiet);
  try {
    WritingOptions options{writers, fillOnWriters, depth, maxBytes};
    // Judged after every batch, writers beyond the processors go to sleep and wake again.
    if (judgeEveryBatch) options.judgeEvery = {};
    WriterPipeline pipeline(context, reporter, options);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::string line = lines[i];
      pipeline.Submit(line, static_cast<std::uint32_t>(i + 1));
    }
    outcome.failed = pipeline.Finish();
  } catch (const platform::FileError&) {
    outcome.fileError = true;
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      outcome.files.emplace_back(entry.path().filename().string(),
                                 test::ReadBytes(entry.path().string()));
    }
  }
  std::sort(outcome.files.begin(), outcome.files.end());
  return outcome;
}

// Names repeat (the later record's file wins), some names need a folder that does not exist, and
// values are long enough that a small byte limit holds the merger back.
std::vector<std::string> Lines() {
  std::vector<std::string> lines;
  for (int i = 0; i < 400; ++i) {
    std::string name = i % 7 == 3 ? "missing/x" + std::to_string(i) : "f" + std::to_string(i % 50);
    // One file on Windows, two elsewhere: each system's rule must keep them in record order.
    if (i % 11 == 5) name = "F" + std::to_string(i % 50) + ". ";
    lines.push_back(name + "," + std::string(static_cast<std::size_t>(i * 13 % 3000), 'a') +
                    std::to_string(i));
  }
  return lines;
}

TEST(WriterPipeline, GivesTheSameFilesLogAndCountAsOneThreadAtEveryQueueLimit) {
  test::ScopedCodePage codePage(932);
  const std::vector<std::string> lines = Lines();
  test::TempDir reference;
  const Outcome expected = Write(lines, reference.Path().string(), 0, 0, 0);
  ASSERT_GT(expected.failed, 0u);
  const struct {
    std::size_t depth, maxBytes;
    unsigned writers;
    bool fillOnWriters;
    bool judgeEveryBatch = false;
  } limits[] = {{1, 1, 1, false},        {2, 1, 1, false},  {3, 4000, 1, false},
                {64, 8u << 20, 1, false}, {1, 1, 4, false},  {3, 4000, 3, false},
                {0, 1, 64, false},        {1, 1, 1, true},   {3, 4000, 3, true},
                {0, 8u << 20, 8, true},   {0, 1, 64, true},  {0, 8u << 20, 8, true, true},
                {3, 4000, 16, false, true}};
  for (auto [depth, maxBytes, writers, fillOnWriters, judgeEveryBatch] : limits) {
    test::TempDir dir;
    Outcome outcome = Write(lines, dir.Path().string(), depth, maxBytes, writers, fillOnWriters,
                            judgeEveryBatch);
    // The log names the folder: compare it with the reference folder's name put in.
    std::string log = outcome.runLog;
    for (std::size_t at; (at = log.find(dir.Path().string())) != std::string::npos;) {
      log.replace(at, dir.Path().string().size(), reference.Path().string());
    }
    EXPECT_EQ(log, expected.runLog) << "depth " << depth << ", bytes " << maxBytes << ", writers "
                                    << writers << ", fill on writers " << fillOnWriters
                                    << ", judged every batch " << judgeEveryBatch;
    EXPECT_EQ(outcome.failed, expected.failed);
    EXPECT_EQ(outcome.files, expected.files);
  }
}

TEST(WriterPipeline, KeepsAsManyWritersAwakeAsTheProcessorsCanUse) {
  const struct {
    double processorsUsed;
    unsigned processors, limit;
    bool recordsWait;
    unsigned expected;
  } cases[] = {
      {1.8, 2, 8, true, 2},     // a file system in memory: as many as processors
      {1.0, 2, 8, false, 2},    // half the processors is busy enough
      {1.6, 2, 2, true, 2},     // and stays so
      {1.6, 2, 1, true, 1},     // never more than allowed until now
      {0.9, 2, 2, true, 2},     // between the marks: as it was
      {0.2, 2, 2, true, 4},     // slow closes with records waiting: twice as many
      {0.2, 2, 4, true, 8},
      {0.2, 2, 8, true, 8},     // up to every writer
      {0.2, 2, 2, false, 2},    // nothing waits: more would only sleep
      {0.6, 1, 8, true, 1},     // one processor
      {0.1, 1, 1, true, 2},
      {0.6, 0, 8, true, 1},     // a system that cannot count its processors: one
      {10.0, 32, 32, true, 32},  // many processors: the reading thread keeps them half idle
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WritersToKeepAwake(c.processorsUsed, c.processors, c.limit, 8, c.recordsWait),
              c.expected)
        << c.processorsUsed << " of " << c.processors << " processors, " << c.limit;
  }
}

// The path that the run builds for a name in the folder.
std::string PathIn(const test::TempDir& dir, const std::string& name) {
  return dir.Path().string() + platform::NativePathRules().joinSeparator + name;
}

TEST(WriterPipeline, StopsAtAWriteFailureWhereOneThreadStops) {
  test::ScopedCodePage codePage(932);
#ifdef _WIN32
  // Wine shows a link to the always-full device as the device itself.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const std::string fullField = "20";
#else
  // The run writes neither through a link nor to a device: a page over the limit stands in.
  const test::ScopedFileSizeLimit limit;
  const std::string fullField(2 * test::ScopedFileSizeLimit::kBytes, 'x');
#endif
  std::vector<std::string> lines;
  for (int i = 0; i < 60; ++i) {
    lines.push_back(i == 20 ? "full," + fullField : "f" + std::to_string(i) + "," + std::to_string(i));
  }
  const struct {
    std::size_t depth, maxBytes;
    unsigned writers;
    bool fillOnWriters;
  } limits[] = {{0, 0, 0, false}, {0, 0, 1, false},    {1, 1, 1, false},       {8, 1 << 20, 1, false},
                {1, 1, 4, false},    {0, 1 << 20, 8, false}, {1, 1, 1, true},
                {0, 1 << 20, 8, true}};
  for (auto [depth, maxBytes, writers, fillOnWriters] : limits) {
    test::TempDir dir;
#ifdef _WIN32
    std::error_code error;
    std::filesystem::create_symlink("/dev/full", dir.Path() / "full", error);
    if (error) GTEST_SKIP() << "cannot link /dev/full";
#endif
    Outcome outcome = Write(lines, dir.Path().string(), depth, maxBytes, writers, fillOnWriters);
    EXPECT_TRUE(outcome.fileError) << "depth " << depth;
    // The page cut at the limit stays, as it does on a full disk; the device takes nothing.
    const auto written = std::count_if(outcome.files.begin(), outcome.files.end(),
                                       [](const auto& file) { return file.first != "full"; });
    // The log names the files written, then the file that the failure cut (the error box's text,
    // which names it), then the files of later records that other threads had finished.
    const std::vector<std::string> logLines = test::LogLines(outcome.runLog);
    const auto failureLine =
        std::find_if(logLines.begin(), logLines.end(), [&](const std::string& line) {
          return line.find(PathIn(dir, "full")) != std::string::npos && !line.ends_with(" -> ok");
        });
    ASSERT_NE(failureLine, logLines.end()) << outcome.runLog;
    if (writers <= 1) {
      std::string expectedLog;
      for (int i = 0; i < 20; ++i) {
        expectedLog += PathIn(dir, "f" + std::to_string(i)) + " -> ok\r\n";
      }
      EXPECT_EQ(written, 20) << "depth " << depth;  // f0 to f19, nothing after
      EXPECT_EQ(outcome.runLog, expectedLog + *failureLine + "\r\n");
      continue;
    }
    // With several threads no file is opened after the failure, so an earlier record's file may
    // never have been started: every file there is whole and named, in record order, and no
    // file goes unnamed.
    std::string expectedLog;
    for (int i = 0; i < 60; ++i) {
      const std::string name = i == 20 ? "full" : "f" + std::to_string(i);
      if (i == 20) {
        expectedLog += *failureLine + "\r\n";
        continue;
      }
      const auto file = std::find_if(outcome.files.begin(), outcome.files.end(),
                                     [&](const auto& entry) { return entry.first == name; });
      if (file == outcome.files.end()) continue;
      EXPECT_EQ(file->second, "<p>" + std::to_string(i) + "</p>" + name);
      expectedLog += PathIn(dir, name) + " -> ok\r\n";
    }
    EXPECT_EQ(outcome.runLog, expectedLog) << "writers " << writers;
  }
}

}  // namespace
}  // namespace velmora
