#include "engine/OutputPath.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora {
namespace {

const platform::PathRules kWindows{true, true, '\\', 260};
const platform::PathRules kPosix{false, false, '/', 0};

TEST(OutputPath, RefusesNamesThatLeadOutsideTheFolder) {
  struct Case {
    const char* name;
    bool windows;
    bool posix;
    unsigned codePage = 932;
  };
  const Case cases[] = {
      {"page.html", true, true},
      {"sub/page.html", true, true},
      {"sub\\page.html", true, true},  // a plain name elsewhere
      {"", false, false},
      {"/etc/passwd", false, false},
      {"\\Windows\\x", false, true},
      {"\\\\server\\share\\x", false, true},
      {"C:\\x.html", false, true},
      {"C:x.html", false, true},
      {"..", false, false},
      {"../x", false, false},
      {"a/../../x", false, false},
      {"a\\..\\x", false, true},
      {".. \\x", false, true},  // Windows drops the trailing blank
      {"...", false, true},
      {"a..b", true, true},
      {"..a", true, true},
      {".", true, true},
      // 0x5C after a lead byte is the second byte of a character, not a separator.
      {"\x83\x5c..", true, true},
      {"\x83\x5c\\..", false, true},
      // ":" after a lead byte is no drive; in code page 932 it is no second byte either, so it
      // stands as a colon. Where it is a second byte (code page 1361), it is neither.
      {"\x83:x", false, true},
      {"\x88:x", true, true, 1361},
      // A colon names an alternate data stream on NTFS: "b.html" of the file "a".
      {"a:b.html", false, true},
      {"sub/page.html:x", false, true},
      {"sub:/x", false, true},
  };
  for (const Case& c : cases) {
    const CodePageTable table = CodePageTable::ForCodePage(c.codePage);
    EXPECT_EQ(IsSafeOutputName(c.name, kWindows, table), c.windows) << c.name;
    EXPECT_EQ(IsSafeOutputName(c.name, kPosix, table), c.posix) << c.name;
  }
}

TEST(OutputPath, JoinsWithOneSeparatorWhetherOrNotTheFolderEndsInOne) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  struct Case {
    const char* folder;
    const platform::PathRules* rules;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\out", &kWindows, "C:\\out\\p.html"},
      {"C:\\out\\", &kWindows, "C:\\out\\p.html"},
      {"C:\\out/", &kWindows, "C:\\out/p.html"},
      // The folder ends in a character whose second byte is 0x5C: it still needs a separator.
      {"C:\\\x83\x5c", &kWindows, "C:\\\x83\x5c\\p.html"},
      {"", &kWindows, "p.html"},
      {"/tmp/out", &kPosix, "/tmp/out/p.html"},
      {"/tmp/out/", &kPosix, "/tmp/out/p.html"},
      {"out\\", &kPosix, "out\\/p.html"},
  };
  for (const Case& c : cases) {
    std::optional<std::string> path = JoinOutputPath(c.folder, "p.html", *c.rules, table);
    ASSERT_TRUE(path.has_value()) << c.folder;
    EXPECT_EQ(*path, c.expected);
  }
}

TEST(OutputPath, RefusesAJoinThatDoesNotFitThePathBuffer) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  const std::string folder = "C:\\" + std::string(250, 'f');
  EXPECT_TRUE(JoinOutputPath(folder, "12345", kWindows, table).has_value());  // 259 bytes
  EXPECT_FALSE(JoinOutputPath(folder, "123456", kWindows, table).has_value());
  EXPECT_TRUE(JoinOutputPath("/" + std::string(300, 'f'), "x", kPosix, table).has_value());
}

}  // namespace
}  // namespace velmora
