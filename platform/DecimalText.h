// Plain decimal numbers in text, read the one strict way: nothing but the digits 0 to 9, at least
// one of them. Readers that must copy a system function's leniency (leading blanks, a sign, digits
// up to the first other byte) keep their own rule beside that function's name.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace velmora::platform {

// The value of text when it is one or more decimal digits and nothing else (no blank, no sign),
// and the value is at most max; nothing otherwise. Leading zeros are allowed. Never overflows:
// a text of any length beyond max fails.
constexpr std::optional<std::uint64_t> ParseDecimal(
    std::string_view text, std::uint64_t max = std::numeric_limits<std::uint64_t>::max()) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace velmora::platform
