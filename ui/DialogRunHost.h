// The main window's side of a generation run: the status line, the wait cursor, the beeps, and
// a window that keeps responding while the run goes on.
#pragma once

#include <windows.h>

#include "engine/StatusLine.h"

namespace velmora::ui {

class DialogRunHost : public StatusLineEvents {
 public:
  // status: the static control that shows the run's texts.
  // shownAt, when given, receives the GetTickCount value of every change of the status line,
  // progress included.
  explicit DialogRunHost(HWND status, DWORD* shownAt = nullptr)
      : status_(status), shownAt_(shownAt) {}
  ~DialogRunHost() override;

  void SetStatus(const std::string& text) override;
  // Sets the progress text before every record; repaints it at once for the first record and
  // then at most every kRepaintMilliseconds, so that painting never dominates a long run.
  void ShowProgress(std::uint32_t recordNumber, std::uint64_t bytesRead,
                    std::optional<std::uint64_t> inputSize) override;
  // kBeepOk and kBeepError as the system's default and error sounds.
  void Beep(unsigned type) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  // Shows the system that the window's thread is alive and repaints what was uncovered; takes no
  // keyboard or mouse input, which waits in the queue until the run ends.
  void KeepResponsive() override;

  static constexpr ULONGLONG kRepaintMilliseconds = 50;

 private:
  HWND status_;
  DWORD* shownAt_;
  int waitCount_ = 0;
  HCURSOR restoreCursor_ = nullptr;
  ULONGLONG lastRepaint_ = 0;
};

}  // namespace velmora::ui
