// A run under file-system faults: a full disk, read-only and held files, missing or wrong folders,
// names that lead outside the output folder. Each must be reported with its cause and the file,
// and no file that the run should not touch may change.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/GenerationRun.h"
#include "engine/OutputPath.h"
#include "engine/ProgramTexts.h"
#include "platform/Platform.h"
#include "support/ScopedCodePage.h"
#include "support/TestFiles.h"
#include "support/WritingModes.h"
#include "tests/fault/FaultSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

// The address sanitizer ends the process on an allocation beyond its limit instead of raising
// std::bad_alloc, so the tests of exhausted memory do not run under it.
#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ADDRESS_SANITIZER 1
#endif
#endif

namespace velmora {
namespace {

namespace fs = std::filesystem;

#if !defined(_WIN32) && !defined(VELMORA_ADDRESS_SANITIZER)
// A template of 4 TiB that takes no disk space: more than any memory can hold, refused at once by
// the system's allocator (Windows is left out: Wine's allocator may promise that much and then
// run the machine out of memory when the buffer is filled).
bool MakeHugeTemplate(const std::string& path) {
  std::error_code error;
  fs::resize_file(path, std::uintmax_t{4} << 40, error);
  return !error;
}
#define VELMORA_HUGE_TEMPLATES 1
#endif

const char kTemplate[] = "<p>[$_0_$]|[$_1_$]</p>\r\n";

// The full-disk error text that follows the file's path, in code page 932.
const char kDiskFullTail[] =
    " \x82\xd6\x82\xcc\xb1\xb8\xbe\xbd\x92\x86\x82\xc9\xc3\xde\xa8\xbd\xb8\x82\xaa\x82\xa2\x82"
    "\xc1\x82\xcf\x82\xa2\x82\xc9\x82\xc8\x82\xe8\x82\xdc\x82\xb5\x82\xbd\x81\x42";

// An input, a template and an output folder in a temporary folder; names by field 0.
class RunFault : public ::testing::TestWithParam<test::WritingMode> {
 public:
  void SetUp() override {
    input = dir / "input.csv";
    templatePath = dir / "template.html";
    output = dir / "out";
    fs::create_directory(output);
    test::WriteBytes(templatePath, kTemplate);
    settings.Input = input;
    settings.Template = templatePath;
    settings.Output = output;
    settings.ReplaceLead = "[$_";
    settings.ReplaceTail = "_$]";
    settings.Rule = 1;
    settings.RuleNumber = 0;
    GetParam().ApplyTo(environment);
  }

  // The path that the run builds for a name in the output folder.
  std::string OutputPathOf(const std::string& name) const {
    return output + platform::NativePathRules().joinSeparator + name;
  }

  RunSummary Run() { return GenerationRun(state, settings, host, environment); }

  test::ScopedCodePage codePage{932};
  test::TempDir dir;
  std::string input, templatePath, output;
  GeneratorSettings settings;
  RunState state;
  RunEnvironment environment;
  test::RecordingHost host;
};

// A disk that is full for the file "full" of a folder, once armed. Under Wine, the folder that the
// build made with a link to the system's always-full device (Windows programs there cannot make
// links, and Wine shows the link as the device itself); elsewhere the test's own output folder,
// where a limit on the size of the files written stops the page of "full", made larger than the
// limit by its second field. Arm it after the input is written.
struct FullDisk {
#ifdef _WIN32
  explicit FullDisk(const test::TempDir&)
      : folder(test::HostPath(VELMORA_FULL_DEVICE_FOLDER)), field("3") {}
  void Arm() {}
#else
  explicit FullDisk(const test::TempDir& dir)
      : folder(dir / "out"), field(2 * test::ScopedFileSizeLimit::kBytes, 'x') {}
  void Arm() { limit.emplace(); }
  std::optional<test::ScopedFileSizeLimit> limit;
#endif
  std::string folder;
  std::string field;
};

// Removes what a test wrote into a folder that outlives it.
void RemoveFiles(const std::string& folder, const std::vector<std::string>& names) {
  std::error_code ignored;
  for (const std::string& name : names) std::filesystem::remove(folder + "/" + name, ignored);
}

TEST_P(RunFault, FullDiskEndsTheRunWithTheFileErrorAndKeepsTheLogSoFar) {
  FullDisk full(dir);
  const std::string records = "a,1\r\nb,2\r\nfull," + full.field + "\r\nc,4\r\n";
  const std::vector<std::string> written = {"a", "b"};
  settings.Output = output = full.folder;
  test::WriteBytes(input, records);
  full.Arm();

  try {
    Run();
    FAIL() << "a write to a full disk must end the run";
  } catch (const platform::FileError& error) {
    EXPECT_EQ(error.Cause(), platform::FileErrorCause::DiskFull);
    EXPECT_EQ(error.Path(), OutputPathOf("full"));
    EXPECT_EQ(FileErrorText(error), OutputPathOf("full") + kDiskFullTail);
  }

  // The log keeps the header, the separator and the lines of the files written before, then
  // names the file that the failure cut, and has no closing lines; the record after the failure
  // was never started on one writing thread. With several, no file is opened after the failure,
  // so an earlier record's file may never have been started (it is then neither there nor
  // named), and the later record's file may have been finished already: it is then whole and
  // named after the failure.
  std::vector<std::string> lines = test::LogLines(state.RunLog);
  const bool laterFinished = GetParam().writers > 1 && test::Exists(OutputPathOf("c"));
  std::size_t line = 9;
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (GetParam().writers > 1 && !test::Exists(OutputPathOf(written[i]))) continue;
    ASSERT_LT(line, lines.size());
    EXPECT_EQ(lines[line++], OutputPathOf(written[i]) + " -> ok");
    EXPECT_EQ(test::ReadBytes(OutputPathOf(written[i])),
              "<p>" + written[i] + "|" + std::to_string(i + 1) + "</p>\r\n");
  }
  ASSERT_EQ(lines.size(), line + 1 + (laterFinished ? 1 : 0));
  EXPECT_EQ(lines[line], OutputPathOf("full") + kDiskFullTail);
  if (laterFinished) {
    EXPECT_EQ(lines.back(), OutputPathOf("c") + " -> ok");
    EXPECT_EQ(test::ReadBytes(OutputPathOf("c")), "<p>c|4</p>\r\n");
    RemoveFiles(output, {"c"});
  }
  EXPECT_FALSE(test::Exists(output + "/c"));
  for (const std::string& name : written) {
    if (test::Exists(OutputPathOf(name))) RemoveFiles(output, {name});
  }
  // The status line ends with the progress text of the record that failed, as on one thread.
  EXPECT_EQ(host.lastProgress, 3u);
  // No closing beep, the wait cursor is off and the input file is closed again.
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_EQ(host.waitCursor, 0);
  EXPECT_FALSE(test::OpenInThisProcess(input));
  EXPECT_EQ(test::ReadBytes(input), records);
  EXPECT_EQ(test::ReadBytes(templatePath), kTemplate);

