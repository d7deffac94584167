// Runs the real velmora-batch on real files and compares exact bytes: output files, the run log
// on standard output, failures on standard error, and the exit status.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/TestFiles.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif

namespace velmora {
namespace {

namespace fs = std::filesystem;

struct BatchResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs velmora-batch with args (each quoted) from folder, capturing both output streams.
BatchResult RunBatch(const test::TempDir& dir, const std::vector<std::string>& args) {
#ifdef _WIN32
  const char* changeFolder = "cd /d \"";  // cmd.exe changes the drive only when asked
#else
  const char* changeFolder = "cd \"";
#endif
  std::string command = changeFolder + dir.Path().string() + "\" && \"" VELMORA_BATCH_PATH "\"";
  for (const std::string& arg : args) command += " \"" + arg + "\"";
  command += " >\"" + (dir / "stdout.bin") + "\" 2>\"" + (dir / "stderr.bin") + "\"";
#ifdef _WIN32
  // cmd.exe strips one pair of quotes around the whole line.
  command = "\"" + command + "\"";
#endif
  int raw = std::system(command.c_str());
  BatchResult result;
#ifdef _WIN32
  result.status = raw;
#else
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  result.out = test::ReadBytes(dir / "stdout.bin");
  // Standard error is a text stream: line ends there are the system's.
  for (char c : test::ReadBytes(dir / "stderr.bin")) {
    if (c != '\r') result.err += c;
  }
  return result;
}

const char kSettings[] =
    "[Settings]\r\nInput=in.csv\r\nOutput=out\r\nTemplate=t.html\r\n"
    "[Replace]\r\nLead=[$_\r\nTail=_$]\r\nDefault=-\r\nFormat=0\r\n"
    "[Rule]\r\nLead=p\r\nTail=.html\r\nRule=0\r\nNumber=3\r\n"
    "[Field]\r\nSeparator=0\r\nBreak=0\r\n";

const std::string kSep = std::string(1, fs::path::preferred_separator);

// " 処理を終了しました。（n件）" in code page 932.
std::string Finished(const std::string& count) {
  return " \x8f\x88\x97\x9d\x82\xf0\x8fI\x97\xb9\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B\x81i" +
         count + "\x8c\x8f\x81j";
}

std::string Header(const std::string& input, const std::string& tpl, const std::string& out) {
  return "----\r\n\x93\xfc\x97\xcd\x83t\x83@\x83" "C\x83\x8b\x96\xbc\x81" "F\r\n" + input +
         "\r\n\x90\x97\x8c^\x83t\x83@\x83" "C\x83\x8b\x96\xbc\x81" "F\r\n" + tpl +
         "\r\n\x8fo\x97\xcd\x83t\x83H\x83\x8b\x83_\x96\xbc\x81" "F\r\n" + out +
         "\r\n----\r\n\x83Z\x83p\x83\x8c\x81[\x83^\x81" "F\x83J\x83\x93\x83} (csv)\r\n";
}

// " NAMEファイルがオープン出来ません。" in code page 932.
std::string OpenFailed(const std::string& name) {
  return " " + name + "\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x8fo\x97\x88\x82"
         "\xdc\x82\xb9\x82\xf1\x81" "B";
}

// kSettings naming each file by field 0 alone.
std::string ByFieldSettings() {
  std::string settings = kSettings;
  settings.replace(settings.find("Lead=p"), 6, "Lead=");
  settings.replace(settings.find("Rule=0"), 6, "Rule=1");
  settings.replace(settings.find("Number=3"), 8, "Number=0");
  return settings;
}

std::string ReplaceEvery(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Every file and folder under root (but the captured streams) with its bytes and, withTimes, its
// modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root, bool withTimes = true) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).generic_string();
    if (name == "stdout.bin" || name == "stderr.bin") continue;
    tree[name] = entry.is_directory()
                     ? std::string("<folder>")
                     : test::ReadBytes(entry.path().string()) +
                           (withTimes ? "@" + std::to_string(fs::last_write_time(entry.path())
                                                                 .time_since_epoch()
                                                                 .count())
                                      : "");
  }
  return tree;
}

void MakeReadOnly(const std::string& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

class BatchCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteBytes(dir / "s.ini", kSettings);
    fs::create_directory(dir.Path() / "out");
  }
  test::TempDir dir;
};

