#include "engine/GenerationRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/ProgramTexts.h"
#include "engine/StatusLine.h"
#include "platform/Platform.h"
#include "support/ScopedCodePage.h"
#include "support/TestFiles.h"
#include "support/WritingModes.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velmora {
namespace {

class RecordingHost : public StatusLineEvents {
 public:
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void ShowProgress(std::uint32_t n, std::uint64_t, std::optional<std::uint64_t>) override {
    statuses.push_back(ProgressText(n));
  }
  void Beep(unsigned type) override { beeps.push_back(type); }
  void BeginWaitCursor() override { ++waitDepth; }
  void EndWaitCursor() override { --waitDepth; }
  std::vector<std::string> statuses;
  std::vector<unsigned> beeps;
  int waitDepth = 0;
};

// Texts of the run in code page 932.
const std::string kHeaderInput = "\x93\xfc\x97\xcd\x83t\x83@\x83" "C\x83\x8b\x96\xbc\x81" "F";
const std::string kHeaderTemplate = "\x90\x97\x8c^\x83t\x83@\x83" "C\x83\x8b\x96\xbc\x81" "F";
const std::string kHeaderOutput = "\x8fo\x97\xcd\x83t\x83H\x83\x8b\x83_\x96\xbc\x81" "F";
const std::string kComma = "\x83Z\x83p\x83\x8c\x81[\x83^\x81" "F\x83J\x83\x93\x83} (csv)";
const std::string kTab = "\x83Z\x83p\x83\x8c\x81[\x83^\x81" "F\x83^\x83u (tsv)";
const std::string kInputFailed =
    " \x93\xfc\x97\xcd\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x8fo\x97\x88\x82"
    "\xdc\x82\xb9\x82\xf1\x81" "B";
const std::string kTemplateFailed =
    " \x90\x97\x8c^\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x8fo\x97\x88\x82\xdc"
    "\x82\xb9\x82\xf1\x81" "B";

std::string Finished(const std::string& count) {
  return " \x8f\x88\x97\x9d\x82\xf0\x8fI\x97\xb9\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B\x81i" +
         count + "\x8c\x8f\x81j";
}

std::string Processing(const std::string& n) {
  return " \x8f\x88\x97\x9d\x92\x86\x81" "F" + n + "\x8c\x8f";
}

class GenerationRunTest : public ::testing::TestWithParam<test::WritingMode> {
 protected:
  GenerationRunTest() : codePage_(932) {
    settings.Input = dir / "in.csv";
    settings.Template = dir / "t.html";
    settings.Output = (dir.Path() / "out").string();
    settings.ReplaceLead = "[$_";
    settings.ReplaceTail = "_$]";
    settings.RuleTail = ".html";
    std::filesystem::create_directory(dir.Path() / "out");
    GetParam().ApplyTo(environment);
  }

  std::string Header() const {
    return "----\r\n" + kHeaderInput + "\r\n" + settings.Input + "\r\n" + kHeaderTemplate +
           "\r\n" + settings.Template + "\r\n" + kHeaderOutput + "\r\n" + settings.Output +
           "\r\n----\r\n";
  }
  std::string OutPath(const std::string& name) const { return (dir.Path() / "out" / name).string(); }

  RunSummary Run() { return GenerationRun(state, settings, host, environment); }

  test::ScopedCodePage codePage_;
  test::TempDir dir;
  GeneratorSettings settings;
  RunState state;
  RecordingHost host;
  RunEnvironment environment;
};

TEST_P(GenerationRunTest, WritesOneFilePerRecordAndTheWholeLog) {
  test::WriteBytes(settings.Input, "a,1\r\n\"b,\"\"x\"\"\",2\rc\n3,3\r\n");
  test::WriteBytes(settings.Template, "<[$_0_$]|[$_1_$]>");
  RunSummary summary = Run();
  EXPECT_EQ(summary.outcome, RunOutcome::Completed);
  EXPECT_EQ(summary.records, 3u);
  EXPECT_EQ(summary.failedFiles, 0u);
  EXPECT_EQ(test::ReadBytes(OutPath("1.html")), "<a|1>");
  EXPECT_EQ(test::ReadBytes(OutPath("2.html")), "<b,&quot;x&quot;|2>");
  EXPECT_EQ(test::ReadBytes(OutPath("3.html")), "<c<br>3|3>");
  EXPECT_EQ(state.RunLog, Header() + kComma + "\r\n" + OutPath("1.html") + " -> ok\r\n" +
                              OutPath("2.html") + " -> ok\r\n" + OutPath("3.html") +
                              " -> ok\r\n----\r\n" + Finished("3") + "\r\n");
  EXPECT_EQ(host.statuses, (std::vector<std::string>{Processing("1"), Processing("2"),
                                                      Processing("3"), Finished("3")}));
  EXPECT_EQ(host.beeps, std::vector<unsigned>{kBeepOk});
  EXPECT_EQ(host.waitDepth, 0);
}

TEST_P(GenerationRunTest, EmptyInputGivesTheCountZero) {
  test::WriteBytes(settings.Input, "");
  test::WriteBytes(settings.Template, "t");
  settings.FieldSeparator = 1;
  Run();
  EXPECT_EQ(state.RunLog, Header() + kTab + "\r\n----\r\n" + Finished("0") + "\r\n");
  EXPECT_EQ(host.statuses, std::vector<std::string>{Finished("0")});
  EXPECT_EQ(host.beeps, std::vector<unsigned>{kBeepOk});
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path() / "out"));
}

