// The main window driven from outside: its controls as the template makes them, the settings
// file it writes when it closes, its checks and their messages, and a run from the Run button.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdio>
#include <optional>
#include <string>
#include <iterator>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "tests/fault/FaultSupport.h"
#include "tests/gui/AppDriver.h"
#include "tests/gui/StoredSettings.h"
#include "tests/gui/Texts932.h"
#include "tests/support/TestFiles.h"

namespace velmora::gui {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

struct ExpectedControl {
  int id;
  const char* className;
  std::string text;
  LONG required;   // style bits the control must have
  LONG forbidden;  // style bits it must not have
};

// The dialog manager turns an edit's WS_BORDER into WS_EX_CLIENTEDGE; checked on its own.
constexpr LONG kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr LONG kEditNot = ES_READONLY | ES_NUMBER | ES_MULTILINE;
constexpr LONG kList = CBS_DROPDOWNLIST | WS_TABSTOP;
constexpr LONG kListNot = CBS_SORT;

// The combo box keeps WS_VSCROLL for its list, not for itself.
// Every control in the template's order, with the content of a first start.
std::vector<ExpectedControl> FirstStartControls() {
  using namespace cp932;
  return {
      {-1, "Button", kBasicGroup, BS_GROUPBOX, 0},
      {-1, "Static", kTemplateLabel, 0, 0},
      {IDC_TEMPLATE, "Edit", "", kEdit, kEditNot},
      {IDC_BROWSE_TEMPLATE, "Button", "...", WS_TABSTOP, BS_DEFPUSHBUTTON},
      {-1, "Static", kInputLabel, 0, 0},
      {IDC_INPUT, "Edit", "", kEdit, kEditNot},
      {IDC_BROWSE_INPUT, "Button", "...", WS_TABSTOP, BS_DEFPUSHBUTTON},
      {-1, "Static", kOutputLabel, 0, 0},
      {IDC_OUTPUT, "Edit", "", kEdit, kEditNot},
      {IDC_BROWSE_OUTPUT, "Button", "...", WS_TABSTOP, BS_DEFPUSHBUTTON},
      {-1, "Static", kReplaceLabel, 0, 0},
      {-1, "Static", kLeadLabel, 0, 0},
      {IDC_REPLACE_LEAD, "Edit", "[$_", kEdit, kEditNot},
      {-1, "Static", kTailLabel, 0, 0},
      {IDC_REPLACE_TAIL, "Edit", "_$]", kEdit, kEditNot},
      {-1, "Static", kFormatLabel, 0, 0},
      {IDC_REPLACE_FORMAT, "ComboBox", "HTML", kList, kListNot},
      {-1, "Static", kDefaultLabel, 0, 0},
      {IDC_REPLACE_DEFAULT, "Edit", "", kEdit, kEditNot},
      {-1, "Button", kNamingGroup, BS_GROUPBOX, 0},
      // A checked radio button gets WS_TABSTOP from the system.
      {IDC_RULE_RECORD, "Button", kRuleRecord, BS_AUTORADIOBUTTON | WS_GROUP, 0},
      {IDC_RULE_FIELD, "Button", kRuleField, BS_AUTORADIOBUTTON, WS_TABSTOP | WS_GROUP},
      {IDC_RULE_NUMBER, "Edit", "0", kEdit | WS_GROUP, kEditNot},
      {IDC_RULE_NUMBER_SPIN, "msctls_updown32", "",
       UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
       WS_TABSTOP | UDS_WRAP},
      {-1, "Static", kLeadLabel, 0, 0},
      {IDC_RULE_LEAD, "Edit", "", kEdit, kEditNot},
      {-1, "Static", kRuleTailLabel, 0, 0},
      {IDC_RULE_TAIL, "Edit", ".html", kEdit, kEditNot},
      {-1, "Button", kFieldGroup, BS_GROUPBOX, 0},
      {-1, "Static", kSeparatorLabel, 0, 0},
      {IDC_FIELD_SEPARATOR, "ComboBox", kSeparatorCsv, kList, kListNot},
      {-1, "Static", kBreakLabel, 0, 0},
      {IDC_FIELD_BREAK, "ComboBox", "0x0A (Microsoft Excel)", kList, kListNot},
      // The status line starts the Run button's group, which keeps the arrow keys in it.
      {IDC_STATUS, "Static", kReady, SS_SUNKEN | SS_CENTERIMAGE | WS_GROUP, 0},
      {IDC_RUN, "Button", kRun, WS_TABSTOP, BS_DEFPUSHBUTTON},
      {-1, "Static", "", SS_ETCHEDHORZ, 0},
  };
}

std::string WindowTextOf(HWND window) {
  char buffer[1024] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                      SMTO_ABORTIFHUNG, 5000, &ignored);
  return buffer;
}

std::string ClassNameOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

