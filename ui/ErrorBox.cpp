#include "ui/ErrorBox.h"

#include "engine/ExceptionText.h"
#include "ui/Application.h"

namespace velmora::ui {

int AppMessageBox(HWND owner, const std::string& text, UINT type) {
  return MessageBoxA(owner, text.c_str(), AppDisplayName().c_str(), type);
}

void ShowCurrentExceptionBox(HWND owner) noexcept {
  try {
    const ExceptionText error = CurrentExceptionText();
    // Out of memory: system-modal, so that it shows even when the owner cannot be drawn any more.
    AppMessageBox(owner, error.text,
                  error.outOfMemory ? MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL
                                    : MB_OK | MB_ICONSTOP);
  } catch (...) {
    // Building the text itself failed (memory): a box with a fixed text is all that is left.
    MessageBoxA(owner, "Error", nullptr, MB_OK | MB_ICONSTOP | MB_SYSTEMMODAL);
  }
}

}  // namespace velmora::ui
