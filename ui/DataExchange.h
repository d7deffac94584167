// Moves values between a dialog's controls and plain fields, in one of two directions: a show
// (fields into controls) or a take-up (controls into fields, with checks). A failed check shows
// its message, puts the focus on the control with its text selected and returns false; the
// caller stops at the first failure.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace velmora::ui {

class DataExchange {
 public:
  DataExchange(HWND dialog, bool takeUp) : dialog_(dialog), takeUp_(takeUp) {}

  bool IsTakeUp() const { return takeUp_; }
  HWND Dialog() const { return dialog_; }

  // A text of at most limit bytes (0: no limit). Show: the whole text, then the edit's typing
  // limit. Take-up: the whole text; longer than limit fails with "%1 文字以内で入力してください。"
  // and the field keeps the long text.
  bool Text(int id, std::string& value, std::size_t limit);
  // The selected entry of a drop-down list, -1 for none. An index outside the list shows none.
  bool ListIndex(int id, std::int32_t& value);
  // The checked button of the radio group that starts at firstId and runs to the next control
  // that starts a group; -1 for none.
  bool RadioIndex(int firstId, std::int32_t& value);
  // An unsigned decimal number in minimum..maximum. Take-up: a text that is no number fails and
  // leaves the field; a number out of range is stored and then fails.
  bool Number(int id, std::uint32_t& value, std::uint32_t minimum, std::uint32_t maximum);

  // Shows message for the control, moves the focus to it and selects its text; returns false.
  bool Fail(int id, const std::string& message);

 private:
  HWND Control(int id) const;

  HWND dialog_;
  bool takeUp_;
};

// The whole text of a window in the process code page.
std::string WindowText(HWND window);

}  // namespace velmora::ui
