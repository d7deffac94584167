#include "tests/gui/AppDriver.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/gui/Texts932.h"

namespace velmora::gui {

namespace {

constexpr UINT kSendTimeoutMs = 5000;
constexpr int kMessageTextId = 0xFFFF;  // the static control that holds a message box's text
constexpr int kFileNameCombo = 0x47C;  // cmb13: the explorer-style dialog's file-name field
constexpr int kFileNameEdit = 0x480;   // edt1: the same in the older layout
constexpr char kDesktopName[] = "velmora-gui-tests";

// The tests and the programs they start share a desktop of their own. Under Wine this also gives
// them a desktop made on the display the tests run on, whatever state the default desktop of a
// prefix booted without a display is in; and Wine makes it a virtual desktop (one window on the
// display), so that a closing window does not wait for a window manager that Xvfb lacks.
struct TestDesktop {
  TestDesktop() {
    HKEY desktops = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &desktops, nullptr) == ERROR_SUCCESS) {
      const char size[] = "1024x768";
      RegSetValueExA(desktops, kDesktopName, 0, REG_SZ, reinterpret_cast<const BYTE*>(size),
                     sizeof size);
      RegCloseKey(desktops);
    }
    if (HDESK desktop = CreateDesktopA(kDesktopName, nullptr, nullptr, 0, GENERIC_ALL, nullptr)) {
      SetThreadDesktop(desktop);
    }
  }
} testDesktop;

// The paths that the build gives are Unix paths under Wine; Z: is the root of the Unix tree.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

std::string TextOf(HWND window) {
  // A run log can be megabytes long; a control's text is mostly a few bytes.
  const LRESULT length = Send(window, WM_GETTEXTLENGTH, 0, 0);
  std::string buffer(static_cast<std::size_t>(length > 8191 ? length + 1 : 8192), '\0');
  Send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

struct BoxSearch {
  DWORD processId;
  HWND main;
  BoxKind kind;
  std::string caption;  // "" for any
  HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<BoxSearch*>(data);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || window == search->main || !IsWindowVisible(window) ||
      ClassOf(window) != "#32770") {
    return TRUE;
  }
  const bool fileDialog = GetDlgItem(window, kFileNameCombo) || GetDlgItem(window, kFileNameEdit);
  if (search->kind == BoxKind::FileDialog && !fileDialog) return TRUE;
  if (search->kind == BoxKind::MessageBox && (fileDialog || !GetDlgItem(window, kMessageTextId))) {
    return TRUE;
  }
  if (!search->caption.empty() && TextOf(window) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

struct MainSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindMain(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<MainSearch*>(data);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && ClassOf(window) == "#32770" && IsWindowVisible(window) &&
      TextOf(window) == "Velmora") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(
      CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
      static_cast<int>(wide.size()))));
  return wide;
}

}  // namespace

std::string ProgramUnderTest() { return WindowsPath(VELMORA_EXE_PATH); }

std::string Utf8EditionUnderTest() { return WindowsPath(VELMORA_UTF8_EXE_PATH); }

