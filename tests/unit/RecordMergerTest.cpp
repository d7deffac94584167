#include "engine/RecordMerger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/RunChoices.h"
#include "engine/RunReporter.h"
#include "engine/StatusLine.h"
#include "engine/WriterPipeline.h"
#include "support/ScopedCodePage.h"
#include "support/TestFiles.h"

namespace velmora {
namespace {

using namespace std::string_literals;

// Records what the run shows its host.
class RecordingHost : public StatusLineEvents {
 public:
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void ShowProgress(std::uint32_t, std::uint64_t, std::optional<std::uint64_t>) override {}
  void Beep(unsigned type) override { beeps.push_back(type); }
  std::vector<std::string> statuses;
  std::vector<unsigned> beeps;
};

// Writes records one at a time as a run on one thread does.
class OneThreadWriter {
 public:
  OneThreadWriter(const RunContext& context, std::string& log, RunEvents& events)
      : reporter_(log, events), pool_(context, reporter_, WritingOptions{}) {}
  // Whether the record's file could be opened.
  bool Write(std::string line, std::uint32_t recordNumber) {
    const std::uint32_t failedBefore = pool_.Finish();
    pool_.Submit(line, recordNumber);
    return pool_.Finish() == failedBefore;
  }

 private:
  RunReporter reporter_;
  WriterPipeline pool_;
};

GeneratorSettings Defaults(const std::string& output) {
  GeneratorSettings s;
  s.Output = output;
  s.ReplaceLead = "[$_";
  s.ReplaceTail = "_$]";
  s.RuleTail = ".html";
  return s;
}

const platform::PathRules kPosix{false, false, '/', 0};

// Merges one line and returns the filled template (without writing a file).
std::string Filled(const GeneratorSettings& s, const std::string& line, const std::string& tpl,
                   char separator = ',') {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  RunContext context(s, tpl, separator, table, kPosix);
  MergeScratch scratch;
  MergedRecord record;
  std::string recordLine = line;
  BuildMergedRecord(recordLine, 1, context, scratch, record);
  return record.content;
}

TEST(RecordMerger, TranslatesValuesForHtmlAndText) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  struct Case {
    std::int32_t format;
    char breakByte;
    std::string value, expected;
  };
  const Case cases[] = {
      {0, '\n', "x & y < z", "x &amp; y &lt; z"},
      {0, '\n', "a\nb", "a<br>b"},
      {0, '\n', "a\x0b" "b", "a\x0b" "b"},
      {0, '\x0b', "a\x0b" "b\nc", "a<br>b\nc"},
      {0, '\n', "say \"hi\"", "say &quot;hi&quot;"},
      {0, '\n', "<", "&lt;"},
      {0, '\n', "&lt;", "&amp;lt;"},
      {0, '\n', "it's >", "it&#39;s &gt;"},
      {0, '\n', "x' onmouseover='alert(1)", "x&#39; onmouseover=&#39;alert(1)"},
      {1, '\n', "it's", "it's"},
      {1, '\x0b', "a\x0b" "b", "a\r\nb"},
      {1, '\n', "a & <b>\nc\x0b", "a & <b>\r\nc\x0b"},
      // A lone lead byte hides no markup: a browser shows it as a replacement character and
      // reads the byte after it as it is.
      {0, '\n', "\x82<script>alert(1)</script>", "\x82&lt;script&gt;alert(1)&lt;/script&gt;"},
      {0, '\n', "\x82\" onmouseover=\x82&", "\x82&quot; onmouseover=\x82&amp;"},
      {0, '\n', "\x82\xa0<\x82>", "\x82\xa0&lt;\x82&gt;"},
      {0, '\n', "\x82'\x82\n", "\x82&#39;\x82<br>"},
      // A break byte after a lone lead byte is a break; the lead byte before a trail byte takes it.
      {0, '\n', "\x82\n", "\x82<br>"},
      {1, '\n', "\x82\x82\n", "\x82\x82\r\n"},
      {1, '\n', "\x82\n\x82\x0b", "\x82\r\n\x82\x0b"},
      // Long values are walked piece by piece, short ones byte by byte: both give the same.
      {0, '\n', std::string(300, 'a') + "\"<\n&", std::string(300, 'a') + "&quot;&lt;<br>&amp;"},
      {1, '\x0b', "\x0b" + std::string(300, '\x82'), "\r\n" + std::string(300, '\x82')},
  };
  for (const Case& c : cases) {
    std::string value = "kept|";
    AppendTranslatedValue(value, c.value, c.format, c.breakByte, table);
    EXPECT_EQ(value, "kept|" + c.expected) << c.value;
  }
  // Under a code page whose trail bytes include every byte the escaping looks for, the escaping
  // still wins over the double-byte character: markup never hides behind a lead byte.
  const CodePageTable wideTrail = CodePageTable::FromRanges(51000, {{0x81, 0x9F}}, {{0x01, 0xFE}});
  std::string value;
  AppendTranslatedValue(value, "\x81<\x81\n\x81'", 0, '\n', wideTrail);
  EXPECT_EQ(value, "\x81&lt;\x81\n\x81&#39;");
}

TEST(RecordMerger, FillsPlaceholdersFieldByFieldOverTheWholeCopy) {
  GeneratorSettings s = Defaults("out");
  struct Case {
    std::string line, tpl, expected;
  };
  const std::vector<Case> cases = {
      {"a,b", "[$_0_$]|[$_1_$]|[$_2_$]", "a|b|[$_2_$]"},
      {"[$_1_$],x", "[$_0_$]", "x"},          // a later field's placeholder is filled in turn
      {"a,[$_0_$]", "[$_1_$]", "[$_0_$]"},    // an earlier one's is kept
      {"a,", "<[$_1_$]>", "<>"},              // an empty field removes its placeholder
      {"a", "", ""},
      {"v", "x\0[$_0_$]\0"s, "x\0v\0"s},      // NUL bytes stay, placeholders after them are filled
      {"v", "\x83[$_0_$]", "\x83[$_0_$]"},    // "[" as a trail byte starts no placeholder
  };
  for (const Case& c : cases) EXPECT_EQ(Filled(s, c.line, c.tpl), c.expected) << c.line;
}

TEST(RecordMerger, FreesAHugeLineOnceItIsSplitWhenAskedTo) {
  const GeneratorSettings s = Defaults("out");
  const CodePageTable table = CodePageTable::ForCodePage(932);
  RunContext context(s, "<[$_0_$]|[$_1_$]>", ',', table, kPosix);
  MergeScratch scratch;
  MergedRecord record;
  for (LineAfterSplit after : {LineAfterSplit::FreeIfHuge, LineAfterSplit::Keep}) {
    for (std::size_t size : {std::size_t{16}, kKeptLineBytes + 1}) {
      const std::string value(size, 'v');
      std::string line = "\"" + value + "\",b";
      const std::string kept = line;
      BuildMergedRecord(line, 1, context, scratch, record, after);
      EXPECT_EQ(record.content, "<" + value + "|b>");
      const bool freed = after == LineAfterSplit::FreeIfHuge && size > kKeptLineBytes;
      EXPECT_EQ(line, freed ? "" : kept) << size;
    }
  }
}

TEST(RecordMerger, PutsTheDefaultTextInUnchangedForEmptyFields) {
  GeneratorSettings s = Defaults("out");
  s.ReplaceDefault = "&nbsp;<i>";
  EXPECT_EQ(Filled(s, "a,", "[$_0_$][$_1_$]"), "a&nbsp;<i>");
  s.ReplaceFormat = 1;
  EXPECT_EQ(Filled(s, ",b", "[$_0_$][$_1_$]"), "&nbsp;<i>b");
}

TEST(RecordMerger, EmptyTailMakesAPlaceholderTheStartOfOthers) {
  GeneratorSettings s = Defaults("out");
  s.ReplaceTail = "";
  EXPECT_EQ(Filled(s, "f0,f1,f2,f3,f4,f5,f6,f7,f8,f9,f10", "[$_1 [$_10"), "f1 f10");
  s.ReplaceLead = "";
  EXPECT_EQ(Filled(s, "x,y", "0 1 10"), "x y yx");
}

TEST(RecordMerger, NamesFilesByRecordNumberOrField) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  struct Case {
    std::int32_t rule;
    std::uint32_t number;
    std::string lead, tail, line;
    std::uint32_t record;
    std::string name;
    bool accepted;
  };
  const Case cases[] = {
      {0, 4, "p", ".html", "a", 12, "p0012.html", true},
      {0, 0, "", ".html", "a", 12, "12.html", true},
      {1, 0, "", ".html", "a&b,c", 1, "a&b.html", true},
      {1, 1, "x_", ".txt", "a,", 1, "x_.txt", true},
      // The record lacks the field: reported like a file that cannot be opened.
      {1, 2, "x_", ".txt", "a,b", 1, "x_.txt", false},
      {1, 255, "", ".html", "a", 1, ".html", false},
      // No path holds that many digits: refused without building the name.
      {0, 4294967295u, "p", ".html", "a", 7, "p7.html", false},
      {2, 0, "p", ".html", "a", 1, "", false},
      {-1, 0, "p", ".html", "a", 1, "", false},
      {1, 0, "", "", "../evil", 1, "../evil", false},
  };
  for (const Case& c : cases) {
    GeneratorSettings s = Defaults("out");
    s.Rule = c.rule;
    s.RuleNumber = c.number;
    s.RuleLead = c.lead;
    s.RuleTail = c.tail;
    RunContext context(s, "t", ',', table, kPosix);
    MergeScratch scratch;
    MergedRecord record;
    std::string line = c.line;
    BuildMergedRecord(line, c.record, context, scratch, record);
    EXPECT_EQ(record.outputName, c.name) << c.line;
    EXPECT_EQ(record.accepted, c.accepted) << c.line;
    if (c.accepted) {
      EXPECT_EQ(record.outputPath, "out/" + c.name);
    }
  }
}

