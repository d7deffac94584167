// The window under faults, driven from outside: a full disk during a run, a settings file beside
// the program that is read-only or held by another program, a settings import or export whose
// file cannot be opened, two instances closing one after the other, and control texts at and over
// their limits.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "res/resource.h"
#include "support/TestFiles.h"
#include "tests/fault/FaultSupport.h"
#include "tests/gui/AppDriver.h"
#include "tests/gui/StoredSettings.h"
#include "tests/gui/Texts932.h"

namespace velmora::gui {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// The full-disk error text that follows the file's path, in code page 932.
const char kDiskFullTail[] =
    " \x82\xd6\x82\xcc\xb1\xb8\xbe\xbd\x92\x86\x82\xc9\xc3\xde\xa8\xbd\xb8\x82\xaa\x82\xa2\x82"
    "\xc1\x82\xcf\x82\xa2\x82\xc9\x82\xc8\x82\xe8\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// " 処理中：2件": the progress text of the second record.
const char kProcessing2[] = " \x8f\x88\x97\x9d\x92\x86\x81\x46\x32\x8c\x8f";

std::string SettingsText(const std::string& input, const std::string& output,
                         const std::string& templatePath, const std::string& lead = "[$_") {
  return "[Settings]\r\nInput=" + input + "\r\nOutput=" + output + "\r\nTemplate=" +
         templatePath + "\r\n[Replace]\r\nLead=" + lead +
         "\r\nTail=_$]\r\nDefault=\r\nFormat=0\r\n[Rule]\r\nLead=\r\nTail=\r\nRule=1\r\n"
         "Number=0\r\n[Field]\r\nSeparator=0\r\nBreak=0\r\n";
}

TEST(WindowFault, FullDiskShowsTheFileErrorBoxAndTheWindowRunsAgain) {
  TempDir dir;
  const std::string full = test::HostPath(VELMORA_FULL_DEVICE_FOLDER);
  WriteBytes(dir / "page.html", "<p>[$_1_$]</p>");
  WriteBytes(dir / "records.csv", "a,1\r\nfull,2\r\nb,3\r\n");
  WriteBytes(dir / "velmora.ini", SettingsText(dir / "records.csv", full, dir / "page.html"));
  CreateDirectoryA((dir / "out").c_str(), nullptr);
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());

  app.PostCommand(IDC_RUN);
  const std::optional<BoxInfo> box = app.WaitForBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, full + "\\full" + kDiskFullTail);
  EXPECT_EQ(box->caption, "velmora");
  EXPECT_TRUE(app.Answer(*box));
  // The run ended at the full disk: the status keeps the last record's progress, the record
  // after it was never written.
  EXPECT_EQ(app.Text(IDC_STATUS), kProcessing2);
  EXPECT_EQ(ReadBytes(full + "\\a"), "<p>1</p>");
  // Another writing thread may have finished the later record's file; it is then whole.
  if (test::Exists(full + "\\b")) {
    EXPECT_EQ(ReadBytes(full + "\\b"), "<p>3</p>");
    DeleteFileA((full + "\\b").c_str());
  }
  EXPECT_FALSE(test::Exists(full + "\\b"));
  DeleteFileA((full + "\\a").c_str());

  // The window is still usable: the next run into a good folder completes.
  ASSERT_TRUE(IsWindowVisible(app.Main()));
  app.SetText(IDC_OUTPUT, dir / "out");
  app.PostCommand(IDC_RUN);
  EXPECT_TRUE(app.WaitForStatus(cp932::kFinished3));
  EXPECT_EQ(ReadBytes(dir / "out\\full"), "<p>2</p>");
  EXPECT_EQ(ReadBytes(dir / "records.csv"), "a,1\r\nfull,2\r\nb,3\r\n");
  app.PostSysCommand(SC_CLOSE);
  EXPECT_TRUE(app.WaitForExit());
}

std::string SystemReason(DWORD error);  // defined with the import and export test below

