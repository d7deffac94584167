// The digit edit's number parse: any text gives a number or nothing without a fault, the result
// agrees with a plain reading of the rules, and every number it gives reads back the same.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/ExchangeNumber.h"
#include "tests/fuzz/Reference.h"

using namespace velmora;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Blanks around an optional "+" and digits, within the first 31 bytes; no "+" before a zero
// value; values beyond 32 bits saturate.
std::optional<std::uint32_t> Expected(std::string_view text) {
  text = text.substr(0, 31);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
  if (text == "0") {
    if (plus) return std::nullopt;
    return 0u;
  }
  if (text.size() > 10) return 4294967295u;
  const unsigned long long value = std::stoull(std::string(text));
  return value > 4294967295ull ? 4294967295u : static_cast<std::uint32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::uint32_t> value = ReadNumberAsDialogExchangeDoes(text);
  reference::Check(value == Expected(text), "the parse differs from the rules");
  if (value) {
    reference::Check(ReadNumberAsDialogExchangeDoes(std::to_string(*value)) == value,
                     "a parsed number does not read back");
  }
  return 0;
}
