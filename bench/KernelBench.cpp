// Throughput of the inner loops of a run: the field splitter and ReplaceAll, in code pages 932 and
// 65001, reported in bytes per second.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/BenchText.h"
#include "engine/ContentHash.h"
#include "engine/FieldSplitter.h"
#include "engine/RecordMerger.h"
#include "engine/ReplaceAll.h"
#include "engine/TextCheck.h"
#include "platform/CodePageTable.h"
#include "platform/Platform.h"
#include "settings/GeneratorSettings.h"

namespace {

using velmora::CodePageTable;
using velmora::bench::AppendJapanese;
using velmora::bench::Random;

const CodePageTable& TableFor(unsigned codePage) {
  static const CodePageTable cp932 = CodePageTable::ForCodePage(932);
  static const CodePageTable utf8 = CodePageTable::ForCodePage(65001);
  return codePage == 932 ? cp932 : utf8;
}

enum LineShape { kTypical, kManyQuotes, kAllDoubleByte };

// A record line of 20 fields.
std::string MakeLine(LineShape shape, unsigned codePage) {
  Random random(7);
  std::string line;
  for (unsigned f = 0; f < 20; ++f) {
    if (f > 0) line.push_back(',');
    switch (shape) {
      case kTypical:
        if (f % 4 == 1) {  // quoted, with a comma and a line break inside
          line.push_back('"');
          AppendJapanese(line, random, codePage, 6);
          line.append(", ");
          AppendJapanese(line, random, codePage, 6);
          line.push_back('\n');
          AppendJapanese(line, random, codePage, 4);
          line.push_back('"');
        } else if (f % 4 == 2) {
          line.append(std::to_string(random.Below(100000)));
        } else {
          AppendJapanese(line, random, codePage, 8);
        }
        break;
      case kManyQuotes:  // every field quoted, doubled quotes every few bytes
        line.push_back('"');
        for (unsigned i = 0; i < 8; ++i) {
          line.append("a\"\"b,");
          AppendJapanese(line, random, codePage, 1);
        }
        line.push_back('"');
        break;
      case kAllDoubleByte:
        AppendJapanese(line, random, codePage, 24);
        break;
    }
  }
  return line;
}

void BM_SplitFields(benchmark::State& state) {
  const auto shape = static_cast<LineShape>(state.range(0));
  const auto codePage = static_cast<unsigned>(state.range(1));
  const std::string line = MakeLine(shape, codePage);
  const CodePageTable& table = TableFor(codePage);
  velmora::FieldList fields;
  for (auto _ : state) {
    velmora::SplitFields(line, ',', table, fields);
    benchmark::DoNotOptimize(fields.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
  static const char* const kNames[] = {"typical", "many quotes", "all double-byte"};
  state.SetLabel(std::string(kNames[shape]) + ", " + std::to_string(line.size()) + " bytes");
}
BENCHMARK(BM_SplitFields)
    ->ArgNames({"shape", "cp"})
    ->ArgsProduct({{kTypical, kManyQuotes, kAllDoubleByte}, {932, 65001}});

// A text of about size bytes: Japanese lines in markup, with matches placeholders spread evenly.
std::string MakeText(std::size_t size, std::size_t matches, unsigned codePage) {
  Random random(11);
  std::string text;
  const std::size_t every = matches == 0 ? size + 1 : size / matches;
  std::size_t placed = 0;
  std::size_t next = every / 2;
  while (text.size() < size) {
    if (placed < matches && text.size() >= next) {
      text.append("[$_7_$]");
      ++placed;
      next += every;
    }
    text.append("<td>");
    AppendJapanese(text, random, codePage, 6);
    text.append("</td>\r\n");
  }
  return text;
}

// One iteration replaces every placeholder by a value and the value back again, so that the text
// is the same at the start of each iteration; bytes processed count both passes.
void BM_ReplaceAll(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const auto matches = static_cast<std::size_t>(state.range(1));
  const auto codePage = static_cast<unsigned>(state.range(2));
  const CodePageTable& table = TableFor(codePage);
  std::string text = MakeText(size, matches, codePage);
  const std::size_t length = text.size();
  for (auto _ : state) {
    velmora::ReplaceAll(text, "[$_7_$]", "<<seven>>", table);
    velmora::ReplaceAll(text, "<<seven>>", "[$_7_$]", table);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 2 * length));
}
BENCHMARK(BM_ReplaceAll)
    ->ArgNames({"bytes", "matches", "cp"})
    ->ArgsProduct({{4 << 10, 1 << 20}, {0, 1, 64}, {932, 65001}});
BENCHMARK(BM_ReplaceAll)
    ->Name("BM_ReplaceAll/every-line")
    ->ArgNames({"bytes", "matches", "cp"})
    ->ArgsProduct({{4 << 10}, {100}, {932, 65001}});
BENCHMARK(BM_ReplaceAll)
    ->Name("BM_ReplaceAll/every-line")
    ->ArgNames({"bytes", "matches", "cp"})
    ->ArgsProduct({{1 << 20}, {25000}, {932, 65001}});

// One record of the 100,000-record run: split 20 fields, escape them and fill a 4 KB template that
// uses every field twice, then build the output name. Bytes are those of the filled template.
void BM_BuildMergedRecord(benchmark::State& state) {
  const auto codePage = static_cast<unsigned>(state.range(0));
  const CodePageTable& table = TableFor(codePage);
  std::string line = MakeLine(kTypical, codePage);
  Random random(3);
  std::string templateText = "<html><body>\r\n";
  for (int pass = 0; pass < 2; ++pass) {
    for (unsigned f = 0; f < 20; ++f) {
      templateText.append("<p>[$_" + std::to_string(f) + "_$]</p>\r\n");
    }
  }
  while (templateText.size() < 4096 - 16) {
    templateText.append("<p>");
    AppendJapanese(templateText, random, codePage, 8);
    templateText.append("</p>\r\n");
  }
  templateText.append("</body></html>\r\n");
  velmora::GeneratorSettings settings;
  settings.Output = "out";
  settings.ReplaceLead = "[$_";
  settings.ReplaceTail = "_$]";
  settings.RuleTail = ".html";
  settings.Rule = 0;
  settings.RuleNumber = 6;
  velmora::RunContext context(settings, templateText, ',', table,
                              velmora::platform::NativePathRules());
  velmora::MergeScratch scratch;
  velmora::MergedRecord record;
  std::uint32_t number = 1;
  for (auto _ : state) {
    velmora::BuildMergedRecord(line, number++, context, scratch, record);
    benchmark::DoNotOptimize(record.content.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * record.content.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_BuildMergedRecord)->ArgName("cp")->Arg(932)->Arg(65001);

// The batch command's check of one record of the same run: whether it is well-formed text of the
// code page, and in 932 whether it looks like UTF-8 (which it stops asking once a record is not).
// Its items per second beside BM_BuildMergedRecord's give the check's share of a record's work
// (the budget is 5 % of the whole run).
void BM_TextCheck(benchmark::State& state) {
  const auto codePage = static_cast<unsigned>(state.range(0));
  const CodePageTable& table = TableFor(codePage);
  const std::string line = MakeLine(kTypical, codePage);
  for (auto _ : state) {
    benchmark::DoNotOptimize(velmora::FirstMalformedByte(line, table));
    if (codePage != 65001) benchmark::DoNotOptimize(velmora::LookAsUtf8(line));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_TextCheck)->ArgName("cp")->Arg(932)->Arg(65001);

// --prune's hash of each page, on the writing thread, beside the page's own writing: a page of a
// few kilobytes, and one of a megabyte.
void BM_HashBytes(benchmark::State& state) {
  const std::string page(static_cast<std::size_t>(state.range(0)), 'p');
  for (auto _ : state) benchmark::DoNotOptimize(velmora::HashBytes(page));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_HashBytes)->ArgName("bytes")->Arg(4096)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
