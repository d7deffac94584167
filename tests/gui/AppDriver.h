// Drives a running velmora.exe from outside, as a user would: finds its window, types into its
// controls, presses its buttons, answers its message boxes, and closes it. Every wait has a
// time-out, and the process is ended when the driver goes away, so that no test can hang.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace velmora::gui {

// The program under test, copied into a folder of the test.
std::string ProgramUnderTest();
// The UTF-8 edition of the same program.
std::string Utf8EditionUnderTest();

// The text of a control of any window of the program.
std::string ControlText(HWND dialog, int id);
// The text of a window as UTF-8, whatever code page the program or the tests run in.
std::string Utf8Text(HWND window);

// Which top-level dialogs of the program a wait looks for.
enum class BoxKind {
  MessageBox,  // a message box: has the message's static control
  FileDialog,  // a common file dialog: has the file-name field
  Any,         // any dialog other than the main window
};

// A top-level dialog of the program other than the main window.
struct BoxInfo {
  HWND window = nullptr;
  std::string caption;
  std::string text;  // the message of a message box (static control 0xFFFF), else ""
};

class AppDriver {
 public:
  // Copies program as folder\exeName; Start runs it there.
  AppDriver(const std::string& folder, const std::string& exeName = "velmora.exe",
            const std::string& program = ProgramUnderTest());
  // The same for a folder that only a UTF-16 path can name (characters outside the code page).
  explicit AppDriver(const std::wstring& folder);
  ~AppDriver();  // ends the process if it is still running
  AppDriver(const AppDriver&) = delete;
  AppDriver& operator=(const AppDriver&) = delete;

  // Starts the program and waits for its main window. False on time-out.
  bool Start();
  HWND Main() const { return main_; }
  DWORD ProcessId() const { return process_.dwProcessId; }
  const std::string& ExePath() const { return exePath_; }

  std::string Text(int id) const;
  void SetText(int id, const std::string& text) const;
  // Types UTF-8 text, as a user would type the characters, whatever the program's code page.
  void SetUtf8Text(int id, const std::string& utf8Text) const;
  int ListSelection(int id) const;
  std::vector<std::string> ListEntries(int id) const;
  void SelectList(int id, int index) const;
  bool IsChecked(int id) const;
  void Click(int id) const;  // BM_CLICK, for radio buttons
  // Posts a command, as a button click or a menu choice does.
  void PostCommand(int id) const;
  // Posts a key press to a control, handled by the window's own dialog loop.
  void PressKey(int id, WPARAM key) const;
  void PostSysCommand(WPARAM command) const;
  // The control that has the focus in the program, and its selection.
  HWND FocusedControl() const;

  // Waits for a dialog of the program other than the main window. Nothing on time-out.
  std::optional<BoxInfo> WaitForBox(DWORD timeoutMs = 10000,
                                    BoxKind kind = BoxKind::MessageBox) const;
  // Waits for a dialog of the program with this caption.
  std::optional<BoxInfo> WaitForDialog(const std::string& caption, DWORD timeoutMs = 10000) const;
  // Types path into a file dialog's file-name field and confirms it; true when the dialog went
  // (or, without waitForClose, when the field was found).
  bool ChooseFile(const BoxInfo& fileDialog, const std::string& path,
                  bool waitForClose = true) const;
  // True when no other dialog of the program shows up within timeoutMs.
  bool NoBoxWithin(DWORD timeoutMs) const;
  // Presses a button of a dialog (IDOK by default) and waits until the dialog is gone.
  bool Answer(const BoxInfo& box, int buttonId = IDOK) const;
  // Waits until the status line reads text.
  bool WaitForStatus(const std::string& text, DWORD timeoutMs = 20000) const;
  // Waits for the process to end.
  bool WaitForExit(DWORD timeoutMs = 10000) const;
  bool IsRunning() const;

 private:
  std::string exePath_;
  std::wstring exePathWide_;
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

// Opens the log window from the menu, checks that it is a read-only scrolling edit, and returns
// its text (the last run's log) after closing it; "(no log window)" when it does not open.
std::string LogWindowText(const AppDriver& app);

// Waits until predicate holds or timeoutMs pass, checking every few milliseconds.
template <typename Predicate>
bool WaitUntil(Predicate predicate, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!predicate()) {
    if (GetTickCount64() > end) return false;
    Sleep(20);
  }
  return true;
}

}  // namespace velmora::gui
