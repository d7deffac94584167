// Runs the real velmora-batch on real files and compares exact bytes: output files, the run log
// on standard output, failures on standard error, and the exit status.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "settings/SettingsStore.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velmora {
namespace {

namespace fs = std::filesystem;

struct BatchResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs velmora-batch with args (each quoted) from folder, capturing both output streams. With
// utf8Args the arguments are UTF-8 text, which reaches the program on Windows as the wide command
// line holds it; otherwise they are bytes of the system's code page.
BatchResult RunBatch(const test::TempDir& dir, const std::vector<std::string>& args,
                     bool utf8Args = false) {
#ifdef _WIN32
  const char* changeFolder = "cd /d \"";  // cmd.exe changes the drive only when asked
#else
  const char* changeFolder = "cd \"";
#endif
  std::string command = changeFolder + dir.Path().string() + "\" && \"" VELMORA_BATCH_PATH "\"";
  for (const std::string& arg : args) {
    std::string quoted = arg;
#ifndef _WIN32
    // Inside double quotes the shell still expands "$" and "`" (placeholders hold "$_").
    for (std::size_t at = quoted.find_first_of("$`"); at != std::string::npos;
         at = quoted.find_first_of("$`", at + 2)) {
      quoted.insert(at, 1, '\\');
    }
#endif
    command += " \"" + quoted + "\"";
  }
  command += " >\"" + (dir / "stdout.bin") + "\" 2>\"" + (dir / "stderr.bin") + "\"";
#ifdef _WIN32
  // cmd.exe strips one pair of quotes around the whole line.
  command = "\"" + command + "\"";
#endif
#ifdef _WIN32
  std::wstring wide(command.size(), L'\0');
  if (utf8Args) {
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, command.data(), static_cast<int>(command.size()),
                            wide.data(), static_cast<int>(wide.size()))));
  }
  // Under Wine the command processor now and then fails to start, or to start the program
  // (-1, or cmd.exe's 9009): that says nothing of the program, which never exits so itself, so
  // the command is given again, and no earlier run's output is read in its place.
  int raw = -1;
  for (int attempt = 0; attempt < 3 && (raw == -1 || raw == 9009); ++attempt) {
    std::error_code ignored;
    fs::remove(dir / "stdout.bin", ignored);
    fs::remove(dir / "stderr.bin", ignored);
    raw = utf8Args ? _wsystem(wide.c_str()) : std::system(command.c_str());
  }
#else
  (void)utf8Args;
  int raw = std::system(command.c_str());
#endif
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

// A run's folder named by field 0: s.ini, in.csv holding input, t.html holding templateText and
// an empty output folder out.
void WriteByFieldRun(const test::TempDir& dir, const std::string& input,
                     const std::string& templateText = "<[$_0_$]|[$_1_$]>") {
  test::WriteBytes(dir / "s.ini", ByFieldSettings());
  test::WriteBytes(dir / "in.csv", input);
  test::WriteBytes(dir / "t.html", templateText);
  fs::create_directory(dir.Path() / "out");
}

std::string ReplaceEvery(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Every file, folder and link under root (but the captured streams) with its bytes and, withTimes,
// its modification time, or where a link leads.
std::map<std::string, std::string> Snapshot(const fs::path& root, bool withTimes = true) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).generic_string();
    if (name == "stdout.bin" || name == "stderr.bin") continue;
    if (entry.is_symlink()) {
      tree[name] = "<link to " + fs::read_symlink(entry.path()).string() + ">";
      continue;
    }
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
  // Code pages by number and by name, in any letter case.
  for (const char* codePage : {"65001", "932", "utf-8", "UTF8", "Shift_JIS", "sjis", "CP932"}) {
    BatchResult r = RunBatch(dir, {"--code-page", codePage, "s.ini"});
    EXPECT_EQ(r.status, 0) << r.err;
    const bool utf8 = std::string(codePage) == "65001" || std::string(codePage).starts_with("utf") ||
                      std::string(codePage).starts_with("UTF");
    const std::string page = utf8 ? "a" : "\xef\xbb\xbf\xef\xbb\xbf" "a";
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
  EXPECT_EQ(r.err, failure + "\n" + "velmora-batch: cannot write '" + dir / ("out" + kSep + "p002.html") +
                       "' (given as 'out" + kSep + "p002.html', from the current folder) (record 2): "
                       "it is no plain file (a folder, a link, a pipe or a device)\n");
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
  EXPECT_EQ(missingInput.err.substr(0, inputFailed.size() + 1), inputFailed + "\n");
  EXPECT_EQ(missingInput.out.substr(missingInput.out.size() - inputFailed.size() - 2),
            inputFailed + "\r\n");

  test::WriteBytes(dir / "in.csv", "a\r\n");
  BatchResult missingTemplate = RunBatch(dir, {"--code-page", "932", "-t", "nothere", "s.ini"});
  EXPECT_EQ(missingTemplate.status, 1);
  EXPECT_TRUE(fs::is_empty(dir.Path() / "out"));
}

TEST_F(BatchCommand, NamesThePathAndTheSystemsReasonOfEveryFailure) {
  test::WriteBytes(dir / "t.html", "t");
  test::WriteBytes(dir / "in.csv", "a\r\nb\r\nc\r\n");
  test::WriteBytes(dir / "file", "");
  std::string refusedNames;
  for (int i = 0; i < 25; ++i) refusedNames += "x/../n" + std::to_string(i) + "\r\n";
  test::WriteBytes(dir / "refused.csv", refusedNames);
  test::WriteBytes(dir / "named.ini", ByFieldSettings());
  const std::string root = dir.Path().string() + kSep;
#ifdef _WIN32
  const std::string missing = "";  // the system's text, in whatever language it has
#else
  const std::string missing = ": " + std::string(std::strerror(ENOENT)) + "\n";
#endif
  const auto given = [&](const std::string& path) {
    return "'" + root + path + "' (given as '" + path + "', from the current folder)";
  };
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> lines;  // each English line of standard error starts with one
    std::size_t lineCount;           // of English lines
    bool alone = false;  // the one line is all that standard error says
  };
  const std::vector<Case> cases = {
      {{"-i", "nothere.csv", "s.ini"}, 1,
       {"velmora-batch: cannot read the input file " + given("nothere.csv") + missing}, 1},
      {{"-t", "nothere.html", "s.ini"}, 1,
       {"velmora-batch: cannot read the template file " + given("nothere.html") + missing}, 1},
      {{"-i", "out", "s.ini"}, 1, {"velmora-batch: cannot read the input file " + given("out")}, 1},
      // An empty path names no file: it is no failure of the current folder.
      {{"-i", "", "s.ini"}, 1,
       {"velmora-batch: no input file is named: give -i PATH, or set Input in the [Settings] "
        "section of the settings file\n"},
       1},
      // One line for all the files that a missing output folder stopped.
      {{"-o", "nothere", "s.ini"}, 3,
       {"velmora-batch: 3 files could not be written: the output folder " + given("nothere") +
        " does not exist\n"},
       1, true},
      {{"-o", "file", "s.ini"}, 3,
       {"velmora-batch: 3 files could not be written: the output folder " + given("file") +
        " is not a folder\n"},
       1, true},
      {{"-o", "nothere", "--dry-run", "s.ini"}, 3,
       {"velmora-batch: 3 files could not be written: the output folder " + given("nothere") +
        " does not exist\n"},
       1, true},
      // Twenty lines, then the count of the rest.
      {{"-i", "refused.csv", "named.ini"}, 3,
       {"velmora-batch: the file name 'x/../n0.html' (record 1) is refused: it is empty, leaves "
        "the output folder, names a device or makes the path too long\n",
        "velmora-batch: 5 more files could not be written\n"},
       21},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--code-page", "932"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.args[1];
    for (const std::string& line : c.lines) {
      EXPECT_NE(r.err.find(line), std::string::npos) << c.args[1] << "\n" << r.err;
    }
    std::size_t englishLines = 0;
    for (std::size_t at = r.err.find("velmora-batch: "); at != std::string::npos;
         at = r.err.find("velmora-batch: ", at + 1)) {
      ++englishLines;
    }
    EXPECT_EQ(englishLines, c.lineCount) << c.args[1] << "\n" << r.err;
    if (c.alone) {
      EXPECT_EQ(r.err, c.lines.front()) << c.args[1];
    }
  }
#ifndef _WIN32
  // A write that fails ends the run: the file and the system's reason after the window's text.
  test::WriteBytes(dir / "big.html", std::string(test::ScopedFileSizeLimit::kBytes + 1, 'x'));
  BatchResult full;
  {
    test::ScopedFileSizeLimit limit;
    full = RunBatch(dir, {"--code-page", "932", "-t", "big.html", "s.ini"});
  }
  EXPECT_EQ(full.status, 1);
  const std::string ended = "velmora-batch: the run ended on a failure of " + given("out" + kSep + "p001.html") +
                            ": " + std::strerror(EFBIG) + "\n";
  EXPECT_TRUE(full.err.ends_with(ended)) << full.err;
