#include "ui/Dialog.h"

#include "ui/Application.h"
#include "ui/ErrorBox.h"

namespace velmora::ui {

CDialog::CDialog(int templateId, HWND owner) : templateId_(templateId), owner_(owner) {}

INT_PTR CDialog::DoModal() {
  return DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(templateId_), owner_, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }

bool CDialog::UpdateData(bool takeUp) {
  try {
    DataExchange exchange(hwnd_, takeUp);
    return ExchangeData(exchange);
  } catch (...) {
    ShowCurrentExceptionBox(hwnd_);
    return false;
  }
}

bool CDialog::ExchangeData(DataExchange&) { return true; }

bool CDialog::OnInitDialog() {
  if (!UpdateData(false)) EndDialog(-1);
  CenterWindow();
  return true;
}

bool CDialog::OnCommand(int id, int, HWND) {
  switch (id) {
    case IDOK:
      OnOK();
      return true;
    case IDCANCEL:
      OnCancel();
      return true;
    default:
      return false;
  }
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

void CDialog::CenterWindow() {
  RECT window{};
  GetWindowRect(hwnd_, &window);
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  RECT centre = area;
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &centre);
    HMONITOR monitor = MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) area = info.rcWork;
  }
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  LONG left = (centre.left + centre.right - width) / 2;
  LONG top = (centre.top + centre.bottom - height) / 2;
  // Back inside the work area; a dialog larger than it keeps its left and top edges inside.
  if (left + width > area.right) left = area.right - width;
  if (top + height > area.bottom) top = area.bottom - height;
  if (left < area.left) left = area.left;
  if (top < area.top) top = area.top;
  SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::DiscardQueuedInput(DWORD postedBefore) {
  struct Range {
    UINT first, last;
  };
  // A null window: the input of every window of the thread, the controls' included.
  constexpr Range kInput[] = {
      {WM_KEYFIRST, WM_KEYLAST},
      {WM_MOUSEFIRST, WM_MOUSELAST},
      {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},  // the caption, the close box, the menu bar
  };
  // MSG::time is the GetTickCount value of when the message was posted or the input made;
  // messages of one range come in that order. The difference is signed, so that the count
  // wrapping round after 49.7 days changes nothing.
  const auto drop = [postedBefore](HWND window, UINT first, UINT last) {
    MSG message;
    while (PeekMessageA(&message, window, first, last, PM_NOREMOVE) &&
           static_cast<LONG>(message.time - postedBefore) < 0) {
      PeekMessageA(&message, window, first, last, PM_REMOVE);
    }
  };
  for (const Range& range : kInput) drop(nullptr, range.first, range.last);
  // A menu choice arrives posted, and so do the commands that other programs post.
  for (UINT command : {WM_COMMAND, WM_SYSCOMMAND}) drop(hwnd_, command, command);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
  } else {
    dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  // Messages sent before WM_INITDIALOG (WM_SETFONT and the like) get the default handling.
  if (!dialog) return FALSE;
  try {
    return dialog->HandleMessage(message, wParam, lParam);
  } catch (...) {
    ShowCurrentExceptionBox(hwnd);
    return message == WM_INITDIALOG ? TRUE : FALSE;
  }
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      // "The dialog box procedure should return TRUE to direct the system to set the keyboard
      // focus to the control specified by wParam."
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE
                                                                                      : FALSE;
    case WM_DESTROY:
      try {
        OnDestroy();
      } catch (...) {
        ShowCurrentExceptionBox(hwnd_);
      }
      SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
      return FALSE;
    default: {
      INT_PTR result = FALSE;
      return OnMessage(message, wParam, lParam, result) ? result : FALSE;
    }
  }
}

}  // namespace velmora::ui