TEST(MainWindow, FirstStartShowsEveryControlOfTheTemplateWithTheDefaults) {
  TempDir dir;
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());

  const std::vector<ExpectedControl> expected = FirstStartControls();
  std::size_t index = 0;
  for (HWND child = GetWindow(app.Main(), GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT), ++index) {
    ASSERT_LT(index, expected.size()) << "more controls than the template has";
    const ExpectedControl& want = expected[index];
    SCOPED_TRACE("control #" + std::to_string(index + 1));
    EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), want.id);
    EXPECT_EQ(lstrcmpiA(ClassNameOf(child).c_str(), want.className), 0) << ClassNameOf(child);
    EXPECT_EQ(WindowTextOf(child), want.text);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    EXPECT_EQ(style & want.required, want.required) << std::hex << style;
    EXPECT_EQ(style & want.forbidden, 0) << std::hex << style;
    if (want.className == std::string("Edit")) {
      EXPECT_TRUE((style & WS_BORDER) || (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    }
  }
  EXPECT_EQ(index, expected.size());

  const std::vector<std::string> formats{"HTML", cp932::kFormatText};
  const std::vector<std::string> separators{cp932::kSeparatorCsv, cp932::kSeparatorTsv};
  const std::vector<std::string> breaks{"0x0A (Microsoft Excel)", "0x0B (FileMaker)"};
  EXPECT_EQ(app.ListEntries(IDC_REPLACE_FORMAT), formats);
  EXPECT_EQ(app.ListEntries(IDC_FIELD_SEPARATOR), separators);
  EXPECT_EQ(app.ListEntries(IDC_FIELD_BREAK), breaks);
  EXPECT_TRUE(app.IsChecked(IDC_RULE_RECORD));
  EXPECT_FALSE(app.IsChecked(IDC_RULE_FIELD));

  const LONG style = GetWindowLongA(app.Main(), GWL_STYLE);
  const LONG wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  EXPECT_EQ(style & wanted, wanted);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_TRUE(GetWindowLongA(app.Main(), GWL_EXSTYLE) & WS_EX_APPWINDOW);

  // What the user can type is limited to what the check accepts.
  const std::pair<int, LRESULT> limits[] = {
      {IDC_REPLACE_LEAD, 255}, {IDC_REPLACE_TAIL, 255}, {IDC_RULE_LEAD, 255},
      {IDC_RULE_TAIL, 255},    {IDC_OUTPUT, 260},       {IDC_INPUT, 260},
      {IDC_TEMPLATE, 260},     {IDC_REPLACE_DEFAULT, 260},
  };
  for (const auto& [id, limit] : limits) {
    DWORD_PTR got = 0;
    SendMessageTimeoutA(GetDlgItem(app.Main(), id), EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG,
                        5000, &got);
    EXPECT_EQ(static_cast<LRESULT>(got), limit) << "control " << id;
  }

  // The spin control keeps the number within 0..255.
  DWORD_PTR range = 0;
  SendMessageTimeoutA(GetDlgItem(app.Main(), IDC_RULE_NUMBER_SPIN), UDM_GETRANGE, 0, 0,
                      SMTO_ABORTIFHUNG, 5000, &range);
  EXPECT_EQ(LOWORD(range), 255);  // maximum
  EXPECT_EQ(HIWORD(range), 0);    // minimum

  // Closing without a change creates the settings file with the defaults.
  app.PressKey(IDC_TEMPLATE, VK_ESCAPE);
  ASSERT_TRUE(app.WaitForExit());
  EXPECT_EQ(ReadBytes(dir / "velmora.ini"), SettingsFileText(kDefaults));
}

// Positions and sizes in dialog units, in the template's order. A width or height of 0 is not
// checked: a closed drop-down list is as high as the font makes it, the digit edit gives up the
// spin control's width, and the etched line gets its frame; the spin control is moved onto its
// buddy's right edge and is checked on its own.
struct DialogRect {
  int x, y, width, height;
};
constexpr DialogRect kTemplateRects[] = {
    {7, 7, 269, 109},  {15, 22, 46, 8},   {65, 19, 188, 14}, {254, 19, 13, 14},
    {15, 40, 46, 8},   {65, 37, 188, 14}, {254, 37, 13, 14}, {15, 58, 47, 8},
    {65, 55, 188, 14}, {254, 55, 13, 14}, {15, 76, 43, 8},   {65, 76, 16, 8},
    {86, 73, 64, 14},  {155, 76, 16, 8},  {176, 73, 64, 14}, {15, 94, 30, 8},
    {50, 92, 63, 0},   {119, 94, 52, 8},  {176, 91, 90, 14}, {7, 123, 269, 77},
    {15, 141, 115, 10}, {15, 156, 141, 10}, {159, 146, 0, 14},  {-1, -1, -1, -1},
    {15, 179, 16, 8},  {36, 176, 65, 14}, {110, 179, 57, 8}, {172, 176, 65, 14},
    {7, 207, 269, 38}, {15, 223, 21, 8},  {41, 221, 72, 0},  {126, 223, 33, 8},
    {164, 221, 89, 0}, {7, 252, 219, 14}, {228, 250, 48, 16}, {0, 0, 0, 0},
};

// The dialog's base unit that maps units to pixels as the dialog manager does
// (MulDiv(units, base, divisor)), found from one known length; 0 when none fits.
int BaseUnit(int units, int pixels, int divisor) {
  for (int base = 1; base < 64; ++base) {
    if (MulDiv(units, base, divisor) == pixels) return base;
  }
  return 0;
}

TEST(MainWindow, EveryControlSitsWhereTheTemplatePutsIt) {
  TempDir dir;
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());
  std::vector<RECT> rects;
  for (HWND child = GetWindow(app.Main(), GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, app.Main(), reinterpret_cast<POINT*>(&r), 2);
    rects.push_back(r);
  }
  ASSERT_EQ(rects.size(), std::size(kTemplateRects));
  // The first group box gives the base units: 269 x 109 units.
  const int baseX = BaseUnit(269, rects[0].right - rects[0].left, 4);
  const int baseY = BaseUnit(109, rects[0].bottom - rects[0].top, 8);
  ASSERT_NE(baseX, 0);
  ASSERT_NE(baseY, 0);
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const DialogRect& unit = kTemplateRects[i];
    if (unit.x < 0) continue;
    SCOPED_TRACE("control #" + std::to_string(i + 1));
    EXPECT_EQ(rects[i].left, MulDiv(unit.x, baseX, 4));
    EXPECT_EQ(rects[i].top, MulDiv(unit.y, baseY, 8));
    if (unit.width > 0) {
      EXPECT_EQ(rects[i].right - rects[i].left, MulDiv(unit.width, baseX, 4));
    }
    if (unit.height > 0) {
      EXPECT_EQ(rects[i].bottom - rects[i].top, MulDiv(unit.height, baseY, 8));
    }
  }
  // The template's size is the client area's, below the menu bar.
  RECT client;
  GetClientRect(app.Main(), &client);
  EXPECT_EQ(client.right, MulDiv(283, baseX, 4));
  EXPECT_EQ(client.bottom, MulDiv(273, baseY, 8));

  // The spin control sits on the right edge of its buddy, the digit edit (overlapping its
  // border by a pixel or two), within the edit's place in the template.
  const RECT& edit = rects[22];
  const RECT& spin = rects[23];
  EXPECT_NEAR(spin.left, edit.right, 3);
  EXPECT_NEAR(spin.right, MulDiv(159, baseX, 4) + MulDiv(41, baseX, 4), 3);
  EXPECT_EQ(spin.top, edit.top);
}