TEST_F(BatchCommand, WritesEveryFileAndPrintsTheRunLogByteForByte) {
  // Japanese text with a 0x5C second byte, a quoted field with a line break and a quote.
  test::WriteBytes(dir / "in.csv", "\x83\x5c\x83t\x83g,\"a\nb \"\"q\"\"\"\r\nx,\r\n");
  test::WriteBytes(dir / "t.html", "<p>[$_0_$]|[$_1_$]</p>\r\n");
  BatchResult r = RunBatch(dir, {"--code-page", "932", "s.ini"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes(dir / ("out" + kSep + "p001.html")),
            "<p>\x83\x5c\x83t\x83g|a<br>b &quot;q&quot;</p>\r\n");
  EXPECT_EQ(test::ReadBytes(dir / ("out" + kSep + "p002.html")), "<p>x|-</p>\r\n");
  EXPECT_EQ(r.out, Header("in.csv", "t.html", "out") + "out" + kSep + "p001.html -> ok\r\nout" +
                       kSep + "p002.html -> ok\r\n----\r\n" + Finished("2") + "\r\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(BatchCommand, OptionsOverrideThePathsOfTheSettingsFile) {
  fs::create_directory(dir.Path() / "other");
  test::WriteBytes(dir / "in2.csv", "a\r\n");
  test::WriteBytes(dir / "t2.txt", "[$_0_$]!");
  BatchResult r = RunBatch(dir, {"-i", "in2.csv", "--template", "t2.txt", "--output=ignored", "-o",
                                 "other", "--code-page", "932", "s.ini"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes(dir / ("other" + kSep + "p001.html")), "a!");
}

TEST_F(BatchCommand, SkipsByteOrderMarksOfUtf8FilesInCodePage65001Only) {
  test::WriteBytes(dir / "in.csv", "\xef\xbb\xbf" "a\r\n");
  test::WriteBytes(dir / "t.html", "\xef\xbb\xbf[$_0_$]");
  for (const char* codePage : {"65001", "932"}) {
    BatchResult r = RunBatch(dir, {"--code-page", codePage, "s.ini"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string page =
        std::string(codePage) == "65001" ? "a" : "\xef\xbb\xbf\xef\xbb\xbf" "a";
    EXPECT_EQ(test::ReadBytes(dir / ("out" + kSep + "p001.html")), page);
    EXPECT_EQ(RunBatch(dir, {"--code-page", codePage, "--preview", "1", "s.ini"}).out, page);
  }
}

TEST_F(BatchCommand, ReportsFailedFilesWithExitStatusThree) {
  test::WriteBytes(dir / "in.csv", "a\r\nb\r\n");
  test::WriteBytes(dir / "t.html", "t");
  fs::create_directory(dir.Path() / ("out" + kSep + "p002.html"));  // a folder in the way
  BatchResult r = RunBatch(dir, {"--code-page", "932", "s.ini"});
  EXPECT_EQ(r.status, 3);
  const std::string failure =
      " p002.html\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x8fo\x97\x88\x82\xdc\x82"
      "\xb9\x82\xf1\x81" "B";
  EXPECT_EQ(r.err, failure + "\n");
  EXPECT_NE(r.out.find("\r\n" + failure + "\r\n----\r\n" + Finished("2") + "\r\n"),
            std::string::npos);
  EXPECT_EQ(test::ReadBytes(dir / ("out" + kSep + "p001.html")), "t");
}

TEST_F(BatchCommand, FailsWithExitStatusOneWhenInputOrTemplateCannotBeRead) {
  test::WriteBytes(dir / "t.html", "t");
  BatchResult missingInput = RunBatch(dir, {"--code-page", "932", "s.ini"});
  EXPECT_EQ(missingInput.status, 1);
  const std::string inputFailed =
      " \x93\xfc\x97\xcd\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x8fo\x97\x88\x82"
      "\xdc\x82\xb9\x82\xf1\x81" "B";
  EXPECT_EQ(missingInput.err, inputFailed + "\n");
  EXPECT_EQ(missingInput.out.substr(missingInput.out.size() - inputFailed.size() - 2),
            inputFailed + "\r\n");

  test::WriteBytes(dir / "in.csv", "a\r\n");
  BatchResult missingTemplate = RunBatch(dir, {"--code-page", "932", "-t", "nothere", "s.ini"});
  EXPECT_EQ(missingTemplate.status, 1);
  EXPECT_TRUE(fs::is_empty(dir.Path() / "out"));
}

TEST_F(BatchCommand, RefusesABadCommandLineOrSettingsFileWithExitStatusTwo) {
  // Files far larger than any settings file, sparse so that they take no disk: refused by their
  // size before anything is read, however little memory there is.
  for (const char* name : {"big.ini", "huge.ini"}) {
    test::WriteBytes(dir / name, "[Settings]\r\n");
    fs::resize_file(dir.Path() / name, name[0] == 'b' ? (16u << 20) + 1 : 300u << 20);
  }
  std::vector<std::vector<std::string>> cases = {
      {}, {"--bogus", "s.ini"}, {"missing.ini"}, {"out"}, {"--code-page", "x", "s.ini"},
      {"big.ini"}, {"huge.ini"},
      {"--preview", "0", "s.ini"}, {"--preview", "-1", "s.ini"}, {"--preview", "1x", "s.ini"},
      {"--preview", "4294967296", "s.ini"}, {"--dry-run=yes", "s.ini"}, {"--init"},
      {"--init", "new.ini", "s.ini"}, {"--init", "s.ini"}, {"--init", "nofolder/new.ini"}};
#ifndef _WIN32
  // Devices that never end, and one that is empty: no settings file either.
  cases.push_back({"/dev/zero"});
  cases.push_back({"/dev/null"});
#endif
  for (const auto& args : cases) {
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(r.err.find("velmora-batch: "), std::string::npos);
    if (args.size() == 1 && !args[0].starts_with("-")) {  // a settings file alone is named
      EXPECT_NE(r.err.find("'" + args[0] + "'"), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(RunBatch(dir, {"big.ini"}).err,
            "velmora-batch: the settings file 'big.ini' is larger than 16 MB\n");
  EXPECT_EQ(RunBatch(dir, {"out"}).err,
            "velmora-batch: the settings file 'out' is not a regular file\n");
}

TEST_F(BatchCommand, ShowsHelpAndVersion) {
  BatchResult help = RunBatch(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: velmora-batch [options] SETTINGS_FILE"), std::string::npos);
  BatchResult version = RunBatch(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.substr(0, 21), "velmora-batch 1.0.0.4");
}

TEST_F(BatchCommand, PipelinedAndSingleThreadedRunsGiveTheSameFilesAndLog) {
  // Naming by a field that repeats: the later record's file wins in both. Every fiftieth name
  // differs in case only: one file on Windows, two elsewhere, in record order either way.
  std::string input;
  for (int i = 0; i < 500; ++i) {
    input += (i % 50 == 25 ? "K" : "k") + std::to_string(i % 37) + ",\"v" + std::to_string(i) +
             "\"\r\n";
  }
  input += "sub/../x,1\r\n";  // refused: it leads out of the folder
  test::WriteBytes(dir / "in.csv", input);
  test::WriteBytes(dir / "t.html", "[$_0_$]=[$_1_$]");
  std::string settings = kSettings;
  settings.replace(settings.find("Rule=0"), 6, "Rule=1");
  settings.replace(settings.find("Number=3"), 8, "Number=0");
  test::WriteBytes(dir / "s.ini", settings);
  const fs::path out = dir.Path() / "out";
  // Each mode starts from the same folder: empty, or for --changed-only, the files of an earlier
  // run of which some are changed since.
  const std::vector<std::vector<std::string>> modes = {{}, {"--dry-run"}, {"--changed-only"}};
  const std::vector<std::vector<std::string>> threads = {{}, {"--jobs", "1"}, {"--jobs=64"}};
  for (const std::vector<std::string>& mode : modes) {
    auto prepare = [&] {
      fs::remove_all(out);
      fs::create_directory(out);
      if (mode.empty() || mode[0] != "--changed-only") return;
      for (int k = 0; k < 37; ++k) {
        test::WriteBytes(dir / ("out" + kSep + "pk" + std::to_string(k) + ".html"),
                         k % 3 == 0 ? "old" : "k" + std::to_string(k) + "=v" +
                                                  std::to_string(k + 37 * ((499 - k) / 37)));
      }
    };
    auto run = [&](std::vector<std::string> args) {
      args.insert(args.begin(), mode.begin(), mode.end());
      args.insert(args.end(), {"--code-page", "932", "s.ini"});
      prepare();
      return RunBatch(dir, args);
    };
    BatchResult single = run({"--single-thread"});
    const auto singleFiles = Snapshot(out, false);
    for (const std::vector<std::string>& jobs : threads) {
      BatchResult piped = run(jobs);
      const std::string what = "mode " + (mode.empty() ? "plain" : mode[0]) + ", jobs " +
                               (jobs.empty() ? "default" : jobs.back());
      EXPECT_EQ(piped.status, 3) << what;
      EXPECT_EQ(single.status, 3) << what;
      EXPECT_EQ(piped.out, single.out) << what;
      EXPECT_EQ(piped.err, single.err) << what;
      EXPECT_EQ(Snapshot(out, false), singleFiles) << what;
      if (mode.empty()) {
        EXPECT_EQ(test::ReadBytes(dir / ("out" + kSep + "pk0.html")), "k0=v481");
      }
    }
  }
}

TEST_F(BatchCommand, ShowsEveryOptionOfTheManualInItsHelp) {
  std::ifstream manual(VELMORA_MANUAL_PATH);
  const std::string page((std::istreambuf_iterator<char>(manual)), std::istreambuf_iterator<char>());
  const std::string help = RunBatch(dir, {"--help"}).out;
  int options = 0;
  // Each "\fB\-\-name\-more" of the page is an option; roff spells "-" as "\-".
  for (std::size_t at = page.find("\\fB\\-\\-"); at != std::string::npos;
       at = page.find("\\fB\\-\\-", at + 1)) {
    std::string name = "--";
    for (std::size_t i = at + 7; i < page.size();) {
      if (page[i] >= 'a' && page[i] <= 'z') {
        name += page[i++];
      } else if (page.compare(i, 2, "\\-") == 0) {
        name += '-';
        i += 2;
      } else {
        break;
      }
    }
    EXPECT_NE(help.find(name), std::string::npos) << name;
    ++options;
  }
  EXPECT_GE(options, 14);
}

TEST_F(BatchCommand, PreviewWritesOneFilledTemplateAndNoFile) {
  test::WriteBytes(dir / "in.csv", "\x83\x5c\x83t\x83g,\"a\nb \"\"q\"\"\"\r\nx,\r\n");
  test::WriteBytes(dir / "t.html", "<p>[$_0_$]|[$_1_$]</p>\r\n");
  const std::string inputFailed =
      " \x93\xfc\x97\xcd\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x8fo\x97\x88\x82"
      "\xdc\x82\xb9\x82\xf1\x81" "B\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--preview", "1"}, 0, "<p>\x83\x5c\x83t\x83g|a<br>b &quot;q&quot;</p>\r\n", ""},
      {{"--preview=2", "--dry-run"}, 0, "<p>x|-</p>\r\n", ""},
      {{"--preview", "3"}, 2, "", "velmora-batch: there is no record 3: the input holds 2 records\n"},
      {{"--preview", "1", "-i", "nothere.csv"}, 1, "", inputFailed},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--code-page", "932", "s.ini"});
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.args[1];
    EXPECT_EQ(r.out, c.out) << c.args[1];
    EXPECT_EQ(r.err, c.err) << c.args[1];
    EXPECT_TRUE(fs::is_empty(dir.Path() / "out"));
  }
}

TEST(BatchDryRun, GivesTheRunsLogAndStatusAndTouchesNoFile) {
  struct Case {
    const char* name;
    std::string input;
    std::string output;
    std::function<void(const test::TempDir&)> setup;
  };
  const std::vector<Case> cases = {
      {"new and existing files", "a,1\r\nb,2\r\n", "out",
       [](const test::TempDir& d) { test::WriteBytes(d / ("out" + kSep + "a.html"), "old"); }},
      {"refused names and a folder in the way", "sub/../x,1\r\nd,2\r\nc,3\r\n", "out",
       [](const test::TempDir& d) { fs::create_directory(d.Path() / "out" / "d.html"); }},
      {"a read-only file", "r,1\r\ns,2\r\n", "out",
       [](const test::TempDir& d) {
         test::WriteBytes(d / ("out" + kSep + "r.html"), "<r>");
         MakeReadOnly(d / ("out" + kSep + "r.html"));
       }},
      {"the template among the outputs", "t,1\r\nu,2\r\n", ".", [](const test::TempDir&) {}},
      {"a missing output folder", "a,1\r\nb,2\r\n", "nothere", [](const test::TempDir&) {}},
      {"two records, one file", "a,1\r\na,2\r\n", "out", [](const test::TempDir&) {}},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir / "s.ini", ByFieldSettings());
    test::WriteBytes(dir / "in.csv", c.input);
    test::WriteBytes(dir / "t.html", "<[$_0_$]>");
    fs::create_directory(dir.Path() / "out");
    c.setup(dir);
    const std::vector<std::string> args = {"--code-page", "932", "-o", c.output, "s.ini"};
    std::vector<std::string> dryArgs = args;
    dryArgs.insert(dryArgs.begin(), "--dry-run");
    std::vector<std::string> bothArgs = dryArgs;  // --dry-run first
    bothArgs.insert(bothArgs.begin() + 1, "--changed-only");

    const auto before = Snapshot(dir.Path());
    BatchResult dry = RunBatch(dir, dryArgs);
    EXPECT_EQ(Snapshot(dir.Path()), before) << c.name;
    BatchResult real = RunBatch(dir, args);
    EXPECT_EQ(dry.status, real.status) << c.name;
    EXPECT_EQ(dry.err, real.err) << c.name;
    EXPECT_EQ(dry.out, ReplaceEvery(real.out, " -> ok\r\n", " -> dry run\r\n")) << c.name;

    // After the run every file holds its bytes: a changed-only dry run finds nothing to do.
    const auto after = Snapshot(dir.Path());
    // And a real changed-only run writes nothing either, the refusals of the plain run kept.
    for (bool dryRun : {true, false}) {
      const std::vector<std::string> againArgs(bothArgs.begin() + (dryRun ? 0 : 1), bothArgs.end());
      BatchResult again = RunBatch(dir, againArgs);
      EXPECT_EQ(Snapshot(dir.Path()), after) << c.name;
      EXPECT_EQ(again.status, real.status) << c.name;
      EXPECT_EQ(again.out, ReplaceEvery(real.out, " -> ok\r\n", " -> unchanged\r\n")) << c.name;
    }
  }
}

TEST(BatchChangedOnly, LeavesFilesThatHoldTheirBytesUntouched) {
  const std::string first = "a,1\r\nb,2\r\nc,3\r\n";
  struct Case {
    const char* name;
    std::string input;                                  // of the second run
    std::function<void(const test::TempDir&)> between;  // done between the runs
    std::vector<bool> rewritten;                        // a, b, c
  };
  const std::vector<Case> cases = {
      {"nothing changed", first, [](const test::TempDir&) {}, {false, false, false}},
      {"one record changed", "a,1\r\nb,9\r\nc,3\r\n", [](const test::TempDir&) {},
       {false, true, false}},
      {"a file removed", first,
       [](const test::TempDir& d) { fs::remove(d.Path() / "out" / "c.html"); },
       {false, false, true}},
      {"a file with more bytes", first,
       [](const test::TempDir& d) { test::WriteBytes(d / ("out" + kSep + "a.html"), "<a|1>!"); },
       {true, false, false}},
      {"a file with other bytes of the same length", first,
       [](const test::TempDir& d) { test::WriteBytes(d / ("out" + kSep + "b.html"), "<b|3>"); },
       {false, true, false}},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir / "s.ini", ByFieldSettings());
    test::WriteBytes(dir / "in.csv", first);
    test::WriteBytes(dir / "t.html", "<[$_0_$]|[$_1_$]>");
    fs::create_directory(dir.Path() / "out");
    ASSERT_EQ(RunBatch(dir, {"--code-page", "932", "s.ini"}).status, 0);
    c.between(dir);
    test::WriteBytes(dir / "in.csv", c.input);
    // An hour back, as the file system stores it (Windows keeps 100 ns steps).
    std::map<std::string, fs::file_time_type> times;
    std::map<std::string, unsigned long long> inodes;
    for (const char* name : {"a", "b", "c"}) {
      const std::string path = dir / ("out" + kSep + name + ".html");
      if (!test::Exists(path)) continue;
      fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
      times[name] = fs::last_write_time(path);
#ifndef _WIN32
      struct stat st {};
      ::stat(path.c_str(), &st);
      inodes[name] = st.st_ino;
#endif
    }
    BatchResult r = RunBatch(dir, {"--changed-only", "--code-page", "932", "s.ini"});
    EXPECT_EQ(r.status, 0) << c.name;
    std::string lines;
    const char* names[] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) {
      const std::string path = "out" + kSep + names[i] + ".html";
      lines += path + (c.rewritten[i] ? " -> ok\r\n" : " -> unchanged\r\n");
      const std::string fields = c.input.substr(static_cast<std::size_t>(i) * 5, 3);
      EXPECT_EQ(test::ReadBytes(dir / path), "<" + ReplaceEvery(fields, ",", "|") + ">") << c.name;
      EXPECT_EQ(fs::last_write_time(dir.Path() / path) == times[names[i]], !c.rewritten[i])
          << c.name << names[i];
#ifndef _WIN32
      if (!c.rewritten[i]) {
        struct stat st {};
        ::stat((dir / path).c_str(), &st);
        EXPECT_EQ(st.st_ino, inodes[names[i]]) << c.name << names[i];
      }
#endif
    }
    EXPECT_EQ(r.out, Header("in.csv", "t.html", "out") + lines + "----\r\n" + Finished("3") + "\r\n")
        << c.name;
  }
}

TEST(BatchCollisions, NamesEveryFileThatRecordsSharedAndStrictEndsWithFour) {
  const std::string a = "out" + kSep + "a.html";
  const std::string twice = "velmora-batch: " + a + " was written by records 1, 3; the file of record 3 stands\n";
  std::string many;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 25; ++i) many += "n" + std::to_string(i) + ",x\r\n";
  }
#ifdef _WIN32
  const std::string folded =
      "velmora-batch: out\\a.html was written by records 1, 2; the file of record 2 stands\n"
      "velmora-batch: out\\sub\\c.html was written by records 3, 4; the file of record 4 stands\n";
#else
  const std::string folded;  // other bytes, other files
  // A lone lead byte takes no "/" along: all three records name one file in the folder "\x82".
  const std::string loneLead = "velmora-batch: out/\x82/./a.html was written by records 1, 2, 3; "
                               "the file of record 3 stands\n";
#endif
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"two of three records", "a,1\r\nb,2\r\na,3\r\n", {}, 0, twice},
      {"strict", "a,1\r\nb,2\r\na,3\r\n", {"--strict"}, 4, twice},
      {"strict dry run", "a,1\r\nb,2\r\na,3\r\n", {"--strict", "--dry-run"}, 4, twice},
      {"strict, single thread", "a,1\r\nb,2\r\na,3\r\n", {"--strict", "--single-thread"}, 4, twice},
      {"strict with a failed file", "a,1\r\nsub/../x,2\r\na,3\r\n", {"--strict"}, 3,
       OpenFailed("sub/../x.html") + "\n" + twice},
      {"no collision", "a,1\r\nb,2\r\n", {"--strict"}, 0, ""},
      {"letter case and separators", "A,1\r\na,2\r\nsub/c,3\r\nsub\\c,4\r\n", {}, 0, folded},
#ifndef _WIN32
      {"after a lone lead byte", "\x82/a,1\r\n\x82//a,2\r\n\x82/./a,3\r\n", {"--strict"}, 4,
       loneLead},
#endif
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir / "s.ini", ByFieldSettings());
    test::WriteBytes(dir / "in.csv", c.input);
    test::WriteBytes(dir / "t.html", "<[$_0_$]|[$_1_$]>");
    fs::create_directories(dir.Path() / "out" / "sub");
