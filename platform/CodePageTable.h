// Lead-byte and trail-byte sets of a multibyte code page, and the byte classification that keeps
// the two bytes of a double-byte character together. Portable: what it needs of the system is the
// code page query of Platform.h. The engine and the settings store both build on it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

enum class ByteClass : std::uint8_t { OtherByte, LeadByte, TrailByte };

class CodePageTable {
 public:
  using Ranges = std::vector<std::pair<std::uint8_t, std::uint8_t>>;

  // A table without lead or trail bytes: every byte is a character of its own.
  CodePageTable() = default;

  // The table for a code page: the five East Asian code pages 932, 936, 949, 950 and 1361 by
  // their fixed ranges; any other multibyte code page by the lead ranges that the system reports
  // with trail bytes 0x01-0xFE; single-byte code pages and ones the system cannot describe with
  // no lead or trail bytes at all.
  static CodePageTable ForCodePage(unsigned codePage);

  // A table from explicit inclusive ranges.
  static CodePageTable FromRanges(unsigned codePage, const Ranges& lead, const Ranges& trail);

  bool IsLead(unsigned char byte) const { return (bits_[byte] & kLead) != 0; }
  bool IsTrail(unsigned char byte) const { return (bits_[byte] & kTrail) != 0; }
  bool HasLeadBytes() const { return hasLead_; }
  unsigned CodePage() const { return codePage_; }

  // True when no trail byte is NUL, TAB, a double quote or a comma: then the classification
  // never changes where a field ends or whether a quote counts.
  bool SplitIgnoresClasses() const { return splitIgnoresClasses_; }

 private:
  static constexpr std::uint8_t kLead = 1;
  static constexpr std::uint8_t kTrail = 2;
  std::array<std::uint8_t, 256> bits_{};
  unsigned codePage_ = 0;
  bool hasLead_ = false;
  bool splitIgnoresClasses_ = true;
};

// Fixes the process code page and its table; called once at program start (and by tests).
void SetProcessCodePage(unsigned codePage);
unsigned ProcessCodePage();
const CodePageTable& ProcessCodePageTable();

// Whether the byte is a lead byte of the process code page.
bool IsLeadByte(unsigned char byte);

// Classifies a byte from the class of the byte before it (OtherByte at the start of a line).
ByteClass ClassifyByte(unsigned char byte, ByteClass previous, const CodePageTable& table);
ByteClass ClassifyByte(unsigned char byte, ByteClass previous);

// Whether the byte right before position is a lead byte that starts a character, when characters
// are counted from known, a position known to start one: a trail byte at position is then that
// character's second byte. Looks only at the run of lead bytes right before position: a byte right
// after a lead byte that starts a character never starts one of its own, so in that run the bytes
// that start a character alternate with the ones that do not, and the last one starts a character
// when the run has an odd length.
bool LeadByteBefore(std::string_view text, std::size_t known, std::size_t position,
                    const CodePageTable& table);

// Whether position starts a character of text when characters are counted from known, exactly as
// ClassifyByte classifies the bytes: a lead byte takes the byte after it along only when that byte
// is in the trail set; a lead byte followed by any other byte is a character of its own. The end
// of the text always starts one.
bool StartsCharacter(std::string_view text, std::size_t known, std::size_t position,
                     const CodePageTable& table);

// Steps through text by characters exactly as ClassifyByte classifies its bytes: a lead byte
// takes the byte after it along only when that byte is in the trail set; otherwise the lead byte
// is a character of its own, and so is the byte after it, even when that byte is in the lead set.
// A lone lead byte therefore never hides a "\\", "/" or "." after it. This is the one walk for
// every loop that steps through text by characters:
//   for (CharacterWalk walk(text, table); !walk.Done(); walk.Advance()) { ... }
class CharacterWalk {
 public:
  CharacterWalk(std::string_view text, const CodePageTable& table) : text_(text), table_(table) {
    Measure();
  }
  bool Done() const { return start_ >= text_.size(); }
  // Where the current character starts and ends (one past its last byte).
  std::size_t Start() const { return start_; }
  std::size_t End() const { return end_; }
  // The current character's first byte.
  unsigned char Byte() const { return static_cast<unsigned char>(text_[start_]); }
  void Advance() {
    start_ = end_;
    Measure();
  }

 private:
  void Measure() {
    const bool mayLead = !afterLoneLead_;
    afterLoneLead_ = false;
    end_ = start_ + 1;
    if (start_ + 1 >= text_.size() || !mayLead || !table_.IsLead(Byte())) return;
    if (table_.IsTrail(static_cast<unsigned char>(text_[start_ + 1]))) {
      end_ = start_ + 2;
    } else {
      afterLoneLead_ = true;
    }
  }

  std::string_view text_;
  const CodePageTable& table_;
  std::size_t start_ = 0;
  std::size_t end_ = 0;
  bool afterLoneLead_ = false;
};

}  // namespace velmora
