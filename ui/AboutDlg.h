// The About box: product name, version and notice.
#pragma once

#include "ui/Dialog.h"

namespace velmora::ui {

class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(HWND owner);
};

}  // namespace velmora::ui
