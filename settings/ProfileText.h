// The text of a private-profile file, read and edited line by line: sections "[name]", keys
// "name=value", comments ";...", and every other line kept as it stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// ---- Lines of a profile file: the one reading of them that the editor below and the settings
// check share.

// What a line is by the profile rules.
enum class ProfileLineKind {
  Blank,    // empty, blanks only, or a comment (";" first)
  Section,  // "[" first: a section header
  Key,      // "name=value"
  Other,    // none of them: the profile functions pass over it
};

struct ProfileLine {
  ProfileLineKind kind = ProfileLineKind::Blank;
  std::string_view text;   // the line without the blanks at its ends
  std::string_view name;   // a section's or key's name, blanks removed
  std::string_view value;  // a key's value as written, blanks removed, quotes kept
};

// Parses one line (without its line end). A section's name runs to the first "]" or to the end
// of the line; a key's name to the first "=".
ProfileLine ParseProfileLine(std::string_view line);

// A key's value as reading returns it: one pair of matching quotes (" or ') taken off.
std::string_view UnquotedProfileValue(std::string_view value);

// value as a settings file holds it so that reading gives it back as it is: quoted when reading
// would take blanks off its ends or a pair of quotes off it. Nothing, with reason set, for a
// value that no settings file can hold (a line break or NUL in it, or longer than reading takes).
std::optional<std::string> StoredProfileValue(std::string_view value, std::string& reason);

// Where a profile file's first line starts: after a UTF-8 byte-order mark, if there is one.
std::size_t ProfileTextStart(std::string_view text);

// Where the line end that follows position is (CR LF, CR or LF), and where the next line starts.
struct ProfileLineEnd {
  std::size_t at;    // the line end's first byte, or text.size() when the line has none
  std::size_t next;  // the next line's first byte
};
ProfileLineEnd FindProfileLineEnd(std::string_view text, std::size_t position);

// Holds the file's bytes as they are and, beside them, where each section and key line starts
// and which of them are sections: about eight bytes per such line and nothing for blank lines and
// comments, so that a huge file costs a small multiple of its own size. The text is parsed once,
// when it is made; a look-up or change then steps over the section lines to its section and
// parses only the key lines of that section.
class ProfileText {
 public:
  explicit ProfileText(std::string bytes);

  // The value of key in the first section of that name (names compared without regard to ASCII
  // letter case): blanks around it removed and one pair of matching quotes taken off. Nothing
  // when the section or key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  // Sets key in section: replaces the value in the key's own line, or adds the key at the end of
  // its section, or adds the section at the end of the text. A value is cut at a line break, so
  // that it can never make lines of its own.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // The whole text; lines that were not set keep their bytes and line ends, new lines end in CR LF.
  const std::string& Bytes() const { return bytes_; }

 private:
  // The text of the line that starts at begin, without its line end.
  std::string_view LineAt(std::size_t begin) const;
  // Index into lines_ of the first section line of that name, or lines_.size().
  std::size_t FindSection(std::string_view section) const;
  // Puts text in place of the text of line lines_[index], its line end kept.
  void ReplaceLine(std::size_t index, std::string_view text);
  // Inserts a line (text and CR LF) at position, which is where lines_[index] starts or, for
  // index lines_.size(), any position after the last of them.
  void InsertLine(std::size_t position, std::size_t index, std::string_view text);

  std::string bytes_;  // a UTF-8 byte-order mark at the start included, kept as it was
  std::vector<std::size_t> lines_;  // where each section and key line starts, in file order
  std::vector<bool> isSection_;     // for each of lines_: a section line, not a key line
};

// A number read as GetPrivateProfileIntA reads one, which this reproduces, quirks and all: the
// leading characters of value give it (blanks, an optional sign, then decimal digits up to the
// first other byte), converted as a signed 32-bit number that wraps around instead of failing;
// 0 when no digit follows. For the strict reading of a number use platform::ParseDecimal.
std::int32_t ReadLeadingNumberAsProfileDoes(std::string_view value);

// text without the blanks (spaces and TABs) at its ends, as the profile rules read names and
// values.
std::string_view TrimProfileBlanks(std::string_view text);

// Whether two section or key names are one by the profile rules: ASCII letters without regard to
// case, every other byte as it is.
bool SameProfileName(std::string_view a, std::string_view b);

}  // namespace velmora
