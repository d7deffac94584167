#include "platform/Platform.h"

#include <cctype>
#include <string>

namespace velmora::platform {

namespace {

// A name with its dashes and underscores dropped and its letters in capitals: "Shift_JIS" and
// "shift-jis" are one name.
std::string NormalizedName(std::string_view name) {
  std::string normal;
  for (char c : name) {
    if (c != '-' && c != '_') normal += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return normal;
}

struct NamedCodePage {
  const char* name;  // normalized
  unsigned codePage;
  bool localeCharset;  // a locale's character set of this name selects the code page
};

// One table for the names a locale reports and the names a user types.
constexpr NamedCodePage kNamedCodePages[] = {
    {"UTF8", 65001, true},      {"SHIFTJIS", 932, true},  {"SJIS", 932, true},
    {"CP932", 932, true},       {"WINDOWS31J", 932, true}, {"MSKANJI", 932, true},
    {"GBK", 936, true},         {"GB2312", 936, true},    {"GB18030", 936, true},
    {"CP936", 936, true},       {"EUCCN", 936, true},     {"EUCKR", 949, true},
    {"CP949", 949, true},       {"UHC", 949, true},       {"BIG5", 950, true},
    {"CP950", 950, true},       {"BIG5HKSCS", 950, true}, {"JOHAB", 1361, true},
    {"CP1361", 1361, true},     {"EUCJP", 20932, true},  {"WINDOWS1252", 1252, false},
    {"CP1252", 1252, false},
};

}  // namespace

unsigned CodePageFromCharsetName(std::string_view charset) {
  const std::string name = NormalizedName(charset);
  for (const NamedCodePage& entry : kNamedCodePages) {
    if (entry.localeCharset && name == entry.name) return entry.codePage;
  }
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

std::optional<unsigned> CodePageFromName(std::string_view name) {
  const std::string normal = NormalizedName(name);
  for (const NamedCodePage& entry : kNamedCodePages) {
    if (normal == entry.name) return entry.codePage;
  }
  return std::nullopt;
}

}  // namespace velmora::platform
