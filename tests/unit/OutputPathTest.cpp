#include "engine/OutputPath.h"
#include "engine/ContentHash.h"
#include "engine/OutputPrune.h"
#include "engine/PruneManifest.h"
#include "engine/WindowsNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/TestFiles.h"

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
      {" . . /x", false, true},  // dots and blanks alone, two dots: the parent on Windows
      {" . /x", true, true},
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
      // A lead byte takes only a trail byte along: 0x5C is one, "/" and "." are not, so after a
      // lone lead byte they are characters of their own and "/" separates.
      {"\x82\\..", true, true},
      {"\x82/..", false, false},
      {"\x82.\\..", false, true},
      {"sub/\x82/../..", false, false},
      {"..\x82", true, true},
      {"sub/\x82", true, true},
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
      // A lone lead byte before "/" or "." or at the end keeps no separator from counting.
      {"/tmp/\x82/", &kPosix, "/tmp/\x82/p.html"},
      {"/tmp/\x82.", &kPosix, "/tmp/\x82./p.html"},
      {"/tmp/\x82", &kPosix, "/tmp/\x82/p.html"},
      {"C:\\\x82\\", &kWindows, "C:\\\x82\\\\p.html"},
      {"C:\\\x82/", &kWindows, "C:\\\x82/p.html"},
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

TEST(OutputPath, KeysNamesAsTheFileSystemCompares) {
#ifdef _WIN32
  const bool foldsBeyondAscii = true;  // the system's uppercase table
#else
  const bool foldsBeyondAscii = false;  // no such table here: exact bytes
#endif
  struct Case {
    const char* a;
    const char* b;
    bool sameOnPosix;
    bool sameOnWindows;
    unsigned codePage = 932;
  };
  const Case cases[] = {
      {"out/a.html", "out/a.html", true, true},
      {"out/A.html", "out/a.html", false, true},
      {"OUT\\Sub/X.HTML", "out/sub\\x.html", false, true},
      {"out/a.html.", "out/a.html", false, true},
      {"out/a.html .. ", "out/a.html", false, true},
      {"out/sub. /a", "out/sub/a", false, true},
      {"out//a", "out/./a", true, true},
      {"/abs/a", "abs/a", false, false},
      {"out/..", "out", false, false},
      // Double-byte characters whose second bytes are a letter or "\\" are never folded or split.
      {"out/\x83\x41.html", "out/\x83\x61.html", false, false},
      {"out/\x83\x5c.html", "out/\x83/.html", false, false},
      {"out/\xe9\x41.html", "out/\xe9\x41.html", true, true},
      {"out/\xc3\xa9.html", "out/\xc3\x89.html", false, false},  // katakana, no case
      // NTFS folds case beyond ASCII: full-width A and a in 932, E acute in 65001.
      {"out/\x82\x60.html", "out/\x82\x81.html", false, foldsBeyondAscii},
      {"OUT/\x82\x60. ", "out/\x82\x81", false, foldsBeyondAscii},
      {"out/\xc3\x89.html", "out/\xc3\xa9.html", false, foldsBeyondAscii, 65001},
      // A name that is no text in its code page keeps its bytes, its ASCII letters folded.
      {"out/\xc3\x89\xff.html", "out/\xc3\xa9\xff.html", false, false, 65001},
      {"out/A\xff", "out/a\xff", false, true, 65001},
      // A lone lead byte takes no "/" or "." along: these are one file.
      {"\x82/a", "\x82//a", true, true},
      {"\x82/a", "\x82/./a", true, true},
      {"out/a\x82.", "out/a\x82", false, true},
      {"out/\x82", "OUT/\x82", false, true},
      {"\x82\\a", "\x82/a", false, false},  // 0x5C after a lead byte is its second byte
  };
  for (const Case& c : cases) {
    const CodePageTable table = CodePageTable::ForCodePage(c.codePage);
    EXPECT_EQ(OutputFileKey(c.a, kPosix, table) == OutputFileKey(c.b, kPosix, table),
              c.sameOnPosix)
        << c.a << " " << c.b;
    EXPECT_EQ(OutputFileKey(c.a, kWindows, table) == OutputFileKey(c.b, kWindows, table),
              c.sameOnWindows)
        << c.a << " " << c.b;
  }
}

TEST(OutputPath, TellsAPathWhoseLastComponentIsADevice) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  struct Case {
    const char* path;
    bool windows;
  };
  const Case cases[] = {
      {"NUL", true},
      {"C:NUL", true},  // the drive prefix counts for nothing
      {"out\\nul.txt", true},
      {"out/COM1", true},
      {"out\\con\\x", false},
      {"C:", false},
      {"\x83\x5cNUL", false},  // 0x5C after a lead byte is its second byte, no separator
      {"\x82/NUL", true},       // a lone lead byte takes no "/" along
      {"\x81:NUL", false},      // a lead byte before the colon makes no drive
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EndsInWindowsDeviceName(c.path, kWindows, table), c.windows) << c.path;
    EXPECT_FALSE(EndsInWindowsDeviceName(c.path, kPosix, table)) << c.path;
  }
}

