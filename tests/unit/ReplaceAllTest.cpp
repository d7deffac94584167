#include "engine/ReplaceAll.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "cli/RunFindings.h"
#include "engine/ColumnNames.h"
#include "engine/FormatZeroPadded.h"
#include "engine/Placeholder.h"

namespace velmora {
namespace {

using namespace std::string_literals;

std::string Replaced(std::string text, const std::string& oldText, const std::string& newText,
                     const CodePageTable& table) {
  ReplaceAll(text, oldText, newText, table);
  return text;
}

// The rule written out as plainly as possible: classify the bytes as the field splitter does,
// from the start and from the byte after each match, and try a match wherever a byte is no trail.
std::string Reference(const std::string& text, const std::string& oldText,
                      const std::string& newText, const CodePageTable& table) {
  if (oldText.empty()) return text;
  std::string out;
  ByteClass previous = ByteClass::OtherByte;
  std::size_t i = 0;
  while (i < text.size()) {
    const ByteClass cls = ClassifyByte(static_cast<unsigned char>(text[i]), previous, table);
    if (cls != ByteClass::TrailByte && text.compare(i, oldText.size(), oldText) == 0) {
      out += newText;
      i += oldText.size();
      previous = ByteClass::OtherByte;
      continue;
    }
    out += text[i++];
    previous = cls;
  }
  return out;
}

TEST(ReplaceAll, ReplacesEveryNonOverlappingOccurrenceLeftToRight) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  struct Case {
    std::string text, oldText, newText, expected;
  };
  const Case cases[] = {
      {"aaa", "aa", "b", "ba"},
      {"abcabc", "b", "", "acac"},
      {"abc", "", "x", "abc"},
      {"", "a", "x", ""},
      {"a", "abc", "x", "a"},
      {"xAx", "a", "b", "xAx"},
      {"aXa", "a", "aa", "aaXaa"},  // inserted text is not scanned again
      {"<a&b>", "&", "&amp;", "<a&amp;b>"},
      {"a\0b a"s, "a", "c", "c\0b c"s},  // NUL is an ordinary byte
      {"[$_1_$][$_1_$]", "[$_1_$]", "v", "vv"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Replaced(c.text, c.oldText, c.newText, table), c.expected) << c.text;
  }
}

TEST(ReplaceAll, NeverStartsAMatchOnTheSecondByteOfACharacter) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  // 0x83 0x5B is a double-byte character whose second byte is "[".
  EXPECT_EQ(Replaced("\x83[$_0_$]", "[$_0_$]", "v", table), "\x83[$_0_$]");
  EXPECT_EQ(Replaced("\x83[[$_0_$]", "[$_0_$]", "v", table), "\x83[v");
  // Two lead-range bytes: the second is the first one's trail, so "A" after them is a start.
  EXPECT_EQ(Replaced("\x81\x81" "A", "A", "b", table), "\x81\x81" "b");
  EXPECT_EQ(Replaced("\x81\x81\x81" "A", "A", "b", table), "\x81\x81\x81" "A");
  // Counting starts afresh after a match.
  EXPECT_EQ(Replaced("x\x81" "AA", "x\x81", "", table), "AA");
  EXPECT_EQ(Replaced("\x81" "A\x81" "A", "A", "b", table), "\x81" "A\x81" "A");
  // A lead byte followed by a byte outside the trail set is a character of its own, and the byte
  // after it starts the next one.
  EXPECT_EQ(Replaced("\x82$_0_$", "$_0_$", "v", table), "\x82v");
  EXPECT_EQ(Replaced("\x82\x0a", "\x0a", "<br>", table), "\x82<br>");
  EXPECT_EQ(Replaced("\x82\xfd\x82\x0a", "\x0a", "<br>", table), "\x82\xfd\x82<br>");
  // Code page 950: 0x81 is a lead byte but no trail byte, so a second 0x81 after a first one is
  // a character of its own, where a match may start.
  EXPECT_EQ(Replaced("\x81\x81" "A", "\x81" "A", "b", CodePageTable::ForCodePage(950)), "\x81" "b");
  // Under a code page without lead bytes every byte position is a candidate.
  EXPECT_EQ(Replaced("\x83[$_0_$]", "[$_0_$]", "v", CodePageTable::ForCodePage(65001)),
            "\x83v");
}

