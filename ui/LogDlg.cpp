#include "ui/LogDlg.h"

#include "res/resource.h"

namespace velmora::ui {

CLogDlg::CLogDlg(HWND owner) : CDialog(IDD_LOG, owner) {}

bool CLogDlg::ExchangeData(DataExchange& exchange) {
  if (exchange.IsTakeUp()) return true;  // the text only goes into the control
  HWND edit = exchange.Dialog() ? GetDlgItem(exchange.Dialog(), IDC_LOG_TEXT) : nullptr;
  // The whole log goes in, however long: lift the edit's default limit first.
  if (edit) SendMessageA(edit, EM_LIMITTEXT, 0, 0);
  return exchange.Text(IDC_LOG_TEXT, LogText, 0);
}

}  // namespace velmora::ui