TEST(MainWindow, EveryWayOfClosingSavesWhatTheControlsShow) {
  struct Case {
    const char* name;
    void (*close)(const AppDriver&);
  };
  const Case cases[] = {
      {"Esc key", [](const AppDriver& a) { a.PressKey(IDC_REPLACE_LEAD, VK_ESCAPE); }},
      {"close box", [](const AppDriver& a) { a.PostSysCommand(SC_CLOSE); }},
      {"File menu exit",
       [](const AppDriver& a) { PostMessageA(a.Main(), WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); }},
  };
  // The batch command's section, as velmora-batch --init writes it, stays as it stands.
  const std::string batch = "[Batch]\r\ncode-page=932\r\nprune=1\r\nheader=1\r\n"
                            "line-ends=any\r\nwhere1=\" a \"\r\nwhere2=\"\"b\"\"\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / "velmora.ini", SettingsFileText(kDefaults) + batch);
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    app.SetText(IDC_REPLACE_LEAD, "{{");
    app.SelectList(IDC_FIELD_BREAK, 1);
    app.Click(IDC_RULE_FIELD);
    c.close(app);
    ASSERT_TRUE(app.WaitForExit());
    StoredSettings expected = kDefaults;
    expected.lead = "{{";
    expected.lineBreak = "1";
    expected.rule = "1";
    EXPECT_EQ(ReadBytes(dir / "velmora.ini"), SettingsFileText(expected) + batch);
  }
}

TEST(MainWindow, SpinControlStepsTheNumberWithinZeroTo255) {
  struct Case {
    const char* before;
    WPARAM key;
    const char* after;
  };
  const Case cases[] = {
      {"7", VK_UP, "8"}, {"7", VK_DOWN, "6"}, {"255", VK_UP, "255"}, {"0", VK_DOWN, "0"},
  };
  TempDir dir;
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.before) + (c.key == VK_UP ? " up" : " down"));
    app.SetText(IDC_RULE_NUMBER, c.before);
    app.PressKey(IDC_RULE_NUMBER, c.key);
    EXPECT_TRUE(WaitUntil([&] { return app.Text(IDC_RULE_NUMBER) == c.after; }, 2000))
        << app.Text(IDC_RULE_NUMBER);
  }
}

TEST(MainWindow, ValuesTheWindowDoesNotOfferAreShownAsFarAsTheControlsCan) {
  TempDir dir;
  StoredSettings odd = kEarlier;
  odd.separator = "5";
  odd.rule = "2";
  odd.templatePath = std::string(300, 't');
  WriteBytes(dir / "velmora.ini", SettingsFileText(odd));
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(app.ListSelection(IDC_FIELD_SEPARATOR), CB_ERR);
  EXPECT_FALSE(app.IsChecked(IDC_RULE_RECORD));
  EXPECT_FALSE(app.IsChecked(IDC_RULE_FIELD));
  EXPECT_EQ(app.Text(IDC_TEMPLATE), odd.templatePath);

  app.PostSysCommand(SC_CLOSE);
  const std::optional<BoxInfo> box = app.WaitForBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, cp932::kTooLong260);
  EXPECT_TRUE(app.Answer(*box));
  ASSERT_TRUE(app.WaitForExit());
  StoredSettings saved = odd;
  saved.separator = "-1";
  saved.rule = "-1";
  EXPECT_EQ(ReadBytes(dir / "velmora.ini"), SettingsFileText(saved));
}

TEST(MainWindow, ArrowKeysFromTheRunButtonNeverReachTheLists) {
  TempDir dir;
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());
  const int lists[] = {IDC_REPLACE_FORMAT, IDC_FIELD_SEPARATOR, IDC_FIELD_BREAK};
  HWND run = GetDlgItem(app.Main(), IDC_RUN);
  PostMessageA(app.Main(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(run), TRUE);
  ASSERT_TRUE(WaitUntil([&] { return app.FocusedControl() == run; }, 5000));
  for (WPARAM key : {VK_UP, VK_UP, VK_UP, VK_LEFT, VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN}) {
    // The key goes to whichever control has the focus now, as the keyboard's would.
    HWND focus = app.FocusedControl();
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
    Sleep(150);
    for (int list : lists) {
      EXPECT_NE(app.FocusedControl(), GetDlgItem(app.Main(), list)) << "list " << list;
      EXPECT_EQ(app.ListSelection(list), 0) << "list " << list;
    }
  }
}

// The full path of a module that a process has loaded, "" when it has none of that name.
std::string LoadedModulePath(DWORD processId, const char* moduleName) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
  if (snapshot == INVALID_HANDLE_VALUE) return "(no snapshot)";
  std::string path;
  MODULEENTRY32 module{};
  module.dwSize = sizeof module;
  for (BOOL more = Module32First(snapshot, &module); more && path.empty();
       more = Module32Next(snapshot, &module)) {
    if (lstrcmpiA(module.szModule, moduleName) == 0) path = module.szExePath;
  }
  CloseHandle(snapshot);
  return path;
}

