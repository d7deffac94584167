// The merge fills most templates in one pass instead of one pass per field, and translates each
// value in one walk. These tests hold both to their definitions on random templates, values and
// placeholder texts built from the bytes that matter: placeholder pieces, digits, characters that
// HTML escapes, line breaks, and double-byte characters whose second byte is "[" or "\".

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RecordMerger.h"
#include "engine/ReplaceAll.h"

namespace velmora {
namespace {

// The substitution as it is defined, field after field over the whole working copy: a field's
// numbered placeholder, then its column's named one.
std::string FillByDefinition(const std::string& templateText, const FieldList& fields,
                             const GeneratorSettings& s, const CodePageTable& table,
                             const std::vector<std::string>& named = {}) {
  std::string content = templateText;
  const char breakByte = s.FieldBreak == 0 ? '\x0A' : '\x0B';
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::string value;
    AppendTranslatedValue(value, fields[i], s.ReplaceFormat, breakByte, table);
    if (value.empty() && !s.ReplaceDefault.empty()) value = s.ReplaceDefault;
    ReplaceAll(content, s.ReplaceLead + std::to_string(i) + s.ReplaceTail, value, table);
    if (i < named.size()) ReplaceAll(content, named[i], value, table);
  }
  return content;
}

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  unsigned Below(unsigned bound) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<unsigned>((state_ >> 33) % bound);
  }

 private:
  std::uint64_t state_;
};

struct PlaceholderTexts {
  const char* lead;
  const char* tail;
};

const PlaceholderTexts kPlaceholderTexts[] = {
    {"[$_", "_$]"},  {"[$_", ""}, {"", ""},       {"{", "}"},
    {"[", "]"},      {"$", "$"},  {"\x82\xa0", "]"}, {"[", "\x95"},
};

// Column names: plain, Japanese (one ending in "[" as its second byte, one a lone lead byte),
// holding the default lead or tail, or digits next to letters.
const char* const kColumnNames[] = {"a", "name", "\x96\xbc\x91\x4f", "\x89\x5b", "\x82",
                                    "x_$]", "[$_y", "1a", "_"};
constexpr unsigned kColumnNameCount = sizeof kColumnNames / sizeof kColumnNames[0];

// A piece of text: a placeholder of some field or column, a part of one, or bytes that matter.
std::string Piece(Random& random, const PlaceholderTexts& texts, std::size_t fields) {
  const std::string placeholder =
      std::string(texts.lead) +
      (random.Below(3) == 0 ? std::string(kColumnNames[random.Below(kColumnNameCount)])
                            : std::to_string(random.Below(static_cast<unsigned>(fields) + 2))) +
      texts.tail;
  static const char* const kBytes[] = {"a", "b", "1", "0", "_", "$", "[", "]", "&", "<", ">",
                                       "\"", "\n", "\x0b", "\x82\xa0", "\x89\x5b", "\x95\x5c",
                                       "\x82", "\x95", "\xe0\x40"};
  switch (random.Below(6)) {
    case 0:
    case 1:
      return placeholder;
    case 2:
      return placeholder.substr(0, random.Below(static_cast<unsigned>(placeholder.size()) + 1));
    case 3:
      return placeholder.substr(random.Below(static_cast<unsigned>(placeholder.size()) + 1));
    default:
      return kBytes[random.Below(sizeof kBytes / sizeof kBytes[0])];
  }
}

std::string Text(Random& random, const PlaceholderTexts& texts, std::size_t fields,
                 unsigned maxPieces) {
  std::string text;
  for (unsigned n = random.Below(maxPieces + 1); n > 0; --n) text += Piece(random, texts, fields);
  return text;
}

TEST(MergeFillEquivalence, MatchesFieldByFieldSubstitutionOnRandomRecords) {
  const CodePageTable tables[] = {CodePageTable::ForCodePage(932), CodePageTable::ForCodePage(1252),
                                  CodePageTable::ForCodePage(936)};
  Random random(12345);
  for (int round = 0; round < 30000; ++round) {
    const CodePageTable& table = tables[random.Below(3)];
    const PlaceholderTexts& texts =
        kPlaceholderTexts[random.Below(sizeof kPlaceholderTexts / sizeof kPlaceholderTexts[0])];
    GeneratorSettings settings;
    settings.ReplaceLead = texts.lead;
    settings.ReplaceTail = texts.tail;
    settings.ReplaceFormat = static_cast<std::int32_t>(random.Below(2));
    settings.FieldBreak = static_cast<std::int32_t>(random.Below(2));
    settings.ReplaceDefault = random.Below(2) == 0 ? "" : Text(random, texts, 3, 2);
    settings.Output = "out";
    settings.RuleTail = ".txt";
    const std::size_t fieldCount = 1 + random.Below(random.Below(4) == 0 ? 14 : 4);
    std::string templateText = Text(random, texts, fieldCount, 12);
    // Now and then a stretch long enough to be written as a piece of its own.
    if (round % 10 == 0) {
      templateText += std::string(1500, 'x') + Text(random, texts, fieldCount, 4);
    }
    // Several records over one template, so that a plan is reused and one made for a new count.
    RunContext context(settings, templateText, ',', table, platform::NativePathRules());
    // Half the runs read a header: some columns named, some not.
    std::vector<std::string> named;
    if (random.Below(2) == 0) {
      for (std::size_t f = 0, n = random.Below(16); f < n; ++f) {
        named.push_back(random.Below(3) == 0 ? ""
                                             : settings.ReplaceLead +
                                                   kColumnNames[random.Below(kColumnNameCount)] +
                                                   settings.ReplaceTail);
      }
    }
    context.namedPlaceholders = named;
    MergeScratch scratch;
    MergedRecord record;
    FillScratch pieceScratch;
    FilledPieces pieces;
    for (int r = 0; r < 4; ++r) {
      std::string line;
      const std::size_t count = r == 3 ? 1 + random.Below(14) : fieldCount;
      for (std::size_t f = 0; f < count; ++f) {
        if (f > 0) line.push_back(',');
        line += random.Below(4) == 0 ? "" : Text(random, texts, count, 3);
        // Now and then a value long enough for a piece of its own, translated or not.
        if (round % 10 == 5 && f == 0) line += std::string(1100, 'b') + (r % 2 == 0 ? "&" : "");
      }
      BuildMergedRecord(line, static_cast<std::uint32_t>(r + 1), context, scratch, record);
      FieldList fields;
      SplitFields(line, ',', table, fields);
      ASSERT_EQ(record.content, FillByDefinition(templateText, fields, settings, table, named))
          << "round " << round << ", record " << r << ", code page " << table.CodePage();
      // The page in pieces, when the plan gives it, holds the same bytes.
      if (FillTemplatePieces(context, fields, pieceScratch, pieces)) {
        std::string joined;
        for (const std::string_view piece : pieces.pieces) joined += piece;
        ASSERT_EQ(joined, record.content) << "round " << round << ", record " << r;
        ASSERT_EQ(pieces.size, joined.size());
      }
    }
  }
}

