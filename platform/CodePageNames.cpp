#include "platform/Platform.h"

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
  // EUC-JP: no byte of a Japanese character is below 0x80, so the table's bytes below it stand
  // for themselves, and its texts convert as "EUC-JP".
  if (name == "EUCJP") return 20932;
  // A code page by its number, as the locales of Windows code pages name their character set
  // ("CP1251"): the table describes it and its texts convert as "CP" and the number.
  if (name.size() > 2 && name.size() <= 7 && name.starts_with("CP") &&
      name.find_first_not_of("0123456789", 2) == std::string::npos) {
    const unsigned codePage = static_cast<unsigned>(std::stoul(name.substr(2)));
    if (codePage != 0) return codePage;
  }
  // ASCII (the C locale), the ISO 8859 sets and the rest: UTF-8, which keeps ASCII as it is.
  return 65001;
}

}  // namespace velmora::platform
