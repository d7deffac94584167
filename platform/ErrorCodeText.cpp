#include "platform/Platform.h"

namespace velmora::platform {

std::string ErrorCodeText(ErrorCode code) {
  switch (code) {
    case 0: return {};
    case kErrorProtectedFile: return "it is the run's own input, template or settings file";
    case kErrorNotPlainFile: return "it is no plain file (a folder, a link, a pipe or a device)";
    case kErrorReadOnly: return "the file is read-only";
    case kErrorOtherNames: return "it has other names";
    default: break;
  }
  std::string text = SystemErrorMessage(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace velmora::platform