  // The host stays usable: the next run over a good folder completes.
  settings.Output = output = dir / "out2";
  fs::create_directory(output);
  test::WriteBytes(input, "x,9\r\n");
  RunSummary summary = Run();
  EXPECT_EQ(summary.outcome, RunOutcome::Completed);
  EXPECT_EQ(summary.records, 1u);
  EXPECT_EQ(test::ReadBytes(OutputPathOf("x")), "<p>x|9</p>\r\n");
}

// A read error of the input ends the run with the input's name instead of a finish that would
// pass over the records after it. Linux fails every read of a process's own memory at address 0.
TEST_P(RunFault, InputReadErrorEndsTheRunNamingTheInput) {
  const std::string failing = "/proc/self/mem";
  if (!test::Exists(failing)) GTEST_SKIP() << "no file here whose reads fail";
  settings.Input = failing;
  try {
    Run();
    FAIL() << "a read error must end the run";
  } catch (const platform::FileError& error) {
    EXPECT_EQ(error.Cause(), platform::FileErrorCause::HardIO);
    EXPECT_EQ(error.Path(), failing);
    EXPECT_EQ(FileErrorText(error), FormatText(Texts().fileErrors[static_cast<int>(
                                                   platform::FileErrorCause::HardIO)],
                                               {failing}));
  }
  EXPECT_EQ(test::LogLines(state.RunLog).size(), 9u);
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_EQ(host.waitCursor, 0);
  EXPECT_TRUE(fs::is_empty(dir / "out"));
}

// A template larger than memory ends the run with std::bad_alloc, which the host turns into its
// out-of-memory message; the input is closed again and nothing is written.
TEST_P(RunFault, TemplateLargerThanMemoryEndsTheRunWithoutFiles) {
#ifndef VELMORA_HUGE_TEMPLATES
  GTEST_SKIP() << "no safe way to run out of memory here";
#else
  if (!MakeHugeTemplate(templatePath)) GTEST_SKIP() << "no sparse files here";
  test::WriteBytes(input, "a,1\r\n");
  EXPECT_THROW(Run(), std::bad_alloc);
  EXPECT_EQ(test::LogLines(state.RunLog).size(), 9u);
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_EQ(host.waitCursor, 0);
  EXPECT_FALSE(test::OpenInThisProcess(input));
  EXPECT_TRUE(fs::is_empty(output));
#endif
}

TEST_P(RunFault, ReadOnlyOutputFileIsReportedAndKeptByteForByte) {
  test::WriteBytes(input, "kept,1\r\nnew,2\r\n");
  test::WriteBytes(dir / "out/kept", "old bytes\x82\xa0");
  test::MakeReadOnly(dir / "out/kept");

  RunSummary summary = Run();

  EXPECT_EQ(summary.outcome, RunOutcome::Completed);
  EXPECT_EQ(summary.records, 2u);
  EXPECT_EQ(summary.failedFiles, 1u);
  EXPECT_EQ(test::ReadBytes(dir / "out/kept"), "old bytes\x82\xa0");
  EXPECT_EQ(test::ReadBytes(OutputPathOf("new")), "<p>new|2</p>\r\n");
  const std::string failure =
      Texts().outputOpenFailedLead + "kept" + Texts().outputOpenFailedTail;
  std::vector<std::string> lines = test::LogLines(state.RunLog);
  ASSERT_GE(lines.size(), 11u);
  EXPECT_EQ(lines[9], failure);
  EXPECT_EQ(lines[10], OutputPathOf("new") + " -> ok");
  EXPECT_EQ(host.statuses.front(), failure);
  EXPECT_EQ(host.beeps, (std::vector<unsigned>{kBeepError, kBeepOk}));
}

TEST_P(RunFault, OutputFileHeldByAnotherProgramIsReportedAndKept) {
  if (!test::HeldFile::Supported()) GTEST_SKIP() << "this system has no share modes";
  test::WriteBytes(input, "held,1\r\n");
  test::WriteBytes(dir / "out/held", "in use");
  {
    test::HeldFile held(dir / "out/held");
    ASSERT_TRUE(held.Held());
    RunSummary summary = Run();
    EXPECT_EQ(summary.outcome, RunOutcome::Completed);
    EXPECT_EQ(summary.failedFiles, 1u);
  }
  EXPECT_EQ(test::ReadBytes(dir / "out/held"), "in use");
  EXPECT_EQ(test::LogLines(state.RunLog)[9],
            Texts().outputOpenFailedLead + "held" + Texts().outputOpenFailedTail);
}

// An input or template that cannot be opened ends the run before any file is written.
TEST_P(RunFault, UnopenableInputOrTemplateEndsTheRunWithoutFiles) {
  struct Case {
    const char* what;
    bool heldByAnotherProgram;
    std::function<void(RunFault&)> arrange;
    RunOutcome outcome;
    const std::string ProgramTexts::*text;
  };
  const Case cases[] = {
      {"input is a folder", false,
       [](RunFault& t) { t.settings.Input = t.dir / "out"; }, RunOutcome::InputFailed,
       &ProgramTexts::inputOpenFailed},
      {"template is a folder", false,
       [](RunFault& t) { t.settings.Template = t.dir / "out"; }, RunOutcome::TemplateFailed,
       &ProgramTexts::templateOpenFailed},
      {"input held by another program", true,
       [](RunFault&) {}, RunOutcome::InputFailed, &ProgramTexts::inputOpenFailed},
      {"template held by another program", true,
       [](RunFault&) {}, RunOutcome::TemplateFailed, &ProgramTexts::templateOpenFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.heldByAnotherProgram && !test::HeldFile::Supported()) continue;
    settings.Input = input;
    settings.Template = templatePath;
    test::WriteBytes(input, "a,1\r\n");
    c.arrange(*this);
    const std::string held = c.outcome == RunOutcome::InputFailed ? input : templatePath;
    host = test::RecordingHost();
    RunSummary summary;
    {
      std::optional<test::HeldFile> hold;
      if (c.heldByAnotherProgram) hold.emplace(held);
      summary = Run();
    }
    EXPECT_EQ(summary.outcome, c.outcome);
    EXPECT_EQ(summary.records, 0u);
    EXPECT_EQ(test::LogLines(state.RunLog).back(), Texts().*c.text);
    EXPECT_EQ(host.statuses, std::vector<std::string>{Texts().*c.text});
    EXPECT_EQ(host.beeps, std::vector<unsigned>{kBeepError});
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    EXPECT_FALSE(test::OpenInThisProcess(input));
    EXPECT_EQ(test::ReadBytes(input), "a,1\r\n");
    EXPECT_EQ(test::ReadBytes(templatePath), kTemplate);
  }
}

// An output folder that cannot take files: every record is reported under its own name and the
// run still goes through all of them.
TEST_P(RunFault, OutputFolderThatCannotTakeFilesFailsEachRecordAndTheRunGoesOn) {
  struct Case {
    const char* what;
    std::function<std::string(RunFault&)> folder;
  };
  const Case cases[] = {
      {"missing folder", [](RunFault& t) { return t.dir / "missing"; }},
      {"a file in place of the folder",
       [](RunFault& t) {
         test::WriteBytes(t.dir / "plain", "not a folder");
         return t.dir / "plain";
       }},
  };
  test::WriteBytes(input, "a,1\r\nb,2\r\nc,3\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    settings.Output = c.folder(*this);
    host = test::RecordingHost();
    RunSummary summary = Run();
    EXPECT_EQ(summary.outcome, RunOutcome::Completed);
    EXPECT_EQ(summary.records, 3u);
    EXPECT_EQ(summary.failedFiles, 3u);
    std::vector<std::string> lines = test::LogLines(state.RunLog);
    ASSERT_EQ(lines.size(), 14u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(lines[9 + i], Texts().outputOpenFailedLead + std::string(1, char('a' + i)) +
                                  Texts().outputOpenFailedTail);
    }
    EXPECT_EQ(lines[13], FinishedText(3));
    EXPECT_EQ(host.beeps.back(), kBeepOk);
  }
  EXPECT_FALSE(test::Exists(dir / "missing"));
  EXPECT_EQ(test::ReadBytes(dir / "plain"), "not a folder");
}

#ifndef _WIN32
// A folder that the user may not write into: every record fails to open its file, the run still
// goes through all of them, and the folder stays empty. Root writes into any folder, so the run
// then goes on as another user.
TEST_P(RunFault, OutputFolderThatCannotBeWrittenFailsEachRecord) {
  test::WriteBytes(input, "a,1\r\nb,2\r\n");
  ASSERT_EQ(chmod(output.c_str(), 0555), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
    const RunSummary summary = Run();
    const bool reported = summary.outcome == RunOutcome::Completed && summary.records == 2 &&
                          summary.failedFiles == 2 &&
                          test::LogLines(state.RunLog)[9] == Texts().outputOpenFailedLead + "a" +
                                                              Texts().outputOpenFailedTail;
    _exit(reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  chmod(output.c_str(), 0755);
  EXPECT_TRUE(fs::is_empty(output));
}
#endif

// Names made from field content never reach outside the output folder, whatever they hold.
TEST_P(RunFault, NamesLeadingOutsideTheOutputFolderAreRefused) {
  std::vector<std::string> names = {"../escaped", "sub/../../escaped", "./../escaped", "..",
                                    "/escaped-absolute"};
  if (platform::NativePathRules().backslashSeparates) {
    names.insert(names.end(), {"..\\escaped", "sub\\..\\..\\escaped", "...\\escaped",
                               ".. \\escaped", "\\escaped-root", "C:escaped", "C:\\escaped",
                               "NUL", "con.html", "sub\\COM1", "LPT9.txt"});
  }
  fs::create_directory(dir / "out/sub");
  std::string records;
  for (const std::string& name : names) records += "\"" + name + "\",x\r\n";
  test::WriteBytes(input, records);
  const auto before = [&] {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(dir.Path())) entries.push_back(entry.path());
    return entries;
  }();

  RunSummary summary = Run();

  EXPECT_EQ(summary.records, names.size());
  EXPECT_EQ(summary.failedFiles, names.size());
  std::vector<std::string> lines = test::LogLines(state.RunLog);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(lines[9 + i], Texts().outputOpenFailedLead + names[i] + Texts().outputOpenFailedTail);
  }
  std::vector<fs::path> after;
  for (const auto& entry : fs::directory_iterator(dir.Path())) after.push_back(entry.path());
  std::sort(after.begin(), after.end());
  std::vector<fs::path> expected = before;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(after, expected);
  EXPECT_TRUE(fs::is_empty(dir / "out/sub"));
  EXPECT_FALSE(test::Exists(fs::path(dir.Path()).parent_path().string() + "/escaped"));
}

#ifndef _WIN32
// Nothing outside the output folder is written through a link in it, or through a file that has
// another name outside it (a hard link), and a pipe there never makes the run wait: each such name is refused like a file that cannot be opened, and the dry run
// predicts the same. A linked folder inside the output folder is the user's own layout.
TEST_P(RunFault, LinksAndPipesInTheOutputFolderAreNeverOpened) {
  const std::string outside = dir / "outside.txt";
  test::WriteBytes(outside, "kept");
  fs::create_directory(dir / "elsewhere");
  std::error_code error;
  const std::string outsideByName = dir / "outside-by-name.txt";
  test::WriteBytes(outsideByName, "kept too");
  const std::vector<std::string> refused = {"link", "dangling", "into-missing", "folder-link", "fifo",
                                            "device", "hard-link"};
  fs::create_hard_link(outsideByName, dir / "out/hard-link", error);
  fs::create_symlink(outside, dir / "out/link", error);
  fs::create_symlink(dir / "created-outside", dir / "out/dangling", error);
  fs::create_symlink(dir / "missing/created", dir / "out/into-missing", error);
  fs::create_symlink(dir / "elsewhere", dir / "out/folder-link", error);
  fs::create_symlink("/dev/null", dir / "out/device", error);
  ASSERT_FALSE(error);
  ASSERT_EQ(mkfifo((dir / "out/fifo").c_str(), 0666), 0);
  fs::create_directory_symlink(dir / "elsewhere", dir / "out/linked", error);
  std::string records;
  for (const std::string& name : refused) records += name + ",x\r\n";
  records += "linked/followed,y\r\n";
  test::WriteBytes(input, records);

  for (const bool dryRun : {true, false}) {
    SCOPED_TRACE(dryRun ? "dry run" : "run");
    environment.output.dryRun = dryRun;
    state = RunState();
    RunSummary summary = Run();
    EXPECT_EQ(summary.failedFiles, refused.size());
    std::vector<std::string> lines = test::LogLines(state.RunLog);
    ASSERT_GE(lines.size(), 9 + refused.size() + 1);
    for (std::size_t i = 0; i < refused.size(); ++i) {
      EXPECT_EQ(lines[9 + i],
                Texts().outputOpenFailedLead + refused[i] + Texts().outputOpenFailedTail);
    }
    EXPECT_EQ(lines[9 + refused.size()],
              OutputPathOf("linked/followed") + (dryRun ? " -> dry run" : " -> ok"));
  }
  EXPECT_EQ(test::ReadBytes(outside), "kept");
  EXPECT_EQ(test::ReadBytes(outsideByName), "kept too");
  EXPECT_FALSE(test::Exists(dir / "created-outside"));
  EXPECT_FALSE(test::Exists(dir / "missing"));
  EXPECT_EQ(test::ReadBytes(dir / "elsewhere/followed"), "<p>linked/followed|y</p>\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "elsewhere"), fs::directory_iterator()), 1);
}
#endif

// Puts a link to another folder in the output folder's place when the run reaches its second
// record (Windows refuses to rename a folder that the run holds).
class FolderSwapper : public RunInspector {
 public:
  FolderSwapper(std::string folder, std::string elsewhere)
      : folder_(std::move(folder)), elsewhere_(std::move(elsewhere)) {}
  bool InspectTemplate(std::string_view, std::uint64_t) override { return true; }
  bool InspectRecord(std::string_view, std::uint32_t recordNumber, const RecordPlace&) override {
    if (recordNumber == 2) {
      fs::rename(folder_, folder_ + ".moved", error);
      if (!error) fs::create_directory_symlink(elsewhere_, folder_, error);
      swapped = !error;
    }
    return true;
  }
  std::error_code error;
  bool swapped = false;

 private:
  std::string folder_;
  std::string elsewhere_;
};

// An output folder renamed, and a link put in its place, during a run: every page still lands in
// the folder that the run began with (a file there that holds the page stays unchanged), nothing
// reaches the link's target, and the log names the paths as the user gave them.
TEST_P(RunFault, OutputFolderSwappedForALinkDuringTheRunKeepsEveryPage) {
  const std::string elsewhere = dir / "elsewhere";
  fs::create_directory(elsewhere);
  test::WriteBytes(input, "a,1\r\nb,2\r\nc,3\r\n");
  test::WriteBytes(dir / "out/b", "<p>b|2</p>\r\n");
  test::WriteBytes(elsewhere + "/b", "other b");
  FolderSwapper swapper(output, elsewhere);
  environment.inspector = &swapper;
  environment.output.changedOnly = true;

  RunSummary summary = Run();

  EXPECT_EQ(summary.outcome, RunOutcome::Completed);
  EXPECT_EQ(summary.failedFiles, 0u);
#ifdef _WIN32
  EXPECT_FALSE(swapper.swapped) << "the held folder must not be renamed";
  const std::string landed = output;
#else
  ASSERT_TRUE(swapper.swapped) << swapper.error.message();
  const std::string landed = output + ".moved";
#endif
  EXPECT_EQ(test::ReadBytes(landed + "/a"), "<p>a|1</p>\r\n");
  EXPECT_EQ(test::ReadBytes(landed + "/b"), "<p>b|2</p>\r\n");
  EXPECT_EQ(test::ReadBytes(landed + "/c"), "<p>c|3</p>\r\n");
  EXPECT_EQ(test::ReadBytes(elsewhere + "/b"), "other b");
  EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 1);
  std::vector<std::string> lines = test::LogLines(state.RunLog);
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[9], OutputPathOf("a") + " -> ok");
  EXPECT_EQ(lines[10], OutputPathOf("b") + " -> unchanged");
  EXPECT_EQ(lines[11], OutputPathOf("c") + " -> ok");
}