#ifndef _WIN32
    fs::create_directories(dir.Path() / "out" / "\x82");
#endif
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--code-page", "932", "s.ini"});
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    if (&c == &cases[0]) {
      EXPECT_EQ(test::ReadBytes(dir / a), "<a|3>");
    }
  }

  test::TempDir dir;
  test::WriteBytes(dir / "s.ini", ByFieldSettings());
  test::WriteBytes(dir / "in.csv", many);
  test::WriteBytes(dir / "t.html", "t");
  fs::create_directory(dir.Path() / "out");
  BatchResult r = RunBatch(dir, {"--code-page", "932", "s.ini"});
  EXPECT_EQ(r.status, 0);
  const std::string first = "velmora-batch: out" + kSep + "n0.html was written by records 1, 26; the file of record 26 stands\n";
  EXPECT_EQ(r.err.substr(0, first.size()), first);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 21);
  EXPECT_NE(r.err.find("\nvelmora-batch: and 5 more files written by more than one record\n"),
            std::string::npos);
}

TEST(BatchSummary, CountsRecordsFilesAndTimeOnTheLastLine) {
  struct Case {
    std::vector<std::string> args;
    std::string counts;  // empty: no summary
  };
  const std::vector<Case> cases = {
      {{"--summary", "--changed-only"},
       "4 records, 1 files written, 2 unchanged, 1 failed, 1 colliding"},
      {{"--summary", "--dry-run"}, "4 records, 3 files would be written, 0 unchanged, 1 failed, 1 colliding"},
      {{"--changed-only"}, ""},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir / "s.ini", ByFieldSettings());
    test::WriteBytes(dir / "in.csv", "a,1\r\nb,2\r\nsub/../x,3\r\nb,2\r\n");
    test::WriteBytes(dir / "t.html", "<[$_0_$]|[$_1_$]>");
    fs::create_directory(dir.Path() / "out");
    test::WriteBytes(dir / ("out" + kSep + "a.html"), "<a|1>");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--code-page", "932", "s.ini"});
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, 3);
    const std::size_t last = r.err.rfind('\n', r.err.size() - 2);
    const std::string line = r.err.substr(last + 1);
    if (c.counts.empty()) {
      EXPECT_EQ(line.find("records,"), std::string::npos) << line;
    } else {
      // "..., 0.01 s, 300 files/s": the time and the speed vary.
      const std::string lead = "velmora-batch: " + c.counts + ", ";
      EXPECT_EQ(line.substr(0, lead.size()), lead);
      const std::string timing = line.substr(std::min(lead.size(), line.size()));
      EXPECT_EQ(timing.find_first_not_of("0123456789. sfile/,"), timing.size() - 1) << timing;
      EXPECT_NE(timing.find(" s, "), std::string::npos) << timing;
      EXPECT_TRUE(timing.ends_with(" files/s\n")) << line;
    }
  }
}

