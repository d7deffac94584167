#include "platform/CodePageTable.h"
#include "platform/Platform.h"

#include "engine/ByteScan.h"
#include "engine/TextCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace velmora {
namespace {

struct ClassCase {
  unsigned codePage;
  unsigned char byte;
  bool lead;
  bool trail;
};

TEST(CodePageTable, NamedCodePagesHaveTheirFixedRanges) {
  const ClassCase cases[] = {
      {932, 0x80, false, true},  {932, 0x81, true, true},   {932, 0x9F, true, true},
      {932, 0xA0, false, true},  {932, 0xDF, false, true},  {932, 0xE0, true, true},
      {932, 0xFC, true, true},   {932, 0xFD, false, false}, {932, 0x40, false, true},
      {932, 0x7F, false, false}, {932, 0x3F, false, false}, {936, 0x81, true, true},
      {936, 0xFE, true, true},   {936, 0xFF, false, false}, {936, 0x40, false, true},
      {949, 0x40, false, false}, {949, 0x41, false, true},  {950, 0x7F, false, false},
      {950, 0xA0, true, false}, {950, 0xA1, true, true},   {1361, 0xD4, false, true},
      {1361, 0xD8, true, true},  {1361, 0xDF, false, true}, {1361, 0xFA, false, true},
      {1361, 0x31, false, true}, {1361, 0x30, false, false},
  };
  for (const ClassCase& c : cases) {
    CodePageTable table = CodePageTable::ForCodePage(c.codePage);
    EXPECT_EQ(table.IsLead(c.byte), c.lead) << c.codePage << " byte " << int(c.byte);
    EXPECT_EQ(table.IsTrail(c.byte), c.trail) << c.codePage << " byte " << int(c.byte);
  }
}

// The character set that the locale names (nl_langinfo(CODESET) on Linux and macOS) gives the
// code page of texts and data when --code-page does not.
TEST(CodePageTable, LocaleCharacterSetsGiveTheCodePagesOfTheTable) {
  struct Case {
    const char* charset;
    unsigned codePage;
  };
  const Case cases[] = {
      {"UTF-8", 65001},       {"utf8", 65001},       {"SHIFT_JIS", 932},   {"SJIS", 932},
      {"CP932", 932},         {"WINDOWS-31J", 932},  {"GBK", 936},         {"GB18030", 936},
      {"eucCN", 936},         {"EUC-KR", 949},       {"BIG5-HKSCS", 950},  {"JOHAB", 1361},
      {"EUC-JP", 20932},      {"eucJP", 20932},      {"EUC_JP", 20932},    {"CP1251", 1251},
      {"CP1255", 1255},       {"CP0", 65001},        {"CP", 65001},        {"CP12345678", 65001},
      {"ANSI_X3.4-1968", 65001}, {"US-ASCII", 65001}, {"ISO-8859-1", 65001}, {"KOI8-R", 65001},
      {"", 65001},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::CodePageFromCharsetName(c.charset), c.codePage) << c.charset;
  }
}