TEST(MainWindow, RunsWithCommonControls6ThroughItsOneManifest) {
  struct Edition {
    std::string program;
    const char* exeName;
  };
  for (const Edition& edition : {Edition{ProgramUnderTest(), "velmora.exe"},
                                 Edition{Utf8EditionUnderTest(), "velmora-utf8.exe"}}) {
    SCOPED_TRACE(edition.exeName);
    // The program file holds one manifest, resource 1, in one language: a second one (a default
    // manifest of the toolchain) would leave the choice to the loader.
    HMODULE image = LoadLibraryExA(edition.program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(image);
    int manifests = 0;
    EnumResourceNamesA(
        image, RT_MANIFEST,
        [](HMODULE, LPCSTR, LPSTR name, LONG_PTR count) {
          EXPECT_TRUE(IS_INTRESOURCE(name));
          EXPECT_EQ(reinterpret_cast<ULONG_PTR>(name), 1u);
          ++*reinterpret_cast<int*>(count);
          return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&manifests));
    int languages = 0;
    EnumResourceLanguagesA(
        image, RT_MANIFEST, MAKEINTRESOURCEA(1),
        [](HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR count) {
          ++*reinterpret_cast<int*>(count);
          return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    // The manifest and the version information carry the version of project() in CMake.
    std::string manifest;
    if (HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), RT_MANIFEST)) {
      manifest.assign(static_cast<const char*>(LockResource(LoadResource(image, found))),
                      SizeofResource(image, found));
    }
    FreeLibrary(image);
    EXPECT_EQ(manifests, 1);
    EXPECT_EQ(languages, 1);
    EXPECT_NE(manifest.find("name=\"Velmora\" version=\"1.0.0.4\""), std::string::npos)
        << manifest;
    std::vector<char> version(GetFileVersionInfoSizeA(edition.program.c_str(), nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoA(edition.program.c_str(), 0, static_cast<DWORD>(version.size()),
                                    version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    char* text = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000004u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000004u);
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\StringFileInfo\\041104b0\\ProductVersion",
                               reinterpret_cast<void**>(&text), &size));
    EXPECT_STREQ(text, "1, 0, 0, 4");

    // With the manifest active the process binds comctl32 version 6 from the side-by-side store,
    // not version 5.82 from the system folder.
    TempDir dir;
    AppDriver app(dir.Path().string(), edition.exeName, edition.program);
    ASSERT_TRUE(app.Start());
    std::string comctl = LoadedModulePath(app.ProcessId(), "comctl32.dll");
    CharLowerA(comctl.data());
    EXPECT_NE(comctl.find("\\winsxs\\"), std::string::npos) << comctl;
    EXPECT_NE(comctl.find("common-controls_6595b64144ccf1df_6."), std::string::npos) << comctl;
  }
}

TEST(MainWindow, IconHoldsEverySizeInFullColour) {
  HMODULE image = LoadLibraryExA(ProgramUnderTest().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(image);
  HRSRC group = FindResourceA(image, MAKEINTRESOURCEA(IDI_MAIN), RT_GROUP_ICON);
  ASSERT_TRUE(group);
  // The icon group: a 6-byte header, then 14 bytes per image (width, height, colours, reserved,
  // planes, bits per pixel, bytes, resource id).
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(image, group)));
  ASSERT_TRUE(bytes);
  const int count = bytes[4] | bytes[5] << 8;
  std::vector<int> sizes;
  for (int i = 0; i < count; ++i) {
    const BYTE* entry = bytes + 6 + 14 * i;
    const int size = entry[0] == 0 ? 256 : entry[0];
    EXPECT_EQ(entry[1] == 0 ? 256 : entry[1], size);
    EXPECT_EQ(entry[6] | entry[7] << 8, 32) << size << " px";
    sizes.push_back(size);
    // The large image is stored PNG-compressed.
    const int id = entry[12] | entry[13] << 8;
    HRSRC icon = FindResourceA(image, MAKEINTRESOURCEA(id), RT_ICON);
    ASSERT_TRUE(icon);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(image, icon)));
    EXPECT_EQ(std::string(data, 4) == "\x89PNG", size == 256) << size << " px";
  }
  FreeLibrary(image);
  EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
}

TEST(MainWindow, EnterNeverClosesTheWindow) {
  TempDir dir;
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());
  app.PressKey(IDC_REPLACE_LEAD, VK_RETURN);
  app.PressKey(IDC_FIELD_SEPARATOR, VK_RETURN);
  PostMessageA(app.Main(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(app.NoBoxWithin(1500));
  EXPECT_TRUE(app.IsRunning());
  EXPECT_TRUE(IsWindowVisible(app.Main()));
  EXPECT_EQ(app.Text(IDC_STATUS), cp932::kReady);
}

// The file after a take-up that stopped at step `failedStep` of the exchange order (13: none
// failed), with the failing field holding `failedValue`.
StoredSettings AfterTakeUp(int failedStep, const std::string& failedValue) {
  StoredSettings s = kEarlier;
  std::string* order[] = {&s.lineBreak, &s.separator, &s.format, &s.lead, &s.tail,
                          &s.ruleLead, &s.ruleTail, &s.number, &s.rule, &s.output,
                          &s.input, &s.templatePath, &s.defaultText};
  const std::string* typed[] = {&kTyped.lineBreak, &kTyped.separator, &kTyped.format,
                                &kTyped.lead, &kTyped.tail, &kTyped.ruleLead,
                                &kTyped.ruleTail, &kTyped.number, &kTyped.rule,
                                &kTyped.output, &kTyped.input, &kTyped.templatePath,
                                &kTyped.defaultText};
  for (int i = 0; i < 13 && i < failedStep; ++i) *order[i] = *typed[i];
  if (failedStep < 13) *order[failedStep] = failedValue;
  return s;
}

TEST(MainWindow, ClosingStopsTheTakeUpAtTheFirstFailedCheckAndSavesTheRest) {
  const std::string long256(256, 'a');
  const std::string long261(261, 'b');
  struct Case {
    const char* name;
    int control;
    std::string text;     // typed into the control
    std::string message;  // "" when every check passes
    int failedStep;       // index in the exchange order
    std::string stored;   // what the file holds for the failed field
  };
  const Case cases[] = {
      {"nothing fails", IDC_RULE_NUMBER, " +7 ", "", 13, ""},
      {"placeholder lead over 255 bytes", IDC_REPLACE_LEAD, long256, cp932::kTooLong255, 3,
       long256},
      {"file name tail over 255 bytes", IDC_RULE_TAIL, long256, cp932::kTooLong255, 6, long256},
      {"number abc", IDC_RULE_NUMBER, "abc", cp932::kNotANumber, 7, "2"},
      {"number empty", IDC_RULE_NUMBER, "", cp932::kNotANumber, 7, "2"},
      {"number -1", IDC_RULE_NUMBER, "-1", cp932::kNotANumber, 7, "2"},
      {"number 0x10", IDC_RULE_NUMBER, "0x10", cp932::kNotANumber, 7, "2"},
      {"number 300", IDC_RULE_NUMBER, "300", cp932::kOutOfRange, 7, "300"},
      // 4294967295 is stored as a signed number.
      {"number of eleven digits", IDC_RULE_NUMBER, "12345678901", cp932::kOutOfRange, 7, "-1"},
      {"template path over 260 bytes", IDC_TEMPLATE, long261, cp932::kTooLong260, 11, long261},
      {"default text over 260 bytes", IDC_REPLACE_DEFAULT, long261, cp932::kTooLong260, 12,
       long261},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / "velmora.ini", SettingsFileText(kEarlier));
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    TypeSettings(app, kTyped);
    app.SetText(c.control, c.text);
    app.PressKey(IDC_TEMPLATE, VK_ESCAPE);
    if (!c.message.empty()) {
      const std::optional<BoxInfo> box = app.WaitForBox();
      ASSERT_TRUE(box);
      EXPECT_EQ(box->text, c.message);
      EXPECT_EQ(box->caption, "velmora");
      // The window is already hidden while the message shows.
      EXPECT_FALSE(IsWindowVisible(app.Main()));
      EXPECT_TRUE(app.Answer(*box));
    }
    ASSERT_TRUE(app.WaitForExit());
    StoredSettings expected = AfterTakeUp(c.failedStep, c.stored);
    if (c.failedStep == 13) expected.number = "7";
    EXPECT_EQ(ReadBytes(dir / "velmora.ini"), SettingsFileText(expected));
  }
}

