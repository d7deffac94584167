// A modal dialog built from a template in the program's resources: one static dialog procedure
// finds the object and forwards to its virtual handlers. No exception leaves the procedure: a
// command that raises one ends there and the error box shows it.
#pragma once

#include <windows.h>

#include "ui/DataExchange.h"

namespace velmora::ui {

class CDialog {
 public:
  // owner: the window that owns the dialog while it is shown (nullptr for none).
  CDialog(int templateId, HWND owner);
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Shows the dialog and returns the result EndDialog gave it, or -1 when it could not be made.
  INT_PTR DoModal();

  HWND Handle() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  void EndDialog(INT_PTR result);

  // One exchange of every control: take-up (controls into fields) or show. Returns false at the
  // first failed check, after its message; an error raised meanwhile shows the error box.
  bool UpdateData(bool takeUp);

 protected:
  // Moves the dialog's fields; the default has none.
  virtual bool ExchangeData(DataExchange& exchange);
  // WM_INITDIALOG: the default shows the fields and centres the dialog. Returns true to let the
  // system give the focus to the first control with a tab stop.
  virtual bool OnInitDialog();
  // WM_COMMAND; returns true when handled. The default routes IDOK and IDCANCEL.
  virtual bool OnCommand(int id, int notifyCode, HWND control);
  // The default takes the fields up and ends the dialog with IDOK when every check passed.
  virtual void OnOK();
  // The default ends the dialog with IDCANCEL.
  virtual void OnCancel();
  // WM_DESTROY, while the controls still exist.
  virtual void OnDestroy() {}
  // Any other message. Returns true when handled, with result as the procedure's result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

  // Centres the dialog over its owner, or in the work area of the screen when it has none, and
  // keeps it inside that area.
  void CenterWindow();

  // Drops the keyboard and mouse input waiting in the thread's queue, for every window of the
  // thread, and the commands posted to the dialog, that came before postedBefore (a GetTickCount
  // value): after work that took no input (a run), what was queued meanwhile is not acted on as
  // if it had come now, while what came once the work showed its end is.
  void DiscardQueuedInput(DWORD postedBefore);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
  HWND owner_;
  HWND hwnd_ = nullptr;
};

}  // namespace velmora::ui