TEST_P(GenerationRunTest, MissingInputIsReportedBeforeTheTemplateIsTried) {
  settings.Template = dir / "missing.html";
  state.RunLog = "old log";
  RunSummary summary = Run();
  EXPECT_EQ(summary.outcome, RunOutcome::InputFailed);
  EXPECT_EQ(state.RunLog, Header() + kInputFailed + "\r\n");
  EXPECT_EQ(host.statuses, std::vector<std::string>{kInputFailed});
  EXPECT_EQ(host.beeps, std::vector<unsigned>{kBeepError});
  EXPECT_EQ(host.waitDepth, 0);
}

TEST_P(GenerationRunTest, MissingOrFolderTemplateEndsTheRunWithoutFiles) {
  test::WriteBytes(settings.Input, "a\r\n");
  for (const std::string& templatePath : {dir / "missing.html", dir.Path().string()}) {
    settings.Template = templatePath;
    host.statuses.clear();
    RunSummary summary = Run();
    EXPECT_EQ(summary.outcome, RunOutcome::TemplateFailed);
    EXPECT_EQ(state.RunLog, Header() + kComma + "\r\n" + kTemplateFailed + "\r\n");
    EXPECT_EQ(host.statuses, std::vector<std::string>{kTemplateFailed});
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path() / "out"));
  }
}

TEST_P(GenerationRunTest, OutputFailuresAreLoggedAndCountedAndTheRunGoesOn) {
  std::string input;
  for (int i = 1; i <= 10; ++i) input += (i == 3 ? std::string("sub/x") : "r" + std::to_string(i)) + "\r\n";
  test::WriteBytes(settings.Input, input);
  test::WriteBytes(settings.Template, "[$_0_$]");
  settings.Rule = 1;
  RunSummary summary = Run();
  EXPECT_EQ(summary.records, 10u);
  EXPECT_EQ(summary.failedFiles, 1u);
  EXPECT_EQ(host.statuses.back(), Finished("10"));
  EXPECT_EQ(host.beeps, (std::vector<unsigned>{kBeepError, kBeepOk}));
  EXPECT_NE(state.RunLog.find("\r\n sub/x.html\x83t\x83@"), std::string::npos);
  EXPECT_EQ(test::ReadBytes(OutPath("r10.html")), "r10");
}

TEST_P(GenerationRunTest, NoSeparatorChosenKeepsThePreviousRunsByte) {
  test::WriteBytes(settings.Input, "a\tb,c\r\n");
  test::WriteBytes(settings.Template, "[$_0_$]");
  settings.FieldSeparator = 1;
  Run();
  settings.FieldSeparator = -1;
  Run();
  EXPECT_EQ(state.SeparatorChar, '\t');
  EXPECT_EQ(test::ReadBytes(OutPath("1.html")), "a");
  EXPECT_EQ(state.RunLog.find(kTab), std::string::npos);  // no separator line at all
  EXPECT_EQ(state.RunLog.substr(0, Header().size()), Header());
}

TEST_P(GenerationRunTest, NeverWritesOverItsOwnInputOrTemplate) {
  settings.Output = dir.Path().string();
  settings.Rule = 1;
  settings.RuleTail = "";
  test::WriteBytes(settings.Input, "in.csv\r\nt.html\r\n");
  test::WriteBytes(settings.Template, "[$_0_$]");
  RunSummary summary = Run();
  EXPECT_EQ(summary.failedFiles, 2u);
  EXPECT_EQ(test::ReadBytes(settings.Input), "in.csv\r\nt.html\r\n");
  EXPECT_EQ(test::ReadBytes(settings.Template), "[$_0_$]");
}

