// The platform's files as both systems must give them: the same refusals and the system's own
// error codes in the results, and every byte of a write that the system takes in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/DecimalText.h"
#include "platform/Platform.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include "platform/win32/Win32Platform.h"
#endif

namespace velmora {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr platform::ErrorCode kNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr platform::ErrorCode kExists = 80;        // ERROR_FILE_EXISTS
#else
constexpr platform::ErrorCode kNotFound = ENOENT;
constexpr platform::ErrorCode kExists = EEXIST;
#endif

// Each call that opens, reads or writes a path gives the refusal of a folder, a missing file or a
// read-only file alike on both systems, with the code that the user is shown.
TEST(PlatformFiles, RefusalsCarryTheSameCodeOnEverySystem) {
  test::TempDir dir;
  const std::string folder = dir / "folder";
  const std::string missing = dir / "missing.csv";
  const std::string readOnly = dir / "readonly.ini";
  const std::string outside = dir / "outside.html";
  const std::string otherName = dir / "folder/h.html";
  fs::create_directory(folder);
  test::WriteBytes(readOnly, "[Settings]\r\n");
  fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write |
                                fs::perms::others_write, fs::perm_options::remove);
  test::WriteBytes(outside, "outside");
  std::error_code linkError;
  fs::create_hard_link(outside, otherName, linkError);
  ASSERT_FALSE(linkError) << linkError.message();

  platform::InputFile input;
  EXPECT_EQ(input.Open(folder).error(), platform::kErrorNotPlainFile);
  EXPECT_EQ(input.Open(missing).error(), kNotFound);
  EXPECT_EQ(platform::ReadWholeFile(folder).error(), platform::kErrorNotPlainFile);
  EXPECT_EQ(platform::ReadWholeFile(missing).error(), kNotFound);

  platform::OutputFile output;
  EXPECT_EQ(output.Create(folder).error(), platform::kErrorNotPlainFile);
  // (POSIX gives a user who may not write the file its EACCES; root and Windows the mark.)
  EXPECT_FALSE(output.Create(readOnly).ok());
  EXPECT_EQ(platform::ProbeOutputFile(folder).error(), platform::kErrorNotPlainFile);
  EXPECT_EQ(platform::ProbeOutputFile(readOnly).error(), platform::kErrorReadOnly);
  // A file with other names would change under all of them: refused before it is cut.
  EXPECT_EQ(output.Create(otherName).error(), platform::kErrorOtherNames);
  EXPECT_EQ(platform::ProbeOutputFile(otherName).error(), platform::kErrorOtherNames);
  EXPECT_EQ(test::ReadBytes(outside), "outside");
  EXPECT_EQ(platform::ErrorCodeText(platform::kErrorOtherNames), "it has other names");

  EXPECT_EQ(platform::ReplaceFileContents(folder, "x").error(), platform::kErrorNotPlainFile);
  EXPECT_EQ(platform::ReplaceFileContents(readOnly, "x").error(), platform::kErrorReadOnly);
  EXPECT_EQ(test::ReadBytes(readOnly), "[Settings]\r\n");
  EXPECT_EQ(platform::WriteNewFile(readOnly, "x").error(), kExists);

  const platform::Result<platform::PathInfo> folderInfo = platform::InspectPath(folder);
  ASSERT_TRUE(folderInfo.ok());
  EXPECT_EQ(folderInfo->kind, platform::PathKind::Folder);
  const platform::Result<platform::PathInfo> missingInfo = platform::InspectPath(missing);
  ASSERT_TRUE(missingInfo.ok());
  EXPECT_EQ(missingInfo->kind, platform::PathKind::Missing);
}

