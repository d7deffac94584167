#include "ui/AboutDlg.h"

#include "res/resource.h"

namespace velmora::ui {

CAboutDlg::CAboutDlg(HWND owner) : CDialog(IDD_ABOUTBOX, owner) {}

}  // namespace velmora::ui
