#include "settings/ExchangeNumber.h"

namespace velmora {

std::optional<std::uint32_t> ReadNumberAsDialogExchangeDoes(std::string_view text) {
  text = text.substr(0, 31);
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '-') return std::nullopt;
  const bool startsWithZero = i < text.size() && text[i] == '0';
  if (i < text.size() && text[i] == '+') ++i;
  std::uint64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (value > UINT32_MAX) value = UINT32_MAX + std::uint64_t{1};
    ++i;
  }
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i != text.size()) return std::nullopt;
  if (value == 0 && !startsWithZero) return std::nullopt;
  return value > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(value);
}

}  // namespace velmora