// The take-up stops at the failed number, so the input and output folder typed after it would
// not be taken up: a run then would read and write where the controls no longer say.
TEST(MainWindow, FailedCheckPutsTheFocusOnTheControlAndNoRunStarts) {
  TempDir dir;
  for (const char* folder : {"old-out", "new-out"}) {
    CreateDirectoryA((dir / folder).c_str(), nullptr);
  }
  WriteBytes(dir / "page.html", "<p>[$_0_$]</p>");
  WriteBytes(dir / "old.csv", "old\r\n");
  WriteBytes(dir / "new.csv", "new\r\n");
  StoredSettings stored = kDefaults;
  stored.templatePath = dir / "page.html";
  stored.input = dir / "old.csv";
  stored.output = dir / "old-out";
  stored.rule = "1";  // each file named by the record's only field
  WriteBytes(dir / "velmora.ini", SettingsFileText(stored));
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());
  app.SetText(IDC_INPUT, dir / "new.csv");
  app.SetText(IDC_OUTPUT, dir / "new-out");
  for (const char* number : {"abc", ""}) {
    SCOPED_TRACE(std::string("number \"") + number + "\"");
    app.SetText(IDC_RULE_NUMBER, number);
    app.PostCommand(IDC_RUN);
    const std::optional<BoxInfo> box = app.WaitForBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, cp932::kNotANumber);
    EXPECT_TRUE(app.Answer(*box));
    // The focus comes back to the window once the box has gone.
    EXPECT_TRUE(WaitUntil(
        [&] { return app.FocusedControl() == GetDlgItem(app.Main(), IDC_RULE_NUMBER); }, 5000));
    DWORD start = 1, end = 0;
    SendMessageTimeoutA(GetDlgItem(app.Main(), IDC_RULE_NUMBER), EM_GETSEL,
                        reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, std::string(number).size());
    EXPECT_TRUE(app.NoBoxWithin(700));
    EXPECT_EQ(app.Text(IDC_STATUS), cp932::kReady);
    EXPECT_FALSE(test::Exists(dir / "old-out\\old.html"));
    EXPECT_FALSE(test::Exists(dir / "new-out\\new.html"));
  }
  // Once every check passes, the run takes what the controls show.
  app.SetText(IDC_RULE_NUMBER, "0");
  app.PostCommand(IDC_RUN);
  ASSERT_TRUE(app.WaitForStatus(cp932::kFinishedLead + std::string("1") + cp932::kFinishedTail));
  EXPECT_EQ(ReadBytes(dir / "new-out\\new.html"), "<p>new</p>");
  EXPECT_FALSE(test::Exists(dir / "old-out\\old.html"));
}

TEST(MainWindow, RenamedProgramUsesItsOwnNameForSettingsAndCaptions) {
  TempDir dir;
  AppDriver app(dir.Path().string(), "gen.2.exe");
  ASSERT_TRUE(app.Start());
  app.SetText(IDC_RULE_NUMBER, "");
  app.PostSysCommand(SC_CLOSE);
  const std::optional<BoxInfo> box = app.WaitForBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, "gen.2");
  EXPECT_TRUE(app.Answer(*box));
  ASSERT_TRUE(app.WaitForExit());
  EXPECT_EQ(ReadBytes(dir / "gen.2.ini"), SettingsFileText(kDefaults));
  EXPECT_FALSE(test::Exists(dir / "velmora.ini"));
}