// The files of a held output folder land in the folder that it held, whatever takes the folder's
// name meanwhile: POSIX reaches them from the folder itself, Windows forbids renaming it. Paths
// in messages keep the name. A folder that cannot be held leaves each file to its path.
TEST(PlatformFiles, HeldOutputFolderKeepsItsFilesWhenItsNameIsTaken) {
  test::TempDir dir;
  const std::string folder = dir / "out";
  const std::string elsewhere = dir / "elsewhere";
  const std::string separator(1, platform::NativePathRules().joinSeparator);
  fs::create_directory(folder);
  fs::create_directory(elsewhere);
  test::WriteBytes(folder + "/kept", "kept");
  test::WriteBytes(elsewhere + "/kept", "other");

  platform::OutputFolder held(folder + separator);
  ASSERT_TRUE(held.Hold().ok());
  EXPECT_TRUE(held.Held());
  EXPECT_EQ(held.PathOf("a.html"), folder + separator + "a.html");
  std::error_code error;
  fs::rename(folder, dir / "out.moved", error);
#ifdef _WIN32
  EXPECT_TRUE(error) << "a held folder must not be renamed";
  const std::string landed = folder;
#else
  ASSERT_FALSE(error) << error.message();
  fs::create_directory_symlink(elsewhere, folder, error);
  ASSERT_FALSE(error) << error.message();
  const std::string landed = dir / "out.moved";
#endif

  platform::OutputFile file;
  ASSERT_TRUE(file.Create(held, "a.html").ok());
  file.Write("page", 4);
  file.Close();
  EXPECT_EQ(test::ReadBytes(landed + "/a.html"), "page");
  EXPECT_FALSE(test::Exists(elsewhere + "/a.html"));
  const platform::Result<platform::OutputProbe> kept = platform::ProbeOutputFile(held, "kept");
  ASSERT_TRUE(kept.ok()) << kept.error();
  EXPECT_EQ(*kept, platform::OutputProbe::PlainFile);
  const platform::Result<platform::OutputProbe> absent = platform::ProbeOutputFile(held, "b");
  ASSERT_TRUE(absent.ok()) << absent.error();
  EXPECT_EQ(*absent, platform::OutputProbe::Absent);
  platform::InputFile input;
  ASSERT_TRUE(input.Open(held, "kept").ok());
  char buffer[16];
  const platform::Result<std::size_t> got = input.Read(buffer, sizeof buffer);
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(std::string(buffer, *got), "kept");
  input.Close();

  platform::OutputFolder missing(dir / "missing" + separator);
  EXPECT_FALSE(missing.Hold().ok());
  EXPECT_FALSE(missing.Held());
  EXPECT_FALSE(file.Create(missing, "a.html").ok());
  EXPECT_FALSE(platform::ProbeOutputFile(missing, "a.html").ok());
  EXPECT_FALSE(test::Exists(dir / "missing"));
}

// Folders are made one inside the other in the held folder, never where a file or a link stands,
// and the run can learn which ones it made.
TEST(PlatformFiles, MakesMissingSubFoldersOnlyInsideRealFolders) {
  test::TempDir dir;
  const std::string folder = dir / "out";
  const std::string separator(1, platform::NativePathRules().joinSeparator);
  fs::create_directories(fs::path(folder) / "a");
  test::WriteBytes(folder + "/file", "x");
#ifndef _WIN32
  fs::create_directory(dir.Path() / "elsewhere");
  fs::create_directory_symlink(dir.Path() / "elsewhere", fs::path(folder) / "link");
#endif
  platform::OutputFolder held(folder + separator);
  ASSERT_TRUE(held.Hold().ok());
  struct Case {
    std::vector<std::string> components;
    bool probeOnly;
    std::optional<bool> there;  // nothing: refused with error
    platform::ErrorCode error;
  };
  const std::vector<Case> cases = {
      {{"a"}, false, true, 0},
      {{"b", "c"}, true, false, 0},
      {{"b", "c"}, false, true, 0},
      {{"a", "", ".", "d"}, false, true, 0},
      {{"file", "e"}, false, std::nullopt, platform::kErrorNotPlainFile},
#ifndef _WIN32
      {{"link"}, false, true, 0},  // a linked folder that is there is used as it is
      {{"link", "f"}, false, std::nullopt, platform::kErrorNotPlainFile},
#endif
  };
  for (const Case& c : cases) {
    const platform::Result<bool> made = held.MakeSubFolders(c.components, c.probeOnly);
    ASSERT_EQ(made.ok(), c.there.has_value()) << c.components.back();
    if (c.there) {
      EXPECT_EQ(*made, *c.there) << c.components.back();
    } else {
      EXPECT_EQ(made.error(), c.error) << c.components.back();
    }
  }
  EXPECT_EQ(held.MadeFolders(),
            (std::vector<std::string>{"b", "b" + separator + "c", "a" + separator + "d"}));
  EXPECT_TRUE(fs::is_directory(fs::path(folder) / "b" / "c"));
  EXPECT_FALSE(fs::exists(dir.Path() / "elsewhere" / "f"));
}

