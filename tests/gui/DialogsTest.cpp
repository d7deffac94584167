// The window's platform dialogs driven as a user would: settings import and export, the path
// pickers, the log window, the About box and the read-me.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"
#include "tests/gui/AppDriver.h"
#include "tests/gui/StoredSettings.h"
#include "tests/gui/Texts932.h"
#include "tests/support/TestFiles.h"

namespace velmora::gui {
namespace {

using test::Exists;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

constexpr char kReadmeProbeSwitch[] = "--velmora-readme-probe";

// Started by the shell in place of a browser when the read-me test opens a .htm file: writes the
// path it was given into "<path>.opened" and ends before the tests run.
struct ReadmeProbe {
  ReadmeProbe() {
    const std::string commandLine = GetCommandLineA();
    const std::size_t at = commandLine.find(kReadmeProbeSwitch);
    if (at == std::string::npos) return;
    std::string path = commandLine.substr(at + sizeof kReadmeProbeSwitch);
    while (!path.empty() && (path.front() == ' ' || path.front() == '"')) path.erase(0, 1);
    while (!path.empty() && (path.back() == ' ' || path.back() == '"')) path.pop_back();
    WriteBytes(path + ".opened", path);
    ExitProcess(0);
  }
} readmeProbe;

// Points the ".htm" association of the (private) prefix at the probe while it lives.
class HtmAssociation {
 public:
  HtmAssociation() {
    char value[256] = {};
    LONG size = sizeof value;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, ".htm", value, &size) == ERROR_SUCCESS) previous_ = value;
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string command =
        std::string("\"") + self + "\" " + kReadmeProbeSwitch + " \"%1\"";
    RegSetValueA(HKEY_CLASSES_ROOT, ".htm", REG_SZ, "VelmoraReadmeProbe", 0);
    RegSetValueA(HKEY_CLASSES_ROOT, "VelmoraReadmeProbe\\shell\\open\\command", REG_SZ,
                 command.c_str(), 0);
  }
  ~HtmAssociation() {
    if (!previous_.empty()) RegSetValueA(HKEY_CLASSES_ROOT, ".htm", REG_SZ, previous_.c_str(), 0);
  }

 private:
  std::string previous_;
};

// A window started on the earlier session's settings.
struct Session {
  TempDir dir;
  AppDriver app;
  explicit Session(const StoredSettings& settings = kEarlier) : app(dir.Path().string()) {
    WriteBytes(dir / "velmora.ini", SettingsFileText(settings));
  }
};

TEST(SettingsImport, KeysMissingFromTheFileTakeTheirDefaults) {
  struct Case {
    const char* name;
    const char* fileName;
    std::string content;  // nothing written when empty
    StoredSettings expected;
  };
  StoredSettings settingsOnly = kDefaults;
  settingsOnly.input = "in.csv";
  settingsOnly.templatePath = "t.html";
  StoredSettings someKeys = kDefaults;
  someKeys.tail = "}}";
  someKeys.number = "7";
  someKeys.separator = "-1";
  const Case cases[] = {
      {"only a Settings section", "a.vmz", "[Settings]\r\nInput=in.csv\r\nTemplate=t.html\r\n",
       settingsOnly},
      {"some keys, one list out of range", "b.vmz",
       "[replace]\r\ntail=}}\r\n[Rule]\r\nNumber=7\r\n[Field]\r\nSeparator=5\r\n", someKeys},
      {"a file that does not exist", "missing.vmz", "", kDefaults},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    if (!c.content.empty()) WriteBytes(s.dir / c.fileName, c.content);
    ASSERT_TRUE(s.app.Start());
    s.app.PostCommand(ID_SETTINGS_LOAD);
    const std::optional<BoxInfo> open = s.app.WaitForBox(10000, BoxKind::FileDialog);
    ASSERT_TRUE(open);
    ASSERT_TRUE(s.app.ChooseFile(*open, s.dir / c.fileName));
    EXPECT_TRUE(WaitUntil([&] { return Shown(s.app) == c.expected; }, 5000));
    EXPECT_EQ(Shown(s.app), c.expected);
    // The import reads the file and writes nothing, not even the settings file beside the
    // program, until the window closes.
    EXPECT_EQ(ReadBytes(s.dir / "velmora.ini"), SettingsFileText(kEarlier));
    EXPECT_EQ(Exists(s.dir / c.fileName), !c.content.empty());
    s.app.PostSysCommand(SC_CLOSE);
    ASSERT_TRUE(s.app.WaitForExit());
    StoredSettings saved = c.expected;
    if (saved.separator == "-1") saved.separator = "-1";
    EXPECT_EQ(ReadBytes(s.dir / "velmora.ini"), SettingsFileText(saved));
  }
}