TEST(RecordMerger, WritesTheFileAndLogsOkOrTheOpenFailure) {
  test::ScopedCodePage codePage(932);
  test::TempDir dir;
  const CodePageTable& table = ProcessCodePageTable();
  GeneratorSettings s = Defaults(dir.Path().string());
  s.Rule = 1;
  RunContext context(s, "<[$_1_$]>", ',', table, platform::NativePathRules());
  RecordingHost host;
  std::string log;
  OneThreadWriter writer(context, log, host);
  auto merge = [&](std::string line, std::uint32_t number) { return writer.Write(line, number); };

  EXPECT_TRUE(merge("a,1", 1));
  EXPECT_EQ(test::ReadBytes(dir / "a.html"), "<1>");
  // The same name again: the later record's file replaces the earlier one's.
  EXPECT_TRUE(merge("a,2", 2));
  EXPECT_EQ(test::ReadBytes(dir / "a.html"), "<2>");
  const std::string okLine =
      dir.Path().string() + platform::NativePathRules().joinSeparator + "a.html -> ok\r\n";
  EXPECT_EQ(log, okLine + okLine);
  EXPECT_TRUE(host.statuses.empty());

  log.clear();
  EXPECT_FALSE(merge("missing/x,3", 3));
  const std::string failure =
      " missing/x.html\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83I\x81[\x83v\x83\x93\x8fo\x97\x88\x82\xdc"
      "\x82\xb9\x82\xf1\x81" "B";
  EXPECT_EQ(log, failure + "\r\n");
  EXPECT_EQ(host.statuses, std::vector<std::string>{failure});
  EXPECT_EQ(host.beeps, std::vector<unsigned>{kBeepError});
}