#endif
}

TEST_F(BatchCommand, WarnsOfTextThatIsNoTextOfTheCodePageAndStrictEndsTheRun) {
  const std::string utf8Template = "\xe4\xbe\xa1\xe6\xa0\xbc\xef\xbc\x9a[$_0_$]\xe5\x86\x86\n";
  const std::string given = "' (given as '%', from the current folder)";
  const auto file = [&](const std::string& kind, const std::string& name) {
    return "velmora-batch: the " + kind + " file '" + dir.Path().string() + kSep + name +
           ReplaceEvery(given, "%", name);
  };
  const std::string looksUtf8 =
      " looks like UTF-8 text, but the run reads code page 932: use --code-page 65001 (or the "
      "UTF-8 edition of the window)\n";
  const std::string twoFiles = "out" + kSep + "p001.html -> ok\r\nout" + kSep +
                               "p002.html -> ok\r\n----\r\n" + Finished("2") + "\r\n";
  struct Case {
    const char* name;
    std::string codePage;
    std::string templateText;
    std::string input;
    bool strict;
    int status;
    std::string err;
    std::string log;  // after the header
  };
  const std::vector<Case> cases = {
      {"a UTF-8 template under 932", "932", utf8Template, "a\r\nb\r\n", false, 0,
       file("template", "t.html") + " is not well-formed code page 932 text at line 1, byte offset "
       "18\n" + file("template", "t.html") + looksUtf8,
       twoFiles},
      {"a UTF-8 mark under 932", "932", "\xef\xbb\xbf[$_0_$]", "a\r\nb\r\n", false, 0,
       file("template", "t.html") + looksUtf8, twoFiles},
      {"UTF-8 input under 932", "932", "[$_0_$]", "a\r\n\xe5\x86\x86\r\n", false, 0,
       file("input", "in.csv") + " is not well-formed code page 932 text at line 2, byte offset 5 "
       "(record 2)\n" + file("input", "in.csv") + looksUtf8,
       twoFiles},
      {"a 932 input under 65001", "65001", "[$_0_$]", "a\r\nb\n\x89\xbf\x8ai\r\n", false, 0,
       file("input", "in.csv") + " is not well-formed UTF-8 (code page 65001) text at line 3, byte "
       "offset 5 (record 2)\n",
       twoFiles},
      {"a lone lead byte at the end", "932", "[$_0_$]\x82", "a\r\nb\r\n", false, 0,
       file("template", "t.html") + " is not well-formed code page 932 text at line 1, byte "
       "offset 7\n",
       twoFiles},
      {"well-formed 932", "932", "\x89\xbf\x8ai[$_0_$]", "\x82\xa0\r\nb\r\n", false, 0, "",
       twoFiles},
      // Half-width katakana in 932 make two-byte UTF-8 sequences: no evidence of UTF-8.
      {"half-width katakana under 932", "932", "\xc3\xbd[$_0_$]", "\xc3\xbd\r\nb\r\n", false, 0,
       "", twoFiles},
      {"strict, a malformed template", "932", "[$_0_$]\x82", "a\r\nb\r\n", true, 4,
       file("template", "t.html") + " is not well-formed code page 932 text at line 1, byte "
       "offset 7; --strict ends the run there\n",
       "----\r\n" + Finished("0") + "\r\n"},
      {"strict, a malformed record", "65001", "[$_0_$]", "a\r\n\x82\r\nc\r\n", true, 4,
       file("input", "in.csv") + " is not well-formed UTF-8 (code page 65001) text at line 2, "
       "byte offset 3 (record 2); --strict ends the run there\n",
       "out" + kSep + "p001.html -> ok\r\n----\r\n" + Finished("1") + "\r\n"},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir.Path() / "out");
    fs::create_directory(dir.Path() / "out");
    test::WriteBytes(dir / "t.html", c.templateText);
    test::WriteBytes(dir / "in.csv", c.input);
    std::vector<std::string> args = {"--code-page", c.codePage, "s.ini"};
    if (c.strict) args.insert(args.begin(), "--strict");
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    // The log is the window's, whatever the warnings; in 65001 its texts are UTF-8.
    if (c.codePage == "932") {
      EXPECT_EQ(r.out, Header("in.csv", "t.html", "out") + c.log) << c.name;
    } else {
      EXPECT_NE(r.out.find(c.log.substr(0, c.log.find("----") + 6)),
                std::string::npos)
          << c.name;
    }
    EXPECT_EQ(test::Exists(dir / ("out" + kSep + "p002.html")), !c.strict) << c.name;
  }
#ifndef _WIN32
  // A pipe can be read only once: the place of the malformed text is counted as the run reads it,
  // never by opening the path again (which would wait for a writer for ever).
  for (const bool pipedTemplate : {false, true}) {
    const std::string name = pipedTemplate ? "p.html" : "p.csv";
    fs::remove(dir.Path() / name);
    ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
    std::thread writer([&] {
      std::ofstream(dir / name, std::ios::binary)
          << (pipedTemplate ? "[$_0_$]\n\x82" : "a\r\n\x82\r\nc\r\n");
    });
    test::WriteBytes(dir / "in.csv", "a\r\nb\r\n");
    test::WriteBytes(dir / "t.html", "[$_0_$]");
    BatchResult r = RunBatch(dir, {"--code-page", "65001", pipedTemplate ? "-t" : "-i", name,
                                   "s.ini"});
    writer.join();
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(r.err, pipedTemplate
                         ? file("template", name) + " is not well-formed UTF-8 (code page 65001) "
                           "text at line 2, byte offset 8\n"
                         : file("input", name) + " is not well-formed UTF-8 (code page 65001) "
                           "text at line 2, byte offset 3 (record 2)\n");
  }
#endif
}

TEST_F(BatchCommand, NamesEverySettingThatIsNotTakenAsWritten) {
  test::WriteBytes(dir / "in.csv", "a,b\r\nc,d\r\n");
  test::WriteBytes(dir / "t.html", "<[$_0_$]|[$_1_$]>");
  const BatchResult plain = RunBatch(dir, {"--code-page", "932", "s.ini"});
  ASSERT_EQ(plain.status, 0);
  ASSERT_EQ(plain.err, "");
  const auto files = Snapshot(dir.Path() / "out");
  struct Case {
    std::string from;  // in the settings file
    std::string to;
    std::string finding;  // after "velmora-batch: FILE, "
  };
  const std::vector<Case> cases = {
      {"[Rule]\r\n", "[Rul]\r\nLead=q\r\n[Rule]\r\n",
       "line 10: the section [Rul] is no section of the program; it is ignored"},
      {"Default=-\r\n", "Default=-\r\nColour=red\r\n",
       "line 9: [Replace] Colour=red: the key is no key of the section; it is ignored"},
      {"Rule=0", "Rule=field", "line 13: [Rule] Rule=field: 'field' is no number; 0 is used"},
      {"Separator=0", "Separator=tsv",
       "line 16: [Field] Separator=tsv: 'tsv' is no number; 0 is used"},
      {"Number=3", "Number=3x", "line 14: [Rule] Number=3x: '3x' is no number; 3 is used"},
      {"Break=0", "Break=7",
       "line 17: [Field] Break=7: the window offers 0 to 1; 7 is used as it stands"},
      {"Number=3\r\n", "Number=3\r\nnumber=300\r\n",
       "line 15: [Rule] number=300: the key comes again in its section; only its first value is "
       "read"},
      {"[Field]\r\n", "a stray line\r\n[Field]\r\n",
       "line 15: 'a stray line' is no section, key or comment; it is ignored"},
      {"[Settings]\r\n", "Input=elsewhere.csv\r\n[Settings]\r\n",
       "line 1: 'Input=elsewhere.csv' comes before any section; it is ignored"},
      {"[Field]\r\n", "[Batch]\r\nPRUNE=0\r\nprunes=1\r\n[Field]\r\n",
       "line 17: [Batch] prunes=1: the key is no key of the section; it is ignored"},
  };
  for (const Case& c : cases) {
    std::string settings = kSettings;
    settings.replace(settings.find(c.from), c.from.size(), c.to);
    test::WriteBytes(dir / "odd.ini", settings);
    fs::remove_all(dir.Path() / "out");
    fs::create_directory(dir.Path() / "out");
    BatchResult r = RunBatch(dir, {"--code-page", "932", "odd.ini"});
    EXPECT_EQ(r.status, 0) << c.to;
    EXPECT_EQ(r.err, "velmora-batch: " + dir / "odd.ini" + ", " + c.finding + "\n") << c.to;
    // The values used stay those of the window: the same log, the same files.
    EXPECT_EQ(r.out, plain.out) << c.to;
    const auto written = Snapshot(dir.Path() / "out");
    ASSERT_EQ(written.size(), files.size()) << c.to;
    for (auto a = written.begin(), b = files.begin(); a != written.end(); ++a, ++b) {
      EXPECT_EQ(a->second.substr(0, a->second.find('@')), b->second.substr(0, b->second.find('@')))
          << c.to;
    }
  }
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
      {"--code-page", "utf-9", "s.ini"},
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
#ifndef _WIN32
  // A file that cannot be read gets the system's reason; the super-user reads every file.
  struct Unreadable {
    std::string name;
    std::function<void()> make;
    std::string reason;
  };
  const std::vector<Unreadable> unreadable = {
      {"loop.ini", [&] { fs::create_symlink("loop.ini", dir.Path() / "loop.ini"); },
       "Too many levels of symbolic links"},
      {"locked.ini",
       [&] {
         test::WriteBytes(dir / "locked.ini", kSettings);
         fs::permissions(dir.Path() / "locked.ini", fs::perms::none);
       },
       ::geteuid() == 0 ? "" : "Permission denied"},
  };
  for (const Unreadable& u : unreadable) {
    u.make();
    if (u.reason.empty()) continue;
    BatchResult r = RunBatch(dir, {u.name});
    EXPECT_EQ(r.status, 2) << u.name;
    EXPECT_EQ(r.err, "velmora-batch: cannot read the settings file '" + u.name + "': " + u.reason +
                         "\n");
  }
#endif
}

