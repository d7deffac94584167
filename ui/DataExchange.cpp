#include "ui/DataExchange.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "engine/ProgramTexts.h"
#include "settings/ExchangeNumber.h"
#include "ui/ErrorBox.h"

namespace velmora::ui {

namespace {

std::string Decimal(std::uint32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(value));
  return digits;
}

bool IsEdit(HWND window) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  return lstrcmpiA(className, "Edit") == 0;
}

}  // namespace

std::string WindowText(HWND window) {
  // GetWindowTextLengthA may count more than the text holds, never less.
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  const int got = GetWindowTextA(window, buffer.data(), length + 1);
  return std::string(buffer.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

HWND DataExchange::Control(int id) const {
  HWND control = GetDlgItem(dialog_, id);
  // A control missing from the template is a fault of the program, not of the user's input.
  if (!control) throw std::logic_error("dialog control missing");
  return control;
}

bool DataExchange::Fail(int id, const std::string& message) {
  HWND control = GetDlgItem(dialog_, id);
  AppMessageBox(dialog_, message, MB_OK | MB_ICONEXCLAMATION);
  if (control) {
    SetFocus(control);
    if (IsEdit(control)) SendMessageA(control, EM_SETSEL, 0, -1);
  }
  return false;
}

bool DataExchange::Text(int id, std::string& value, std::size_t limit) {
  HWND control = Control(id);
  if (!takeUp_) {
    SetWindowTextA(control, value.c_str());
    if (limit != 0 && IsEdit(control)) SendMessageA(control, EM_LIMITTEXT, limit, 0);
    return true;
  }
  value = WindowText(control);
  if (limit != 0 && value.size() > limit) {
    return Fail(id, FormatText(Texts().textTooLong, {Decimal(static_cast<std::uint32_t>(limit))}));
  }
  return true;
}

bool DataExchange::ListIndex(int id, std::int32_t& value) {
  HWND control = Control(id);
  if (!takeUp_) {
    const LRESULT count = SendMessageA(control, CB_GETCOUNT, 0, 0);
    const WPARAM index = value >= 0 && value < count ? static_cast<WPARAM>(value) : WPARAM(-1);
    SendMessageA(control, CB_SETCURSEL, index, 0);
    return true;
  }
  const LRESULT selected = SendMessageA(control, CB_GETCURSEL, 0, 0);
  value = selected == CB_ERR ? -1 : static_cast<std::int32_t>(selected);
  return true;
}

bool DataExchange::RadioIndex(int firstId, std::int32_t& value) {
  HWND control = Control(firstId);
  if (takeUp_) value = -1;
  std::int32_t index = 0;
  do {
    const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    const LONG_PTR type = style & BS_TYPEMASK;
    if (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON ||
        type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
      if (takeUp_) {
        if (SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
      } else {
        SendMessageA(control, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      ++index;
    }
    control = GetWindow(control, GW_HWNDNEXT);
  } while (control && !(GetWindowLongPtrA(control, GWL_STYLE) & WS_GROUP));
  return true;
}

bool DataExchange::Number(int id, std::uint32_t& value, std::uint32_t minimum,
                          std::uint32_t maximum) {
  HWND control = Control(id);
  if (!takeUp_) {
    SetWindowTextA(control, Decimal(value).c_str());
    return true;
  }
  char text[32] = {};  // the first 31 bytes are all that count
  GetWindowTextA(control, text, sizeof text);
  const std::optional<std::uint32_t> parsed = ReadNumberAsDialogExchangeDoes(text);
  if (!parsed) return Fail(id, Texts().notANumber);
  value = *parsed;
  if (value < minimum || value > maximum) {
    return Fail(id, FormatText(Texts().numberOutOfRange, {Decimal(minimum), Decimal(maximum)}));
  }
  return true;
}

}  // namespace velmora::ui
