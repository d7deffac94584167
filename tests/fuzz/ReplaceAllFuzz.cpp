// ReplaceAll against the simple rules: both must give the same bytes and the same count, under
// every code page of the table, for texts, search texts and replacements of any bytes. The
// translation of a field value against its replacements one after another, on the same text.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/TemplateFill.h"
#include "engine/ReplaceAll.h"
#include "tests/fuzz/Reference.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const CodePageTable table = reference::PickTable(provider.ConsumeIntegral<std::uint8_t>(),
                                                   provider.ConsumeIntegral<std::uint8_t>(),
                                                   provider.ConsumeIntegral<std::uint8_t>());
  const std::string oldText = provider.ConsumeRandomLengthString(16);
  const std::string newText = provider.ConsumeRandomLengthString(32);
  const std::string original = provider.ConsumeRemainingBytesAsString();

  std::size_t expectedCount = 0;
  const std::string expected =
      reference::ReplaceAll(original, oldText, newText, table, expectedCount);
  std::string text = original;
  const std::size_t count = ReplaceAll(text, oldText, newText, table);
  reference::Check(text == expected, "ReplaceAll differs from the rules");
  reference::Check(count == expectedCount, "ReplaceAll counts differently from the rules");

  for (std::int32_t format = 0; format < 2; ++format) {
    for (char breakByte : {'\x0A', '\x0B'}) {
      std::string value;
      AppendTranslatedValue(value, original, format, breakByte, table);
      reference::Check(value == reference::TranslateValue(original, format, breakByte, table),
                       "the translation of a value differs from the rules");
    }
  }

  return 0;
}
