// The application's display name: the program file's name without folder and extension, found
// character by character so that the second byte of a double-byte character never ends a folder.
#include <gtest/gtest.h>

#include <string>

#include "platform/CodePageTable.h"
#include "ui/Application.h"

namespace velmora::ui {
namespace {

TEST(DisplayName, IsTheProgramFileNameWithoutFolderAndExtension) {
  SetProcessCodePage(932);
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\tools\\velmora.exe", "velmora"},
      {"C:\\tools\\x.exe", "x"},
      {"C:\\my.tools\\gen.2.exe", "gen.2"},          // only the file's last dot counts
      {"C:\\my.tools\\noextension", "noextension"},  // a dot in a folder is not an extension
      {"Z:/unix/style/prog.exe", "prog"},
      // "\x95\x5c" is one double-byte character whose second byte is a backslash.
      {"C:\\\x95\x5c\\\x83\x5c\x83t\x83g.exe", "\x83\x5c\x83t\x83g"},
      {"C:\\tools\\\x95\x5c.exe", "\x95\x5c"},
      {"velmora.exe", "velmora"},
      {"", "Velmora"},  // the program path could not be had
      {"C:\\tools\\.exe", "Velmora"},
      // A lone lead byte takes the byte after it along only when that is a trail byte, as "\" is
      // in 932; "/", ":" and "." are not, so they count, and the end of the path ends it.
      {"C:\\tools\\a\x82\\b.exe", "a\x82\\b"},
      {"C:\\tools\x82/prog.exe", "prog"},
      {"C:\\tools\x82:prog.exe", "prog"},
      {"C:\\tools\\prog\x82.exe", "prog\x82"},
      {"C:\\tools\\prog\x82", "prog\x82"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DisplayNameFor(c.path), c.expected) << c.path;
  }
}

}  // namespace
}  // namespace velmora::ui
