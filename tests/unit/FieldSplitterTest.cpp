#include "engine/FieldSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

using namespace std::string_literals;

struct SplitCase {
  std::string line;
  char separator;
  std::vector<std::string> fields;
};

// Runs every case through both walks: the plain one (code pages whose trail bytes never hold a
// quote, separator or NUL) and the byte-classifying one.
void ExpectSplits(const CodePageTable& table, const std::vector<SplitCase>& cases) {
  for (const SplitCase& c : cases) {
    FieldList fields;
    SplitFields(c.line, c.separator, table, fields);
    EXPECT_EQ(fields, c.fields) << "line: " << c.line;
  }
}

TEST(FieldSplitter, SplitsAtSeparatorsOutsideQuotes) {
  const std::vector<SplitCase> cases = {
      {"a,b,c", ',', {"a", "b", "c"}},
      {"", ',', {""}},
      {"a,", ',', {"a", ""}},
      {",", ',', {"", ""}},
      {"\"a,b\",c", ',', {"a,b", "c"}},
      {"\"x\"\"y\",z", ',', {"x\"y", "z"}},
      {"ab\"c,d\"e", ',', {"abc,de"}},
      {"a\"\"b", ',', {"ab"}},
      {"\"abc", ',', {"abc"}},
      {"\"a,b", ',', {"a,b"}},
      {"a, \"b\"", ',', {"a", " b"}},
      {"a,b\tc", '\t', {"a,b", "c"}},
      {"a\nb,c\x0b" "d", ',', {"a\nb", "c\x0b" "d"}},
      {"\"\"\"\"", ',', {"\""}},
      {"\"a\"\"\",b", ',', {"a\"", "b"}},
      {"a\0b,c"s, ',', {"a"}},
      {"\"a\0,b\",c"s, ',', {"a"}},
  };
  ExpectSplits(CodePageTable::ForCodePage(932), cases);
  ExpectSplits(CodePageTable::ForCodePage(1252), cases);
}

TEST(FieldSplitter, KeepsDoubleByteCharactersTogetherUnder932) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  ExpectSplits(table, {
      {"\x82\xa0,\x82\xa2", ',', {"\x82\xa0", "\x82\xa2"}},
      // 0x2C is no trail byte: it separates, and the lone lead byte ends the first field.
      {"\x82,\x41", ',', {"\x82", "\x41"}},
      {"a,\x82", ',', {"a", "\x82"}},
      // A trail byte 0x5C (the yen sign's byte) is no special byte at all.
      {"\x83\x5c,\"\x95\x5c\"", ',', {"\x83\x5c", "\x95\x5c"}},
  });
}

TEST(FieldSplitter, TrailBytesHideQuotesAndSeparatorsWhereTheCodePageMakesThemTrails) {
  // A code page of the system's describing kind: lead bytes 0x81-0x9F, trail bytes 0x01-0xFE, so
  // a comma or quote right after a lead byte is that character's second byte.
  const CodePageTable table =
      CodePageTable::FromRanges(50000, {{0x81, 0x9F}}, {{0x01, 0xFE}});
  ASSERT_FALSE(table.SplitIgnoresClasses());
  ExpectSplits(table, {
      {"\x81,a,b", ',', {"\x81,a", "b"}},
      {"\x81\"a,b", ',', {"\x81\"a", "b"}},
      {"\"\x81\",b\"", ',', {"\x81\",b"}},
      {"a\x81", ',', {"a\x81"}},
      // A doubled quote's second quote is not classified: the byte after it starts afresh.
      {"\"\"\"\x81,\"", ',', {"\"\x81,"}},
      {"\x81\0,b"s, ',', {"\x81"}},
      {"a,b", ',', {"a", "b"}},
  });
}

TEST(FieldSplitter, ReusesTheListAcrossRecordsOfDifferentLengths) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  FieldList fields;
  SplitFields("a,b,c,d", ',', table, fields);
  SplitFields("x", ',', table, fields);
  EXPECT_EQ(fields, FieldList{"x"});
  SplitFields("1,2", ',', table, fields);
  EXPECT_EQ(fields, (FieldList{"1", "2"}));
}

}  // namespace
}  // namespace velmora