// A folder that only a UTF-16 path can name, with its files removed again at the end.
class WideFolder {
 public:
  explicit WideFolder(std::wstring path) : path_(std::move(path)) {
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~WideFolder() {
    for (const std::wstring& name : Names()) DeleteFileW((path_ + L"\\" + name).c_str());
    RemoveDirectoryW(path_.c_str());
  }
  WideFolder(const WideFolder&) = delete;
  WideFolder& operator=(const WideFolder&) = delete;

  // The names in the folder, "." and ".." left out.
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return names;
  }
  void Write(const std::wstring& name, const std::string& bytes) const {
    HANDLE file = CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  std::string Read(const std::wstring& name) const {
    HANDLE file = CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(65536, '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
  }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

TEST(MainWindow, ProgramWhosePathCannotBeHadOpensWithTheDefaultsAndWritesNoSettingsFile) {
  // GetModuleFileNameA would give "?" or a look-alike for the letter, naming another file.
  TempDir dir;
  WideFolder folder(dir.Path().wstring() + L"\\caf\u00e9");
  folder.Write(L"velmora.ini", SettingsFileText(kEarlier));
  char windowsFolder[MAX_PATH] = {};
  GetWindowsDirectoryA(windowsFolder, MAX_PATH);
  // Where the profile functions look for the bare name that an unknown path used to give.
  const std::string bareName = std::string(windowsFolder) + "\\.ini";
  DeleteFileA(bareName.c_str());

  AppDriver app(folder.Path());
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(Shown(app), kDefaults);
  // The read-me cannot be found either; nothing is opened in its place.
  app.PostCommand(ID_HELP_README);
  std::optional<BoxInfo> box = app.WaitForBox(15000);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, "Velmora");
  EXPECT_EQ(box->text.substr(0, 13), "'Velmora.htm'") << box->text;
  EXPECT_TRUE(app.Answer(*box));

  app.SetText(IDC_RULE_NUMBER, "");
  app.PostSysCommand(SC_CLOSE);
  box = app.WaitForBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, "Velmora");
  EXPECT_EQ(box->text, cp932::kNotANumber);
  EXPECT_TRUE(app.Answer(*box));
  ASSERT_TRUE(app.WaitForExit());
  EXPECT_EQ(folder.Read(L"velmora.ini"), SettingsFileText(kEarlier));
  EXPECT_EQ(folder.Names().size(), 2u);
  EXPECT_FALSE(test::Exists(bareName));
}

TEST(MainWindow, Utf8EditionWorksInUtf8BesideTheMainProgram) {
  constexpr int kMessageText = 0xFFFF;  // the static control that holds a message box's text
  const std::string bom = "\xef\xbb\xbf";
  // In code page 932 the last byte of this character would be a lead byte taking the "[".
  const std::string a = "\xe3\x81\x82";
  const std::string pageUtf8 = "\xe3\x83\x9a\xe3\x83\xbc\xe3\x82\xb8-";  // a file name lead
  const std::string page932 = "\x83y\x81[\x83W-";
  TempDir dir;
  CreateDirectoryA((dir / "out").c_str(), nullptr);
  WriteBytes(dir / "page.html", bom + "<p>" + a + "[$_1_$]</p>");
  WriteBytes(dir / "records.csv", bom + "\xe5\x90\x8d,\"" + a + "&\nb\"\r\nx,y\r\n");
  {
    AppDriver app(dir.Path().string(), "velmora-utf8.exe", Utf8EditionUnderTest());
    ASSERT_TRUE(app.Start());
    HWND status = GetDlgItem(app.Main(), IDC_STATUS);
    EXPECT_EQ(Utf8Text(status), " \xe3\x83\xac\xe3\x83\x87\xe3\x82\xa3");
    app.SetText(IDC_TEMPLATE, dir / "page.html");
    app.SetText(IDC_INPUT, dir / "records.csv");
    app.SetText(IDC_OUTPUT, dir / "out");
    app.Click(IDC_RULE_FIELD);
    app.SetText(IDC_RULE_NUMBER, "0");
    app.SetUtf8Text(IDC_RULE_LEAD, pageUtf8);
    app.PostCommand(IDC_RUN);
    const std::string finished2 =
        " \xe5\x87\xa6\xe7\x90\x86\xe3\x82\x92\xe7\xb5\x82\xe4\xba\x86\xe3\x81\x97\xe3\x81\xbe"
        "\xe3\x81\x97\xe3\x81\x9f\xe3\x80\x82\xef\xbc\x88" "2\xe4\xbb\xb6\xef\xbc\x89";
    ASSERT_TRUE(WaitUntil([&] { return Utf8Text(status) == finished2; }, 20000))
        << Utf8Text(status);
    // No byte-order mark in a page or a name; the test opens the names in code page 932.
    const std::string out = dir.Path().string() + "\\out\\";
    EXPECT_EQ(ReadBytes(out + page932 + "\x96\xbc.html"),
              "<p>" + a + a + "&amp;<br>b</p>");
    EXPECT_EQ(ReadBytes(out + page932 + "x.html"), "<p>" + a + "y</p>");
    app.SetText(IDC_RULE_NUMBER, "abc");
    app.PressKey(IDC_TEMPLATE, VK_ESCAPE);
    const std::optional<BoxInfo> box = app.WaitForBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(Utf8Text(GetDlgItem(box->window, kMessageText)),
              "\xe6\xad\xa3\xe3\x81\xae\xe6\x95\xb4\xe6\x95\xb0\xe3\x82\x92\xe5\x85\xa5\xe5\x8a\x9b"
              "\xe3\x81\x97\xe3\x81\xa6\xe3\x81\x8f\xe3\x81\xa0\xe3\x81\x95\xe3\x81\x84\xe3\x80\x82");
    EXPECT_EQ(box->caption, "velmora-utf8");
    EXPECT_TRUE(app.Answer(*box));
    ASSERT_TRUE(app.WaitForExit());
  }
  {
    // The main program in the same folder keeps code page 932 and a settings file of its own.
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.Text(IDC_TEMPLATE), "");
    app.SetUtf8Text(IDC_RULE_LEAD, pageUtf8);
    app.PressKey(IDC_TEMPLATE, VK_ESCAPE);
    ASSERT_TRUE(app.WaitForExit());
  }
  EXPECT_NE(ReadBytes(dir / "velmora-utf8.ini").find("[Rule]\r\nLead=" + pageUtf8 + "\r\n"),
            std::string::npos);
  EXPECT_NE(ReadBytes(dir / "velmora.ini").find("[Rule]\r\nLead=" + page932 + "\r\n"),
            std::string::npos);
}

TEST(MainWindow, RunButtonWritesOneFilePerRecordAndReportsTheCount) {
  TempDir dir;
  CreateDirectoryA((dir / "out").c_str(), nullptr);
  WriteBytes(dir / "page.html", "<h1>[$_0_$]</h1><p>[$_1_$]</p>\r\n");
  // Three records; the second's field holds an in-field line break and a double-byte name.
  WriteBytes(dir / "records.csv",
             "A&B,\"x\ny\"\r\n\x8c\xda\x8bq,\x93\x8c\x8b\x9e\r\n\"q\"\"t\",<end>\r\n");
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());
  app.SetText(IDC_TEMPLATE, dir / "page.html");
  app.SetText(IDC_INPUT, dir / "records.csv");
  app.SetText(IDC_OUTPUT, dir / "out");
  app.SetText(IDC_RULE_NUMBER, "3");
  app.SetText(IDC_RULE_LEAD, "rec");
  app.PostCommand(IDC_RUN);
  ASSERT_TRUE(app.WaitForStatus(cp932::kFinished3));
  EXPECT_EQ(ReadBytes(dir / "out\\rec001.html"), "<h1>A&amp;B</h1><p>x<br>y</p>\r\n");
  EXPECT_EQ(ReadBytes(dir / "out\\rec002.html"),
            "<h1>\x8c\xda\x8bq</h1><p>\x93\x8c\x8b\x9e</p>\r\n");
  EXPECT_EQ(ReadBytes(dir / "out\\rec003.html"), "<h1>q&quot;t</h1><p>&lt;end&gt;</p>\r\n");
  EXPECT_FALSE(test::Exists(dir / "out\\rec004.html"));
  EXPECT_TRUE(IsWindowVisible(app.Main()));
}