#ifndef _WIN32
// A sub-folder renamed, and a link put in its place, during a run: the pages that lead into it
// land in the sub-folder that the run first met, and nothing reaches the link's target.
TEST_P(RunFault, SubFolderSwappedForALinkDuringTheRunKeepsItsPages) {
  const std::string elsewhere = dir / "elsewhere";
  fs::create_directory(elsewhere);
  fs::create_directory(output + "/sub");
  test::WriteBytes(input, "sub/a,1\r\nsub/b,2\r\nsub/c,3\r\n");
  FolderSwapper swapper(output + "/sub", elsewhere);
  environment.inspector = &swapper;

  RunSummary summary = Run();

  EXPECT_EQ(summary.outcome, RunOutcome::Completed);
  EXPECT_EQ(summary.failedFiles, 0u);
  ASSERT_TRUE(swapper.swapped) << swapper.error.message();
  for (const char* name : {"a", "b", "c"}) {
    EXPECT_TRUE(test::Exists(output + "/sub.moved/" + name)) << name;
  }
  EXPECT_TRUE(fs::is_empty(elsewhere));
}
#endif

// Windows opens a device for these names in every folder; a record must not reach one.
TEST(OutputNames, DeviceNamesAreRefusedWhereTheSystemHasThem) {
  const platform::PathRules windows{true, true, '\\', 260};
  const platform::PathRules posix{false, false, '/', 0};
  // Wine knows no code page 54936 and so cannot decode its COM¹; Windows does.
  const bool decodes54936 = platform::CodePageToUtf16(54936, "C").has_value();
  struct Case {
    const char* name;
    bool safeOnWindows;
    unsigned codePage = 932;
  };
  const Case cases[] = {
      {"CON", false},          {"con.html", false},      {"Nul", false},
      {"AUX .txt", false},     {"prn.", false},          {"COM1", false},
      {"lpt9.html", false},    {"sub\\NUL.html", false}, {"CONOUT$", false},
      {"conin$.x", false},     {"CONSOLE.html", true},   {"COM0", false},
      {"COM10", true},         {"nullify.html", true},   {"page.con", true},
      {"LPT", true},           {"\x83NUL", true},
      // The name ends at a colon as at a dot.
      {"COM2:", false},        {"COM2 :x", false},       {"NUL:y", false},
      {"AUX:", false},         {"COM1:", false},         {"lpt0.txt", false},
      // Superscript digits, in every code page that spells them; 0xB9 is "ｹ" in 932.
      {"COM\xB9", false, 1252}, {"lpt\xB3.txt", false, 1252}, {"COM\xB9", true},
      {"COM\xC2\xB9", false, 65001}, {"LPT\xC2\xB2.html", false, 65001},
      {"COM\xA9\xF6", false, 949}, {"COM\x81\x30\x86\x31", !decodes54936, 54936},
      {"COM\xC2\xB9", true},  // "ﾂｹ" in 932
      {"COM\xC2", true, 65001},  // broken UTF-8
  };
  for (const Case& c : cases) {
    const CodePageTable table = CodePageTable::ForCodePage(c.codePage);
    EXPECT_EQ(IsSafeOutputName(c.name, windows, table), c.safeOnWindows) << c.name;
    EXPECT_TRUE(IsSafeOutputName(c.name, posix, table)) << c.name;
  }
}