TEST_P(GenerationRunTest, DropsUtf8ByteOrderMarksOnlyInUtf8) {
  // "\xe3\x81\x82" is a UTF-8 character whose last byte is a lead byte in code page 932.
  const std::string bom = "\xef\xbb\xbf";
  test::WriteBytes(settings.Input, bom + "p1,\xe3\x81\x82\r\n");
  test::WriteBytes(settings.Template, bom + "\xe3\x81\x82[$_1_$]");
  settings.Rule = 1;
  struct Case {
    unsigned codePage;
    const char* name;
    std::string page;
  };
  const Case cases[] = {
      {65001, "p1.html", "\xe3\x81\x82\xe3\x81\x82"},
      {932, "\xef\xbb\xbfp1.html", bom + "\xe3\x81\x82[$_1_$]"},
      {1252, "\xef\xbb\xbfp1.html", bom + "\xe3\x81\x82\xe3\x81\x82"},
  };
  for (const Case& c : cases) {
    test::ScopedCodePage codePage(c.codePage);
    std::filesystem::remove_all(dir.Path() / "out");
    std::filesystem::create_directory(dir.Path() / "out");
    RunSummary summary = Run();
    EXPECT_EQ(summary.records, 1u) << c.codePage;
    // Joined by hand: a path object would take the name's bytes for another encoding. Read as the
    // run names files, in its code page (on Windows in UTF-16 when that is not the system's).
    const std::string out =
        settings.Output + std::string(1, std::filesystem::path::preferred_separator) + c.name;
    const platform::Result<std::string> page = platform::ReadWholeFile(out);
    ASSERT_TRUE(page.ok()) << c.codePage;
    EXPECT_EQ(page.value(), c.page) << c.codePage;
    EXPECT_EQ(test::ReadBytes(settings.Template), bom + "\xe3\x81\x82[$_1_$]");
  }
}

// A template that has no size of its own is read to its end: the empty device is an empty
// template, a pipe gives its bytes.
// Changes the input file when the run has read its first record.
class InputChanger : public RunInspector {
 public:
  InputChanger(std::string path, std::string bytes) : path_(std::move(path)), bytes_(std::move(bytes)) {}
  bool InspectTemplate(std::string_view, std::uint64_t) override { return true; }
  bool InspectRecord(std::string_view, std::uint32_t recordNumber, const RecordPlace&) override {
    if (recordNumber == 1) test::WriteBytes(path_, bytes_);
    return true;
  }

 private:
  std::string path_;
  std::string bytes_;
};

TEST_P(GenerationRunTest, NoticesAnInputThatChangedSizeDuringTheRun) {
#ifdef _WIN32
  GTEST_SKIP() << "the run holds its input without sharing: nobody can change it meanwhile";
#endif
  const std::string input = "a\r\nb\r\nc\r\n";
  test::WriteBytes(settings.Template, "[$_0_$]");
  const struct {
    const char* name;
    std::string during;  // the input's bytes from the first record on
    bool changed;
  } cases[] = {
      {"unchanged", input, false},
      {"cut short", "a\r\nb", true},
      {"grown", input + "d\r\ne\r\n", true},
  };
  for (const auto& c : cases) {
    test::WriteBytes(settings.Input, input);
    InputChanger changer(settings.Input, c.during);
    environment.inspector = &changer;
    environment.readBufferSize = 4;  // the rest is read after the change
    const RunSummary summary = Run();
    EXPECT_EQ(summary.inputChanged, c.changed) << c.name;
    EXPECT_EQ(summary.inputSizeAtOpen, input.size()) << c.name;
    EXPECT_EQ(summary.inputBytesRead, c.during.size()) << c.name;
  }
}

TEST_P(GenerationRunTest, ReadsATemplateThatIsADeviceOrAPipeToItsEnd) {
  test::WriteBytes(settings.Input, "a\r\n");
#ifdef _WIN32
  settings.Template = "NUL";
  Run();
  EXPECT_EQ(test::ReadBytes(OutPath("1.html")), "");
#else
  settings.Template = "/dev/null";
  Run();
  EXPECT_EQ(test::ReadBytes(OutPath("1.html")), "");
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const std::string bytes = "<p>[$_0_$]</p>";
  ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(ends[1]);
  settings.Template = "/dev/fd/" + std::to_string(ends[0]);
  RunSummary summary = Run();
  close(ends[0]);
  EXPECT_EQ(summary.outcome, RunOutcome::Completed);
  EXPECT_EQ(test::ReadBytes(OutPath("1.html")), "<p>a</p>");
#endif
}

INSTANTIATE_TEST_SUITE_P(WritingThreads, GenerationRunTest, test::AllWritingModes(),
                         test::WritingModeName);

}  // namespace
}  // namespace velmora
