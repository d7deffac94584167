// Sets the process code page (its table and the program's texts) for one test and puts the
// previous one back afterwards.
#pragma once

#include "engine/ProgramTexts.h"
#include "platform/CodePageTable.h"

namespace velmora::test {

class ScopedCodePage {
 public:
  explicit ScopedCodePage(unsigned codePage) : previous_(ProcessCodePage()) {
    SetProcessCodePage(codePage);
    InitProgramTexts(codePage);
  }
  ~ScopedCodePage() {
    SetProcessCodePage(previous_);
    InitProgramTexts(previous_);
  }
  ScopedCodePage(const ScopedCodePage&) = delete;
  ScopedCodePage& operator=(const ScopedCodePage&) = delete;

 private:
  unsigned previous_;
};

}  // namespace velmora::test
