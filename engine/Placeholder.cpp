#include "engine/Placeholder.h"

#include <charconv>
#include <cstring>

namespace velmora {

namespace {

// Position of the next occurrence of needle in [from, size) of haystack, or npos. memchr for the
// first byte, then one memcmp per candidate: the search that ReplaceAll's throughput was measured
// with.
std::size_t FindBytes(std::string_view haystack, std::string_view needle, std::size_t from) {
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

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::size_t FindAtCharacterStart(std::string_view text, std::string_view needle,
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

std::size_t CountAfreshFrom(std::string_view text, std::size_t known, std::size_t start,
                            const CodePageTable& table) {
  const bool pairedByAFreshCount = start < text.size() &&
                                   table.IsLead(static_cast<unsigned char>(text[start])) &&
                                   LeadByteBefore(text, known, start, table);
  return pairedByAFreshCount ? start + 1 : start;
}

DigitRun ReadDigits(std::string_view text, std::size_t maxDigits) {
  DigitRun run;
  while (run.length < text.size() && run.length < maxDigits && IsDigit(text[run.length])) {
    ++run.length;
  }
  if (run.length == 0 || (run.length > 1 && text[0] == '0')) return run;
  std::uint32_t number = 0;
  const char* first = text.data();
  // Out of range (above 4294967295) leaves the run without a field number.
  if (std::from_chars(first, first + run.length, number).ec == std::errc()) {
    run.fieldNumber = number;
  }
  return run;
}

bool IsDigitsOnly(std::string_view text) {
  return !text.empty() && ReadDigits(text, text.size()).length == text.size();
}

void AppendFieldPlaceholder(std::string& out, std::string_view lead, std::size_t field,
                            std::string_view tail) {
  char digits[24];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, field);
  out.append(lead);
  out.append(digits, end);
  out.append(tail);
}

std::string NamedPlaceholder(std::string_view lead, std::string_view name, std::string_view tail) {
  std::string placeholder;
  placeholder.reserve(lead.size() + name.size() + tail.size());
  placeholder.append(lead).append(name).append(tail);
  return placeholder;
}

}  // namespace velmora