std::string Utf8Text(HWND window) {
  wchar_t wide[8192] = {};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, std::size(wide), reinterpret_cast<LPARAM>(wide),
                      SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
  char utf8[3 * std::size(wide)] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

AppDriver::AppDriver(const std::string& folder, const std::string& exeName,
                     const std::string& program)
    : exePath_(folder + "\\" + exeName), exePathWide_(Wide(exePath_)) {
  if (!CopyFileA(program.c_str(), exePath_.c_str(), FALSE)) {
    std::fprintf(stderr, "cannot copy %s to %s (error %lu)\n", program.c_str(),
                 exePath_.c_str(), GetLastError());
  }
}

AppDriver::AppDriver(const std::wstring& folder)
    : exePath_("(UTF-16 path)"), exePathWide_(folder + L"\\velmora.exe") {
  if (!CopyFileW(Wide(ProgramUnderTest()).c_str(), exePathWide_.c_str(), FALSE)) {
    std::fprintf(stderr, "cannot copy %s (error %lu)\n", ProgramUnderTest().c_str(),
                 GetLastError());
  }
}

AppDriver::~AppDriver() {
  if (process_.hProcess) {
    if (IsRunning()) {
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
}

bool AppDriver::Start() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring desktop = Wide(kDesktopName);
  startup.lpDesktop = desktop.data();
  std::wstring commandLine = L"\"" + exePathWide_ + L"\"";
  const std::wstring folder = exePathWide_.substr(0, exePathWide_.find_last_of(L'\\'));
  // A current folder must fit MAX_PATH; a longer one is left to the system.
  if (!CreateProcessW(exePathWide_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, folder.size() < MAX_PATH - 1 ? folder.c_str() : nullptr, &startup,
                      &process_)) {
    std::fprintf(stderr, "cannot start %s (error %lu)\n", exePath_.c_str(), GetLastError());
    return false;
  }
  MainSearch search{process_.dwProcessId, nullptr};
  const bool found = WaitUntil(
      [&] {
        search.found = nullptr;
        EnumWindows(FindMain, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      15000);
  main_ = search.found;
  if (!found) std::fprintf(stderr, "no main window of %s appeared\n", exePath_.c_str());
  return found;
}

std::string AppDriver::Text(int id) const { return TextOf(GetDlgItem(main_, id)); }

void AppDriver::SetText(int id, const std::string& text) const {
  Send(GetDlgItem(main_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void AppDriver::SetUtf8Text(int id, const std::string& utf8Text) const {
  std::wstring wide(utf8Text.size() + 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8Text.c_str(), -1, wide.data(),
                      static_cast<int>(wide.size()));
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(GetDlgItem(main_, id), WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                      &ignored);
}

int AppDriver::ListSelection(int id) const {
  return static_cast<int>(Send(GetDlgItem(main_, id), CB_GETCURSEL, 0, 0));
}

std::vector<std::string> AppDriver::ListEntries(int id) const {
  HWND list = GetDlgItem(main_, id);
  std::vector<std::string> entries;
  const LRESULT count = Send(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    // Wine hands a list entry to another process as UTF-16 whichever way it is asked, so ask
    // for UTF-16 and convert it into the code page here.
    wchar_t wide[256] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
    char buffer[512] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof buffer, nullptr, nullptr);
    entries.emplace_back(buffer);
  }
  return entries;
}

void AppDriver::SelectList(int id, int index) const {
  Send(GetDlgItem(main_, id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool AppDriver::IsChecked(int id) const {
  return Send(GetDlgItem(main_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void AppDriver::Click(int id) const { Send(GetDlgItem(main_, id), BM_CLICK, 0, 0); }

void AppDriver::PostCommand(int id) const {
  PostMessageA(main_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(main_, id)));
}

void AppDriver::PressKey(int id, WPARAM key) const {
  HWND control = GetDlgItem(main_, id);
  PostMessageA(control, WM_KEYDOWN, key, 1);
  PostMessageA(control, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
}

void AppDriver::PostSysCommand(WPARAM command) const {
  PostMessageA(main_, WM_SYSCOMMAND, command, 0);
}

HWND AppDriver::FocusedControl() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(process_.dwThreadId, &info);
  return info.hwndFocus;
}

std::string ControlText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

std::optional<BoxInfo> AppDriver::WaitForDialog(const std::string& caption,
                                                DWORD timeoutMs) const {
  BoxSearch search{process_.dwProcessId, main_, BoxKind::Any, caption, nullptr};
  if (!WaitUntil(
          [&] {
            search.found = nullptr;
            EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
          },
          timeoutMs)) {
    return std::nullopt;
  }
  return BoxInfo{search.found, caption, ""};
}

bool AppDriver::ChooseFile(const BoxInfo& fileDialog, const std::string& path,
                           bool waitForClose) const {
  HWND field = GetDlgItem(fileDialog.window, kFileNameCombo);
  if (!field) field = GetDlgItem(fileDialog.window, kFileNameEdit);
  if (!field) return false;
  Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  if (waitForClose) return Answer(fileDialog, IDOK);
  PostMessageA(fileDialog.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(fileDialog.window, IDOK)));
  return true;
}

std::optional<BoxInfo> AppDriver::WaitForBox(DWORD timeoutMs, BoxKind kind) const {
  BoxSearch search{process_.dwProcessId, main_, kind, "", nullptr};
  const bool found = WaitUntil(
      [&] {
        search.found = nullptr;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  if (!found) return std::nullopt;
  BoxInfo box;
  box.window = search.found;
  box.caption = TextOf(search.found);
  if (HWND text = GetDlgItem(search.found, kMessageTextId)) box.text = TextOf(text);
  return box;
}

bool AppDriver::NoBoxWithin(DWORD timeoutMs) const {
  return !WaitForBox(timeoutMs, BoxKind::Any).has_value();
}

bool AppDriver::Answer(const BoxInfo& box, int buttonId) const {
  PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, buttonId)));
  return WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, 10000);
}

bool AppDriver::WaitForStatus(const std::string& text, DWORD timeoutMs) const {
  return WaitUntil([&] { return Text(IDC_STATUS) == text; }, timeoutMs);
}

bool AppDriver::WaitForExit(DWORD timeoutMs) const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool AppDriver::IsRunning() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

std::string LogWindowText(const AppDriver& app) {
  app.PostCommand(ID_VIEW_LOG);
  const std::optional<BoxInfo> log = app.WaitForDialog(cp932::kLogCaption);
  if (!log) return "(no log window)";
  HWND edit = GetDlgItem(log->window, IDC_LOG_TEXT);
  const LONG style = GetWindowLongA(edit, GWL_STYLE);
  EXPECT_EQ(style & (ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL),
            ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL);
  const std::string text = ControlText(log->window, IDC_LOG_TEXT);
  EXPECT_TRUE(app.Answer(*log, IDOK));
  return text;
}

}  // namespace velmora::gui