// A record named like the settings file, with the output folder beside the program: the run
// refuses that file, and the user's comment lines and own sections outlive the run and the close.
TEST(MainWindow, RunNeverWritesOverTheSettingsFile) {
  TempDir dir;
  WriteBytes(dir / "page.html", "<p>[$_0_$]</p>");
  WriteBytes(dir / "records.csv", "velmora.ini\r\nVELMORA.INI\r\na.htm\r\n");
  StoredSettings stored = kDefaults;
  stored.input = dir / "records.csv";
  stored.templatePath = dir / "page.html";
  stored.output = dir.Path().string();
  stored.rule = "1";
  stored.ruleTail = "";
  const std::string mine = "; my notes\r\n[Mine]\r\nKey=1\r\n";
  WriteBytes(dir / "velmora.ini", mine + SettingsFileText(stored));
  AppDriver app(dir.Path().string());
  ASSERT_TRUE(app.Start());
  app.PostCommand(IDC_RUN);
  ASSERT_TRUE(app.WaitForStatus(cp932::kFinished3));
  // The two refused files are counted, and the log is offered.
  const std::optional<BoxInfo> offer = app.WaitForBox();
  ASSERT_TRUE(offer);
  EXPECT_EQ(offer->text, std::string("2") + cp932::kFilesFailedTail);
  EXPECT_TRUE(GetDlgItem(offer->window, IDYES) && GetDlgItem(offer->window, IDNO));
  EXPECT_TRUE(app.Answer(*offer, IDNO));
  EXPECT_TRUE(app.NoBoxWithin(500));
  EXPECT_EQ(ReadBytes(dir / "velmora.ini"), mine + SettingsFileText(stored));
  EXPECT_EQ(ReadBytes(dir / "a.htm"), "<p>a.htm</p>");
  app.PostSysCommand(SC_CLOSE);
  ASSERT_TRUE(app.WaitForExit());
  const std::string saved = ReadBytes(dir / "velmora.ini");
  EXPECT_EQ(saved.substr(0, mine.size()), mine);
  EXPECT_NE(saved.find("[Settings]\r\n"), std::string::npos) << saved;
}

// A long run keeps the window responding: Windows would otherwise show a frozen ghost under the
// caption "(not responding)" after five seconds, and users end the program in the middle of
// writing. Many small records into fifty names keep the run long and the processor's work small.
TEST(MainWindow, LongRunNeverStopsRespondingAndLogsAsTheBatchCommand) {
  constexpr int kRecords = 3000;
  TempDir dir;
  CreateDirectoryA((dir / "out").c_str(), nullptr);
  WriteBytes(dir / "page.html", "<p>[$_1_$]</p>");
  std::string records;
  for (int i = 1; i <= kRecords; ++i) {
    records += "n" + std::to_string(i % 50) + "," + std::to_string(i) + "\r\n";
  }
  WriteBytes(dir / "records.csv", records);
  const std::string finished =
      cp932::kFinishedLead + std::to_string(kRecords) + cp932::kFinishedTail;
  std::string windowLog;
  {
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    app.SetText(IDC_TEMPLATE, dir / "page.html");
    app.SetText(IDC_INPUT, dir / "records.csv");
    app.SetText(IDC_OUTPUT, dir / "out");
    app.Click(IDC_RULE_FIELD);
    app.SetText(IDC_RULE_NUMBER, "0");
    app.PostCommand(IDC_RUN);
    const ULONGLONG start = GetTickCount64();
    int hungPolls = 0;
    int advances = 0;
    unsigned long lastShown = 0;
    std::string status;
    // Polled as a user would look, a few times a second, until the finishing text.
    while ((status = app.Text(IDC_STATUS)) != finished && GetTickCount64() - start < 300000) {
      if (IsHungAppWindow(app.Main())) ++hungPolls;
      if (status.rfind(cp932::kProgressLead, 0) == 0) {
        const unsigned long shown =
            std::stoul(status.substr(std::char_traits<char>::length(cp932::kProgressLead)));
        EXPECT_GE(shown, lastShown);
        if (shown > lastShown) ++advances;
        lastShown = shown;
      }
      Sleep(250);
    }
    const ULONGLONG elapsed = GetTickCount64() - start;
    ASSERT_EQ(status, finished);
    EXPECT_EQ(hungPolls, 0);
    // Every second or so the status line showed a later record.
    EXPECT_GE(advances, static_cast<int>(elapsed / 1000) - 1) << elapsed << " ms";
    std::printf("the run took %llu ms\n", static_cast<unsigned long long>(elapsed));
    windowLog = LogWindowText(app);
    app.PressKey(IDC_TEMPLATE, VK_ESCAPE);
    ASSERT_TRUE(app.WaitForExit());
  }
  for (int i = kRecords - 49; i <= kRecords; ++i) {
    EXPECT_EQ(ReadBytes(dir / ("out\\n" + std::to_string(i % 50) + ".html")),
              "<p>" + std::to_string(i) + "</p>");
  }
  // The batch command with the settings that the window saved at its close logs the same run.
  const test::ProcessResult batch = test::RunProgram(test::BatchProgram(), {dir / "velmora.ini"}, dir);
  EXPECT_EQ(batch.exitCode, 0) << batch.err;
  EXPECT_EQ(batch.out, windowLog);
}

// The names of the files in a folder, "." and ".." left out.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return names;
}