TEST(CodePageTable, FindsTheFirstByteThatIsNoTextOfTheCodePage) {
  constexpr std::size_t kWhole = std::string_view::npos;
  struct Case {
    unsigned codePage;
    std::string text;
    std::size_t malformed;
    Utf8Look look;
    bool utf8Evidence;  // LooksLikeUtf8
  };
  const std::vector<Case> cases = {
      {932, "plain ascii text, longer than a word", kWhole, Utf8Look::Ascii, false},
      {932, "\x82\xa0\x83\x5c", kWhole, Utf8Look::NotUtf8, false},
      {932, "abcdefghij\x82", 10, Utf8Look::NotUtf8, false},   // a lone lead byte at the end
      {932, "\x82\xa0\x82\n\x82\xa0", 2, Utf8Look::NotUtf8, false},  // a lead byte before LF
      {932, "\x82 \x82\xa0", 0, Utf8Look::NotUtf8, false},    // a lead byte before a blank
      // Past a block of sixteen bytes: a trail byte of the lead set before LF, then a lone lead.
      {932, "\x82\xe9\x82\xe9\x82\xe9\x82\xe9\x82\xe9\x82\xe9\x82\xe9\x82\xe9\x82\xe9\n"
            "abcdefghijklmnopqrstuvwxyz\x82\xa0\x82",
       47, Utf8Look::NotUtf8, false},
      {932, "\xe5\x86\x86", 2, Utf8Look::Utf8, true},         // UTF-8 that 932 cannot take
      {932, "\xe4\xbe\xa1", kWhole, Utf8Look::Utf8, true},    // UTF-8 that 932 takes as well
      // Half-width katakana in 932 that pair up as two-byte UTF-8: no evidence of UTF-8.
      {932, "\xc3\xbd,\xc3\xbd\xc4\xb0", kWhole, Utf8Look::Utf8, false},
      {932, "\xc3\xbd\xe3\x81\x82", 4, Utf8Look::Utf8, true},  // then a three-byte sequence
      {1252, "\x82\xff", kWhole, Utf8Look::NotUtf8, false},
      {65001, "\xe5\x86\x86 ok", kWhole, Utf8Look::Utf8, true},
      {65001, "ok \x82\xa0", 3, Utf8Look::NotUtf8, false},
      {65001, "\xe3\x81\x82\xc0\xaf", 3, Utf8Look::NotUtf8, false},  // an overlong "/" after
      {65001, "\xc0\xaf", 0, Utf8Look::NotUtf8, false},         // an overlong "/"
      {65001, "ab\xed\xa0\x80", 2, Utf8Look::NotUtf8, false},  // a surrogate
      {65001, "\xf4\x90\x80\x80", 0, Utf8Look::NotUtf8, false},  // past U+10FFFF
      {65001, "\xf0\x9f\x98\x80", kWhole, Utf8Look::Utf8, true},
      {65001, "\xe5\x86", 0, Utf8Look::NotUtf8, false},         // cut at the end
  };
  for (const Case& c : cases) {
    const CodePageTable table = CodePageTable::ForCodePage(c.codePage);
    EXPECT_EQ(FirstMalformedByte(c.text, table), c.malformed) << c.codePage << " " << c.text;
    if (table.HasLeadBytes()) {
      EXPECT_EQ(FirstLoneLeadByte(c.text, table), c.malformed) << c.text;
    }
    EXPECT_EQ(LookAsUtf8(c.text), c.look) << c.text;
    EXPECT_EQ(LooksLikeUtf8(c.text), c.utf8Evidence) << c.text;
  }
}

// The sixteen-byte searches give what a walk byte by byte gives, wherever in a block, or across
// two, what they look for stands.
TEST(ByteScan, FindsWhatAWalkByteByByteFinds) {
  const ByteSet html("&\"><'\n");
  const std::string_view wanted = "&\"><'\n";
  unsigned seed = 11;
  for (int round = 0; round < 5000; ++round) {
    std::string text(static_cast<std::size_t>(round % 70), 'a');
    for (char& c : text) {
      seed = seed * 1103515245u + 12345u;
      const unsigned pick = (seed >> 16) % 40;
      if (pick < 6) c = "\r\n<&\x82\xff"[pick];
    }
    std::size_t ends = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) ++ends;
    }
    EXPECT_EQ(CountLineEnds(text), ends) << ::testing::PrintToString(text);
    EXPECT_EQ(html.FindIn(text), std::min(text.find_first_of(wanted), text.size()))
        << ::testing::PrintToString(text);
    std::size_t ascii = 0;
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    EXPECT_EQ(SkipAscii(text, 0), ascii) << ::testing::PrintToString(text);
  }
}