TEST(ReplaceAll, AgreesWithTheCharacterByCharacterRuleOnRandomText) {
  const CodePageTable tables[] = {CodePageTable::ForCodePage(932),
                                  CodePageTable::ForCodePage(936),
                                  CodePageTable::ForCodePage(950),
                                  CodePageTable::ForCodePage(65001)};
  std::mt19937 random(12345);
  const char alphabet[] = {'a', 'b', '[', '\x81', '\x82', '\x9f', '\xe0', '\0', 'A', '<', '\xa1'};
  auto randomText = [&](std::size_t maxLength) {
    std::string text(random() % (maxLength + 1), ' ');
    for (char& c : text) c = alphabet[random() % sizeof alphabet];
    return text;
  };
  for (const CodePageTable& table : tables) {
    for (int i = 0; i < 3000; ++i) {
      std::string text = randomText(40);
      std::string oldText = randomText(3);
      std::string newText = randomText(4);
      if (!oldText.empty() && oldText.find('\0') != std::string::npos) continue;
      EXPECT_EQ(Replaced(text, oldText, newText, table), Reference(text, oldText, newText, table))
          << "code page " << table.CodePage();
    }
  }
}

TEST(Placeholder, ReadsFieldNumbersAsPlaceholdersWriteThem) {
  struct Case {
    std::string text;
    std::size_t length;
    std::optional<std::uint32_t> field;
  };
  const Case cases[] = {
      {"0_$]", 1, 0u},
      {"07", 2, std::nullopt},  // a leading zero writes no field number
      {"4294967295", 10, 4294967295u},
      {"4294967296", 10, std::nullopt},
      {"12345678901", 10, 1234567890u},  // no digit beyond the tenth is read
      {"_$]", 0, std::nullopt},
      {"", 0, std::nullopt},
  };
  for (const Case& c : cases) {
    const DigitRun run = ReadDigits(c.text);
    EXPECT_EQ(run.length, c.length) << c.text;
    EXPECT_EQ(run.fieldNumber, c.field) << c.text;
  }
  EXPECT_TRUE(IsDigitsOnly("007"));
  EXPECT_TRUE(IsDigitsOnly("123456789012345678901234567890"));
  EXPECT_FALSE(IsDigitsOnly(""));
  EXPECT_FALSE(IsDigitsOnly("12a"));
}

// The scans of a whole template for numbered placeholders and for names that no column has find
// leads and tails where a character starts, counting from the template's start.
TEST(Placeholder, TemplateScansFindLeadsAndTailsOnlyWhereACharacterStarts) {
  struct Case {
    unsigned codePage;
    std::string templateText, lead, tail;
    std::vector<std::string> numbered, unknownNames;
  };
  const Case cases[] = {
      {932, "[$_0_$][$_price_$][$_0_$][$_3_$]", "[$_", "_$]", {"[$_0_$]", "[$_3_$]"},
       {"[$_price_$]"}},
      {932, "[$_01_$][$_4294967296_$][$_4294967295_$][$_a\r_$]", "[$_", "_$]",
       {"[$_4294967295_$]"}, {}},
      // 0x83 0x5B is a double-byte character whose second byte is "[".
      {932, "\x83[$_1_$]\x83[$_x_$][$_2_$]", "[$_", "_$]", {"[$_2_$]"}, {}},
      // Code page 950: 0x84 is a lead byte but no trail byte, so the second 0x84 is a character
      // of its own, and the "]" after it starts one too: the name between them is empty.
      {950, "\x84\x84]a]", "\x84", "]", {}, {}},
      {950, "\x84\x84" "b]a]", "\x84", "]", {}, {"\x84" "b]"}},
  };
  const ColumnNames noColumns = ReadColumnNames({});
  for (const Case& c : cases) {
    const CodePageTable table = CodePageTable::ForCodePage(c.codePage);
    std::vector<std::string> numbered;
    for (const PlaceholderText& p : PlaceholdersOf(c.templateText, c.lead, c.tail, table)) {
      numbered.push_back(p.text);
    }
    EXPECT_EQ(numbered, c.numbered) << c.templateText;
    EXPECT_EQ(UnknownNamedPlaceholders(c.templateText, c.lead, c.tail, noColumns, table),
              c.unknownNames)
        << c.templateText;
  }
}

TEST(FormatZeroPadded, PadsToTheWidthAndNeverCuts) {
  struct Case {
    std::uint32_t width;
    std::int64_t value;
    std::string expected;
  };
  const Case cases[] = {
      {4, 12, "0012"}, {0, 12, "12"},     {1, 12, "12"},  {3, 1000, "1000"},
      {2, 0, "00"},    {5, -3, "000-3"}, {0, 0, "0"},    {10, 4294967295, "4294967295"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatZeroPadded(c.width, c.value), c.expected) << c.width << " " << c.value;
  }
}

}  // namespace
}  // namespace velmora