TEST(PruneManifest, HashesBytesAlikeWholeOrInPieces) {
  // The published values of XXH64 with seed 0.
  EXPECT_EQ(HashBytes(""), 0xEF46DB3751D8E999ull);
  EXPECT_EQ(HashBytes("abc"), 0x44BC2CF5AD770999ull);
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>(i * 7));
  for (const std::size_t piece : {1u, 7u, 31u, 32u, 33u, 999u}) {
    ContentHash hash;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      hash.Update(std::string_view(bytes).substr(at, piece));
    }
    EXPECT_EQ(hash.Value(), HashBytes(bytes)) << piece;
  }
}

TEST(PruneManifest, ReadsBackWhatItWritesAndRefusesAnyOtherText) {
  const CodePageTable& table = CodePageTable::ForCodePage(932);
  const std::vector<ManifestEntry> entries = {
      {"a b.html", false, 12, 0xFFull},
      {"sub", true, 0, 0},
      {"sub/%\n\x7f \x83\x5c.html ", false, 0, 0x0123456789ABCDEFull},
  };
  const std::string text = ManifestText(entries);
  EXPECT_EQ(text, "velmora-files 1\nF 12 00000000000000ff a b.html\nD sub\n"
                  "F 0 0123456789abcdef sub/%25%0A%7F \x83\x5c.html \n");
  for (const platform::PathRules& rules : {kWindows, kPosix}) {
    EXPECT_EQ(ParseManifest(text, rules, table), entries);
  }
  const char* refused[] = {
      "",
      "velmora-files 2\n",
      "velmora-files 1\nF 12 ff a.html",       // cut short
      "velmora-files 1\nF x ff a.html\n",
      "velmora-files 1\nF 12 fg a.html\n",
      "velmora-files 1\nX a.html\n",
      "velmora-files 1\nF 12 ff \n",           // no name
      "velmora-files 1\nD ../up\n",
      "velmora-files 1\nD /etc\n",
      "velmora-files 1\nF 1 1 a//b\n",
      "velmora-files 1\nF 1 1 ./a\n",
      "velmora-files 1\nF 1 1 a%2\n",
      "velmora-files 1\nF 1 1 a%41\n",         // escapes only what must be
      "velmora-files 1\nF 1 1 a\tb\n",
  };
  for (const char* bad : refused) EXPECT_FALSE(ParseManifest(bad, kPosix, table)) << bad;
  // Windows names: no drive, no "\\" where it separates.
  EXPECT_FALSE(ParseManifest("velmora-files 1\nF 1 1 C:x\n", kWindows, table));
  EXPECT_FALSE(ParseManifest("velmora-files 1\nF 1 1 a\\b\n", kWindows, table));
}

TEST(PruneManifest, RemovesFoldersTheRunsMadeOnlyOnceEmpty) {
  test::TempDir dir;
  namespace fs = std::filesystem;
  for (const char* folder : {"gone/deeper", "full", "used"}) {
    fs::create_directories(dir.Path() / folder);
  }
  test::WriteBytes(dir / "full/someone.txt", "x");
  test::WriteBytes(dir / "used/page.html", "p");
  const platform::PathRules& rules = platform::NativePathRules();
  const CodePageTable& table = CodePageTable::ForCodePage(65001);
  WrittenFiles written(rules, table);
  written.AddFile("used/page.html", 1, HashBytes("p"));
  const std::vector<ManifestEntry> previous = {
      {"full", true, 0, 0}, {"gone", true, 0, 0}, {"gone/deeper", true, 0, 0},
      {"missing", true, 0, 0}, {"used", true, 0, 0}};
  platform::OutputFolder folder(dir.Path().string() + "/");
  ASSERT_TRUE(folder.Hold());
  const PruneResult result = PruneOutputFolder(folder, previous, written, false);
  ASSERT_EQ(result.items.size(), 2u);
  EXPECT_EQ(result.items[0].name, "gone/deeper");
  EXPECT_EQ(result.items[1].name, "gone");
  EXPECT_FALSE(fs::exists(dir.Path() / "gone"));
  EXPECT_TRUE(fs::exists(dir / "full/someone.txt"));
  const std::vector<ManifestEntry> kept = {{"full", true, 0, 0},
                                           {"used", true, 0, 0},
                                           {"used/page.html", false, 1, HashBytes("p")}};
  EXPECT_EQ(result.manifest, kept);
}

}  // namespace
}  // namespace velmora