TEST_F(BatchCommand, ShowsHelpAndVersion) {
  BatchResult help = RunBatch(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: velmora-batch [options] SETTINGS_FILE"), std::string::npos);
  // The messages, the settings keys and the relative paths are explained in the README.
  EXPECT_NE(help.out.find("see README.md, \"When something"), std::string::npos);
  BatchResult version = RunBatch(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.substr(0, 21), "velmora-batch 1.0.0.4");
  // The manual's header names the same version.
  std::ifstream manual(VELMORA_MANUAL_PATH);
  std::string header;
  std::getline(manual, header);
  EXPECT_NE(header.find("\"Velmora 1.0.0.4\""), std::string::npos) << header;
#ifdef _WIN32
  // So does the program's manifest.
  HMODULE image = LoadLibraryExA(VELMORA_BATCH_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(image);
  std::string manifest;
  if (HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), RT_MANIFEST)) {
    manifest.assign(static_cast<const char*>(LockResource(LoadResource(image, found))),
                    SizeofResource(image, found));
  }
  FreeLibrary(image);
  EXPECT_NE(manifest.find("name=\"Velmora.Batch\" version=\"1.0.0.4\""), std::string::npos)
      << manifest;
#endif
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
  // A missing input is named in English as a run names it.
  const std::string inputFailed = "velmora-batch: cannot read the input file '" +
                                  dir.Path().string() + kSep + "nothere.csv' (given as "
                                  "'nothere.csv', from the current folder): "
#ifndef _WIN32
                                  + std::string(std::strerror(ENOENT)) + "\n"
#endif
      ;  // on Windows the system's text follows, in whatever language it has
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
#ifdef _WIN32
    EXPECT_TRUE(r.err.starts_with(c.err)) << r.err;
#else
    EXPECT_EQ(r.err, c.err) << c.args[1];
#endif
    EXPECT_TRUE(fs::is_empty(dir.Path() / "out"));
  }
}

// Standard error of a run as a dry run says it: its collision lines in the future tense.
std::string AsDryRun(const std::string& err) {
  return ReplaceEvery(ReplaceEvery(err, " was written by ", " would be written by "), " stands\n",
                      " would stand\n");
}

TEST(BatchDryRun, GivesTheRunsLogAndStatusAndTouchesNoFile) {
  struct Case {
    const char* name;
    std::string input;
    std::string output;
    std::function<void(const test::TempDir&)> setup;
    bool settles = true;  // a second run finds every file as the first left it
    // A read-only file that the plain run cannot open, though it holds the record's bytes: a
    // changed-only run has nothing to write there.
    std::string heldReadOnly = "";
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
       },
       true, "r.html"},
      {"the template among the outputs", "t,1\r\nu,2\r\n", ".", [](const test::TempDir&) {}},
      {"the settings file and a hard link to it among the outputs", "s.ini,1\r\nh.ini,2\r\nu,3\r\n",
       ".",
       [](const test::TempDir& d) {
         test::WriteBytes(d / "s.ini",
                          "; kept\r\n" + ReplaceEvery(ByFieldSettings(), "Tail=.html", "Tail="));
         std::error_code noLinks;  // then h.ini is a new file for both runs
         fs::create_hard_link(d.Path() / "s.ini", d.Path() / "h.ini", noLinks);
       }},
      {"a missing output folder", "a,1\r\nb,2\r\n", "nothere", [](const test::TempDir&) {}},
      {"two records, one file", "a,1\r\na,2\r\n", "out", [](const test::TempDir&) {}},
      // The later record meets the earlier record's bytes, not those on the disk.
      {"two records, one file, the later's bytes on the disk",
       "a,1\r\na,2\r\nb,3\r\nb,3\r\n", "out",
       [](const test::TempDir& d) {
         test::WriteBytes(d / "t.html", "<[$_0_$]|[$_1_$]>");
         test::WriteBytes(d / ("out" + kSep + "a.html"), "<a|2>");
       },
       false},
#ifndef _WIN32
      {"a link into a missing folder", "d,1\r\ne,2\r\n", "out",
       [](const test::TempDir& d) {
         fs::create_symlink("../nothere/d.html", d.Path() / "out" / "d.html");
       }},