// A file of another kind, chosen by mistake, would otherwise reset every control to the defaults.
TEST(SettingsImport, FileWithoutSettingsSaysSoAndChangesNothing) {
  struct Case {
    const char* name;
    const char* fileName;
    std::string content;
  };
  const Case cases[] = {
      {"not a settings file", "c.vmz", "\x89PNG\r\n\x1a\n"},
      {"an empty file", "empty.vmz", ""},
      {"only another program's section", "other.vmz", "[Other]\r\nInput=x.csv\r\nLead=<\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    WriteBytes(s.dir / c.fileName, c.content);
    ASSERT_TRUE(s.app.Start());
    s.app.PostCommand(ID_SETTINGS_LOAD);
    const std::optional<BoxInfo> open = s.app.WaitForBox(10000, BoxKind::FileDialog);
    ASSERT_TRUE(open);
    ASSERT_TRUE(s.app.ChooseFile(*open, s.dir / c.fileName));
    const std::optional<BoxInfo> box = s.app.WaitForBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "'" + (s.dir / c.fileName) + cp932::kSettingsLoadFailedMiddle +
                             cp932::kNoSettingsSection);
    EXPECT_EQ(box->caption, "velmora");
    EXPECT_TRUE(s.app.Answer(*box));
    EXPECT_EQ(Shown(s.app), kEarlier);
    EXPECT_EQ(ReadBytes(s.dir / c.fileName), c.content);
    EXPECT_EQ(ReadBytes(s.dir / "velmora.ini"), SettingsFileText(kEarlier));
    s.app.PostSysCommand(SC_CLOSE);
    ASSERT_TRUE(s.app.WaitForExit());
    EXPECT_EQ(ReadBytes(s.dir / "velmora.ini"), SettingsFileText(kEarlier));
  }
}

TEST(SettingsExport, ExportThenImportGivesBackEveryField) {
  Session s;
  ASSERT_TRUE(s.app.Start());
  StoredSettings typed = kTyped;
  typed.defaultText = "\x81\x40\x8c\xda\x8bq";  // double-byte text survives the round trip
  TypeSettings(s.app, typed);
  s.app.PostCommand(ID_SETTINGS_SAVE);
  const std::optional<BoxInfo> save = s.app.WaitForBox(10000, BoxKind::FileDialog);
  ASSERT_TRUE(save);
  // A name typed without an extension gets ".vmz".
  ASSERT_TRUE(s.app.ChooseFile(*save, s.dir / "mine"));
  // The thirteen keys are written one by one.
  EXPECT_TRUE(WaitUntil(
      [&] { return ReadBytes(s.dir / "mine.vmz") == SettingsFileText(typed); }, 5000));
  EXPECT_EQ(ReadBytes(s.dir / "mine.vmz"), SettingsFileText(typed));
  // The export leaves the controls as they were.
  EXPECT_EQ(Shown(s.app), typed);

  TypeSettings(s.app, kEarlier);
  s.app.PostCommand(ID_SETTINGS_LOAD);
  const std::optional<BoxInfo> open = s.app.WaitForBox(10000, BoxKind::FileDialog);
  ASSERT_TRUE(open);
  ASSERT_TRUE(s.app.ChooseFile(*open, s.dir / "mine.vmz"));
  EXPECT_TRUE(WaitUntil([&] { return Shown(s.app) == typed; }, 5000));
  EXPECT_EQ(Shown(s.app), typed);
}

