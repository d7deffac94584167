// The text of a private-profile file, read and edited line by line: sections "[name]", keys
// "name=value", comments ";...", and every other line kept as it stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class ProfileText {
 public:
  explicit ProfileText(std::string_view bytes);

  // The value of key in the first section of that name (names compared without regard to ASCII
  // letter case): blanks around it removed and one pair of matching quotes taken off. Nothing
  // when the section or key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // Sets key in section: replaces the value in the key's own line, or adds the key at the end of
  // its section, or adds the section at the end of the text. A value is cut at a line break, so
  // that it can never make lines of its own.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole text; lines that were not set keep their bytes and line ends, new lines end in CR LF.
  std::string Bytes() const;

 private:
  enum class Kind { Other, Section, Key };
  struct Line {
    std::string text;    // without its line end
    std::string ending;  // "\r\n", "\n", "\r" or "" for a last line without one
    Kind kind = Kind::Other;
    std::string name;    // section or key name, blanks removed
    std::string value;   // a key's raw value, blanks removed
  };
  static Line Parse(std::string text, std::string ending);
  // Index of the first section line of that name, or size().
  std::size_t FindSection(std::string_view section) const;

  std::string bom_;  // a UTF-8 byte-order mark at the start of the file, kept as it was
  std::vector<Line> lines_;
};

// A number as the leading characters of value give it: blanks, an optional sign, then decimal
// digits, converted as a signed 32-bit number (wrapping around); 0 when no digit follows.
std::int32_t ProfileNumber(std::string_view value);

}  // namespace velmora