#endif
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteByFieldRun(dir, c.input, "<[$_0_$]>");
    c.setup(dir);
    const std::vector<std::string> args = {"--code-page", "932", "-o", c.output, "s.ini"};
    std::vector<std::string> dryArgs = args;
    dryArgs.insert(dryArgs.begin(), "--dry-run");
    std::vector<std::string> bothArgs = dryArgs;  // --dry-run first
    bothArgs.insert(bothArgs.begin() + 1, "--changed-only");

    const std::string settingsBytes = test::ReadBytes(dir / "s.ini");
    const auto before = Snapshot(dir.Path());
    BatchResult dry = RunBatch(dir, dryArgs);
    EXPECT_EQ(Snapshot(dir.Path()), before) << c.name;
    // A changed-only dry run predicts a changed-only run line for line, each on its own copy of
    // the folders (hard links become files of their own in both).
    {
      test::TempDir dryCopy, realCopy;
      for (const test::TempDir* copy : {&dryCopy, &realCopy}) {
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
          fs::copy(entry.path(), copy->Path() / entry.path().filename(),
                   fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        }
      }
      BatchResult dryChanged = RunBatch(dryCopy, bothArgs);
      BatchResult realChanged = RunBatch(realCopy, {bothArgs.begin() + 1, bothArgs.end()});
      EXPECT_EQ(dryChanged.status, realChanged.status) << c.name;
      // Messages name the full paths, which differ only by the copy they were run in.
      EXPECT_EQ(ReplaceEvery(dryChanged.err, dryCopy.Path().string(), "COPY"),
                AsDryRun(ReplaceEvery(realChanged.err, realCopy.Path().string(), "COPY")))
          << c.name;
      EXPECT_EQ(dryChanged.out, ReplaceEvery(realChanged.out, " -> ok\r\n", " -> dry run\r\n"))
          << c.name;
    }
    BatchResult real = RunBatch(dir, args);
    EXPECT_EQ(dry.status, real.status) << c.name;
    // A dry run says in its collision lines what would be written.
    EXPECT_EQ(dry.err, AsDryRun(real.err)) << c.name;
    EXPECT_EQ(dry.out, ReplaceEvery(real.out, " -> ok\r\n", " -> dry run\r\n")) << c.name;
    EXPECT_EQ(test::ReadBytes(dir / "s.ini"), settingsBytes) << c.name;

    if (!c.settles) continue;
    // After the run every file holds its bytes: a changed-only dry run finds nothing to do.
    const auto after = Snapshot(dir.Path());
    // And a real changed-only run writes nothing either, the refusals of the plain run kept.
    for (bool dryRun : {true, false}) {
      const std::vector<std::string> againArgs(bothArgs.begin() + (dryRun ? 0 : 1), bothArgs.end());
      BatchResult again = RunBatch(dir, againArgs);
      EXPECT_EQ(Snapshot(dir.Path()), after) << c.name;
      std::string expected = ReplaceEvery(real.out, " -> ok\r\n", " -> unchanged\r\n");
      if (!c.heldReadOnly.empty()) {
        expected = ReplaceEvery(expected, OpenFailed(c.heldReadOnly) + "\r\n",
                                "out" + kSep + c.heldReadOnly + " -> unchanged\r\n");
      }
      EXPECT_EQ(again.status, c.heldReadOnly.empty() ? real.status : 0) << c.name;
      EXPECT_EQ(again.out, expected) << c.name;
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
    WriteByFieldRun(dir, first);
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
  const std::string fullWidth =
      "velmora-batch: out\\\x82\x81.html was written by records 1, 2; the file of record 2 stands\n";
  // A device name ends at a colon; any other colon would write a stream.
  const int devicesStatus = 3;
  std::string devices = OpenFailed("COM2:.html") + "\n" + OpenFailed("COM2 :x.html") + "\n" +
                        OpenFailed("NUL:y.html") + "\n" + OpenFailed("a:b.html") + "\n";
  int record = 0;
  for (const char* name : {"COM2:.html", "COM2 :x.html", "NUL:y.html", "a:b.html"}) {
    devices += "velmora-batch: the file name '" + std::string(name) + "' (record " +
               std::to_string(++record) +
               ") is refused: it is empty, leaves the output folder, names a device or makes the "
               "path too long\n";
  }
#else
  const std::string folded;  // other bytes, other files
  const std::string fullWidth;
  const int devicesStatus = 0;  // plain names
  const std::string devices;
  // A lone lead byte takes no "/" along: all three records name one file in the folder "\x82".
  const std::string loneLead = "velmora-batch: out/\x82/./a.html was written by records 1, 2, 3; "
                               "the file of record 3 stands\n";
  const std::string loneLeadInput = "velmora-batch: the input file '%/in.csv' (given as 'in.csv', "
                                    "from the current folder) is not well-formed code page 932 "
                                    "text at line 1, byte offset 0 (record 1)\n";
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
      {"strict dry run", "a,1\r\nb,2\r\na,3\r\n", {"--strict", "--dry-run"}, 4,
       ReplaceEvery(ReplaceEvery(twice, "was written", "would be written"), "stands",
                    "would stand")},
      {"strict, single thread", "a,1\r\nb,2\r\na,3\r\n", {"--strict", "--single-thread"}, 4, twice},
      {"strict with a failed file", "a,1\r\nsub/../x,2\r\na,3\r\n", {"--strict"}, 3,
       OpenFailed("sub/../x.html") + "\nvelmora-batch: the file name 'sub/../x.html' (record 2) is "
       "refused: it is empty, leaves the output folder, names a device or makes the path too long\n" +
       twice},
      {"no collision", "a,1\r\nb,2\r\n", {"--strict"}, 0, ""},
      {"letter case and separators", "A,1\r\na,2\r\nsub/c,3\r\nsub\\c,4\r\n", {}, 0, folded},
      {"full-width letter case", "\x82\x60,1\r\n\x82\x81,2\r\n", {"--strict"},
       fullWidth.empty() ? 0 : 4, fullWidth},
      {"devices and streams", "COM2:,1\r\nCOM2 :x,2\r\nNUL:y,3\r\na:b,4\r\n", {}, devicesStatus,
       devices},
#ifndef _WIN32
      // Not --strict: a lone lead byte is no well-formed text, which --strict does not run.
      {"after a lone lead byte", "\x82/a,1\r\n\x82//a,2\r\n\x82/./a,3\r\n", {}, 0,
       loneLeadInput + loneLead},
#endif
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteByFieldRun(dir, c.input);
    fs::create_directory(dir.Path() / "out" / "sub");
#ifndef _WIN32
    fs::create_directories(dir.Path() / "out" / "\x82");
#endif
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--code-page", "932", "s.ini"});
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, ReplaceEvery(c.err, "'%", "'" + dir.Path().string())) << c.name;
    if (&c == &cases[0]) {
      EXPECT_EQ(test::ReadBytes(dir / a), "<a|3>");
    }
  }

  test::TempDir dir;
  WriteByFieldRun(dir, many, "t");
  BatchResult r = RunBatch(dir, {"--code-page", "932", "s.ini"});
  EXPECT_EQ(r.status, 0);
  const std::string first = "velmora-batch: out" + kSep + "n0.html was written by records 1, 26; the file of record 26 stands\n";
  EXPECT_EQ(r.err.substr(0, first.size()), first);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 21);
  EXPECT_NE(r.err.find("\nvelmora-batch: and 5 more files written by more than one record\n"),
            std::string::npos);
}

#ifndef _WIN32
// Two names that reach one file through a linked folder are one file: the later record's page
// stands, on any number of threads, and the collision is reported.
TEST(BatchCollisions, KnowsOneFileReachedThroughALinkedFolder) {
  for (const char* jobs : {"1", "8"}) {
    test::TempDir dir;
    test::WriteBytes(dir / "s.ini", ByFieldSettings());
    std::string input;
    for (int i = 0; i < 200; ++i) {
      input += std::string(i % 2 == 0 ? "sub/x" : "link/x") + "," + std::to_string(i) + "\r\n";
    }
    test::WriteBytes(dir / "in.csv", input);
    test::WriteBytes(dir / "t.html", "[$_1_$]");
    fs::create_directories(dir.Path() / "out" / "sub");
    fs::create_directory_symlink("sub", dir.Path() / "out" / "link");
    BatchResult r = RunBatch(dir, {"--jobs", jobs, "--code-page", "932", "s.ini"});
    EXPECT_EQ(r.status, 0) << jobs;
    EXPECT_EQ(test::ReadBytes(dir / "out/sub/x.html"), "199") << jobs;
    EXPECT_TRUE(r.err.starts_with("velmora-batch: out/link/x.html was written by records 1, 2, 3"))
        << r.err;
    EXPECT_NE(r.err.find("the file of record 200 stands\n"), std::string::npos) << r.err;
  }
}
#endif

