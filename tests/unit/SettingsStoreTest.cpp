#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Platform.h"
#include "settings/ProfileText.h"
#include "support/ProfileKinds.h"
#include "support/TestFiles.h"

namespace velmora {
namespace {

// The same contract for the portable profile and, where the system has one, the system's own.
class ProfileContract : public test::ProfileKindTest {
 protected:
  void SetUp() override {
    test::ProfileKindTest::SetUp();
    if (IsSkipped()) return;
    profile = MakeProfile();
    // The system's functions look for a bare name in the Windows folder: always a full path.
    path = platform::AbsolutePath(dir / "settings.ini");
  }
  bool UnderWine() const { return GetParam().system; }

  test::TempDir dir;
  std::unique_ptr<Profile> profile;
  std::string path;
};

std::string WithoutBlankLines(const std::string& bytes) {
  std::string out;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find("\r\n", start);
    std::string line = bytes.substr(start, end == std::string::npos ? end : end - start);
    if (!line.empty()) out += line + "\r\n";
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return out;
}

const char kDefaultFile[] =
    "[Settings]\r\nInput=\r\nOutput=\r\nTemplate=\r\n"
    "[Replace]\r\nLead=[$_\r\nTail=_$]\r\nDefault=\r\nFormat=0\r\n"
    "[Rule]\r\nLead=\r\nTail=.html\r\nRule=0\r\nNumber=0\r\n"
    "[Field]\r\nSeparator=0\r\nBreak=0\r\n";

TEST_P(ProfileContract, MissingFileGivesTheDefaultsAndSavingThemWritesTheSampleFile) {
  GeneratorSettings settings;
  settings.Input = "stale";
  settings.RuleNumber = 9;
  LoadSettings(settings, path, *profile);
  GeneratorSettings expected;
  expected.ReplaceLead = "[$_";
  expected.ReplaceTail = "_$]";
  expected.RuleTail = ".html";
  EXPECT_EQ(settings, expected);
  SaveSettings(settings, path, *profile);
  EXPECT_EQ(WithoutBlankLines(test::ReadBytes(path)), kDefaultFile);
}

TEST_P(ProfileContract, SaveThenLoadGivesBackEveryField) {
  GeneratorSettings saved;
  saved.Input = "C:\\data\\\x83\x5c\x83t\x83g.csv";
  saved.Output = "C:\\out";
  saved.Template = "t.html";
  saved.ReplaceLead = "{{";
  saved.ReplaceTail = "}}";
  saved.ReplaceDefault = "&nbsp;";
  saved.ReplaceFormat = 1;
  saved.RuleLead = "p_";
  saved.RuleTail = ".txt";
  saved.Rule = 1;
  saved.RuleNumber = 300;
  saved.FieldSeparator = -1;
  saved.FieldBreak = 1;
  SaveSettings(saved, path, *profile);
  GeneratorSettings loaded;
  LoadSettings(loaded, path, *profile);
  EXPECT_EQ(loaded, saved);

  // An unsigned number beyond the signed range is stored as "%d" writes it and comes back.
  saved.RuleNumber = 4294967295u;
  SaveSettings(saved, path, *profile);
  EXPECT_NE(test::ReadBytes(path).find("Number=-1\r\n"), std::string::npos);
  LoadSettings(loaded, path, *profile);
  EXPECT_EQ(loaded.RuleNumber, 4294967295u);
}

TEST_P(ProfileContract, ReadsValuesByTheProfileRules) {
  test::WriteBytes(path,
                   "; comment\r\n"
                   "[settings]\r\n"
                   "  INPUT =  spaced value \t\r\n"
                   "Output=\"quoted\"\r\n"
                   "Template='x'\r\n"
                   "Unknown=1\r\n"
                   "[REPLACE]\r\n"
                   "lead=\"\r\n"
                   "Tail= \r\n"
                   "Default='a\"\r\n"
                   "Format=42abc\r\n"
                   "[Rule]\r\n"
                   "Rule=-7\r\n"
                   "Number=abc\r\n"
                   "[Field]\r\n"
                   "Separator=+3\r\n"
                   "Break=\r\n");
  GeneratorSettings s;
  LoadSettings(s, path, *profile);
  EXPECT_EQ(s.Input, "spaced value");
  EXPECT_EQ(s.Output, "quoted");
  EXPECT_EQ(s.Template, "x");
  EXPECT_EQ(s.ReplaceLead, "\"");
  EXPECT_EQ(s.ReplaceTail, "");
  EXPECT_EQ(s.ReplaceDefault, "'a\"");
  EXPECT_EQ(s.ReplaceFormat, 42);
  EXPECT_EQ(s.RuleLead, "");
  EXPECT_EQ(s.RuleTail, ".html");
  EXPECT_EQ(s.Rule, -7);
  EXPECT_EQ(s.RuleNumber, 0u);
  EXPECT_EQ(s.FieldSeparator, 3);
  EXPECT_EQ(s.FieldBreak, 0);
}

// What velmora-batch --init stores reads back as given, by the system's rules too; what cannot be
// stored so is refused.
TEST_P(ProfileContract, GivesBackEveryValueStoredForIt) {
  const std::string values[] = {" lead", "tail\t", "\"q\"", "'s'", "\"", "\"a'", "a\"b\"c",
                                "\"\"", " \" ", "", std::string(4092, 'v') + " "};
  std::vector<ProfileEntry> entries;
  std::string reason;
  for (const std::string& value : values) {
    const std::optional<std::string> stored = StoredProfileValue(value, reason);
    ASSERT_TRUE(stored) << value;
    entries.push_back({"Batch", "k" + std::to_string(entries.size()), *stored});
  }
  ASSERT_TRUE(profile->WriteStrings(path, entries));
  const std::unique_ptr<ProfileReader> reader = profile->Read(path);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(reader->GetString("Batch", entries[i].key, "?"), values[i]) << i;
  }
  const std::string refused[] = {"a\nb", "a\rb", std::string("a\0b", 3),
                                 std::string(4093, 'v') + " "};
  for (const std::string& bad : refused) {
    EXPECT_FALSE(StoredProfileValue(bad, reason)) << bad.size();
  }
}

TEST_P(ProfileContract, CutsLongTextsTo4095Bytes) {
  const std::string longValue(5000, 'v');
  test::WriteBytes(path, "[Settings]\r\nInput=" + longValue + "\r\n");
  GeneratorSettings s;
  LoadSettings(s, path, *profile);
  EXPECT_EQ(s.Input, longValue.substr(0, 4095));
}

TEST_P(ProfileContract, WritingKeepsEveryOtherLineOfTheFile) {
  test::WriteBytes(path,
                   "; my notes\r\n"
                   "[Other]\r\n"
                   "Keep=yes\r\n"
                   "[Rule]\r\n"
                   "Tail=.old\r\n"
                   "Extra=1\r\n");
  GeneratorSettings s;
  s.RuleTail = ".new";
  SaveSettings(s, path, *profile);
  const std::string bytes = test::ReadBytes(path);
  EXPECT_EQ(bytes.find("; my notes\r\n[Other]\r\nKeep=yes\r\n"), 0u);
  EXPECT_NE(bytes.find("Tail=.new\r\n"), std::string::npos);
  EXPECT_EQ(bytes.find(".old"), std::string::npos);
  EXPECT_NE(bytes.find("Extra=1\r\n"), std::string::npos);
  // The existing key keeps its place in front of the other keys of its section.
  EXPECT_LT(bytes.find("Tail=.new"), bytes.find("Extra=1"));
  GeneratorSettings loaded;
  LoadSettings(loaded, path, *profile);
  EXPECT_EQ(loaded.RuleTail, ".new");
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileContract, test::ProfileKinds(), test::ProfileKindName);

TEST(ProfileText, AddsMissingKeysAtTheEndOfTheirSectionAndMissingSectionsAtTheEnd) {
  ProfileText text("[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\ny=2");
  text.Set("A", "z", "3");
  text.Set("B", "y", "4");
  text.Set("C", "w", "5");
  EXPECT_EQ(text.Bytes(), "[A]\r\nx=1\r\nz=3\r\n\r\n; about B\r\n[B]\r\ny=4\r\n[C]\r\nw=5\r\n");
}

TEST(ProfileText, KeepsAByteOrderMarkAndLoneLineEnds) {
  ProfileText text("\xEF\xBB\xBF[A]\nx=1\n");
  EXPECT_EQ(text.Find("a", "X"), "1");
  text.Set("A", "x", "2");
  EXPECT_EQ(text.Bytes(), "\xEF\xBB\xBF[A]\nx=2\n");
}

TEST(ProfileText, AValueCannotBreakIntoLinesOfItsOwn) {
  ProfileText text("");
  text.Set("A", "x", "1\r\n[B]\r\ny=2");
  EXPECT_EQ(text.Bytes(), "[A]\r\nx=1\r\n");
  EXPECT_FALSE(text.Find("B", "y").has_value());
}

TEST(ProfileNumber, ConvertsTheLeadingNumber) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {{"42", 42},         {"42abc", 42},  {"-1", -1},
                        {"+5", 5},          {"abc", 0},     {"", 0},
                        {"-", 0},           {" 7 ", 7},     {"2147483647", 2147483647},
                        {"4294967295", -1}, {"007", 7}};
  for (const Case& c : cases) EXPECT_EQ(ReadLeadingNumberAsProfileDoes(c.text), c.value) << c.text;
}