TEST_F(BatchCommand, InitWritesTheWindowsFirstSettingsFileAndNeverReplacesOne) {
  const std::string defaults =
      "[Settings]\r\nInput=\r\nOutput=\r\nTemplate=\r\n"
      "[Replace]\r\nLead=[$_\r\nTail=_$]\r\nDefault=\r\nFormat=0\r\n"
      "[Rule]\r\nLead=\r\nTail=.html\r\nRule=0\r\nNumber=0\r\n"
      "[Field]\r\nSeparator=0\r\nBreak=0\r\n";
  BatchResult made = RunBatch(dir, {"--init", "new.ini"});
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out + made.err, "");
  EXPECT_EQ(test::ReadBytes(dir / "new.ini"), defaults);
  for (const char* existing : {"new.ini", "s.ini", "out"}) {
    const auto before = Snapshot(dir.Path());
    BatchResult again = RunBatch(dir, {"--init", existing});
    EXPECT_EQ(again.status, 2) << existing;
    EXPECT_EQ(again.err, "velmora-batch: '" + std::string(existing) +
                             "' exists already and is not replaced\n");
    EXPECT_EQ(Snapshot(dir.Path()), before) << existing;
  }
}

TEST(BundledExample, GivesTheExpectedPages) {
  test::TempDir dir;
  for (const char* name : {"products.csv", "product.html", "products.ini"}) {
    fs::copy_file(fs::path(VELMORA_EXAMPLES_DIR) / name, dir.Path() / name);
  }
  fs::create_directory(dir.Path() / "out");
  BatchResult r = RunBatch(dir, {"--code-page", "932", "-o", "out", "products.ini"});
  EXPECT_EQ(r.status, 0) << r.err;
  const fs::path expected = fs::path(VELMORA_TEST_DATA_DIR) / "example-expected";
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(expected)) {
    if (entry.path().extension() != ".html") continue;
    EXPECT_EQ(test::ReadBytes((dir.Path() / "out" / entry.path().filename()).string()),
              test::ReadBytes(entry.path().string()))
        << entry.path().filename();
    ++compared;
  }
  EXPECT_EQ(compared, 4);
}

}  // namespace
}  // namespace velmora