TEST(BatchFindings, NamesPlaceholdersNeverFilledAndFilesNamedByLeadAndTailAlone) {
  std::string manyEmpty;
  for (int i = 0; i < 25; ++i) manyEmpty += ",x\r\n";
  std::string emptyRecords = "records 1";
  for (int i = 2; i <= 20; ++i) emptyRecords += ", " + std::to_string(i);
  const std::string html = "out" + kSep + ".html";
  struct Case {
    const char* name;
    std::string templateText;
    std::string input;
    std::string err;
    std::vector<std::string> args = {};  // before the settings file
    int status = 0;                      // of the run without --strict
  };
  const std::vector<Case> cases = {
      {"a field no record had", "<[$_0_$]|[$_3_$]|[$_4_$]|[$_4_$]|[$_04_$]>", "a,b\r\nc,d,e\r\n",
       "velmora-batch: the template's '[$_3_$]' was never filled: no record had field 3; the "
       "records had at most 3 fields (0 to 2)\n"
       "velmora-batch: the template's '[$_4_$]' was never filled: no record had field 4; the "
       "records had at most 3 fields (0 to 2)\n"},
      {"an empty naming field", "<[$_1_$]>", "a,1\r\n,2\r\n",
       "velmora-batch: 1 record had an empty field 0, so its file was named '.html' by the lead "
       "and tail alone: record 2\n"},
      {"many empty naming fields", "<[$_1_$]>", manyEmpty,
       "velmora-batch: " + html + " was written by records 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, "
       "13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25; the file of record 25 stands\n"
       "velmora-batch: 25 records had an empty field 0, so their file was named '.html' by the "
       "lead and tail alone: " + emptyRecords + " and 5 more\n"},
      {"every placeholder filled", "<[$_0_$][$_1_$]>", "a,1\r\nb\r\n", ""},
      // Each record once, by what left its name empty.
      // A record without the naming field gets no name at all: it is refused.
      {"an empty naming field and none at all", "<[$_1_$]>", "a,1,x\r\nb,2\r\nc,3,\r\n",
       OpenFailed(".html") + "\n"
       "velmora-batch: the file name '.html' (record 2) is refused: it is empty, leaves the output "
       "folder, names a device or makes the path too long\n"
       "velmora-batch: 1 record had an empty field 2, so its file was named '.html' by the lead "
       "and tail alone: record 3\n"
       "velmora-batch: 1 record had no field 2 at all, so its file was named '.html' by the lead "
       "and tail alone: record 2\n",
       {"--name-field", "2"}, 3},
      {"a naming column", "<[$_n_$]>", "k,n\r\n,1\r\n",
       "velmora-batch: 1 record had an empty field 0 (column 'k'), so its file was named '.html' "
       "by the lead and tail alone: record 1\n",
       {"--header", "--name-field", "k"}},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteByFieldRun(dir, c.input, c.templateText);
    std::vector<std::string> args = {"--code-page", "932"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("s.ini");
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    const auto files = Snapshot(dir.Path() / "out");
    // --strict ends with 4 after the run: the same log and the same files.
    args.insert(args.begin(), "--strict");
    BatchResult strict = RunBatch(dir, args);
    EXPECT_EQ(strict.status, c.status != 0 ? c.status : c.err.empty() ? 0 : 4) << c.name;
    EXPECT_EQ(strict.err, c.err) << c.name;
    EXPECT_EQ(strict.out, r.out) << c.name;
    const auto again = Snapshot(dir.Path() / "out");
    ASSERT_EQ(again.size(), files.size()) << c.name;
    for (auto a = again.begin(), b = files.begin(); a != again.end(); ++a, ++b) {
      EXPECT_EQ(a->second.substr(0, a->second.find('@')), b->second.substr(0, b->second.find('@')));
    }
  }
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
    WriteByFieldRun(dir, "a,1\r\nb,2\r\nsub/../x,3\r\nb,2\r\n");
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

TEST(BatchHeader, NamesColumnsByTheHeaderRow) {
  const std::string lacks = "velmora-batch: the template names a column that the header lacks: ";
  std::string manyEmpty;
  for (int field = 0; field < 20; ++field) {
    manyEmpty += "velmora-batch: the header of field " + std::to_string(field) +
                 " is empty: it names no column\n";
  }
  manyEmpty += "velmora-batch: 5 more empty header fields\n";
  struct Case {
    const char* name;
    const char* codePage;
    std::string input;
    std::string templateText;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> pages;  // p001.html, p002.html, ...
    std::string err;
  };
  const std::vector<Case> cases = {
      // 名前,価格 in code page 932; numbering starts after the header.
      {"932 names", "932", "\x96\xbc\x91\x4f,\x89\xbf\x8a\x69\r\napple,100\r\npear,\r\n",
       "[$_\x96\xbc\x91\x4f_$]=[$_\x89\xbf\x8a\x69_$]/[$_1_$]", {}, 0,
       {"apple=100/100", "pear=-/-"}, ""},
      // 名前 in UTF-8, after a byte-order mark.
      {"65001 names", "65001", "\xef\xbb\xbf\xe5\x90\x8d\xe5\x89\x8d,price\r\nx,<1>\r\n",
       "[$_\xe5\x90\x8d\xe5\x89\x8d_$]|[$_price_$]", {}, 0, {"x|&lt;1&gt;"}, ""},
      {"numbers, digits, repeats and empty headers", "932", "id,123,id,,name\r\na,b,c,d,e\r\n",
       "[$_id_$][$_123_$][$_2_$][$_name_$][$_4_$]", {}, 0, {"a[$_123_$]cee"},
       "velmora-batch: the header of field 3 is empty: it names no column\n"
       "velmora-batch: the header of field 1, '123', is a number: it names no column\n"
       "velmora-batch: the header of field 2, 'id', repeats that of field 0: it names no column\n"
       "velmora-batch: the template's '[$_123_$]' was never filled: no record had field 123; the "
       "records had at most 5 fields (0 to 4)\n"},
      {"a name holding the tail and the lead", "932", "a_$]b,[$_x\r\n1,2\r\n",
       "[$_a_$]b_$]|[$_[$_x_$]", {}, 0, {"1|2"},
       "velmora-batch: the header of field 0, 'a_$]b', holds the placeholder's tail '_$]': no "
       "placeholder can name its column\n"
       "velmora-batch: the header of field 1, '[$_x', holds the placeholder's lead '[$_': no "
       "placeholder can name its column\n"},
      {"a column that no record filled", "932", "a,b\r\n1\r\n", "[$_a_$][$_b_$]", {}, 0,
       {"1[$_b_$]"},
       "velmora-batch: the template's '[$_b_$]' was never filled: no record had field 1; the "
       "records had at most 1 field (0 to 0)\n"},
      {"a column that no record filled, strict", "932", "a,b\r\n1\r\n", "[$_a_$][$_b_$]",
       {"--strict"}, 4, {"1[$_b_$]"},
       "velmora-batch: the template's '[$_b_$]' was never filled: no record had field 1; the "
       "records had at most 1 field (0 to 0)\n"},
      {"a missing name", "932", "price\r\n5\r\n", "[$_prise_$][$_price_$][$_prise_$]", {}, 0,
       {"[$_prise_$]5[$_prise_$]"}, lacks + "[$_prise_$]\n"},
      {"a missing name, strict", "932", "price\r\n5\r\n", "[$_prise_$][$_price_$]", {"--strict"},
       4, {}, lacks + "[$_prise_$]\nvelmora-batch: --strict: no file is written\n"},
      {"only the header", "932", "id,name\r\n", "[$_name_$]", {}, 0, {}, ""},
      // "[" as the second byte of a character begins no placeholder, named or not.
      {"a lead inside a character", "932", "x\r\n1\r\n", "\x89[$_x_$][$_y_$]",
       {"--single-thread"}, 0, {"\x89[$_x_$][$_y_$]"}, lacks + "[$_y_$]\n"},
      {"quoted header", "932", "\"a,b\",c\r\n1,2\r\n", "[$_a,b_$][$_c_$]", {}, 0, {"12"}, ""},
      {"a name of the program's own", "932", "a,#x\r\n1,2\r\n", "[$_a_$][$_#x_$]", {}, 0,
       {"1[$_#x_$]"},
       "velmora-batch: the header of field 1, '#x', begins with '#', which marks the program's "
       "own names: it names no column\n" + lacks + "[$_#x_$]\n"},
      // Each kind of line stops after 20, with a count of the rest.
      {"many empty headers", "932", std::string(24, ',') + "\r\n1\r\n", "x", {}, 0, {"x"},
       manyEmpty},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir / "s.ini", kSettings);
    test::WriteBytes(dir / "in.csv", c.input);
    test::WriteBytes(dir / "t.html", c.templateText);
    fs::create_directory(dir.Path() / "out");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--header", "--code-page", c.codePage, "s.ini"});
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path() / "out")) {
      (void)entry;
      ++files;
    }
    EXPECT_EQ(files, c.pages.size()) << c.name;
    for (std::size_t i = 0; i < c.pages.size(); ++i) {
      EXPECT_EQ(test::ReadBytes(dir / ("out" + kSep + "p00" + std::to_string(i + 1) + ".html")),
                c.pages[i])
          << c.name;
    }
    if (c.status == 0) {
      // The closing line counts the records after the header (its text here in code page 932).
      if (std::string(c.codePage) == "932") {
        EXPECT_TRUE(r.out.ends_with(Finished(std::to_string(c.pages.size())) + "\r\n")) << c.name;
      }
      if (!c.pages.empty()) {
        args.insert(args.begin(), {"--preview", "1"});
        EXPECT_EQ(RunBatch(dir, args).out, c.pages[0]) << c.name;
      }
    }
  }
}