// A write of several pieces (Windows hands WriteFile at most 4 MB at a time) stores every byte in
// order, and the reads give them back whole.
TEST(PlatformFiles, WriteLargerThanOnePieceKeepsEveryByte) {
  test::TempDir dir;
  const std::string path = dir / "big.bin";
  std::string bytes((std::size_t{1} << 23) + 12345, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  platform::OutputFile file;
  ASSERT_TRUE(file.Create(path).ok());
  file.Write(bytes.data(), bytes.size());
  file.Close();
  const platform::Result<std::string> read = platform::ReadWholeFile(path);
  ASSERT_TRUE(read.ok()) << read.error();
  EXPECT_TRUE(*read == bytes);

  // The same bytes as pieces: more of them than one gather write takes, empty ones among them.
  std::vector<std::string_view> pieces;
  for (std::size_t at = 0, n = 0; at < bytes.size(); ++n) {
    const std::size_t size = std::min(bytes.size() - at, n % 7 == 0 ? 0 : (n * 37) % 5000);
    pieces.push_back(std::string_view(bytes).substr(at, n == 100 ? bytes.size() / 2 : size));
    at += pieces.back().size();
  }
  ASSERT_GT(pieces.size(), 1000u);  // a gather write takes at most 64
  platform::OutputFile piecewise;
  ASSERT_TRUE(piecewise.Create(path).ok());
  piecewise.Write(pieces.data(), pieces.size());
  piecewise.Close();
  EXPECT_TRUE(platform::ReadWholeFile(path).value() == bytes);

  platform::InputFile input;
  ASSERT_TRUE(input.Open(path).ok());
  std::string again;
  std::string buffer(bytes.size() + 1, '\0');
  for (;;) {
    const platform::Result<std::size_t> got = input.Read(buffer.data(), buffer.size());
    ASSERT_TRUE(got.ok()) << got.error();
    if (*got == 0) break;
    again.append(buffer.data(), *got);
  }
  EXPECT_TRUE(again == bytes);
}

// A failed read gives the system's reason, which the run puts into the error that ends it. Linux
// fails every read of a process's own memory at address 0 with EIO.
TEST(PlatformFiles, FailedReadGivesTheSystemsCode) {
#ifdef _WIN32
  GTEST_SKIP() << "no file here whose reads fail";
#else
  const std::string failing = "/proc/self/mem";
  if (!test::Exists(failing)) GTEST_SKIP() << "no file here whose reads fail";
  platform::InputFile input;
  ASSERT_TRUE(input.Open(failing).ok());
  char buffer[16];
  const platform::Result<std::size_t> got = input.Read(buffer, sizeof buffer);
  ASSERT_FALSE(got.ok());
  EXPECT_EQ(got.error(), static_cast<platform::ErrorCode>(EIO));
#endif
}

// Texts go from one code page into another whole or not at all: a character that the target
// lacks or bytes that are no text of the source never become "?" or a look-alike, which in a name
// would reach another file. The same code page on both sides leaves every byte as it is.
TEST(PlatformCodePages, ConvertsTextWholeOrNotAtAll) {
  struct Case {
    unsigned from;
    unsigned to;
    std::string text;
    std::optional<std::string> converted;
  };
  const Case cases[] = {
      {932, 932, "\xff\x82", "\xff\x82"},
      {65001, 65001, "\xe3\x81", "\xe3\x81"},
      // 商品名
      {65001, 932, "\xe5\x95\x86\xe5\x93\x81\xe5\x90\x8d", "\x8f\xa4\x95\x69\x96\xbc"},
      {932, 65001, "a\x82\xa0.html", "a\xe3\x81\x82.html"},
      {65001, 932, "caf\xc3\xa9", std::nullopt},   // é: no best fit "e"
      {65001, 932, "\xe3\x81", std::nullopt},      // a cut character
      {932, 65001, "\x82", std::nullopt},          // a lone lead byte
      {65001, 932, "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::CodePageToCodePage(c.from, c.to, c.text), c.converted)
        << c.from << " -> " << c.to << ": " << c.text;
  }
}

// In the system's own code page the arguments are argv exactly, whatever bytes they hold.
TEST(PlatformCodePages, TakesTheArgumentsAsGivenInTheSystemsCodePage) {
  char program[] = "velmora-batch";
  char bytes[] = "\xff\x82\xe3";
  char* argv[] = {program, bytes, nullptr};
  std::string refused;
  EXPECT_EQ(platform::CommandLineArguments(2, argv, platform::SystemCodePage(), refused),
            std::vector<std::string>{bytes});
  EXPECT_EQ(platform::CommandLineArguments(1, argv, platform::SystemCodePage(), refused),
            std::vector<std::string>{});
  EXPECT_EQ(refused, "");
}

#ifdef _WIN32
// A path goes to the system's ...A functions as its bytes only when the run's code page is the
// system's; otherwise to the ...W functions, decoded from the run's code page, or to none when it
// is no text of it.
TEST(PlatformCodePages, SystemPathGoesWideWhenTheRunsCodePageIsNotTheSystems) {
  struct Case {
    std::string path;
    unsigned runCodePage;
    unsigned systemCodePage;
    bool wide;
    bool valid;
    std::wstring wideText;
  };
  const Case cases[] = {
      {"out\\\x82\xe8\x82\xf1\x82\xb2.html", 932, 932, false, true, L""},
      {"\xff\x82", 932, 932, false, true, L""},
      {"\xe3\x82\x8a\xe3\x82\x93\xe3\x81\x94.html", 65001, 65001, false, true, L""},
      {"out\\\xe3\x82\x8a\xe3\x82\x93\xe3\x81\x94.html", 65001, 932, true, true,
       L"out\\\u308a\u3093\u3054.html"},
      {"\x82\xa0", 932, 65001, true, true, L"\u3042"},
      {"\xe3\x82.html", 65001, 932, true, false, L""},
      {"a\x82", 932, 65001, true, false, L""},
  };
  for (const Case& c : cases) {
    const platform::SystemPath name(c.path, c.runCodePage, c.systemCodePage);
    EXPECT_EQ(name.Wide(), c.wide) << c.path;
    EXPECT_EQ(name.Valid(), c.valid) << c.path;
    if (!c.wide) {
      EXPECT_EQ(std::string(name.Ansi()), c.path);
    } else if (c.valid) {
      EXPECT_EQ(std::wstring(name.WideText()), c.wideText) << c.path;
    }
  }
}

// Paths that the system gives back reach the run's code page whole or not at all.
TEST(PlatformCodePages, WideTextGoesIntoACodePageWholeOrNotAtAll) {
  struct Case {
    std::wstring wide;
    unsigned codePage;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {L"C:\\\u308a.html", 65001, "C:\\\xe3\x82\x8a.html"},
      {L"C:\\\u308a.html", 932, "C:\\\x82\xe8.html"},
      {L"caf\u00e9", 932, std::nullopt},
      {L"\U0001F34E", 65001, "\xf0\x9f\x8d\x8e"},
      {std::wstring(1, static_cast<wchar_t>(0xD800)), 65001, std::nullopt},
      {L"", 932, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::WideToCodePage(c.codePage, c.wide), c.text) << c.codePage;
  }
}
#endif

TEST(DecimalText, TakesDigitsOnlyAndNeverOverflows) {
  struct Case {
    const char* text;
    std::uint64_t max;
    std::optional<std::uint64_t> value;
  };
  constexpr std::uint64_t kAny = UINT64_MAX;
  const Case cases[] = {
      {"0", kAny, 0},
      {"007", kAny, 7},
      {"4294967295", kAny, 4294967295u},
      {"18446744073709551615", kAny, UINT64_MAX},
      {"18446744073709551616", kAny, std::nullopt},
      {"99999999999999999999999", kAny, std::nullopt},
      {"2147483648", 2147483648u, 2147483648u},
      {"2147483649", 2147483648u, std::nullopt},
      {"0000000000000000000000255", 255, 255},
      {"256", 255, std::nullopt},
      {"", kAny, std::nullopt},
      {"+1", kAny, std::nullopt},
      {"-1", kAny, std::nullopt},
      {" 1", kAny, std::nullopt},
      {"1 ", kAny, std::nullopt},
      {"1a", kAny, std::nullopt},
      {"\xef\xbc\x91", kAny, std::nullopt},  // a full-width digit is no digit
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::ParseDecimal(c.text, c.max), c.value) << "'" << c.text << "' max " << c.max;
  }
  static_assert(platform::ParseDecimal("42") == 42u);
}

}  // namespace
}  // namespace velmora
