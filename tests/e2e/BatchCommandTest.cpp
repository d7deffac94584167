// Runs the real velmora-batch on real files and compares exact bytes: output files, the run log
// on standard output, failures on standard error, and the exit status.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestFiles.h"

#ifndef _WIN32
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
      {"big.ini"}, {"huge.ini"}};
#ifndef _WIN32
  // Devices that never end, and one that is empty: no settings file either.
  cases.push_back({"/dev/zero"});
  cases.push_back({"/dev/null"});
#endif
  for (const auto& args : cases) {
    BatchResult r = RunBatch(dir, args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(r.err.find("velmora-batch: "), std::string::npos);
    if (args.size() == 1) {
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
  // Naming by a field that repeats: the later record's file wins in both.
  std::string input;
  for (int i = 0; i < 500; ++i) {
    input += "k" + std::to_string(i % 37) + ",\"v" + std::to_string(i) + "\"\r\n";
  }
  input += "sub/../x,1\r\n";  // refused: it leads out of the folder
  test::WriteBytes(dir / "in.csv", input);
  test::WriteBytes(dir / "t.html", "[$_0_$]=[$_1_$]");
  std::string settings = kSettings;
  settings.replace(settings.find("Rule=0"), 6, "Rule=1");
  settings.replace(settings.find("Number=3"), 8, "Number=0");
  test::WriteBytes(dir / "s.ini", settings);
  BatchResult piped = RunBatch(dir, {"--code-page", "932", "s.ini"});
  std::vector<std::string> pipedFiles;
  for (int k = 0; k < 37; ++k) pipedFiles.push_back(test::ReadBytes(dir / ("out" + kSep + "pk" + std::to_string(k) + ".html")));
  fs::remove_all(dir.Path() / "out");
  fs::create_directory(dir.Path() / "out");
  BatchResult single = RunBatch(dir, {"--code-page", "932", "--single-thread", "s.ini"});
  EXPECT_EQ(piped.status, 3);
  EXPECT_EQ(single.status, 3);
  EXPECT_EQ(piped.out, single.out);
  EXPECT_EQ(piped.err, single.err);
  for (int k = 0; k < 37; ++k) {
    EXPECT_EQ(test::ReadBytes(dir / ("out" + kSep + "pk" + std::to_string(k) + ".html")), pipedFiles[k]);
  }
  EXPECT_EQ(pipedFiles[0], "k0=v481");
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
