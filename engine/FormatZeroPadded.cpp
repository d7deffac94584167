#include "engine/FormatZeroPadded.h"

#include <charconv>

namespace velmora {

std::string FormatZeroPadded(std::uint32_t width, std::int64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  std::size_t length = static_cast<std::size_t>(end - digits);
  if (width <= length) return std::string(digits, length);
  std::string text(width - length, '0');
  text.append(digits, length);
  return text;
}

}  // namespace velmora
