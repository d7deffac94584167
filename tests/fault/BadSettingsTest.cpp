// Settings files that no window wrote: binary garbage, megabyte lines, 16 MB of line ends,
// duplicate sections and keys, keys without "=", a byte-order mark, numbers out of range, texts at
// and over the limits of the window's controls and of the reader's buffer. Each loads by the
// private-profile rules, without a fault, with the portable reader and with the system's own
// where it has one.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "settings/Profile.h"
#include "settings/SettingsStore.h"
#include "support/ProfileKinds.h"
#include "support/TestFiles.h"

namespace velmora {
namespace {

GeneratorSettings Defaults() {
  GeneratorSettings s;
  s.ReplaceLead = "[$_";
  s.ReplaceTail = "_$]";
  s.RuleTail = ".html";
  return s;
}

// A record whose every field differs from what any of the files gives, so that a field that a load
// fails to overwrite shows.
GeneratorSettings Stale() {
  GeneratorSettings s;
  s.Input = s.Output = s.Template = s.ReplaceLead = s.ReplaceTail = s.ReplaceDefault =
      s.RuleLead = s.RuleTail = "stale";
  s.ReplaceFormat = s.Rule = s.FieldSeparator = s.FieldBreak = 99;
  s.RuleNumber = 99;
  return s;
}

// Bytes that look like nothing: every value except the ones that start a section or a key.
std::string Garbage(std::size_t size, std::uint32_t seed) {
  std::string bytes;
  while (bytes.size() < size) {
    seed = seed * 1103515245u + 12345u;
    const char c = static_cast<char>(seed >> 16);
    if (c != '[' && c != '=' && c != '\0') bytes.push_back(c);
  }
  return bytes;
}

const std::string kMegabyte(1 << 20, 'm');

struct BadFile {
  const char* what;
  std::string bytes;
  std::function<void(GeneratorSettings&)> expect;  // changes from the defaults
  // Where the readers' rules part: the system's reader only has to load it without a fault.
  bool portableRuleOnly = false;
};

std::vector<BadFile> BadFiles() {
  return {
      {"binary garbage", Garbage(64 * 1024, 7), [](GeneratorSettings&) {}},
      {"garbage lines before a good section",
       Garbage(4096, 11) + "\r\n[Settings]\r\nInput=in.csv\r\n",
       [](GeneratorSettings& s) { s.Input = "in.csv"; }},
      {"a 1 MB value is cut to the buffer",
       "[Settings]\r\nInput=" + kMegabyte + "\r\nOutput=out\r\n",
       [](GeneratorSettings& s) {
         s.Input = std::string(kProfileBufferSize - 1, 'm');
         s.Output = "out";
       }},
      {"16 MB of line ends before the sections",
       std::string(16u << 20, '\n') + "[Settings]\r\nInput=in.csv\r\n",
       [](GeneratorSettings& s) { s.Input = "in.csv"; }},
      {"a 1 MB line without = before the sections",
       kMegabyte + "\r\n[Rule]\r\nTail=.txt\r\n",
       [](GeneratorSettings& s) { s.RuleTail = ".txt"; }},
      {"a 1 MB key name", "[Rule]\r\n" + kMegabyte + "=x\r\nTail=.txt\r\n",
       [](GeneratorSettings& s) { s.RuleTail = ".txt"; }},
      {"duplicate keys: the first counts",
       "[Settings]\r\nInput=first\r\nINPUT=second\r\ninput=third\r\n",
       [](GeneratorSettings& s) { s.Input = "first"; }},
      {"duplicate sections: the first counts",
       "[Settings]\r\nInput=first\r\n[Rule]\r\nTail=.a\r\n[settings]\r\nInput=second\r\n",
       [](GeneratorSettings& s) {
         s.Input = "first";
         s.RuleTail = ".a";
       }},
      {"keys without = are no keys",
       "[Replace]\r\nLead\r\nTail=x\r\nFormat\r\n",
       [](GeneratorSettings& s) { s.ReplaceTail = "x"; }},
      {"lines without a section, comments and blank lines are ignored",
       "Input=nowhere\r\n; [Settings]\r\n\r\n[Settings]\r\n;Input=comment\r\nOutput=o\r\n",
       [](GeneratorSettings& s) { s.Output = "o"; }},
      {"a UTF-8 byte-order mark before the first section",
       "\xEF\xBB\xBF[Settings]\r\nInput=in.csv\r\n",
       [](GeneratorSettings& s) { s.Input = "in.csv"; }},
      {"numbers at the ends of 32 bits",
       "[Replace]\r\nFormat=2147483647\r\n[Rule]\r\nRule=-2147483648\r\nNumber=-1\r\n"
       "[Field]\r\nSeparator=-1\r\nBreak=+7\r\n",
       [](GeneratorSettings& s) {
         s.ReplaceFormat = INT32_MAX;
         s.Rule = INT32_MIN;
         s.RuleNumber = UINT32_MAX;
         s.FieldSeparator = -1;
         s.FieldBreak = 7;
       }},
      {"numbers that are no numbers read as 0",
       "[Replace]\r\nFormat=abc\r\n[Rule]\r\nRule=\r\nNumber= 12abc\r\n[Field]\r\nSeparator=-\r\n",
       [](GeneratorSettings& s) { s.RuleNumber = 12; }},
      {"blank values and quoted values",
       "[Replace]\r\nLead=   \r\nTail='_x_'\r\nDefault=\"\"\r\n[Rule]\r\nLead= \"a b\" \r\n",
       [](GeneratorSettings& s) {
         s.ReplaceLead = "";
         s.ReplaceTail = "_x_";
         s.RuleLead = "a b";
       }},
      {"lines ended by LF alone", "[Settings]\nInput=in.csv\nOutput=o\n",
       [](GeneratorSettings& s) {
         s.Input = "in.csv";
         s.Output = "o";
       }},
      {"odd section lines", "[\r\n[]\r\n=value\r\n[Settings]\r\nInput=in.csv\r\n",
       [](GeneratorSettings& s) { s.Input = "in.csv"; }},
      {"a section line without its closing bracket", "[Settings\r\nInput=in.csv\r\n",
       [](GeneratorSettings& s) { s.Input = "in.csv"; }, true},
      {"texts at and over the limits of the window's controls",
       "[Settings]\r\nInput=" + std::string(260, 'i') + "\r\nOutput=" + std::string(261, 'o') +
           "\r\n[Replace]\r\nLead=" + std::string(255, 'l') + "\r\nTail=" +
           std::string(256, 't') + "\r\n",
       [](GeneratorSettings& s) {
         // Loaded in full: the window shows them and its check refuses the long ones later.
         s.Input = std::string(260, 'i');
         s.Output = std::string(261, 'o');
         s.ReplaceLead = std::string(255, 'l');
         s.ReplaceTail = std::string(256, 't');
       }},
      {"texts at and over the reader's buffer",
       "[Rule]\r\nLead=" + std::string(4095, 'a') + "\r\nTail=" + std::string(4096, 'b') +
           "\r\n",
       [](GeneratorSettings& s) {
         s.RuleLead = std::string(4095, 'a');
         s.RuleTail = std::string(4095, 'b');
       }},
  };
}

class BadSettings : public test::ProfileKindTest {
 protected:
  test::TempDir dir;
};

TEST_P(BadSettings, LoadsByTheProfileRulesWithoutAFault) {
  const std::string path = platform::AbsolutePath(dir / "velmora.ini");
  for (const BadFile& file : BadFiles()) {
    SCOPED_TRACE(file.what);
    test::WriteBytes(path, file.bytes);
    GeneratorSettings loaded = Stale();
    LoadSettings(loaded, path, *MakeProfile());
    GeneratorSettings expected = Defaults();
    file.expect(expected);
    if (!GetParam().system || !file.portableRuleOnly) {
      EXPECT_EQ(loaded, expected);
    }
  }
}

TEST_P(BadSettings, SavingOverABadFileGivesBackTheSavedRecord) {
  const std::string path = platform::AbsolutePath(dir / "velmora.ini");
  GeneratorSettings saved = Defaults();
  saved.Input = "in.csv";
  saved.RuleNumber = 4294967295u;
  saved.FieldSeparator = -1;
  for (const BadFile& file : BadFiles()) {
    SCOPED_TRACE(file.what);
    test::WriteBytes(path, file.bytes);
    SaveSettings(saved, path, *MakeProfile());
    GeneratorSettings loaded = Stale();
    LoadSettings(loaded, path, *MakeProfile());
    EXPECT_EQ(loaded, saved);
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, BadSettings, test::ProfileKinds(), test::ProfileKindName);

}  // namespace
}  // namespace velmora
