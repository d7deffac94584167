#include "engine/ExceptionText.h"

#include <new>

#include "engine/ProgramTexts.h"
#include "platform/Platform.h"

namespace velmora {

ExceptionText CurrentExceptionText() {
  try {
    throw;
  } catch (const platform::FileError& error) {
    return {FileErrorText(error), false};
  } catch (const std::bad_alloc&) {
    return {Texts().outOfMemory, true};
  } catch (...) {
    return {Texts().internalError, false};
  }
}

}  // namespace velmora