// Names that reach one file through different sub-folders (a linked one, "." and doubled
// separators, on Windows another case) share one key; other files, and names whose folder is
// missing, keep keys of their own.
TEST(OutputNames, NamesReachingOneFileShareOneKey) {
  test::TempDir dir;
  fs::create_directories(dir / "out/sub/deeper");
  fs::create_directory(dir / "elsewhere");
  std::error_code error;
  fs::create_directory_symlink(dir / "out/sub", dir / "out/link", error);
  const bool linked = !error;
  fs::create_directory_symlink(dir / "out", dir / "out/self", error);
  const bool selfLinked = !error;
  GeneratorSettings settings;
  settings.Output = dir / "out";
  const CodePageTable table = CodePageTable::ForCodePage(932);
  const platform::PathRules& rules = platform::NativePathRules();
  const bool windows = rules.drivesAndUnc;
  RunContext context(settings, "", ',', table, rules);
  ASSERT_TRUE(context.outputFolder.Hold().ok());
  struct Case {
    const char* a;
    const char* b;
    bool one;
    bool needsLink = false;
  };
  const Case cases[] = {
      {"sub/x", "sub/x", true},
      {"sub/x", "sub//./x", true},
      {"sub/x", "sub/y", false},
      {"sub/x", "x", false},
      {"sub/deeper/x", "sub/x", false},
      {"missing/x", "missing/x", true},
      {"missing/x", "sub/x", false},
      {"sub/x", "link/x", true, true},
      {"link/x", "link/y", false, true},
      {"x", "self/x", true, true},
      {"sub/X", "SUB/x", windows},
  };
  for (const Case& c : cases) {
    if (c.needsLink && !(linked && selfLinked)) continue;
    EXPECT_EQ(OutputFileKey(context, c.a) == OutputFileKey(context, c.b), c.one)
        << c.a << " " << c.b;
  }
}

