// The text that tells the user of an error raised inside a command or a run: the same in the
// window's error box and on the batch command's standard error.
#pragma once

#include <string>

namespace velmora {

struct ExceptionText {
  std::string text;
  // Memory ran out: the window shows this one system-modal, since its owner may not be drawn.
  bool outOfMemory = false;
};

// The text for the exception being handled; call only inside a catch block. A file error gives
// its cause's text with the file's path (FileErrorText), exhausted memory the out-of-memory text,
// anything else the internal-error text. Building the text may itself raise std::bad_alloc.
ExceptionText CurrentExceptionText();

}  // namespace velmora
