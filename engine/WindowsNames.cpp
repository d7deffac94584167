#include "engine/WindowsNames.h"

#include <optional>

#include "engine/PathSyntax.h"

namespace velmora {

namespace {

// The longest device name: "CONOUT$"; COM¹ takes as many bytes in the code pages that spell ¹
// with four (GB18030).
constexpr std::size_t kMaxDeviceNameBytes = 7;

// Tags that start the two kinds of case key, so that a decoded key never equals exact bytes.
constexpr char kDecodedKey = '\x01';
constexpr char kExactKey = '\x02';

bool IsAsciiCharacter(const CharacterWalk& walk, char c) {
  return walk.End() - walk.Start() == 1 && walk.Byte() == static_cast<unsigned char>(c);
}

// The digits that the system accepts after COM and LPT: 0-9, and the superscripts ¹ ² ³ that
// Latin-1 counts as digits.
bool IsDeviceDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

bool IsDeviceBase(std::u16string name) {
  for (char16_t& c : name) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  if (name == u"CON" || name == u"PRN" || name == u"AUX" || name == u"NUL" || name == u"CONIN$" ||
      name == u"CONOUT$") {
    return true;
  }
  return name.size() == 4 && (name.compare(0, 3, u"COM") == 0 || name.compare(0, 3, u"LPT") == 0) &&
         IsDeviceDigit(name[3]);
}

}  // namespace

bool IsWindowsDeviceName(std::string_view component, const CodePageTable& table) {
  // The name ends at its first "." or ":", and blanks before that end count for nothing.
  std::size_t baseEnd = 0;
  for (CharacterWalk walk(component, table); !walk.Done(); walk.Advance()) {
    if (IsAsciiCharacter(walk, '.') || IsAsciiCharacter(walk, ':')) break;
    if (!IsAsciiCharacter(walk, ' ')) baseEnd = walk.End();
  }
  const std::string_view base = component.substr(0, baseEnd);
  if (base.size() < 3 || base.size() > kMaxDeviceNameBytes) return false;
  // The system decodes a name with the code page before it looks for a device, so the name is
  // decoded here the same way rather than matched against a list of spellings per code page:
  // every code page that can spell a superscript digit (1252, 1257, 949, 54936, 65001, ...) is
  // then covered, and no byte that means something else in the run's code page is refused.
  const std::optional<std::u16string> wide = platform::CodePageToUtf16(table.CodePage(), base);
  if (wide) return IsDeviceBase(*wide);
  // Undecodable: only a name in ASCII alone can still be a device.
  std::u16string ascii;
  for (char c : base) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
    ascii.push_back(static_cast<char16_t>(c));
  }
  return IsDeviceBase(ascii);
}

bool EndsInWindowsDeviceName(std::string_view path, const platform::PathRules& rules,
                             const CodePageTable& table) {
  if (!rules.drivesAndUnc) return false;
  path.remove_prefix(DrivePrefixLength(path, rules, table));
  return IsWindowsDeviceName(path.substr(LastComponentStart(path, rules, table)), table);
}

bool HasWindowsStreamColon(std::string_view name, const platform::PathRules& rules,
                           const CodePageTable& table) {
  if (!rules.drivesAndUnc) return false;
  for (CharacterWalk walk(name, table); !walk.Done(); walk.Advance()) {
    if (IsAsciiCharacter(walk, ':')) return true;
  }
  return false;
}

std::string WindowsCaseKey(std::string_view component, const CodePageTable& table) {
  std::optional<std::u16string> upper;
  if (const std::optional<std::u16string> wide =
          platform::CodePageToUtf16(table.CodePage(), component)) {
    upper = platform::FileSystemUpperCase(*wide);
  }
  std::string key;
  if (!upper) {
    key.reserve(component.size() + 1);
    key.push_back(kExactKey);
    key.append(component);
    return key;
  }
  key.reserve(upper->size() * 2 + 1);
  key.push_back(kDecodedKey);
  for (char16_t unit : *upper) {
    key.push_back(static_cast<char>(unit & 0xFF));
    key.push_back(static_cast<char>(unit >> 8));
  }
  return key;
}

}  // namespace velmora