// Outputs named like the run's own input, template or settings file, or links to them, are
// refused; those files keep every byte.
TEST_P(RunFault, InputAndTemplateAreNeverModified) {
  settings.Output = output = dir.Path().string();
  const std::string records =
      "input.csv,1\r\ntemplate.html,2\r\nin-link,3\r\ntpl-link,4\r\nsettings.ini,5\r\nini-link,6\r\n";
  test::WriteBytes(input, records);
  const std::string settingsFile = dir / "settings.ini";
  const std::string settingsBytes = "; mine\r\n[Settings]\r\nInput=x\r\n[Other]\r\nKey=1\r\n";
  test::WriteBytes(settingsFile, settingsBytes);
  environment.protectedPaths.push_back(settingsFile);
  std::error_code error;
  fs::create_symlink(input, dir / "in-link", error);
  if (error) fs::create_hard_link(input, dir / "in-link", error);
  const bool linked = !error;
  fs::create_hard_link(templatePath, dir / "tpl-link", error);
  const bool hardLinked = !error;
  fs::create_hard_link(settingsFile, dir / "ini-link", error);
  const bool settingsLinked = !error;

  RunSummary summary = Run();

  EXPECT_EQ(summary.outcome, RunOutcome::Completed);
  EXPECT_EQ(summary.records, 6u);
  EXPECT_EQ(test::ReadBytes(input), records);
  EXPECT_EQ(test::ReadBytes(templatePath), kTemplate);
  EXPECT_EQ(test::ReadBytes(settingsFile), settingsBytes);
  std::vector<std::string> lines = test::LogLines(state.RunLog);
  EXPECT_EQ(lines[9], Texts().outputOpenFailedLead + "input.csv" + Texts().outputOpenFailedTail);
  EXPECT_EQ(lines[10],
            Texts().outputOpenFailedLead + "template.html" + Texts().outputOpenFailedTail);
  if (linked) {
    EXPECT_EQ(lines[11], Texts().outputOpenFailedLead + "in-link" + Texts().outputOpenFailedTail);
  }
  if (hardLinked) {
    EXPECT_EQ(lines[12],
              Texts().outputOpenFailedLead + "tpl-link" + Texts().outputOpenFailedTail);
  }
  EXPECT_EQ(lines[13],
            Texts().outputOpenFailedLead + "settings.ini" + Texts().outputOpenFailedTail);
  if (settingsLinked) {
    EXPECT_EQ(lines[14],
              Texts().outputOpenFailedLead + "ini-link" + Texts().outputOpenFailedTail);
  }
}