TEST(BatchChoices, ChoosesRecordsNamesPagesAndWritesGroupedLists) {
  const std::string events =
      "id,kind,title,public\r\n1,talk,Spring,yes\r\n2,show,A & B,yes\r\n3,talk,Secret,no\r\n"
      "4,talk,<Winter>,yes\r\n";
  const std::string grouped = "[$_kind_$]:[$_#count_$]\n[$_#rows_$]<a href=\"[$_#file_$]\">"
                              "[$_title_$]</a>#[$_#record_$]\n[$_#end_$]end [$_#record_$]\n";
  const std::vector<std::string> byKind = {"--name-template", "[$_kind_$]/[$_id_$].html",
                                           "--make-folders"};
  const std::string noBlock = "velmora-batch: --list list.html: the list template has no block "
                              "of rows: [$_#rows_$] ... [$_#end_$]\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string listTemplate;
    int status;
    std::map<std::string, std::string> files;  // under out
    std::vector<std::string> logged;           // the log's file lines, after "out" and a separator
    std::string err;                           // the start of standard error
    std::string fileInTheWay = "";             // a file of that name in out before the run
  };
  std::vector<std::string> show = byKind;
  show.insert(show.end(), {"--where", "kind=show"});
  const std::vector<Case> cases = {
      {"filter by column", {"--where", "public=yes", "--summary"}, "", 0,
       {{"p001.html", "Spring"}, {"p002.html", "A &amp; B"}, {"p004.html", "&lt;Winter&gt;"}},
       {"p001.html -> ok", "p002.html -> ok", "p004.html -> ok"},
       "velmora-batch: 4 records, 1 skipped, 3 files written, 0 unchanged, 0 failed, 0 "
       "colliding, "},
      {"every condition, by field number", {"--where", "public!=yes", "--where", "0=3"}, "", 0,
       {{"p003.html", "Secret"}}, {"p003.html -> ok"}, ""},
      {"names with folders", byKind, "", 0,
       {{"talk", "<folder>"}, {"show", "<folder>"}, {"talk/1.html", "Spring"},
        {"show/2.html", "A &amp; B"}, {"talk/3.html", "Secret"}, {"talk/4.html", "&lt;Winter&gt;"}},
       {"talk/1.html -> ok", "show/2.html -> ok", "talk/3.html -> ok", "talk/4.html -> ok"}, ""},
      {"a file where a folder would be made", show, "", 3, {{"show", "x"}}, {},
       OpenFailed("show/2.html") + "\n", "show"},
      {"a name leaving the output folder", {"--where", "0=1", "--name-template", "../[$_id_$].x"},
       "", 3, {}, {}, OpenFailed("../1.x") + "\n"},
      {"lists grouped by kind",
       {"--where", "public=yes", "--name-template", "[$_kind_$]/[$_id_$].html", "--make-folders",
        "--list", "list.html", "--list-output", "[$_kind_$]/index.html"},
       grouped, 0,
       {{"talk", "<folder>"}, {"show", "<folder>"}, {"talk/1.html", "Spring"},
        {"show/2.html", "A &amp; B"}, {"talk/4.html", "&lt;Winter&gt;"},
        {"talk/index.html", "talk:2\n<a href=\"talk/1.html\">Spring</a>#1\n<a href=\"talk/"
                            "4.html\">&lt;Winter&gt;</a>#4\nend 1\n"},
        {"show/index.html", "show:1\n<a href=\"show/2.html\">A &amp; B</a>#2\nend 2\n"}},
       {"talk/1.html -> ok", "show/2.html -> ok", "talk/4.html -> ok", "talk/index.html -> ok",
        "show/index.html -> ok"},
       ""},
      {"one list of every page", {"--where", "0!=2", "--list", "list.html"},
       "<[$_#rows_$][$_#file_$] [$_#end_$]>[$_#count_$]", 0,
       {{"p001.html", "Spring"}, {"p003.html", "Secret"}, {"p004.html", "&lt;Winter&gt;"},
        {"index.html", "<p001.html p003.html p004.html >3"}},
       {"p001.html -> ok", "p003.html -> ok", "p004.html -> ok", "index.html -> ok"}, ""},
      {"a dry run", {"--dry-run", "--where", "public=yes", "--name-template",
                     "[$_kind_$]/[$_id_$].html", "--make-folders", "--list", "list.html",
                     "--list-output", "[$_kind_$]/index.html"},
       grouped, 0, {},
       {"talk/1.html -> dry run", "show/2.html -> dry run", "talk/4.html -> dry run",
        "talk/index.html -> dry run", "show/index.html -> dry run"},
       ""},
      {"a list without its block", {"--list", "list.html"}, "[$_#end_$] alone", 2, {}, {},
       noBlock},
      {"a list with two blocks", {"--list", "list.html"},
       "[$_#rows_$]a[$_#end_$][$_#rows_$]b[$_#end_$]", 2, {}, {},
       "velmora-batch: --list list.html: the list template has [$_#rows_$] twice: it may have "
       "one block of rows\n"},
      {"an unknown column", {"--where", "colour=red"}, "", 2, {}, {},
       "velmora-batch: --where: the header has no column 'colour'\n"},
      {"a condition without =", {"--where", "public"}, "", 2, {}, {},
       "velmora-batch: --where needs NAME=VALUE or NAME!=VALUE, not 'public'\n"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir / "s.ini", kSettings);
    test::WriteBytes(dir / "in.csv", events);
    test::WriteBytes(dir / "t.html", "[$_title_$]");
    test::WriteBytes(dir / "list.html", c.listTemplate);
    fs::create_directory(dir.Path() / "out");
    if (!c.fileInTheWay.empty()) test::WriteBytes(dir / ("out" + kSep + c.fileInTheWay), "x");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--header", "--code-page", "932", "s.ini"});
    const BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.err;
    EXPECT_EQ(Snapshot(dir.Path() / "out", false), c.files) << c.name;
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.name;
    std::string log = Header("in.csv", "t.html", "out");
    for (const std::string& line : c.logged) log += "out" + kSep + line + "\r\n";
    if (c.status == 0) {
      EXPECT_EQ(r.out, log + "----\r\n" + Finished("4") + "\r\n") << c.name;
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "1.x")) << c.name;
  }
}

TEST(BatchSettingsOptions, RunWithoutASettingsFileAndReadRecordsAsTold) {
  const std::vector<std::string> paths = {"-i", "in.csv", "-t", "t.html", "-o", "out"};
  const std::string input =
      "velmora-batch: the input file '%" + kSep + "in.csv' (given as 'in.csv', from the current "
      "folder)";
  const std::string namesWithoutHeader =
      "velmora-batch: the template names a column ([$_name_$]) but --header was not given, so "
      "it stays as it stands; the first record holds this name: give --header to read it as the "
      "header\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string templateText;
    int status;
    std::map<std::string, std::string> files;  // the output folder afterwards
    std::string err;
  };
  const std::vector<Case> cases = {
      {"the defaults of a new settings file", {}, "a,<b>\r\n", "[$_0_$]|[$_1_$]", 0,
       {{"1.html", "a|&lt;b&gt;"}}, ""},
      {"every setting from options",
       {"--separator", "tsv", "--format", "text", "--field-break", "vt", "--lead", "{", "--tail",
        "}", "--default", "none", "--name-number", "2", "--name-lead", "n", "--name-tail", ".txt"},
       "a\x0b" "b\t\t<c>\r\n", "{0}|{1}|{2}", 0, {{"n01.txt", "a\r\nb|none|<c>"}}, ""},
      {"line breaks inside quotes", {"--line-ends", "any"},
       "id,text\n1,\"x\r\ny\"\n2,\"p\nq\"\r\n3,5\"\" tall\n", "[$_0_$]:[$_1_$]", 0,
       {{"1.html", "id:text"}, {"2.html", "1:x<br>y"}, {"3.html", "2:p<br>q"},
        {"4.html", "3:5 tall"}},
       ""},
      {"line breaks inside quotes as text", {"--line-ends", "any", "--format", "text"},
       "\"a\r\nb\"\n", "[$_0_$]", 0, {{"1.html", "a\r\nb"}}, ""},
      {"a header with line ends", {"--line-ends", "any", "--header"}, "id,name\n1,\"a\nb\"\n",
       "[$_name_$]", 0, {{"1.html", "a<br>b"}}, ""},
      {"LF line ends read as one record", {"--line-ends", "cr"}, "id,name\n1,apple\n",
       "<p>[$_1_$]</p>", 0, {{"1.html", "<p>name<br>1</p>"}},
       "velmora-batch: the input holds LF line ends but no CR, so the whole input was read as "
       "one record; --line-ends any ends records at LF too\n"},
      {"LF line ends read as one record, strict", {"--line-ends", "cr", "--strict", "--header"},
       "id,\xe5\x90\x8d\n1,a\n", "[$_0_$]", 4, {},
       "velmora-batch: the input holds LF line ends but no CR, so the whole input was read as "
       "one record; --line-ends any ends records at LF too\n" +
           input + " is not well-formed code page 932 text at line 1, byte offset 5 (the "
           "header); --strict ends the run there\n"},
      {"LF line ends chosen for an input without CR", {}, "id,name\n\n1,apple\n",
       "<p>[$_1_$]</p>", 0, {{"1.html", "<p>name</p>"}, {"2.html", "<p>apple</p>"}},
       input + " holds LF line ends but no CR, so its records ended at LF (--line-ends auto); "
       "the window reads such a file as one record\n"},
      {"a quote that never closes", {"--line-ends", "any"}, "a\n\n\"b\nc\n", "[$_0_$]", 0,
       {{"1.html", "a"}, {"2.html", "b<br>c<br>"}},
       input + " opens a double quote at line 3 that never closes, so the last record runs "
       "from there to the end of the file\n"},
      {"a malformed byte after a quoted CR LF", {"--line-ends", "any"},
       "a\r\n\"x\r\ny\",\x82\r\n", "[$_0_$]", 0, {{"1.html", "a"}, {"2.html", "x<br>y"}},
       input + " is not well-formed code page 932 text at line 3, byte offset 10 (record 2)\n"},
      {"column names without --header", {}, "id,name\r\n1,apple\r\n", "[$_name_$]|[$_0_$]", 0,
       {{"1.html", "[$_name_$]|id"}, {"2.html", "[$_name_$]|1"}}, namesWithoutHeader},
      {"column names without --header, strict", {"--strict"}, "id,name\r\n1,apple\r\n",
       "[$_name_$]|[$_nom_$]", 4, {},
       "velmora-batch: the template names columns ([$_name_$], [$_nom_$]) but --header was not "
       "given, so they stay as they stand; the first record holds 1 of them: give --header to "
       "read it as the header\nvelmora-batch: --strict: no file is written\n"},
      {"named by a column", {"--header", "--name-field", "name"}, "id,name\r\n7,apple\r\n",
       "[$_id_$]", 0, {{"apple.html", "7"}}, ""},
      {"named by a field", {"--name-field", "1", "--name-tail", ""}, "7,apple\r\n", "[$_0_$]", 0,
       {{"apple", "7"}}, ""},
      {"named by a column the header lacks", {"--header", "--name-field", "nom"},
       "id,name\r\n7,apple\r\n", "[$_id_$]", 2, {},
       "velmora-batch: --name-field: the header has no column 'nom'\n"},
      {"a name lead that climbs out", {"--name-lead", "../"}, "a\r\n", "x", 3, {},
       OpenFailed("../1.html") +
           "\nvelmora-batch: the file name '../1.html' (record 1) is refused: it is empty, leaves "
           "the output folder, names a device or makes the path too long\n"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir / "in.csv", c.input);
    test::WriteBytes(dir / "t.html", c.templateText);
    fs::create_directory(dir.Path() / "out");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), paths.begin(), paths.end());
    args.insert(args.end(), {"--code-page", "932"});
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, ReplaceEvery(c.err, "'%", "'" + dir.Path().string())) << c.name;
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.Path() / "out")) {
      files[entry.path().filename().string()] = test::ReadBytes(entry.path().string());
    }
    EXPECT_EQ(files, c.files) << c.name;
    EXPECT_FALSE(fs::exists(dir.Path() / "1.html")) << c.name;
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
  // Windows opens a device for these in every folder; elsewhere they are plain names.
  for (const char* device : {"NUL:x", "COM1:", "con", "sub\\AUX.ini"}) {
    const auto before = Snapshot(dir.Path());
    BatchResult refused = RunBatch(dir, {"--init", device});
#ifdef _WIN32
    EXPECT_EQ(refused.status, 2) << device;
    EXPECT_EQ(refused.err,
              "velmora-batch: '" + std::string(device) + "' names a device and is not written\n");
    EXPECT_EQ(Snapshot(dir.Path()), before) << device;
#else
    // "\" separates nothing here: "sub\AUX.ini" is one name in the current folder.
    EXPECT_EQ(refused.status, 0) << device << " " << refused.err;
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / device)) << device;
#endif
  }
  // Options change the new file's settings, as the settings reader reads them back.
  BatchResult withOptions =
      RunBatch(dir, {"--init", "opt.ini", "-i", "in.csv", "--separator", "tsv", "--format", "text",
                     "--field-break", "vt", "--lead", "{", "--tail", "}", "--default", "&nbsp;",
                     "--name-field", "2", "--name-lead", "p", "--name-tail", ".txt"});
  EXPECT_EQ(withOptions.status, 0) << withOptions.err;
  GeneratorSettings read;
  LoadSettings(read, (dir / "opt.ini"));
  GeneratorSettings expected;
  LoadSettings(expected, (dir / "new.ini"));
  expected.Input = "in.csv";
  expected.FieldSeparator = 1;
  expected.ReplaceFormat = 1;
  expected.FieldBreak = 1;
  expected.ReplaceLead = "{";
  expected.ReplaceTail = "}";
  expected.ReplaceDefault = "&nbsp;";
  expected.Rule = 1;
  expected.RuleNumber = 2;
  expected.RuleLead = "p";
  expected.RuleTail = ".txt";
  EXPECT_EQ(read, expected);
  // A run from the new file alone makes what a run with the options makes: the recipe's options
  // kept in [Batch], texts with blanks at their ends or in quotes given back as given.
  test::WriteBytes(dir / "in.csv", "id,txt\na1,\"\"\"x\"\"\"\nb2,\n");
  test::WriteBytes(dir / "t.html", "A [id] B [txt] C");
  const std::vector<std::string> recipes[] = {
      {"--header", "--line-ends", "any", "--code-page", "932", "--prune", "--lead", " [",
       "--tail", "] ", "--default", "\"-\"", "--name-field", "0", "--name-tail", "'.htm'"},
      {"--line-ends=any", "--lead", " [", "--tail", "] ", "--name-number", "2"},
  };
  for (const std::vector<std::string>& recipe : recipes) {
    fs::remove_all(dir.Path() / "out");
    fs::create_directories(dir.Path() / "out" / "a");
    fs::create_directories(dir.Path() / "out" / "b");
    std::vector<std::string> direct = {"-i", "in.csv", "-t", "t.html", "-o", "out" + kSep + "a"};
    direct.insert(direct.end(), recipe.begin(), recipe.end());
    const BatchResult fromOptions = RunBatch(dir, direct);
    std::vector<std::string> init = {"--init", "r.ini", "-i", "in.csv", "-t", "t.html", "-o",
                                     "out" + kSep + "b"};
    init.insert(init.end(), recipe.begin(), recipe.end());
    fs::remove(dir.Path() / "r.ini");
    ASSERT_EQ(RunBatch(dir, init).status, 0) << recipe[0];
    const BatchResult fromFile = RunBatch(dir, {"r.ini"});
    EXPECT_EQ(fromFile.status, fromOptions.status) << recipe[0] << fromFile.err;
    EXPECT_EQ(fromFile.err, fromOptions.err) << recipe[0];
    EXPECT_EQ(ReplaceEvery(fromFile.out, "out" + kSep + "b", "out" + kSep + "a"), fromOptions.out);
    EXPECT_EQ(Snapshot(dir.Path() / "out" / "b", false), Snapshot(dir.Path() / "out" / "a", false));
    EXPECT_EQ(Snapshot(dir.Path() / "out" / "a", false).size(), 3u) << recipe[0];
  }
  // A value that no settings file can hold as given.
  BatchResult tooLong = RunBatch(dir, {"--init", "long.ini", "--default", std::string(4096, 'v')});
  EXPECT_EQ(tooLong.status, 2);
  EXPECT_EQ(tooLong.err, "velmora-batch: --init: [Replace] Default: a settings file gives back at "
                         "most 4095 bytes of a value\n");
  EXPECT_FALSE(fs::exists(dir.Path() / "long.ini"));
}

