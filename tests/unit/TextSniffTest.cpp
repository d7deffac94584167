#include "engine/TextSniff.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestFiles.h"

namespace velmora {
namespace {

TEST(TextSniff, TellsAByteOrderMarkUtf8AndLfOnlyLineEnds) {
  struct Case {
    const char* name;
    std::string head;
    bool cut;
    bool mark, utf8, lfOnly;
  };
  const Case cases[] = {
      {"empty", "", false, false, false, false},
      {"ASCII records", "a,b\r\nc,d\r\n", false, false, false, false},
      {"code page 932", "\x82\xa0,\x8c\xda\x8bq\r\n", false, false, false, false},
      {"half-width katakana in 932", "\xc3\xbd\xc4\xb0,x\r\n", false, false, false, false},
      {"UTF-8 kana", "a,\xe3\x81\x82\r\n", false, false, true, false},
      {"a mark before ASCII", "\xef\xbb\xbf" "a,b\r\n", false, true, false, false},
      {"a mark before 932", "\xef\xbb\xbf\x82\xa0\r\n", false, true, false, false},
      {"a mark before UTF-8", "\xef\xbb\xbf\xe3\x81\x82", false, true, true, false},
      {"LF only", "a,b\nc,d\n", false, false, false, true},
      {"LF in a field of CR LF records", "a,\"x\ny\"\r\n", false, false, false, false},
      {"a bare CR", "a\rb\n", false, false, false, false},
      // A head cut inside a sequence is still UTF-8; the whole file ending so is not.
      {"cut in a three-byte sequence", "\xe3\x81\x82\xe3\x81", true, false, true, false},
      {"cut after a lead byte", "\xe3\x81\x82\xf0", true, false, true, false},
      {"cut in a four-byte sequence", "\xe3\x81\x82\xf0\x9f\x98", true, false, true, false},
      {"ending in a three-byte sequence", "\xe3\x81\x82\xe3\x81", false, false, false, false},
      {"cut after an invalid byte", "\xe3\x81\x82\x82\xa0", true, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TextSniff sniff = SniffText(c.head, c.cut);
    EXPECT_EQ(sniff.utf8ByteOrderMark, c.mark);
    EXPECT_EQ(sniff.looksUtf8, c.utf8);
    EXPECT_EQ(sniff.lfWithoutCr, c.lfOnly);
  }
}

// Only the first megabyte is read: what lies after it changes nothing, and a sequence that the
// megabyte's end cuts is no fault.
TEST(TextSniff, ReadsOnlyTheFirstMegabyteOfAFile) {
  test::TempDir dir;
  std::string kana;
  while (kana.size() < kSniffBytes) kana += "\xe3\x81\x82";
  ASSERT_NE(kana.size(), kSniffBytes);  // the megabyte ends inside a sequence
  test::WriteBytes(dir / "long.txt", kana + "\x82\xa0\n");
  std::optional<TextSniff> sniff = SniffTextFile(dir / "long.txt");
  ASSERT_TRUE(sniff);
  EXPECT_TRUE(sniff->looksUtf8);
  EXPECT_FALSE(sniff->lfWithoutCr);

  // A file of exactly a megabyte is whole: its unfinished last sequence counts.
  test::WriteBytes(dir / "whole.txt", kana.substr(0, kSniffBytes));
  sniff = SniffTextFile(dir / "whole.txt");
  ASSERT_TRUE(sniff);
  EXPECT_FALSE(sniff->looksUtf8);

  test::WriteBytes(dir / "lf.csv", "a\nb\n");
  sniff = SniffTextFile(dir / "lf.csv");
  ASSERT_TRUE(sniff);
  EXPECT_TRUE(sniff->lfWithoutCr);

  EXPECT_FALSE(SniffTextFile(dir / "missing.csv"));
  EXPECT_FALSE(SniffTextFile(dir.Path().string()));  // a folder
  EXPECT_FALSE(SniffTextFile(""));
}

}  // namespace
}  // namespace velmora