// No writing thread, one beside the merge, and several, merging or filling too.
INSTANTIATE_TEST_SUITE_P(Threads, RunFault, test::AllWritingModes(), test::WritingModeName);

// The batch command as a separate process: its exit status, its log on standard output and the
// error text on standard error.
class BatchFault : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteBytes(dir / "template.html", kTemplate);
    std::filesystem::create_directory(dir / "out");
  }
  std::string WriteSettings(const std::string& output) {
    const std::string path = dir / "run.ini";
    test::WriteBytes(path, "[Settings]\r\nInput=" + (dir / "input.csv") + "\r\nOutput=" + output +
                               "\r\nTemplate=" + (dir / "template.html") +
                               "\r\n[Rule]\r\nTail=\r\nRule=1\r\nNumber=0\r\n");
    return path;
  }
  test::ProcessResult Batch(const std::string& settingsPath,
                            const std::vector<std::string>& options = {},
                            const std::string& outFile = "") {
    std::vector<std::string> args = {"--code-page", "932", "--quiet"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(settingsPath);
    return test::RunProgram(test::BatchProgram(), args, dir, outFile);
  }

  test::ScopedCodePage codePage{932};
  test::TempDir dir;
};

#ifndef _WIN32
// Runs the batch command as another user than root (whom no permission or process limit
// stops), under the limit on processes (threads count) that nproc sets, when given.
std::optional<test::ProcessResult> BatchAsAnotherUser(const test::TempDir& dir,
                                                      const std::vector<std::string>& batchArgs,
                                                      const std::string& nproc = "") {
  std::vector<std::string> args = {test::BatchProgram(), "--code-page", "932", "--quiet"};
  args.insert(args.end(), batchArgs.begin(), batchArgs.end());
  if (geteuid() == 0) {
    if (!fs::exists("/usr/bin/setpriv")) return std::nullopt;
    args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                               "--clear-groups"});
  }
  if (!nproc.empty()) {
    if (!fs::exists("/usr/bin/prlimit")) return std::nullopt;
    args.insert(args.begin(), {"/usr/bin/prlimit", "--nproc=" + nproc});
  }
  const std::string program = args[0];
  args.erase(args.begin());
  return test::RunProgram(program, args, dir);
}

