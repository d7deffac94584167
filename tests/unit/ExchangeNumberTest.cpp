#include "settings/ExchangeNumber.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora {
namespace {

TEST(ExchangeNumber, ParsesTheDigitEditByTheExchangeRules) {
  struct Case {
    std::string text;
    std::optional<std::uint32_t> value;
  };
  const Case cases[] = {
      {"7", 7u},
      {" 7 ", 7u},
      {"\t7\t", 7u},
      {"+7", 7u},
      {"007", 7u},
      {"0", 0u},
      {"300", 300u},
      {"12345678901", 4294967295u},
      {"4294967295", 4294967295u},
      {"4294967296", 4294967295u},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"+0", std::nullopt},
      {"-1", std::nullopt},
      {" -0", std::nullopt},
      {"0x10", std::nullopt},
      {"7a", std::nullopt},
      {"1 2", std::nullopt},
      // Only the first 31 bytes are read: what follows them does not count.
      {std::string(30, ' ') + "5" + "junk", 5u},
      {std::string(31, ' ') + "5", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadNumberAsDialogExchangeDoes(c.text), c.value) << "'" << c.text << "'";
}

}  // namespace
}  // namespace velmora