TEST(RecordMerger, NeverWritesOverAProtectedFile) {
  test::TempDir dir;
  const CodePageTable table = CodePageTable::ForCodePage(932);
  test::WriteBytes(dir / "input.html", "keep me");
  platform::InputFile input;
  ASSERT_TRUE(input.Open(dir / "input.html").ok());
  GeneratorSettings s = Defaults(dir.Path().string());
  s.Rule = 1;
  RunContext context(s, "overwritten", ',', table, platform::NativePathRules());
  context.protectedFiles.push_back(*input.Identity());
  input.Close();
  RecordingHost host;
  std::string log;
  OneThreadWriter writer(context, log, host);
  EXPECT_FALSE(writer.Write("input", 1));
  EXPECT_EQ(test::ReadBytes(dir / "input.html"), "keep me");
}

TEST(RecordMerger, ChoosesRecordsAndNamesThemByTheNameTemplate) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  struct Case {
    std::vector<std::string> conditions;
    std::string line;
    std::string name;  // "": skipped
  };
  const Case cases[] = {
      {{"0=a"}, "a,<b>", "<b>/7.txt"},
      {{"0=a"}, "\"a\",x", "x/7.txt"},  // the field's text, quotes removed
      {{"0!=a"}, "a,x", ""},
      {{"0=a", "1=y"}, "a,x", ""},
      {{"2="}, "a,x", "x/7.txt"},  // a missing field is empty
      {{"2!="}, "a,x", ""},
      {{"1=X"}, "a,x", ""},  // byte for byte
      {{"99999999999999999999999="}, "a,x", "x/7.txt"},
  };
  for (const Case& c : cases) {
    std::vector<RecordCondition> conditions;
    for (const std::string& text : c.conditions) {
      conditions.push_back(*ParseRecordCondition(text, table));
    }
    RunChoices choices(conditions, "[$_1_$]/[$_#record_$].txt", std::nullopt);
    const GeneratorSettings s = Defaults("out");
    RunContext context(s, "t", ',', table, kPosix);
    choices.Attach(context);
    MergeScratch scratch;
    MergedRecord record;
    std::string line = c.line;
    BuildMergedRecord(line, 7, context, scratch, record);
    EXPECT_EQ(record.skipped, c.name.empty()) << c.line << " " << c.conditions[0];
    if (!c.name.empty()) {
      EXPECT_EQ(record.outputName, c.name) << c.line;
    }
    EXPECT_EQ(choices.Skipped(), c.name.empty() ? 1u : 0u);
  }
}

// Keeps the records that a run hands to its sink.
class KeptRecords : public RecordSink {
 public:
  void Keep(const MergedRecord& record) override { kept.push_back(record); }
  std::vector<MergedRecord> kept;
};