// Automation, macro and accessibility tools send their clicks and commands: a sent message is
// handled even while the window's thread only looks into its queue, inside the run. A second run
// there would empty the log and write from the first run's freed data; a close would end the
// window under the run. And what a user clicks or types during the run waits in the queue: it
// must not start another run, or close the window, once the run ends.
TEST(MainWindow, CommandsDuringARunAreRefusedAndNoneIsReplayedAfterIt) {
  constexpr int kRecords = 1000;
  TempDir dir;
  for (const char* folder : {"out", "later"}) CreateDirectoryA((dir / folder).c_str(), nullptr);
  WriteBytes(dir / "page.html", "<p>[$_1_$]</p>");
  std::string records;
  for (int i = 1; i <= kRecords; ++i) {
    records += "n" + std::to_string(i % 50) + "," + std::to_string(i) + "\r\n";
  }
  WriteBytes(dir / "records.csv", records);
  StoredSettings stored = kDefaults;
  stored.templatePath = dir / "page.html";
  stored.input = dir / "records.csv";
  stored.output = dir / "out";
  stored.rule = "1";
  WriteBytes(dir / "velmora.ini", SettingsFileText(stored));
  WriteBytes(dir / "batch.ini", SettingsFileText(stored));
  const std::string finished =
      cp932::kFinishedLead + std::to_string(kRecords) + cp932::kFinishedTail;
  const auto running = [](const AppDriver& app) {
    return app.Text(IDC_STATUS).rfind(cp932::kProgressLead, 0) == 0;
  };
  std::string windowLog;
  {
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    app.PostCommand(IDC_RUN);
    ASSERT_TRUE(WaitUntil([&] { return running(app); }, 20000));
    // A run started from now on would write into "later".
    app.SetText(IDC_OUTPUT, dir / "later");
    HWND main = app.Main();
    HWND run = GetDlgItem(main, IDC_RUN);
    const auto send = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
      DWORD_PTR ignored = 0;
      SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &ignored);
    };
    send(run, BM_CLICK, 0, 0);
    for (int command : {IDC_RUN, IDC_BROWSE_TEMPLATE, IDC_BROWSE_INPUT, IDC_BROWSE_OUTPUT,
                        ID_SETTINGS_LOAD, ID_SETTINGS_SAVE, IDCANCEL}) {
      send(main, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED),
           reinterpret_cast<LPARAM>(GetDlgItem(main, command)));
    }
    send(main, WM_CLOSE, 0, 0);
    send(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    // What a user does meanwhile is queued: a click on the Run button, Esc, a menu command and
    // the close box.
    PostMessageA(run, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    PostMessageA(run, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    app.PressKey(IDC_TEMPLATE, VK_ESCAPE);
    app.PostCommand(IDC_RUN);
    app.PostSysCommand(SC_CLOSE);
    // All of it reached the window while the run went on.
    ASSERT_TRUE(running(app))
        << "the run was over before the last command came: one held it up, or it was too short";
    ASSERT_TRUE(app.WaitForStatus(finished, 300000)) << app.Text(IDC_STATUS);
    EXPECT_TRUE(app.NoBoxWithin(1500));
    EXPECT_TRUE(app.IsRunning());
    EXPECT_EQ(app.Text(IDC_STATUS), finished);
    EXPECT_EQ(FilesIn(dir / "later"), std::vector<std::string>{});
    EXPECT_EQ(FilesIn(dir / "out").size(), 50u);
    windowLog = LogWindowText(app);
    app.PostSysCommand(SC_CLOSE);
    ASSERT_TRUE(app.WaitForExit());
  }
  for (int i = kRecords - 49; i <= kRecords; ++i) {
    EXPECT_EQ(ReadBytes(dir / ("out\\n" + std::to_string(i % 50) + ".html")),
              "<p>" + std::to_string(i) + "</p>");
  }
  // The log is the one of a single run: the batch command's with the same settings.
  const test::ProcessResult batch = test::RunProgram(test::BatchProgram(), {dir / "batch.ini"}, dir);
  EXPECT_EQ(batch.exitCode, 0) << batch.err;
  EXPECT_EQ(batch.out, windowLog);
}

// Before a run, files that the window would read wrongly are named, and the user chooses: a
// template or input that looks like UTF-8 (the window reads code page 932), and an input with LF
// line ends only, which would be one record. Text of code page 932 passes without a question,
// even half-width katakana whose bytes pair up like two-byte UTF-8.
TEST(MainWindow, RunAsksFirstAboutFilesItWouldReadWrongly) {
  const std::string kana = "\xe3\x81\x82";
  struct Case {
    const char* name;
    std::string templateBytes;
    std::string inputBytes;
    bool templateUtf8, inputUtf8, inputLfOnly;  // the lines of the question
    int answer;                                 // IDYES or IDNO
    int records;                                // written when the run goes on
  };
  const Case cases[] = {
      {"UTF-8 template, not run", "<p>" + kana + "[$_0_$]</p>", "a\r\nb\r\n", true, false, false,
       IDNO, 0},
      {"input with a byte-order mark, run", "<p>[$_0_$]</p>", "\xef\xbb\xbf" "a\r\nb\r\n", false,
       true, false, IDYES, 2},
      {"LF-only input, run as one record", "<p>[$_0_$]</p>", "a\nb\n", false, false, true, IDYES,
       1},
      {"UTF-8 input with LF only, not run", "<p>[$_0_$]</p>", kana + "\n" + kana + "\n", false,
       true, true, IDNO, 0},
      {"half-width katakana of 932", "<p>[$_0_$]</p>", "\xc3\xbd\xc4\xb0\r\n\xb1\r\n", false, false,
       false, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CreateDirectoryA((dir / "out").c_str(), nullptr);
    WriteBytes(dir / "page.html", c.templateBytes);
    WriteBytes(dir / "records.csv", c.inputBytes);
    StoredSettings stored = kDefaults;
    stored.templatePath = dir / "page.html";
    stored.input = dir / "records.csv";
    stored.output = dir / "out";
    WriteBytes(dir / "velmora.ini", SettingsFileText(stored));
    AppDriver app(dir.Path().string());
    ASSERT_TRUE(app.Start());
    app.PostCommand(IDC_RUN);
    std::string question;
    if (c.templateUtf8) question += "'" + stored.templatePath + cp932::kRunFileUtf8Middle + "\n";
    if (c.inputUtf8) question += "'" + stored.input + cp932::kRunFileUtf8Middle + "\n";
    if (c.inputLfOnly) question += "'" + stored.input + cp932::kRunInputLfOnlyMiddle + "\n";
    if (!question.empty()) {
      const std::optional<BoxInfo> box = app.WaitForBox();
      ASSERT_TRUE(box);
      EXPECT_EQ(box->text, question + "\n" + cp932::kRunAnyway);
      EXPECT_EQ(box->caption, "velmora");
      EXPECT_TRUE(GetDlgItem(box->window, IDYES) && GetDlgItem(box->window, IDNO));
      EXPECT_TRUE(app.Answer(*box, c.answer));
    }
    if (c.records == 0) {
      EXPECT_TRUE(app.NoBoxWithin(700));
      EXPECT_EQ(app.Text(IDC_STATUS), cp932::kReady);
      EXPECT_EQ(FilesIn(dir / "out"), std::vector<std::string>{});
    } else {
      EXPECT_TRUE(app.WaitForStatus(cp932::kFinishedLead + std::to_string(c.records) +
                                    cp932::kFinishedTail));
      EXPECT_EQ(FilesIn(dir / "out").size(), static_cast<std::size_t>(c.records));
      EXPECT_TRUE(app.NoBoxWithin(500));
    }
  }
}

}  // namespace
}  // namespace velmora::gui