TEST(SettingsStore, AnEmptyPathNamesNoFile) {
  // Any access to the profile is a fault: the system's functions would look for the bare name
  // in the Windows folder.
  struct UntouchableProfile : Profile {
    std::unique_ptr<ProfileReader> Read(const std::string& path) override {
      ADD_FAILURE() << "read " << path;
      return MakePortableProfile()->Read(path);
    }
    platform::Status WriteStrings(const std::string&, const std::vector<ProfileEntry>&) override {
      ADD_FAILURE() << "written";
      return {};
    }
  } untouchable;
  GeneratorSettings settings;
  settings.Input = "stale";
  settings.RuleNumber = 9;
  LoadSettings(settings, "", untouchable);
  GeneratorSettings defaults;
  defaults.ReplaceLead = "[$_";
  defaults.ReplaceTail = "_$]";
  defaults.RuleTail = ".html";
  EXPECT_EQ(settings, defaults);
  EXPECT_TRUE(SaveSettings(settings, "", untouchable).ok());
}

TEST(SettingsFilePath, ReplacesTheProgramsExtension) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  struct Case {
    const char* program;
    const char* settings;
  };
  const Case cases[] = {
      {"C:\\Tools\\velmora.exe", "C:\\Tools\\velmora.ini"},
      {"C:\\Tools\\x.exe", "C:\\Tools\\x.ini"},
      {"C:\\my.tools\\velmora.exe", "C:\\my.tools\\velmora.ini"},
      {"C:\\a.b.exe", "C:\\a.b.ini"},
      // 0x2E never occurs as a second byte in 932, but a lead byte before it must not hide it.
      {"C:\\\x83\x5c\x83t\x83g.exe", "C:\\\x83\x5c\x83t\x83g.ini"},
      // No extension of its own: the settings file is named after the program, beside it.
      {"/usr/bin/velmora", "/usr/bin/velmora.ini"},
      {"C:\\my.tools\\velmora", "C:\\my.tools\\velmora.ini"},
      // A program path that could not be had names no settings file.
      {"", ""},
      // A lone lead byte takes the byte after it along only when that is a trail byte, as "\"
      // is in 932; "." and "/" are not, so they count, and the end of the path ends it.
      {"C:\\Tools\\a\x82\\b.exe", "C:\\Tools\\a\x82\\b.ini"},
      {"C:\\my.tools\x82/velmora", "C:\\my.tools\x82/velmora.ini"},
      {"C:\\Tools\\x\x82.exe", "C:\\Tools\\x\x82.ini"},
      {"C:\\Tools\\velmora\x82", "C:\\Tools\\velmora\x82.ini"},
  };
  for (const Case& c : cases) EXPECT_EQ(SettingsFilePathFor(c.program, table), c.settings);
  // 259 bytes fit the path buffers of Windows; with ".ini" for ".e" the path would not.
  const std::string program = "C:\\" + std::string(254, 'a') + ".e";
  const std::string beside = "C:\\" + std::string(254, 'a') + ".ini";
  EXPECT_EQ(SettingsFilePathFor(program, table),
            platform::NativePathRules().maxPathBytes == 0 ? beside : "");
  EXPECT_EQ(PathBesideProgram("C:\\Tools\\x.exe", ".htm", table), "C:\\Tools\\x.htm");
}

}  // namespace
}  // namespace velmora