// An output folder that the user may not enter or write fails every file alike: one line with the
// system's reason, and no line per record.
TEST_F(BatchFault, OutputFolderThatCannotBeEnteredIsOneLine) {
  test::WriteBytes(dir / "input.csv", "a,1\r\nb,2\r\n");
  test::WriteBytes(dir / "template.html", "[$_1_$]");
  const std::string settingsPath = WriteSettings(dir / "out");
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((dir / "out").c_str(), 0), 0);
  const std::optional<test::ProcessResult> result = BatchAsAnotherUser(dir, {settingsPath});
  chmod((dir / "out").c_str(), 0755);
  if (!result) GTEST_SKIP() << "no setpriv to run as another user";
  EXPECT_EQ(result->exitCode, 3);
  EXPECT_EQ(result->err, "velmora-batch: 2 files could not be written: the output folder '" +
                             (dir / "out") + "': Permission denied\n");
  EXPECT_TRUE(fs::is_empty(dir / "out"));
}

// Writing threads that the system does not start: the run goes on with those it started, or on
// its own thread, writes every file and says why.
TEST_F(BatchFault, ThreadsThatCannotBeStartedLeaveTheRunToTheOthers) {
#if defined(VELMORA_ADDRESS_SANITIZER) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers start threads of their own, which the limit would refuse";
#endif
  test::WriteBytes(dir / "input.csv", "a,1\r\nb,2\r\nc,3\r\n");
  test::WriteBytes(dir / "template.html", "[$_1_$]");
  const std::string settingsPath = WriteSettings(dir / "out");
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((dir / "out").c_str(), 0777), 0);
  const std::string reason = std::strerror(EAGAIN);
  // The limit counts the program itself: 3 leaves room for two writing threads.
  for (const auto& [nproc, threads] :
       std::vector<std::pair<std::string, std::string>>{{"1", "0 of 8 writing threads could be "
                                                              "started (" + reason + "), so the "
                                                              "run wrote its files on its own "
                                                              "thread"},
                                                        {"3", "2 of 8 writing threads could be "
                                                              "started (" + reason + "), so the "
                                                              "run wrote its files on 2 threads"}}) {
    fs::remove_all(dir / "out");
    fs::create_directory(dir / "out");
    ASSERT_EQ(chmod((dir / "out").c_str(), 0777), 0);
    const std::optional<test::ProcessResult> result =
        BatchAsAnotherUser(dir, {"--jobs", "8", settingsPath}, nproc);
    if (!result) GTEST_SKIP() << "no setpriv or prlimit";
    EXPECT_EQ(result->exitCode, 0) << nproc;
    EXPECT_EQ(result->err, "velmora-batch: " + threads + "\n") << nproc;
    EXPECT_EQ(test::ReadBytes(dir / ("out/c")), "3") << nproc;
  }
}
#endif

TEST_F(BatchFault, FullDiskExitsOneWithTheFileErrorAndTheLogSoFar) {
  FullDisk full(dir);
  const std::string output = full.folder;
  const std::string records = "a,1\r\nfull," + full.field + "\r\nb,3\r\n";
  test::WriteBytes(dir / "input.csv", records);
  const std::string fullPath = output + platform::NativePathRules().joinSeparator + "full";
  const std::string settingsPath = WriteSettings(output);
  full.Arm();

  test::ProcessResult result = Batch(settingsPath, {"--summary"});

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find(fullPath + kDiskFullTail), std::string::npos) << result.err;
  // The summary counts what happened: two records merged, one file written, one failed; or, when
  // another writing thread had finished the later record's file, that record and file too.
  EXPECT_TRUE(
      result.err.find("velmora-batch: 2 records, 1 files written, 0 unchanged, 1 failed, ") !=
          std::string::npos ||
      result.err.find("velmora-batch: 3 records, 2 files written, 0 unchanged, 1 failed, ") !=
          std::string::npos)
      << result.err;
  std::vector<std::string> lines = test::LogLines(result.out);
  // Another writing thread may have finished the later record's file: the log then names it
  // last, after the files before the failure and the file that the failure cut.
  const std::string separator(1, platform::NativePathRules().joinSeparator);
  if (test::Exists(output + "/b")) {
    EXPECT_EQ(lines.back(), output + separator + "b -> ok");
    lines.pop_back();
    RemoveFiles(output, {"b"});
  }
  EXPECT_EQ(lines.back(), fullPath + kDiskFullTail);
  lines.pop_back();
  EXPECT_EQ(lines.back(), output + platform::NativePathRules().joinSeparator + "a -> ok");
  EXPECT_FALSE(test::Exists(output + "/b"));
  RemoveFiles(output, {"a"});
  EXPECT_EQ(test::ReadBytes(dir / "input.csv"), records);
}