// The translation of a value replaces all its bytes in one walk; by definition it is the escaping
// of every "&", double quote, ">", "<" and apostrophe wherever it stands, then the replacement of
// the break byte (the break byte alone in text format).
TEST(MergeFillEquivalence, TranslatesValuesAsTheReplacementsOneAfterAnother) {
  // 932; a single-byte code page; one whose trail bytes include "&", quotes, "<" and the breaks.
  const CodePageTable tables[] = {CodePageTable::ForCodePage(932), CodePageTable::ForCodePage(1252),
                                  CodePageTable::FromRanges(999, {{0x81, 0x9F}}, {{0x01, 0xFE}})};
  static const char kBytes[] = {'a', '&', '"', '>', '<', '\'', '\n', '\x0b', '\r', ';',
                                '\x82', '\x95', '\xa0', '\x5c'};
  Random random(777);
  for (int round = 0; round < 20000; ++round) {
    const CodePageTable& table = tables[random.Below(3)];
    const std::int32_t format = static_cast<std::int32_t>(random.Below(3));
    const char breakByte = random.Below(2) == 0 ? '\x0A' : '\x0B';
    std::string value;
    // Every fourth value long and mostly plain, so that what is replaced may stand past the
    // first sixteen bytes.
    const bool sparse = round % 4 == 0;
    for (unsigned n = random.Below(sparse ? 60 : 12); n > 0; --n) {
      value.push_back(sparse && random.Below(10) != 0 ? 'a' : kBytes[random.Below(sizeof kBytes)]);
    }
    std::string expected = value;
    const std::string breakText(1, breakByte);
    if (format == 0) {
      // No character of the text protects these bytes: a lone lead byte must not hide a "<".
      const CodePageTable singleByte;
      ReplaceAll(expected, "&", "&amp;", singleByte);
      ReplaceAll(expected, "\"", "&quot;", singleByte);
      ReplaceAll(expected, ">", "&gt;", singleByte);
      ReplaceAll(expected, "<", "&lt;", singleByte);
      ReplaceAll(expected, "'", "&#39;", singleByte);
      ReplaceAll(expected, breakText, "<br>", table);
    } else {
      ReplaceAll(expected, breakText, "\r\n", table);
    }
    std::string actual;
    AppendTranslatedValue(actual, value, format, breakByte, table);
    ASSERT_EQ(actual, expected) << "round " << round;
  }
}

TEST(MergeFillEquivalence, KeepsFieldByFieldResultsThatOnePassWouldMiss) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  struct Case {
    const char* templateText;
    const char* line;
    const char* tail;
    const char* expected;
  };
  const Case cases[] = {
      // A value that holds a later placeholder has it replaced in turn.
      {"<[$_0_$]>", "[$_1_$],x", "_$]", "<x>"},
      // The template and a value together form a later placeholder.
      {"[$_[$_0_$]", "1_$],y", "_$]", "y"},
      // With an empty tail field 1's placeholder is the start of field 10's.
      {"[$_10|[$_1", "a,b,c,d,e,f,g,h,i,j,k", "", "b0|b"},
      // A value that ends in a lone lead byte takes the next "[" as its second byte.
      {"[$_0_$][$_1_$]", "\x82,z", "_$]", "\x82[$_1_$]"},
  };
  for (const Case& c : cases) {
    GeneratorSettings settings;
    settings.ReplaceLead = "[$_";
    settings.ReplaceTail = c.tail;
    settings.ReplaceFormat = 1;
    settings.Output = "out";
    RunContext context(settings, c.templateText, ',', table, platform::NativePathRules());
    MergeScratch scratch;
    MergedRecord record;
    std::string line = c.line;
    BuildMergedRecord(line, 1, context, scratch, record);
    EXPECT_EQ(record.content, c.expected) << c.templateText << " with " << c.line;
  }
}

}  // namespace
}  // namespace velmora
