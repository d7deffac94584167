// What a placeholder is and where texts are found in a template. A placeholder is the lead
// (ReplaceLead, "[$_" by default), a field number or a column's name, and the tail (ReplaceTail,
// "_$]"). Leads, tails and whole placeholders are found only where a character starts, so the
// second byte of a double-byte character never begins one. Every search of a template and every
// reading of what stands between a lead and a tail goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/CodePageTable.h"

namespace velmora {

// Where the first occurrence of needle in text at or after from begins that starts a character,
// when characters are counted afresh from known, at or before from (see StartsCharacter): the
// start of text, a place that CountAfreshFrom gave, or under ReplaceAll's rule the end of a match.
// npos when there is none, or when needle is empty.
std::size_t FindAtCharacterStart(std::string_view text, std::string_view needle,
                                 std::size_t known, std::size_t from,
                                 const CodePageTable& table);

// For a search that counts characters from known and found one starting at start: where it may
// count afresh and see the same characters from there on, so that a scan of a whole text never
// walks back over it. That is start itself, unless start is a lead byte right after a lone lead
// byte (one whose next byte is no trail): start is then a character of its own, which a count
// from start could pair with the byte after it, so the count goes on from that byte.
std::size_t CountAfreshFrom(std::string_view text, std::size_t known, std::size_t start,
                            const CodePageTable& table);

// The most digits of a field number: 4294967295 has ten.
inline constexpr std::size_t kMaxFieldNumberDigits = 10;

// The run of ASCII digits at the start of a text, read up to a count of them, and the field
// number those digits write when they write one.
struct DigitRun {
  std::size_t length = 0;                  // the digits read
  std::optional<std::uint32_t> fieldNumber;
};

// Reads the ASCII digits that text starts with, at most maxDigits of them. They write a field
// number when there is at least one, the first is no "0" unless it stands alone, and the value
// fits 32 bits; otherwise fieldNumber is empty. A placeholder's number is read with the default,
// so that no digit beyond the tenth is read.
DigitRun ReadDigits(std::string_view text, std::size_t maxDigits = kMaxFieldNumberDigits);

// Whether text is ASCII digits alone and not empty: a column named like that would read as a
// field number, not as a name.
bool IsDigitsOnly(std::string_view text);

// Appends the placeholder of field (lead, the field number in decimal, tail) to out.
void AppendFieldPlaceholder(std::string& out, std::string_view lead, std::size_t field,
                            std::string_view tail);

// The placeholder of a column's name: lead, name, tail.
std::string NamedPlaceholder(std::string_view lead, std::string_view name, std::string_view tail);

}  // namespace velmora