// A run log or preview that cannot reach standard output is a failed run; the files the run
// wrote stay, and none of them counts as failed.
TEST_F(BatchFault, StandardOutputThatCannotBeWrittenExitsOne) {
#ifdef _WIN32
  const std::string full = test::HostPath(VELMORA_FULL_DEVICE_FOLDER) + "\\full";
#else
  const std::string full = "/dev/full";
  if (!test::Exists(full)) GTEST_SKIP() << "no device here that fails every write";
#endif
  struct Case {
    std::vector<std::string> options;
    bool written;  // the run writes its files
  };
  const Case cases[] = {
      {{"--preview", "1"}, false},
      {{"--help"}, false},
      {{"--version"}, false},
      {{"--dry-run", "--summary"}, false},
      {{"--summary"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0]);
    std::filesystem::remove_all(dir / "out");
    std::filesystem::create_directory(dir / "out");
    test::WriteBytes(dir / "input.csv", "a,1\r\nb,2\r\n");
    test::ProcessResult result = Batch(WriteSettings(dir / "out"), c.options, full);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("velmora-batch: cannot write to standard output: "),
              std::string::npos)
        << result.err;
    if (c.options.back() == "--summary") {
      EXPECT_NE(result.err.find(" 0 failed, "), std::string::npos) << result.err;
    }
    EXPECT_EQ(test::Exists(dir / "out/a"), c.written);
    EXPECT_EQ(test::Exists(dir / "out/b"), c.written);
  }
}

TEST_F(BatchFault, InputReadErrorExitsOne) {
  if (!test::Exists("/proc/self/mem")) GTEST_SKIP() << "no file here whose reads fail";
  WriteSettings(dir / "out");
  test::ProcessResult result = test::RunProgram(
      test::BatchProgram(), {"--code-page", "932", "--quiet", "--input", "/proc/self/mem",
                             dir / "run.ini"},
      dir);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("/proc/self/mem"), std::string::npos) << result.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
}

TEST_F(BatchFault, TemplateLargerThanMemoryExitsOneWithTheMemoryText) {
#ifndef VELMORA_HUGE_TEMPLATES
  GTEST_SKIP() << "no safe way to run out of memory here";
#else
  if (!MakeHugeTemplate(dir / "template.html")) GTEST_SKIP() << "no sparse files here";
  test::WriteBytes(dir / "input.csv", "a,1\r\n");
  test::ProcessResult result = Batch(WriteSettings(dir / "out"));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, Texts().outOfMemory +
                            "\nvelmora-batch: the run ended because memory ran out: a record, the "
                            "template or a filled page is larger than the memory left can hold\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
  EXPECT_EQ(test::ReadBytes(dir / "input.csv"), "a,1\r\n");
#endif
}

TEST_F(BatchFault, ExitStatusTellsWhetherEveryFileWasWritten) {
  struct Case {
    const char* what;
    std::string records;
    bool readOnlyFile;
    bool missingInput;
    bool otherName;  // "h.html" is another name of a file outside the output folder
    int exitCode;
    std::string err;  // quiet leaves out progress, never a failure
    const char* reason;  // what the closing line in English names, "" for no such line
  };
  const Case cases[] = {
      {"every file written", "a,1\r\nb,2\r\n", false, false, false, 0, "", ""},
      {"one read-only output file", "a,1\r\nkept,2\r\n", true, false, false, 3,
       Texts().outputOpenFailedLead + "kept" + Texts().outputOpenFailedTail + "\n",
       "kept' (record 2): the file is read-only\n"},
      {"missing input", "", false, true, false, 1, Texts().inputOpenFailed + "\n", "input.csv': "},
      {"an output file with another name outside", "a,1\r\nh.html,2\r\n", false, false, true, 3,
       Texts().outputOpenFailedLead + "h.html" + Texts().outputOpenFailedTail + "\n",
       "h.html' (record 2): it has other names\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::WriteBytes(dir / "input.csv", c.records);
    if (c.missingInput) std::filesystem::remove(dir / "input.csv");
    if (c.readOnlyFile) {
      test::WriteBytes(dir / "out/kept", "keep me");
      test::MakeReadOnly(dir / "out/kept");
    }
    if (c.otherName) {
      test::WriteBytes(dir / "outside.html", "outside");
      std::error_code error;
      std::filesystem::create_hard_link(dir / "outside.html", dir / "out/h.html", error);
      ASSERT_FALSE(error) << error.message();
    }
    test::ProcessResult result = Batch(WriteSettings(dir / "out"));
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    std::string err;  // a text stream: Windows ends its lines in CR LF
    for (char ch : result.err) {
      if (ch != '\r') err += ch;
    }
    // The window's text as the run meets it, then one line in English with the path and reason.
    ASSERT_EQ(err.substr(0, c.err.size()), c.err);
    const std::string english = err.substr(c.err.size());
    if (*c.reason == '\0') {
      EXPECT_EQ(english, "");
    } else {
      EXPECT_TRUE(english.starts_with("velmora-batch: ")) << english;
      EXPECT_NE(english.find(c.reason), std::string::npos) << english;
      EXPECT_EQ(english.find('\n'), english.size() - 1) << english;
    }
    if (c.readOnlyFile) {
      EXPECT_EQ(test::ReadBytes(dir / "out/kept"), "keep me");
    }
    if (c.otherName) {
      EXPECT_EQ(test::ReadBytes(dir / "outside.html"), "outside");
    }
  }
}

}  // namespace
}  // namespace velmora
