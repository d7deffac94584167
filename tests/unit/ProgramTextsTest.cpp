#include "engine/ProgramTexts.h"

#include <gtest/gtest.h>

#include "support/ScopedCodePage.h"

namespace velmora {
namespace {

TEST(ProgramTexts, AreConvertedIntoCodePage932) {
  test::ScopedCodePage codePage(932);
  const ProgramTexts& t = Texts();
  EXPECT_EQ(t.inputOpenFailed,
            " \x93\xfc\x97\xcd\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x8fo\x97\x88"
            "\x82\xdc\x82\xb9\x82\xf1\x81" "B");
  EXPECT_EQ(t.templateReadFailed,
            " \x90\x97\x8c^\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x82\xc9"
            "\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B");
  EXPECT_EQ(t.outOfMemory, "\xd2\xd3\xd8\x82\xaa\x95s\x91\xab\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81" "B");
  EXPECT_EQ(t.internalError,
            "\xb1\xcc\xdf\xd8\xb9\xb0\xbc\xae\xdd\x82\xcc\x93\xe0\x95\x94\xb4\xd7\xb0\x82\xc5\x82\xb7\x81" "B");
  EXPECT_EQ(FormatText(t.numberOutOfRange, {"0", "255"}),
            "0 \x82\xa9\x82\xe7 255 \x82\xdc\x82\xc5\x82\xcc\x90\xae\x90\x94\x82\xf0\x93\xfc\x97\xcd"
            "\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81" "B");
  EXPECT_EQ(ProgressText(12), " \x8f\x88\x97\x9d\x92\x86\x81" "F12\x8c\x8f");
}

TEST(ProgramTexts, FullDiskTextNamesTheFile) {
  test::ScopedCodePage codePage(932);
  platform::FileError error(platform::FileErrorCause::DiskFull, "C:\\out\\a%2.html");
  EXPECT_EQ(FileErrorText(error),
            "C:\\out\\a%2.html \x82\xd6\x82\xcc\xb1\xb8\xbe\xbd\x92\x86\x82\xc9\xc3\xde\xa8\xbd\xb8"
            "\x82\xaa\x82\xa2\x82\xc1\x82\xcf\x82\xa2\x82\xc9\x82\xc8\x82\xe8\x82\xdc\x82\xb5\x82\xbd"
            "\x81" "B");
  // Every cause has a text of its own that names the file.
  for (int cause = 0; cause <= static_cast<int>(platform::FileErrorCause::EndOfFile); ++cause) {
    std::string text =
        FileErrorText(platform::FileError(static_cast<platform::FileErrorCause>(cause), "F.TXT"));
    EXPECT_NE(text.find("F.TXT"), std::string::npos) << cause;
    EXPECT_GT(text.size(), 10u) << cause;
  }
}

TEST(ProgramTexts, FormatTextDoesNotScanInsertedText) {
  EXPECT_EQ(FormatText("%1-%2", {"%2", "b"}), "%2-b");
  EXPECT_EQ(FormatText("%3 %", {"a"}), "%3 %");
}

}  // namespace
}  // namespace velmora
