// What a placeholder is and where texts are found in a template. A placeholder is the lead
// (ReplaceLead, "[$_" by default), a field number or a column's name, and the tail (ReplaceTail,
// "_$]"). Leads, tails and whole placeholders are found only where a character starts, so the
// second byte of a double-byte character never begins one. Every search of a template and every
// reading of what stands between a lead and a tail goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/CodePageTable.h"

namespace velmora {

// Position of the next occurrence of needle in [from, size) of haystack, whatever the characters,
// or npos. memchr for the first byte, then one memcmp per candidate: the search that ReplaceAll's
// throughput was measured with.
inline std::size_t FindBytes(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (haystack.size() < needle.size()) return std::string_view::npos;
  const char* base = haystack.data();
  const std::size_t last = haystack.size() - needle.size();
  const char first = needle[0];
  const std::size_t restLength = needle.size() - 1;
  std::size_t pos = from;
  while (pos <= last) {
    const void* hit = std::memchr(base + pos, first, last - pos + 1);
    if (hit == nullptr) return std::string_view::npos;
    pos = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    if (restLength == 0 || std::memcmp(base + pos + 1, needle.data() + 1, restLength) == 0) {
      return pos;
    }
    ++pos;
  }
  return std::string_view::npos;
}

// Where the first occurrence of needle in text at or after from begins that starts a character,
// when characters are counted afresh from known, at or before from (see StartsCharacter): the
// start of text, a place that CountAfreshFrom gave, or under ReplaceAll's rule the end of a match.
// npos when there is none, or when needle is empty. Inline: ReplaceAll calls it once per match,
// and a call into another file cost its every-line benchmark (a match per 42 bytes) 8 % more
// instructions.
inline std::size_t FindAtCharacterStart(std::string_view text, std::string_view needle,
                                        std::size_t known, std::size_t from,
                                        const CodePageTable& table) {
  if (needle.empty()) return std::string_view::npos;
  for (;;) {
    const std::size_t hit = FindBytes(text, needle, from);
    if (hit == std::string_view::npos || !table.HasLeadBytes() ||
        StartsCharacter(text, known, hit, table)) {
      return hit;
    }
    // hit is the second byte of a character, so the next character starts right after it.
    known = hit + 1;
    from = known;
  }
}

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