// A whole site: the recipe kept by --init makes the same pages and lists from the settings file
// alone, and after rows are dropped the next run removes their pages, the list of a group that
// is gone and the folder it made for that group.
TEST(BatchPrune, KeepsTheSitesRecipeAndRemovesWhatDroppedRowsLeftBehind) {
  test::TempDir dir;
  test::WriteBytes(dir / "in.csv",
                   "id,kind,title,public\r\n1,talk,Spring,yes\r\n2,show,Art,yes\r\n"
                   "3,talk,Secret,no\r\n4,talk,Winter,yes\r\n");
  test::WriteBytes(dir / "t.html", "[$_title_$]");
  test::WriteBytes(dir / "list.html", "[$_kind_$]:[$_#rows_$] [$_#file_$][$_#end_$]");
  ASSERT_EQ(RunBatch(dir, {"--init", "site.ini", "-i", "in.csv", "-t", "t.html", "-o", "out",
                           "--header", "--code-page", "932", "--where", "public=yes",
                           "--name-template", "[$_kind_$]/[$_id_$].html", "--make-folders",
                           "--list", "list.html", "--list-output", "[$_kind_$]/index.html",
                           "--prune"})
                .status,
            0);
  BatchResult first = RunBatch(dir, {"site.ini"});
  EXPECT_EQ(first.status, 0) << first.err;
  std::map<std::string, std::string> site = Snapshot(dir.Path() / "out", false);
  site.erase(".velmora-files");
  EXPECT_EQ(site, (std::map<std::string, std::string>{
                      {"talk", "<folder>"}, {"show", "<folder>"}, {"talk/1.html", "Spring"},
                      {"show/2.html", "Art"}, {"talk/4.html", "Winter"},
                      {"talk/index.html", "talk: talk/1.html talk/4.html"},
                      {"show/index.html", "show: show/2.html"}}));
  test::WriteBytes(dir / "in.csv", "id,kind,title,public\r\n1,talk,Spring,yes\r\n"
                                   "4,talk,Winter,no\r\n");
  BatchResult second = RunBatch(dir, {"site.ini"});
  EXPECT_EQ(second.status, 0) << second.err;
  site = Snapshot(dir.Path() / "out", false);
  site.erase(".velmora-files");
  EXPECT_EQ(site, (std::map<std::string, std::string>{{"talk", "<folder>"},
                                                      {"talk/1.html", "Spring"},
                                                      {"talk/index.html", "talk: talk/1.html"}}));
  for (const std::string removed : {"show/2.html", "show/index.html", "talk/4.html", "show"}) {
    // Named as the log names the pages: the folder, then the name as the template made it.
    const std::string line = "out" + kSep + removed + " -> removed\r\n";
    EXPECT_NE(second.out.find(line), std::string::npos) << removed << "\n" << second.out;
  }
}

