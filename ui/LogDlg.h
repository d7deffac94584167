// The log window: the last run's log, read-only, with both scroll bars.
#pragma once

#include <string>

#include "ui/Dialog.h"

namespace velmora::ui {

class CLogDlg : public CDialog {
 public:
  explicit CLogDlg(HWND owner);

  std::string LogText;  // shown when the window opens; nothing flows back

 protected:
  bool ExchangeData(DataExchange& exchange) override;
};

}  // namespace velmora::ui