TEST(SettingsExport, ExportOntoAnExistingFileKeepsItsOtherLines) {
  Session s;
  const std::string existing =
      "; kept comment\r\n[Other]\r\nKey=value\r\n[Replace]\r\nLead=old\r\nExtra=1\r\n";
  WriteBytes(s.dir / "shared.vmz", existing);
  ASSERT_TRUE(s.app.Start());
  TypeSettings(s.app, kTyped);
  s.app.PostCommand(ID_SETTINGS_SAVE);
  const std::optional<BoxInfo> save = s.app.WaitForBox(10000, BoxKind::FileDialog);
  ASSERT_TRUE(save);
  s.app.ChooseFile(*save, s.dir / "shared.vmz", /*waitForClose=*/false);
  // The platform asks before it replaces the file.
  const std::optional<BoxInfo> confirm = s.app.WaitForBox();
  ASSERT_TRUE(confirm);
  EXPECT_TRUE(s.app.Answer(*confirm, IDYES));
  ASSERT_TRUE(WaitUntil([&] { return ReadBytes(s.dir / "shared.vmz").find("Break=0") !=
                                     std::string::npos; },
                        5000));
  const std::string written = ReadBytes(s.dir / "shared.vmz");
  for (const char* kept : {"; kept comment\r\n", "[Other]\r\nKey=value\r\n", "Extra=1\r\n",
                           "Lead=L2\r\n", "Lead=RL2\r\n", "Input=new-in.csv\r\n", "Number=9\r\n"}) {
    EXPECT_NE(written.find(kept), std::string::npos) << kept;
  }
  EXPECT_EQ(written.find("Lead=old"), std::string::npos);
}

TEST(PlatformDialogs, CancellingAnyDialogChangesNoControlEvenAfterAFailedCheck) {
  struct Case {
    const char* name;
    int command;
    BoxKind kind;
  };
  const Case cases[] = {
      {"template picker", IDC_BROWSE_TEMPLATE, BoxKind::FileDialog},
      {"input picker", IDC_BROWSE_INPUT, BoxKind::FileDialog},
      {"folder browser", IDC_BROWSE_OUTPUT, BoxKind::Any},
      {"settings import", ID_SETTINGS_LOAD, BoxKind::FileDialog},
      {"settings export", ID_SETTINGS_SAVE, BoxKind::FileDialog},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    ASSERT_TRUE(s.app.Start());
    StoredSettings typed = kTyped;
    typed.number = "abc";
    TypeSettings(s.app, typed);
    s.app.PostCommand(c.command);
    const std::optional<BoxInfo> check = s.app.WaitForBox();
    ASSERT_TRUE(check);
    EXPECT_EQ(check->text, cp932::kNotANumber);
    EXPECT_TRUE(s.app.Answer(*check));
    const std::optional<BoxInfo> dialog = s.app.WaitForBox(10000, c.kind);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(s.app.Answer(*dialog, IDCANCEL));
    EXPECT_TRUE(s.app.NoBoxWithin(500));
    EXPECT_EQ(Shown(s.app), typed);
    s.app.PostSysCommand(SC_CLOSE);
    const std::optional<BoxInfo> closing = s.app.WaitForBox();
    ASSERT_TRUE(closing);
    s.app.Answer(*closing);
    ASSERT_TRUE(s.app.WaitForExit());
    // Only the settings file beside the program was written, at the close.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((s.dir / "*.vmz").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
  }
}

