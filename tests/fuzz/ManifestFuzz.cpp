// The list of files that --prune keeps, on any text: parsing never faults, and whatever it takes
// it writes back to a text that parses to the same entries, in the same order, under the rules of
// either system.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/PruneManifest.h"
#include "tests/fuzz/Reference.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const CodePageTable cp932 = CodePageTable::ForCodePage(932);
  static const platform::PathRules windows{true, true, '\\', 260};
  static const platform::PathRules posix{false, false, '/', 0};
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const platform::PathRules* rules : {&windows, &posix}) {
    const auto entries = ParseManifest(text, *rules, cp932);
    if (!entries) continue;
    const auto again = ParseManifest(ManifestText(*entries), *rules, cp932);
    if (!again || *again != *entries) reference::Fail("the list does not read back as written");
  }
  return 0;
}
