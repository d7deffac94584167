// The splitter copies runs of ordinary bytes whole where the code page's byte classes can decide
// nothing, and walks byte by byte elsewhere. On lines without lead bytes both walks must give the
// same fields; random lines of quotes, separators and NUL bytes hold them to it.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/FieldSplitter.h"

namespace velmora {
namespace {

TEST(FieldSplitterEquivalence, WholeRunsAndByteWalkGiveTheSameFields) {
  const CodePageTable plain = CodePageTable::ForCodePage(1252);
  // Lead byte 0xF0 only, trail bytes 0x01-0xFE: quotes and separators could be second bytes, so
  // this table takes the byte walk; the lines below hold no 0xF0.
  const CodePageTable classified = CodePageTable::FromRanges(999, {{0xF0, 0xF0}}, {{0x01, 0xFE}});
  ASSERT_TRUE(plain.SplitIgnoresClasses());
  ASSERT_FALSE(classified.SplitIgnoresClasses());
  static const char kBytes[] = {'a', 'b', ',', '\t', '"', '"', ' ', '\n', '\0', '\x82'};
  std::uint64_t state = 99;
  FieldList expected, actual;
  for (int round = 0; round < 20000; ++round) {
    std::string line;
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    for (unsigned n = static_cast<unsigned>(state >> 59); n > 0; --n) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      line.push_back(kBytes[(state >> 33) % sizeof kBytes]);
    }
    for (char separator : {',', '\t'}) {
      SplitFields(line, separator, classified, expected);
      SplitFields(line, separator, plain, actual);
      ASSERT_EQ(actual, expected) << "line of " << line.size() << " bytes, round " << round;
    }
  }
}

}  // namespace
}  // namespace velmora