TEST(PathPickers, ConfirmedChoiceRewritesEveryControlFromTheRecord) {
  struct Case {
    const char* name;
    int command;
    int control;
  };
  const Case cases[] = {
      {"template", IDC_BROWSE_TEMPLATE, IDC_TEMPLATE},
      {"input", IDC_BROWSE_INPUT, IDC_INPUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Session s;
    WriteBytes(s.dir / "chosen.txt", "x");
    ASSERT_TRUE(s.app.Start());
    StoredSettings typed = kTyped;
    typed.number = "abc";
    TypeSettings(s.app, typed);
    s.app.PostCommand(c.command);
    const std::optional<BoxInfo> check = s.app.WaitForBox();
    ASSERT_TRUE(check);
    EXPECT_TRUE(s.app.Answer(*check));
    const std::optional<BoxInfo> open = s.app.WaitForBox(10000, BoxKind::FileDialog);
    ASSERT_TRUE(open);
    ASSERT_TRUE(s.app.ChooseFile(*open, s.dir / "chosen.txt"));
    // The take-up stopped at the number: the controls after it get the record's values back.
    StoredSettings expected = kTyped;
    expected.number = kEarlier.number;
    expected.rule = kEarlier.rule;
    expected.output = kEarlier.output;
    expected.input = kEarlier.input;
    expected.templatePath = kEarlier.templatePath;
    expected.defaultText = kEarlier.defaultText;
    (c.control == IDC_TEMPLATE ? expected.templatePath : expected.input) = s.dir / "chosen.txt";
    EXPECT_TRUE(WaitUntil([&] { return Shown(s.app) == expected; }, 5000));
    EXPECT_EQ(Shown(s.app), expected);
  }
}

// The folder browser's tree, and how deep below the desktop its selection lies (0: none).
HWND BrowserTree(HWND browser) {
  for (HWND child = GetWindow(browser, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    if (std::string(className) == "SysTreeView32") return child;
  }
  return nullptr;
}

int SelectionDepth(HWND tree) {
  int depth = 0;
  LRESULT item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
  while (item && depth < 64) {
    item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, item);
    ++depth;
  }
  return depth;
}

TEST(PathPickers, FolderBrowserOpensOnTheOutputFolderAndConfirmsIt) {
  Session s;
  CreateDirectoryA((s.dir / "target").c_str(), nullptr);
  ASSERT_TRUE(s.app.Start());
  s.app.SetText(IDC_OUTPUT, s.dir / "target");
  s.app.SetText(IDC_RULE_LEAD, "typed");
  // Wine's browser now and then starts without applying the selection it was asked for; a
  // browser that never selects the seed fails every attempt.
  bool seeded = false;
  for (int attempt = 0; attempt < 3 && !seeded; ++attempt) {
    s.app.PostCommand(IDC_BROWSE_OUTPUT);
    const std::optional<BoxInfo> browser = s.app.WaitForBox(10000, BoxKind::Any);
    ASSERT_TRUE(browser);
    bool titled = false;
    for (HWND child = GetWindow(browser->window, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      char text[256] = {};
      GetWindowTextA(child, text, sizeof text);
      if (std::string(text) == cp932::kFolderTitle) titled = true;
    }
    EXPECT_TRUE(titled);
    HWND tree = BrowserTree(browser->window);
    ASSERT_TRUE(tree);
    // The seed lies below the desktop, the computer, the drive and the folders of its path.
    seeded = WaitUntil([&] { return SelectionDepth(tree) >= 5; }, 3000);
    EXPECT_TRUE(s.app.Answer(*browser, seeded ? IDOK : IDCANCEL));
  }
  ASSERT_TRUE(seeded);
  EXPECT_TRUE(WaitUntil([&] { return s.app.Text(IDC_OUTPUT) == s.dir / "target"; }, 5000))
      << s.app.Text(IDC_OUTPUT);
  EXPECT_EQ(s.app.Text(IDC_RULE_LEAD), "typed");
}

TEST(LogWindow, ShowsOnlyTheLastRunLineByLine) {
  Session s;
  ASSERT_TRUE(s.app.Start());
  EXPECT_EQ(LogWindowText(s.app), "");

  s.app.SetText(IDC_INPUT, s.dir / "first-missing.csv");
  s.app.PostCommand(IDC_RUN);
  ASSERT_TRUE(s.app.WaitForStatus(cp932::kInputOpenFailed));
  // The header, then the failure; nothing after it.
  const std::string expected = std::string("----\r\n") + cp932::kLogInputLabel + "\r\n" +
                               (s.dir / "first-missing.csv") + "\r\n" +
                               cp932::kLogTemplateLabel + "\r\nold.html\r\n" +
                               cp932::kLogOutputLabel + "\r\nold-out\r\n----\r\n" +
                               cp932::kInputOpenFailed + "\r\n";
  EXPECT_EQ(LogWindowText(s.app), expected);

  // A second run, complete this time over an empty input, replaces the whole log.
  WriteBytes(s.dir / "empty.csv", "");
  WriteBytes(s.dir / "t.html", "[$_0_$]");
  s.app.SetText(IDC_INPUT, s.dir / "empty.csv");
  s.app.SetText(IDC_TEMPLATE, s.dir / "t.html");
  s.app.PostCommand(IDC_RUN);
  ASSERT_TRUE(s.app.WaitForStatus(cp932::kFinished0));
  const std::string second = LogWindowText(s.app);
  EXPECT_EQ(second.find("first-missing"), std::string::npos) << second;
  EXPECT_EQ(second.find(cp932::kInputOpenFailed), std::string::npos) << second;
  EXPECT_NE(second.find(s.dir / "empty.csv"), std::string::npos) << second;
  const std::string closing = std::string("----\r\n") + cp932::kFinished0 + "\r\n";
  ASSERT_GE(second.size(), closing.size());
  EXPECT_EQ(second.substr(second.size() - closing.size()), closing);
}

// A run whose files could not be written (here: no output folder) says how many, and "yes"
// opens the log window on the run's log.
TEST(LogWindow, OpensFromTheOfferAfterFilesFailed) {
  Session s;
  WriteBytes(s.dir / "t.html", "[$_0_$]");
  WriteBytes(s.dir / "records.csv", "a\r\nb\r\n");
  ASSERT_TRUE(s.app.Start());
  s.app.SetText(IDC_TEMPLATE, s.dir / "t.html");
  s.app.SetText(IDC_INPUT, s.dir / "records.csv");
  s.app.SetText(IDC_OUTPUT, s.dir / "no-such-folder");
  s.app.PostCommand(IDC_RUN);
  const std::optional<BoxInfo> offer = s.app.WaitForBox(20000);
  ASSERT_TRUE(offer);
  EXPECT_EQ(offer->text, std::string("2") + cp932::kFilesFailedTail);
  const std::string finished2 = cp932::kFinishedLead + std::string("2") + cp932::kFinishedTail;
  EXPECT_EQ(s.app.Text(IDC_STATUS), finished2);
  EXPECT_TRUE(s.app.Answer(*offer, IDYES));
  const std::optional<BoxInfo> log = s.app.WaitForDialog(cp932::kLogCaption);
  ASSERT_TRUE(log);
  const std::string shown = ControlText(log->window, IDC_LOG_TEXT);
  EXPECT_TRUE(s.app.Answer(*log, IDOK));
  EXPECT_NE(shown.find(s.dir / "records.csv"), std::string::npos) << shown;
  const std::string closing = std::string("----\r\n") + finished2 + "\r\n";
  ASSERT_GE(shown.size(), closing.size());
  EXPECT_EQ(shown.substr(shown.size() - closing.size()), closing);
  // The menu shows the same log.
  EXPECT_EQ(LogWindowText(s.app), shown);
  EXPECT_TRUE(s.app.NoBoxWithin(500));
}

TEST(AboutBox, OpensFromTheHelpMenuAndFromSystemCommands16To31) {
  struct Case {
    const char* name;
    UINT message;
    WPARAM command;
  };
  const Case cases[] = {
      {"Help menu", WM_COMMAND, IDM_ABOUTBOX},
      {"system menu entry", WM_SYSCOMMAND, IDM_ABOUTBOX},
      {"system command 31", WM_SYSCOMMAND, 31},
  };
  Session s;
  ASSERT_TRUE(s.app.Start());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PostMessageA(s.app.Main(), c.message, c.command, 0);
    const std::optional<BoxInfo> about = s.app.WaitForDialog(cp932::kAboutCaption);
    ASSERT_TRUE(about);
    std::string lines;
    for (HWND child = GetWindow(about->window, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      char text[256] = {};
      GetWindowTextA(child, text, sizeof text);
      lines += std::string(text) + "|";
    }
    EXPECT_EQ(lines.find("Velmora|"), 0u) << lines;
    EXPECT_NE(lines.find("|Ver.1.0.0.4|"), std::string::npos) << lines;
    EXPECT_TRUE(s.app.Answer(*about, IDOK));
  }
  // System command 32 is not the About box's.
  PostMessageA(s.app.Main(), WM_SYSCOMMAND, 32, 0);
  EXPECT_TRUE(s.app.NoBoxWithin(700));
}

TEST(Readme, OpensTheDocumentBesideTheProgram) {
  HtmAssociation association;
  Session s;
  ASSERT_TRUE(CopyFileA(ProgramUnderTest().substr(0, ProgramUnderTest().rfind('\\')).append(
                            "\\velmora.htm").c_str(),
                        (s.dir / "velmora.htm").c_str(), FALSE));
  ASSERT_TRUE(s.app.Start());
  s.app.PostCommand(ID_HELP_README);
  EXPECT_TRUE(WaitUntil([&] { return Exists(s.dir / "velmora.htm.opened"); }, 15000));
  EXPECT_TRUE(s.app.NoBoxWithin(500));
}

TEST(Readme, MissingDocumentShowsTheErrorBoxCaptionedWithTheProgramName) {
  Session s;
  ASSERT_TRUE(s.app.Start());
  s.app.PostCommand(ID_HELP_README);
  const std::optional<BoxInfo> box = s.app.WaitForBox(15000);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, "velmora");
  const std::string lead = "'" + s.app.ExePath().substr(0, s.app.ExePath().size() - 4) + ".htm" +
                           cp932::kReadmeFailedMiddle;
  EXPECT_EQ(box->text.substr(0, lead.size()), lead) << box->text;
  EXPECT_EQ(box->text.substr(lead.size()), "2)");  // ERROR_FILE_NOT_FOUND
  EXPECT_TRUE(s.app.Answer(*box));
  EXPECT_TRUE(s.app.IsRunning());
}

}  // namespace
}  // namespace velmora::gui
