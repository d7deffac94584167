#include "engine/Placeholder.h"

#include <charconv>

namespace velmora {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

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