TEST(RecordMerger, FillsListRowsExactlyAsTheRecordsPagesAreFilled) {
  const CodePageTable table = CodePageTable::ForCodePage(932);
  // The list names field 1 alone; a value that holds another field's placeholder is filled
  // from that field as in the page, though the list never names it.
  const std::vector<std::string> lines = {"a,[$_2_$],z<", "b,x&y,w", "c,[$_3_$],v,"};
  GeneratorSettings s = Defaults("out");
  s.ReplaceDefault = "-";
  KeptRecords sink;
  RunContext context(s, "[$_1_$]", ',', table, kPosix);
  context.output.sink = &sink;
  RunChoices choices({}, std::nullopt,
                     ListRequest{ListTemplate{"(", "[$_1_$]=[$_#file_$];", ")"}, "i.html"});
  choices.Attach(context);
  MergeScratch scratch;
  std::vector<std::string> pages;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    MergedRecord record;
    std::string line = lines[i];
    BuildMergedRecord(line, static_cast<std::uint32_t>(i + 1), context, scratch, record);
    pages.push_back(record.content);
    choices.RecordDone(record, OutputOutcome::Written, 0);
  }
  EXPECT_EQ(pages, (std::vector<std::string>{"z&lt;", "x&amp;y", "-"}));
  std::string log;
  RunEvents events;
  RunReporter reporter(log, events);
  EXPECT_EQ(choices.WriteLists(context, reporter), 0u);
  ASSERT_EQ(sink.kept.size(), 1u);
  EXPECT_EQ(sink.kept[0].outputName, "i.html");
  EXPECT_EQ(sink.kept[0].content, "(z&lt;=1.html;x&amp;y=2.html;-=3.html;)");
}

TEST(RecordMerger, ReadsConditionsAndSplitsListTemplatesWhereCharactersStart) {
  struct Condition {
    unsigned codePage;
    std::string text;
    bool read;
    std::string name, value;
    bool equal;
  };
  const Condition conditions[] = {
      {932, "kind=talk", true, "kind", "talk", true},
      {932, "kind!=talk", true, "kind", "talk", false},
      {932, "a=b=c", true, "a", "b=c", true},
      {932, "a!b=", true, "a!b", "", true},
      {932, "=x", false, "", "", true},
      {932, "!=x", false, "", "", true},
      {932, "kind", false, "", "", true},
      // In Johab "=" may be the second byte of a character.
      {1361, "\x88\x3d=x", true, "\x88\x3d", "x", true},
      {1361, "\x88\x3d", false, "", "", true},
  };
  for (const Condition& c : conditions) {
    const std::optional<RecordCondition> read =
        ParseRecordCondition(c.text, CodePageTable::ForCodePage(c.codePage));
    ASSERT_EQ(read.has_value(), c.read) << c.text;
    if (!read) continue;
    EXPECT_EQ(read->name, c.name);
    EXPECT_EQ(read->value, c.value);
    EXPECT_EQ(read->equal, c.equal);
  }
  struct List {
    std::string text;
    std::string head, row, tail, error;
  };
  const List lists[] = {
      {"<h>[$_#rows_$]<r>[$_#end_$]<t>", "<h>", "<r>", "<t>", ""},
      {"[$_#rows_$][$_#end_$]", "", "", "", ""},
      // "[" as the second byte of a character starts no placeholder.
      {"\x89[$_#rows_$][$_#rows_$]r[$_#end_$]", "\x89[$_#rows_$]", "r", "", ""},
      {"no block", "", "", "",
       "the list template has no block of rows: [$_#rows_$] ... [$_#end_$]"},
      {"[$_#rows_$]a[$_#end_$][$_#rows_$]b[$_#end_$]", "", "", "",
       "the list template has [$_#rows_$] twice: it may have one block of rows"},
      {"[$_#rows_$]a", "", "", "",
       "the list template's block of rows has no [$_#end_$] after [$_#rows_$]"},
      {"[$_#end_$][$_#rows_$]a[$_#end_$]", "", "", "",
       "the list template has [$_#end_$] outside its block of rows"},
      {"[$_#rows_$]a[$_#end_$][$_#end_$]", "", "", "",
       "the list template has [$_#end_$] outside its block of rows"},
  };
  for (const List& c : lists) {
    std::string error;
    const std::optional<ListTemplate> split =
        SplitListTemplate(c.text, Defaults("out"), CodePageTable::ForCodePage(932), error);
    EXPECT_EQ(error, c.error) << c.text;
    if (!split) continue;
    EXPECT_EQ(split->head, c.head) << c.text;
    EXPECT_EQ(split->row, c.row) << c.text;
    EXPECT_EQ(split->tail, c.tail) << c.text;
  }
}

}  // namespace
}  // namespace velmora
