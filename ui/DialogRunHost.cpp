#include "ui/DialogRunHost.h"

#include "engine/ProgramTexts.h"

namespace velmora::ui {

DialogRunHost::~DialogRunHost() {
  // A run that ends by an error still turns its cursor off; this is for any that does not.
  if (waitCount_ > 0) SetCursor(restoreCursor_ ? restoreCursor_ : LoadCursorA(nullptr, IDC_ARROW));
}

void DialogRunHost::SetStatus(const std::string& text) {
  SetWindowTextA(status_, text.c_str());
  // The run processes no messages, so the control is painted here or not before the run ends.
  UpdateWindow(status_);
  if (shownAt_ != nullptr) *shownAt_ = GetTickCount();
  lastRepaint_ = GetTickCount64();
}

void DialogRunHost::ShowProgress(std::uint32_t recordNumber, std::uint64_t,
                                 std::optional<std::uint64_t>) {
  SetWindowTextA(status_, ProgressText(recordNumber).c_str());
  const ULONGLONG now = GetTickCount64();
  // The low 32 bits are GetTickCount's value.
  if (shownAt_ != nullptr) *shownAt_ = static_cast<DWORD>(now);
  if (recordNumber == 1 || now - lastRepaint_ >= kRepaintMilliseconds) {
    UpdateWindow(status_);
    lastRepaint_ = now;
  }
}

void DialogRunHost::Beep(unsigned type) { MessageBeep(type == kBeepError ? MB_ICONHAND : MB_OK); }

void DialogRunHost::KeepResponsive() {
  // A window whose thread has not called PeekMessage (or GetMessage) for five seconds is "not
  // responding" (IsHungAppWindow): Windows then shows a frozen ghost in its place. Looking into
  // the queue without removing anything is enough; paint messages are taken and dispatched so
  // that an uncovered window is drawn again. A paint message is generated, not queued, so the
  // count only guards against a window that never validates.
  constexpr int kMaxPaints = 32;
  MSG message;
  for (int i = 0; i < kMaxPaints && PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE);
       ++i) {
    DispatchMessageA(&message);
  }
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

void DialogRunHost::BeginWaitCursor() {
  if (waitCount_++ == 0) restoreCursor_ = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

void DialogRunHost::EndWaitCursor() {
  if (waitCount_ > 0 && --waitCount_ == 0) {
    SetCursor(restoreCursor_ ? restoreCursor_ : LoadCursorA(nullptr, IDC_ARROW));
    restoreCursor_ = nullptr;
  }
}

}  // namespace velmora::ui