TEST(BatchPrune, RemovesOnlyUnchangedFilesThatTheLastPruningRunWroteAndThisOneDidNot) {
  const std::string b = "out" + kSep + "b.html";
  const std::string kept = "velmora-batch: --prune: " + b;
  const std::string noRemoval = "velmora-batch: --prune: the run had failures or was stopped, so "
                                "no file is removed\n";
  struct Case {
    const char* name;
    std::function<void(const test::TempDir&)> between;  // done between the runs
    std::vector<std::string> args;                       // of the second run, besides --prune
    int status;
    bool bRemoved;
    std::string logEnd;  // after the closing line
    std::string err;
  };
  const std::vector<Case> cases = {
      {"rows dropped", [](const test::TempDir&) {}, {}, 0, true, b + " -> removed\r\n", ""},
      {"dry run", [](const test::TempDir&) {}, {"--dry-run"}, 0, false,
       b + " -> would be removed\r\n", ""},
      {"changed since", [&](const test::TempDir& d) { test::WriteBytes(d / b, "<b|3>"); }, {}, 0,
       false, "", kept + " changed since the last run and is kept\n"},
      {"a record failed",
       [](const test::TempDir& d) {
         fs::remove(d.Path() / "out" / "c.html");
         fs::create_directory(d.Path() / "out" / "c.html");
       },
       {}, 3, false, "", noRemoval},
      {"a damaged list",
       [](const test::TempDir& d) { test::WriteBytes(d / ("out" + kSep + ".velmora-files"), "F"); },
       {}, 0, false, "",
       "velmora-batch: --prune: out" + kSep + ".velmora-files is no list of files that "
       "velmora-batch wrote, so no file is removed and it is left as it is\n"},
#ifndef _WIN32
      {"a link in the file's place",
       [&](const test::TempDir& d) {
         test::WriteBytes(d / "elsewhere.html", "<b|2>");
         fs::remove(d.Path() / b);
         fs::create_symlink("../elsewhere.html", d.Path() / b);
       },
       {}, 0, false, "",
       kept + " is kept: it is no plain file (a folder, a link, a pipe or a device)\n"},
#endif
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    WriteByFieldRun(dir, "a,1\r\nb,2\r\nc,3\r\n");
    // A file that no pruning run wrote stays whatever happens.
    test::WriteBytes(dir / ("out" + kSep + "other.html"), "<b|2>");
    ASSERT_EQ(RunBatch(dir, {"--prune", "--code-page", "932", "s.ini"}).status, 0);
    c.between(dir);
    const std::string list = test::ReadBytes(dir / ("out" + kSep + ".velmora-files"));
    test::WriteBytes(dir / "in.csv", "a,1\r\nc,3\r\n");
    std::vector<std::string> args = {"--prune", "--code-page", "932", "s.ini"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, c.status) << c.name << r.err;
    EXPECT_EQ(fs::exists(fs::symlink_status(dir.Path() / b)), !c.bRemoved) << c.name;
    EXPECT_EQ(test::ReadBytes(dir / ("out" + kSep + "other.html")), "<b|2>") << c.name;
    EXPECT_TRUE(r.out.ends_with(Finished("2") + "\r\n" + c.logEnd))
        << c.name << r.out;
    if (c.status == 0) {
      EXPECT_EQ(r.err, c.err) << c.name;
    } else {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << c.name << r.err;
    }
    // Only a completed real run lists its files anew.
    const std::string after = test::ReadBytes(dir / ("out" + kSep + ".velmora-files"));
    if (c.status != 0 || !c.args.empty() || c.name == std::string("a damaged list")) {
      EXPECT_EQ(after, list) << c.name;
    } else {
      EXPECT_TRUE(after.starts_with("velmora-files 1\nF 5 ") && after.ends_with(" c.html\n") &&
                  after.find("b.html") == std::string::npos)
          << c.name << after;
    }
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
// In a code page other than the system's (65001 on a Japanese Windows, whose own is 932), the
// run's file names and command-line texts are the run's: every file gets the name that its record
// gives, and a column or settings file named on the command line is found. The names are listed
// as the system holds them, in UTF-16 on Windows.
TEST(BatchCodePage, NamesFilesAndTakesCommandLineTextsInTheRunsCodePage) {
  const std::string apple = "\xe3\x82\x8a\xe3\x82\x93\xe3\x81\x94";     // りんご in UTF-8
  const std::string orange = "\xe3\x81\xbf\xe3\x81\x8b\xe3\x82\x93";    // みかん
  const std::string product = "\xe5\x95\x86\xe5\x93\x81\xe5\x90\x8d";   // 商品名
  const std::string settingsFile = "\xe8\xa8\xad\xe5\xae\x9a.ini";         // 設定.ini
  const auto utf8Path = [](const std::string& text) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
  };
  const std::vector<std::string> paths = {"-i", "in.csv", "-t", "t.html", "-o", "out"};
  struct Case {
    const char* name;
    const char* codePage;
    std::vector<std::string> args;
    std::string input;
    int status;
    std::map<std::string, std::string> files;  // UTF-8 names in the output folder afterwards
    std::string err;
  };
  const std::vector<Case> cases = {
      {"named by a field", "65001", {"--name-field", "0"}, apple + ",1\r\n" + orange + ",2\r\n",
       0, {{apple + ".html", "1"}, {orange + ".html", "2"}}, ""},
      {"named by a column given on the command line", "65001",
       {"--header", "--name-field", product}, product + ",n\r\n" + apple + ",1\r\n", 0,
       {{apple + ".html", "1"}}, ""},
      // The column's name typed in UTF-8 reaches a run in 932 as 932's bytes, the file's name
      // too (listed in UTF-16 on Windows, as bytes elsewhere).
      {"a column named in the system's text, run in 932", "932",
       {"--header", "--name-field", product},
       "\x8f\xa4\x95\x69\x96\xbc,n\r\n\x82\xe8\x82\xf1\x82\xb2,1\r\n", 0,
#ifdef _WIN32
       {{apple + ".html", "1"}},
#else
       {{"\x82\xe8\x82\xf1\x82\xb2.html", "1"}},
#endif
       ""},
      // The system's profile functions read the settings, which name each file by field 0.
      {"a settings file named on the command line", "65001", {settingsFile},
       apple + ",1\r\n", 0, {{apple + ".html", "1"}}, ""},
      // é.ini: code page 932 has no é; the system reads the file by its short name.
      {"a settings file whose name the system's code page lacks", "65001", {"\xc3\xa9.ini"},
       apple + ",1\r\n", 0, {{apple + ".html", "1"}}, ""},
      {"an argument that the code page lacks", "1252", {"--header", "--name-field", apple},
       "a,1\r\n", 2, {},
#ifdef _WIN32
       // Named as the system's code page, 932, shows it.
       "velmora-batch: the argument '\x82\xe8\x82\xf1\x82\xb2' has no text in code page 1252\n"
#else
       "velmora-batch: the argument '" + apple + "' has no text in code page 1252\n"
#endif
       "Try 'velmora-batch --help'.\n"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteBytes(dir / "in.csv", c.input);
    test::WriteBytes(dir / "t.html", "[$_1_$]");
    for (const std::string& name : {settingsFile, std::string("\xc3\xa9.ini")}) {
      std::ofstream(dir.Path() / utf8Path(name), std::ios::binary) << ByFieldSettings();
    }
    fs::create_directory(dir.Path() / "out");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), paths.begin(), paths.end());
    args.insert(args.end(), {"--code-page", c.codePage});
    BatchResult r = RunBatch(dir, args, true);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.Path() / "out")) {
      const std::u8string name = entry.path().filename().u8string();
      std::ifstream file(entry.path(), std::ios::binary);
      files[std::string(reinterpret_cast<const char*>(name.data()), name.size())] =
          std::string(std::istreambuf_iterator<char>(file), {});
    }
    EXPECT_EQ(files, c.files) << c.name;
  }
}

#ifndef _WIN32
TEST(BatchInterrupt, StopsBetweenRecordsAndNamesEveryFileItWrote) {
  test::TempDir dir;
  std::string input;
  for (int i = 0; i < 200000; ++i) input += std::to_string(i) + ",x\r\n";
  test::WriteBytes(dir / "in.csv", input);
  test::WriteBytes(dir / "t.html", "<p>[$_0_$]</p>");
  fs::create_directory(dir.Path() / "out");
  // The signal comes once the run has written files and long before it is done.
  const std::string script = "cd \"" + dir.Path().string() + "\" && (\"" VELMORA_BATCH_PATH
                             "\" --jobs 4 --name-field 0 -i in.csv -t t.html -o out >log.bin "
                             "2>err.bin & pid=$!; while [ -z \"$(ls out)\" ]; do sleep 0.01; done; "
                             "kill -TERM $pid; wait $pid; echo $? >status.txt)";
  ASSERT_EQ(std::system(("sh -c '" + ReplaceEvery(script, "'", "'\\''") + "'").c_str()), 0);
  EXPECT_EQ(test::ReadBytes(dir / "status.txt"), "143\n");
  const std::string err = test::ReadBytes(dir / "err.bin");
  EXPECT_TRUE(err.starts_with("velmora-batch: stopped by SIGTERM before record ")) << err;
  // Every file in the folder is named in the log and whole; nothing else is.
  const std::string log = test::ReadBytes(dir / "log.bin");
  std::size_t named = 0;
  for (const auto& entry : fs::directory_iterator(dir.Path() / "out")) {
    const std::string name = entry.path().stem().string();
    EXPECT_NE(log.find("out" + kSep + name + ".html -> ok\r\n"), std::string::npos) << name;
    EXPECT_EQ(test::ReadBytes(entry.path().string()), "<p>" + name + "</p>");
    ++named;
  }
  std::size_t lines = 0;
  for (std::size_t at = log.find(" -> ok\r\n"); at != std::string::npos;
       at = log.find(" -> ok\r\n", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, named);
  EXPECT_GT(named, 0u);
  EXPECT_LT(named, 200000u);
}
#endif

}  // namespace
}  // namespace velmora