TEST(WindowFault, SettingsFileThatCannotBeWrittenOrReadIsKeptAndClosingSaysNothing) {
  struct Case {
    const char* name;
    bool held;  // held by another program while the window starts; else read-only
    const char* shownLead;
  };
  const Case cases[] = {
      {"read-only", false, "<<"},
      // The window starts with the defaults, and the file is released before the close.
      {"held at the start", true, "[$_"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string before = SettingsText("in.csv", "out", "page.html", "<<");
    WriteBytes(dir / "velmora.ini", before);
    std::optional<test::HeldFile> held;
    if (c.held) {
      held.emplace(dir / "velmora.ini");
      ASSERT_TRUE(held->Held());
    } else {
      ASSERT_TRUE(SetFileAttributesA((dir / "velmora.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    }
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.Text(IDC_REPLACE_LEAD), c.shownLead);
    if (c.held) {
      // The start names the file that could not be read, and why.
      const std::string path = app.ExePath().substr(0, app.ExePath().size() - 4) + ".ini";
      const std::optional<BoxInfo> box = app.WaitForBox();
      ASSERT_TRUE(box);
      EXPECT_EQ(box->text, "'" + path + cp932::kSettingsLoadFailedMiddle +
                               SystemReason(ERROR_SHARING_VIOLATION) + "\n" +
                               cp932::kStartKeepsSettingsFile);
      EXPECT_TRUE(app.Answer(*box));
    }
    held.reset();
    app.SetText(IDC_REPLACE_LEAD, "changed");
    app.PostSysCommand(SC_CLOSE);
    // A message box would keep the process alive.
    EXPECT_TRUE(app.WaitForExit());
    EXPECT_EQ(ReadBytes(dir / "velmora.ini"), before);
  }
}

// The system's text for an error, as a message box of this process would show it.
std::string SystemReason(DWORD error) {
  char text[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' ||
                             reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason;
}

// An import that cannot open its file and an export that cannot write one say so, naming the
// file and the system's reason, and change neither the controls nor the file.
TEST(WindowFault, SettingsImportOrExportThatCannotOpenItsFileSaysSoAndChangesNothing) {
  struct Case {
    const char* name;
    int command;
    bool held;  // held by another program; else read-only
    const char* middle;
    DWORD error;
  };
  const Case cases[] = {
      {"import of a held file", ID_SETTINGS_LOAD, true, cp932::kSettingsLoadFailedMiddle,
       ERROR_SHARING_VIOLATION},
      {"export onto a read-only file", ID_SETTINGS_SAVE, false, cp932::kSettingsSaveFailedMiddle,
       ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / "velmora.ini", SettingsFileText(kEarlier));
    const std::string vmz = dir / "mine.vmz";
    WriteBytes(vmz, SettingsFileText(kTyped));
    std::optional<test::HeldFile> held;
    if (c.held) {
      held.emplace(vmz);
      ASSERT_TRUE(held->Held());
    } else {
      ASSERT_TRUE(SetFileAttributesA(vmz.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    app.PostCommand(c.command);
    const std::optional<BoxInfo> dialog = app.WaitForBox(10000, BoxKind::FileDialog);
    ASSERT_TRUE(dialog);
    const bool exporting = c.command == ID_SETTINGS_SAVE;
    ASSERT_TRUE(app.ChooseFile(*dialog, vmz, /*waitForClose=*/!exporting));
    if (exporting) {
      // The platform asks before it replaces the file.
      const std::optional<BoxInfo> confirm = app.WaitForBox();
      ASSERT_TRUE(confirm);
      EXPECT_TRUE(app.Answer(*confirm, IDYES));
    }
    const std::optional<BoxInfo> box = app.WaitForBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "'" + vmz + c.middle + SystemReason(c.error));
    EXPECT_EQ(box->caption, "velmora");
    EXPECT_TRUE(app.Answer(*box));
    EXPECT_EQ(Shown(app), kEarlier);
    held.reset();
    EXPECT_EQ(ReadBytes(vmz), SettingsFileText(kTyped));
    app.PostSysCommand(SC_CLOSE);
    ASSERT_TRUE(app.WaitForExit());
    EXPECT_EQ(ReadBytes(dir / "velmora.ini"), SettingsFileText(kEarlier));
  }
}

TEST(WindowFault, InstanceClosingLastDecidesTheSettingsFile) {
  for (bool firstClosesFirst : {true, false}) {
    SCOPED_TRACE(firstClosesFirst ? "first closes first" : "second closes first");
    TempDir dir;
    WriteBytes(dir / "velmora.ini", SettingsText("in.csv", "out", "page.html"));
    AppDriver first(dir.Path().string());
    AppDriver second(dir.Path().string());
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    first.SetText(IDC_INPUT, "first.csv");
    first.SetText(IDC_REPLACE_LEAD, "{1");
    second.SetText(IDC_INPUT, "second.csv");
    second.SetText(IDC_REPLACE_LEAD, "{2");
    AppDriver& early = firstClosesFirst ? first : second;
    AppDriver& late = firstClosesFirst ? second : first;
    early.PostSysCommand(SC_CLOSE);
    ASSERT_TRUE(early.WaitForExit());
    late.PostSysCommand(SC_CLOSE);
    ASSERT_TRUE(late.WaitForExit());
    const std::string tag = firstClosesFirst ? "second" : "first";
    EXPECT_EQ(ReadBytes(dir / "velmora.ini"),
              SettingsText(tag + ".csv", "out", "page.html", firstClosesFirst ? "{2" : "{1"));
  }
}

// Every edit at its limit passes the checks and is stored in full; one byte over, each is refused
// with the limit's message and the window still closes.
TEST(WindowFault, ControlTextsAtAndOverTheirLimits) {
  struct Limit {
    int control;
    std::size_t bytes;
    const char* message;
  };
  const Limit limits[] = {
      {IDC_TEMPLATE, 260, cp932::kTooLong260},     {IDC_INPUT, 260, cp932::kTooLong260},
      {IDC_OUTPUT, 260, cp932::kTooLong260},       {IDC_REPLACE_LEAD, 255, cp932::kTooLong255},
      {IDC_REPLACE_TAIL, 255, cp932::kTooLong255}, {IDC_REPLACE_DEFAULT, 260, cp932::kTooLong260},
      {IDC_RULE_LEAD, 255, cp932::kTooLong255},    {IDC_RULE_TAIL, 255, cp932::kTooLong255},
  };
  {
    SCOPED_TRACE("every text at its limit");
    TempDir dir;
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    for (const Limit& limit : limits) {
      app.SetText(limit.control, std::string(limit.bytes, char('a' + limit.control % 26)));
    }
    app.SetText(IDC_RULE_NUMBER, "255");
    app.PostSysCommand(SC_CLOSE);
    ASSERT_TRUE(app.WaitForExit());
    const std::string saved = ReadBytes(dir / "velmora.ini");
    for (const Limit& limit : limits) {
      EXPECT_NE(saved.find("=" + std::string(limit.bytes, char('a' + limit.control % 26)) + "\r\n"),
                std::string::npos)
          << "control " << limit.control;
    }
    EXPECT_NE(saved.find("Number=255\r\n"), std::string::npos);
  }
  struct Over {
    int control;
    std::string text;
    const char* message;
  };
  std::vector<Over> overs;
  for (const Limit& limit : limits) {
    overs.push_back({limit.control, std::string(limit.bytes + 1, 'x'), limit.message});
  }
  overs.push_back({IDC_RULE_NUMBER, "256", cp932::kOutOfRange});
  overs.push_back({IDC_RULE_NUMBER, std::string(32, '1'), cp932::kOutOfRange});
  for (const Over& over : overs) {
    SCOPED_TRACE("control " + std::to_string(over.control) + " with " +
                 std::to_string(over.text.size()) + " bytes");
    TempDir dir;
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    app.SetText(over.control, over.text);
    app.PostSysCommand(SC_CLOSE);
    const std::optional<BoxInfo> box = app.WaitForBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, over.message);
    EXPECT_TRUE(app.Answer(*box));
    EXPECT_TRUE(app.WaitForExit());
  }
}

// Settings files that no window wrote load without a fault; values the window does not offer
// leave their list or radio group without a selection, and over-long texts show in full.
TEST(WindowFault, BadSettingsFilesLoadAndTheWindowStaysUsable) {
  {
    SCOPED_TRACE("values outside the lists and limits");
    TempDir dir;
    const std::string lead(300, 'l');
    WriteBytes(dir / "velmora.ini", "[Replace]\r\nFormat=5\r\nLead=" + lead +
                                        "\r\n[Rule]\r\nRule=7\r\nNumber=300\r\n[Field]\r\n"
                                        "Separator=-1\r\nBreak=2\r\n");
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.ListSelection(IDC_REPLACE_FORMAT), -1);
    EXPECT_EQ(app.ListSelection(IDC_FIELD_SEPARATOR), -1);
    EXPECT_EQ(app.ListSelection(IDC_FIELD_BREAK), -1);
    EXPECT_FALSE(app.IsChecked(IDC_RULE_RECORD));
    EXPECT_FALSE(app.IsChecked(IDC_RULE_FIELD));
    EXPECT_EQ(app.Text(IDC_RULE_NUMBER), "300");
    EXPECT_EQ(app.Text(IDC_REPLACE_LEAD), lead);
    app.PostSysCommand(SC_CLOSE);
    const std::optional<BoxInfo> box = app.WaitForBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, cp932::kTooLong255);
    EXPECT_TRUE(app.Answer(*box));
    ASSERT_TRUE(app.WaitForExit());
    const std::string saved = ReadBytes(dir / "velmora.ini");
    for (const char* line : {"Format=-1\r\n", "Separator=-1\r\n", "Break=-1\r\n", "Rule=7\r\n",
                             "Number=300\r\n"}) {
      EXPECT_NE(saved.find(line), std::string::npos) << line;
    }
  }
  {
    SCOPED_TRACE("binary garbage and a megabyte line");
    TempDir dir;
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131 + 7) % 251 + 1));
    WriteBytes(dir / "velmora.ini", garbage + "\r\n" + std::string(1 << 20, 'm') + "\r\n");
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.Text(IDC_REPLACE_LEAD), "[$_");
    EXPECT_EQ(app.ListSelection(IDC_REPLACE_FORMAT), 0);
    EXPECT_TRUE(app.IsChecked(IDC_RULE_RECORD));
    app.PostSysCommand(SC_CLOSE);
    ASSERT_TRUE(app.WaitForExit());
    EXPECT_NE(ReadBytes(dir / "velmora.ini").find("Lead=[$_\r\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace velmora::gui
