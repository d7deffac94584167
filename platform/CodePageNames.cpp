#include "platform/Platform.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace velmora::platform {

unsigned CodePageFromCharsetName(std::string_view charset) {
  std::string name;
  for (char c : charset) {
    if (c != '-' && c != '_') name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (name == "UTF8") return 65001;
  if (name == "SHIFTJIS" || name == "SJIS" || name == "CP932" || name == "WINDOWS31J" ||
      name == "MSKANJI")
    return 932;
  if (name == "GBK" || name == "GB2312" || name == "GB18030" || name == "CP936" ||
      name == "EUCCN")
    return 936;
  if (name == "EUCKR" || name == "CP949" || name == "UHC") return 949;
  if (name == "BIG5" || name == "CP950" || name == "BIG5HKSCS") return 950;
  if (name == "JOHAB" || name == "CP1361") return 1361;
  return 65001;
}

}  // namespace velmora::platform
