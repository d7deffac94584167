// velmora-benchgen: writes the data of a whole-run benchmark into a folder: input.csv (code page
// 932, CR LF record ends, Japanese text, quoted fields with commas, doubled quotes and in-field
// line breaks, characters that HTML escapes, empty fields), template.html (every field twice,
// padded to the asked size) and settings.ini (HTML, naming by field 0, which is unique).
//
//   velmora-benchgen --records N --fields F --template-bytes T DIR
//   velmora-benchgen --long-records N --record-bytes B DIR
//
// The second form writes an input of N records of one long field each (the memory benchmark),
// named by record number, streamed so that the generator itself stays small.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "bench/BenchText.h"

namespace {

using velmora::bench::AppendJapanese;
using velmora::bench::Random;

constexpr unsigned kCodePage = 932;
// "商品" in code page 932: the name of every record starts with it.
constexpr std::string_view kNamePrefix = "\x8f\xa4\x95\x69";
// "（なし）": stands in for empty fields.
constexpr std::string_view kDefaultText = "\x81\x69\x82\xc8\x82\xb5\x81\x6a";

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

// One field value of a record, raw (before quoting): the shapes a spreadsheet export holds.
std::string FieldValue(Random& random, unsigned field) {
  std::string value;
  switch ((field + random.Below(7)) % 7) {
    case 0:  // a plain Japanese phrase
      AppendJapanese(value, random, kCodePage, 4 + random.Below(12));
      break;
    case 1:  // a phrase with a comma, so the field is quoted
      AppendJapanese(value, random, kCodePage, 3 + random.Below(6));
      value.append(", ");
      AppendJapanese(value, random, kCodePage, 3 + random.Below(6));
      break;
    case 2:  // several lines inside one field
      AppendJapanese(value, random, kCodePage, 5 + random.Below(10));
      value.push_back('\n');
      AppendJapanese(value, random, kCodePage, 5 + random.Below(10));
      value.push_back('\n');
      AppendJapanese(value, random, kCodePage, 2 + random.Below(5));
      break;
    case 3:  // quotes and characters that HTML escapes
      value.append("\"");
      AppendJapanese(value, random, kCodePage, 2 + random.Below(6));
      value.append("\" & <b>");
      AppendJapanese(value, random, kCodePage, 1 + random.Below(4));
      value.append("</b>");
      break;
    case 4:  // a price
      value = std::to_string(100 + random.Below(99900));
      break;
    case 5:  // empty now and then, else a short code
      if (random.Below(3) != 0) value = "JP-" + std::to_string(random.Below(1000000));
      break;
    default:  // a longer description
      AppendJapanese(value, random, kCodePage, 20 + random.Below(30));
      break;
  }
  return value;
}

// The field as a CSV writer puts it: quoted, with doubled quotes, when it needs to be.
void AppendCsvField(std::string& line, std::string_view value) {
  if (value.find_first_of(",\"\n") == std::string_view::npos) {
    line.append(value);
    return;
  }
  line.push_back('"');
  for (char c : value) {
    if (c == '"') line.push_back('"');
    line.push_back(c);
  }
  line.push_back('"');
}

std::string MakeTemplate(unsigned fields, std::size_t bytes, Random& random) {
  std::string head = "<html><head><title>[$_0_$]</title></head><body>\r\n";
  std::string body;
  for (unsigned i = 0; i < fields; ++i) {
    const std::string placeholder = "[$_" + std::to_string(i) + "_$]";
    body.append("<p>").append(placeholder).append("</p>\r\n");
  }
  for (unsigned i = 0; i < fields; ++i) {
    const std::string placeholder = "[$_" + std::to_string(i) + "_$]";
    if (i == 0) continue;  // field 0 is in the title already
    body.append("<!-- ").append(placeholder).append(" -->\r\n");
  }
  const std::string tail = "</body></html>\r\n";
  std::string text = head + body;
  // Filler: Japanese prose between ASCII markup, up to the asked size.
  while (text.size() + tail.size() + 32 <= bytes) {
    text.append("<p>");
    AppendJapanese(text, random, kCodePage, 10);
    text.append("</p>\r\n");
  }
  while (text.size() + tail.size() < bytes) text.push_back(' ');
  return text + tail;
}

std::string MakeSettings() {
  std::string ini =
      "[Settings]\r\nInput=input.csv\r\nOutput=out\r\nTemplate=template.html\r\n"
      "[Replace]\r\nLead=[$_\r\nTail=_$]\r\nDefault=";
  ini.append(kDefaultText);
  ini.append(
      "\r\nFormat=0\r\n[Rule]\r\nLead=\r\nTail=.html\r\nRule=1\r\nNumber=0\r\n"
      "[Field]\r\nSeparator=0\r\nBreak=0\r\n");
  return ini;
}

int GenerateTable(const std::string& dir, unsigned records, unsigned fields, std::size_t bytes) {
  Random random(20261207);
  std::FILE* input = std::fopen((dir + "/input.csv").c_str(), "wb");
  if (input == nullptr) {
    std::fprintf(stderr, "velmora-benchgen: cannot create %s/input.csv\n", dir.c_str());
    return 1;
  }
  std::string line;
  char number[16];
  for (unsigned r = 0; r < records; ++r) {
    line.assign(kNamePrefix);
    std::snprintf(number, sizeof number, "%07u", r + 1);
    line.append(number);
    for (unsigned f = 1; f < fields; ++f) {
      line.push_back(',');
      AppendCsvField(line, FieldValue(random, f));
    }
    line.append("\r\n");
    std::fwrite(line.data(), 1, line.size(), input);
  }
  bool ok = std::fclose(input) == 0;
  ok = WriteFile(dir + "/template.html", MakeTemplate(fields, bytes, random)) && ok;
  ok = WriteFile(dir + "/settings.ini", MakeSettings()) && ok;
  if (!ok) std::fprintf(stderr, "velmora-benchgen: cannot write into %s\n", dir.c_str());
  return ok ? 0 : 1;
}

int GenerateLongRecords(const std::string& dir, unsigned records, std::size_t recordBytes) {
  Random random(4);
  std::FILE* input = std::fopen((dir + "/input.csv").c_str(), "wb");
  if (input == nullptr) {
    std::fprintf(stderr, "velmora-benchgen: cannot create %s/input.csv\n", dir.c_str());
    return 1;
  }
  // One block of Japanese lines, repeated inside each record with the record's own first bytes.
  std::string block;
  while (block.size() < (1u << 16)) {
    AppendJapanese(block, random, kCodePage, 40);
    block.push_back('\n');
  }
  for (unsigned r = 0; r < records; ++r) {
    std::string head(1, '"');
    head.append(std::to_string(r + 1)).push_back(' ');
    std::fwrite(head.data(), 1, head.size(), input);
    std::size_t left = recordBytes > head.size() + 3 ? recordBytes - head.size() - 3 : 0;
    while (left > 0) {
      std::size_t n = left < block.size() ? left : block.size();
      std::fwrite(block.data(), 1, n, input);
      left -= n;
    }
    std::fwrite("\"\r\n", 1, 3, input);
  }
  bool ok = std::fclose(input) == 0;
  ok = WriteFile(dir + "/template.html",
                 "<html><body><pre>[$_0_$]</pre></body></html>\r\n") && ok;
  std::string ini = MakeSettings();
  ini.replace(ini.find("Rule=1"), 6, "Rule=0");
  ini.replace(ini.find("Number=0"), 8, "Number=6");
  ok = WriteFile(dir + "/settings.ini", ini) && ok;
  if (!ok) std::fprintf(stderr, "velmora-benchgen: cannot write into %s\n", dir.c_str());
  return ok ? 0 : 1;
}

bool ParseCount(const char* text, unsigned long long& value) {
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long records = 0, fields = 0, templateBytes = 0, longRecords = 0, recordBytes = 0;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    unsigned long long* target = arg == "--records"          ? &records
                                 : arg == "--fields"         ? &fields
                                 : arg == "--template-bytes" ? &templateBytes
                                 : arg == "--long-records"   ? &longRecords
                                 : arg == "--record-bytes"   ? &recordBytes
                                                             : nullptr;
    if (target != nullptr) {
      if (i + 1 >= argc || !ParseCount(argv[++i], *target)) {
        std::fprintf(stderr, "velmora-benchgen: %s needs a number\n", argv[i - 1]);
        return 2;
      }
    } else if (dir.empty() && !arg.starts_with("-")) {
      dir = std::string(arg);
    } else {
      std::fprintf(stderr, "velmora-benchgen: unknown argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (dir.empty() || (longRecords == 0 && (records == 0 || fields == 0))) {
    std::fprintf(stderr,
                 "usage: velmora-benchgen --records N --fields F --template-bytes T DIR\n"
                 "       velmora-benchgen --long-records N --record-bytes B DIR\n");
    return 2;
  }
  if (longRecords > 0) {
    return GenerateLongRecords(dir, static_cast<unsigned>(longRecords),
                               static_cast<std::size_t>(recordBytes));
  }
  return GenerateTable(dir, static_cast<unsigned>(records), static_cast<unsigned>(fields),
                       static_cast<std::size_t>(templateBytes));
}