TEST(CodePageTable, SingleByteAndUtf8CodePagesHaveNoLeadBytes) {
  for (unsigned codePage : {1252u, 437u, 65001u}) {
    CodePageTable table = CodePageTable::ForCodePage(codePage);
    EXPECT_FALSE(table.HasLeadBytes()) << codePage;
    for (unsigned b = 0; b < 256; ++b) {
      EXPECT_FALSE(table.IsLead(static_cast<unsigned char>(b))) << codePage << " " << b;
    }
  }
}

TEST(CodePageTable, ClassifiesByteAfterLeadAsTrailOnlyWhenInTrailSet) {
  CodePageTable table = CodePageTable::ForCodePage(932);
  EXPECT_EQ(ClassifyByte(0x82, ByteClass::OtherByte, table), ByteClass::LeadByte);
  EXPECT_EQ(ClassifyByte(0xA0, ByteClass::LeadByte, table), ByteClass::TrailByte);
  EXPECT_EQ(ClassifyByte(0x2C, ByteClass::LeadByte, table), ByteClass::OtherByte);
  // A lead-range byte right after a lead byte is its trail, never a lead of its own.
  EXPECT_EQ(ClassifyByte(0x82, ByteClass::LeadByte, table), ByteClass::TrailByte);
  EXPECT_EQ(ClassifyByte(0x82, ByteClass::TrailByte, table), ByteClass::LeadByte);
  EXPECT_EQ(ClassifyByte(0x41, ByteClass::TrailByte, table), ByteClass::OtherByte);
}

// The search for character starts looks only backwards from a position; it must agree with the
// splitter's walk from the start of the text at every position.
TEST(CodePageTable, FindsCharacterStartsExactlyWhereTheSplittersWalkDoes) {
  const CodePageTable tables[] = {
      CodePageTable::ForCodePage(932), CodePageTable::ForCodePage(936),
      CodePageTable::ForCodePage(949), CodePageTable::ForCodePage(950),
      CodePageTable::ForCodePage(1361),
      CodePageTable::FromRanges(51000, {{0x81, 0x9F}}, {{0x01, 0xFE}})};
  // Lead bytes that are trail bytes too or not (0x81 under 950), trail bytes that are no lead
  // bytes, and bytes that are neither.
  const char alphabet[] = {'\x81', '\x82', '\xa1', '\xa0', '@', '0', '1', '<', '\n', '\xff'};
  unsigned seed = 7;
  for (const CodePageTable& table : tables) {
    for (int round = 0; round < 2000; ++round) {
      // Long enough for the text check's blocks of sixteen bytes, with ASCII stretches to skip.
      std::string text(1 + round % 9 + (round % 5 == 0 ? 40 : 0), ' ');
      for (char& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = alphabet[(seed >> 16) % sizeof alphabet];
      }
      // The text check's fast loop finds the lone lead byte that the walk finds.
      ASSERT_EQ(FirstMalformedByte(text, table), FirstLoneLeadByte(text, table))
          << table.CodePage() << " " << ::testing::PrintToString(text);
      // The character walk stops exactly at the bytes that start a character.
      std::vector<bool> walkStarts(text.size(), false);
      for (CharacterWalk walk(text, table); !walk.Done(); walk.Advance()) {
        walkStarts[walk.Start()] = true;
      }
      ByteClass previous = ByteClass::OtherByte;
      for (std::size_t i = 0; i < text.size(); ++i) {
        const ByteClass cls = ClassifyByte(static_cast<unsigned char>(text[i]), previous, table);
        ASSERT_EQ(StartsCharacter(text, 0, i, table), cls != ByteClass::TrailByte)
            << table.CodePage() << " at " << i << " of " << ::testing::PrintToString(text);
        ASSERT_EQ(LeadByteBefore(text, 0, i + 1, table), cls == ByteClass::LeadByte);
        ASSERT_EQ(walkStarts[i], cls != ByteClass::TrailByte)
            << table.CodePage() << " at " << i << " of " << ::testing::PrintToString(text);
        previous = cls;
      }
    }
  }
}

}  // namespace
}  // namespace velmora
