// The whole merge of one record against a template, with any settings: the filled template and the
// file name must be those of the simple rules, no HTML output holds markup that came from a field,
// and an accepted output path never leads outside the output folder, under either system's path
// rules.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ColumnNames.h"
#include "engine/FormatZeroPadded.h"
#include "engine/RecordMerger.h"
#include "tests/fuzz/Reference.h"

using namespace velmora;

namespace {

// Where each byte of the filled template came from.
enum class Origin : std::uint8_t { Template, Field, Markup, Default };

// Text with the origin of each of its bytes.
struct Tagged {
  std::string bytes;
  std::vector<Origin> origins;
};

Tagged Tag(std::string_view bytes, Origin origin) {
  return {std::string(bytes), std::vector<Origin>(bytes.size(), origin)};
}

// A value as its translation makes it: the field's own bytes stay Field, whatever the translation
// put in is Markup.
Tagged TranslateTagged(std::string_view field, std::int32_t format, char breakByte,
                       const CodePageTable& table) {
  Tagged value;
  ByteClass previous = ByteClass::OtherByte;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(field[i]);
    const ByteClass cls = reference::NextClass(b, previous, table);
    previous = cls;
    const char* entity = nullptr;
    if (format == 0) {
      entity = b == '&'    ? "&amp;"
               : b == '"'  ? "&quot;"
               : b == '>'  ? "&gt;"
               : b == '<'  ? "&lt;"
               : b == '\'' ? "&#39;"
                           : nullptr;
    }
    if (entity == nullptr && b == static_cast<unsigned char>(breakByte) &&
        cls != ByteClass::TrailByte) {
      entity = format == 0 ? "<br>" : "\r\n";
    }
    if (entity != nullptr) {
      const Tagged markup = Tag(entity, Origin::Markup);
      value.bytes += markup.bytes;
      value.origins.insert(value.origins.end(), markup.origins.begin(), markup.origins.end());
      previous = ByteClass::OtherByte;
    } else {
      value.bytes.push_back(static_cast<char>(b));
      value.origins.push_back(Origin::Field);
    }
  }
  return value;
}

// reference::ReplaceAll carrying the origins along.
Tagged ReplaceAllTagged(const Tagged& text, std::string_view oldText, const Tagged& newText,
                        const CodePageTable& table) {
  if (oldText.empty()) return text;
  Tagged out;
  ByteClass previous = ByteClass::OtherByte;
  std::size_t i = 0;
  while (i < text.bytes.size()) {
    const ByteClass cls =
        reference::NextClass(static_cast<unsigned char>(text.bytes[i]), previous, table);
    if (cls != ByteClass::TrailByte && text.bytes.compare(i, oldText.size(), oldText) == 0) {
      out.bytes += newText.bytes;
      out.origins.insert(out.origins.end(), newText.origins.begin(), newText.origins.end());
      i += oldText.size();
      previous = ByteClass::OtherByte;
      continue;
    }
    out.bytes.push_back(text.bytes[i]);
    out.origins.push_back(text.origins[i]);
    previous = cls;
    ++i;
  }
  return out;
}

bool IsSeparator(char c, const platform::PathRules& rules) {
  return c == '/' || (rules.backslashSeparates && c == '\\');
}

// Whether the system could take the component for the parent folder (Windows drops trailing dots
// and blanks, so "..." and ". ." count there).
bool IsParent(std::string_view component, const platform::PathRules& rules) {
  if (component == "..") return true;
  if (!rules.drivesAndUnc) return false;
  std::size_t dots = 0;
  for (char c : component) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// Walks the name as the system does, separating at every separator byte whatever comes before
// it, and checks that it never climbs above the folder it starts in.
void CheckStaysInside(std::string_view name, const platform::PathRules& rules) {
  reference::Check(!name.empty() && !IsSeparator(name[0], rules), "an absolute output name");
  long depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsSeparator(name[i], rules)) continue;
    const std::string_view component = name.substr(start, i - start);
    if (IsParent(component, rules)) {
      --depth;
    } else if (!component.empty() && component != ".") {
      ++depth;
    }
    reference::Check(depth >= 0, "an output name leads outside the output folder");
    start = i + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const CodePageTable table = reference::PickTable(provider.ConsumeIntegral<std::uint8_t>(),
                                                   provider.ConsumeIntegral<std::uint8_t>(),
                                                   provider.ConsumeIntegral<std::uint8_t>());
  static const platform::PathRules kPosix{false, false, '/', 0};
  static const platform::PathRules kWindows{true, true, '\\', 260};
  const platform::PathRules& rules = provider.ConsumeBool() ? kWindows : kPosix;
  const char separator = provider.ConsumeBool() ? '\t' : ',';

  GeneratorSettings s;
  s.ReplaceFormat = provider.ConsumeIntegralInRange<std::int32_t>(-1, 2);
  s.FieldBreak = provider.ConsumeIntegralInRange<std::int32_t>(-1, 2);
  s.Rule = provider.ConsumeIntegralInRange<std::int32_t>(-1, 2);
  switch (provider.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: s.RuleNumber = provider.ConsumeIntegralInRange<std::uint32_t>(0, 12); break;
    case 1: s.RuleNumber = provider.ConsumeIntegralInRange<std::uint32_t>(0, 300); break;
    case 2: s.RuleNumber = provider.ConsumeIntegralInRange<std::uint32_t>(4090, 4100); break;
    default: s.RuleNumber = provider.ConsumeIntegral<std::uint32_t>(); break;
  }
  const std::uint32_t recordNumber = provider.ConsumeIntegral<std::uint32_t>();
  s.ReplaceLead = provider.ConsumeRandomLengthString(8);
  s.ReplaceTail = provider.ConsumeRandomLengthString(8);
  s.ReplaceDefault = provider.ConsumeRandomLengthString(16);
  s.RuleLead = provider.ConsumeRandomLengthString(16);
  s.RuleTail = provider.ConsumeRandomLengthString(16);
  s.Output = provider.ConsumeRandomLengthString(32);
  const std::string line = provider.ConsumeRandomLengthString(256);
  // A header record naming the columns, as a run with columns by name reads it.
  const bool withHeader = provider.ConsumeBool();
  const std::string headerLine = withHeader ? provider.ConsumeRandomLengthString(64) : "";
  const std::string templateText = provider.ConsumeRemainingBytesAsString();

  RunContext context(s, templateText, separator, table, rules);
  std::vector<std::string> named;
  if (withHeader) {
    named = NamedPlaceholders(ReadColumnNames(reference::SplitFields(headerLine, separator, table)),
                              s.ReplaceLead, s.ReplaceTail);
    context.namedPlaceholders = named;
  }
  MergeScratch scratch;
  MergedRecord record;
  std::string recordLine = line;
  BuildMergedRecord(recordLine, recordNumber, context, scratch, record);

  const std::vector<std::string> fields = reference::SplitFields(line, separator, table);
  const char breakByte = s.FieldBreak == 0 ? '\x0A' : '\x0B';
  Tagged content = Tag(templateText, Origin::Template);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    Tagged value = TranslateTagged(fields[i], s.ReplaceFormat, breakByte, table);
    reference::Check(value.bytes == reference::TranslateValue(fields[i], s.ReplaceFormat,
                                                              breakByte, table),
                     "the translation differs from the replacements one after another");
    if (value.bytes.empty() && !s.ReplaceDefault.empty()) {
      value = Tag(s.ReplaceDefault, Origin::Default);
    }
    content = ReplaceAllTagged(content, s.ReplaceLead + std::to_string(i) + s.ReplaceTail, value,
                               table);
    if (i < named.size()) content = ReplaceAllTagged(content, named[i], value, table);
  }
  reference::Check(record.content == content.bytes, "the filled template differs from the rules");
  // Whatever bytes a record holds, in whatever code page, none of them reaches an HTML page as
  // markup: no "<", ">", double quote, apostrophe or "&" of the output comes from a field.
  if (s.ReplaceFormat == 0) {
    for (std::size_t i = 0; i < content.bytes.size(); ++i) {
      const char c = content.bytes[i];
      reference::Check(content.origins[i] != Origin::Field ||
                           (c != '<' && c != '>' && c != '"' && c != '\'' && c != '&'),
                       "markup from a field reaches an HTML page");
    }
  }

  std::string name;
  if (s.Rule == 0) {
    name = s.RuleLead + FormatZeroPadded(s.RuleNumber <= kMaxPaddedWidth ? s.RuleNumber : 0,
                                         recordNumber) +
           s.RuleTail;
    const std::uint32_t width = s.RuleNumber % 64;
    const std::string digits = std::to_string(recordNumber);
    const std::string padding(width > digits.size() ? width - digits.size() : 0, '0');
    reference::Check(FormatZeroPadded(width, recordNumber) == padding + digits,
                     "zero padding differs from the rules");
  } else if (s.Rule == 1) {
    name = s.RuleLead + (s.RuleNumber < fields.size() ? fields[s.RuleNumber] : "") + s.RuleTail;
  }
  reference::Check(record.outputName == name, "the output name differs from the rules");

  if (record.accepted) {
    reference::Check(s.Rule == 0 || s.Rule == 1, "a name accepted without a naming rule");
    reference::Check(s.Rule != 1 || s.RuleNumber < fields.size(), "a name from a missing field");
    reference::Check(s.Rule != 0 || s.RuleNumber <= kMaxPaddedWidth, "an oversized padding");
    reference::Check(rules.maxPathBytes == 0 || record.outputPath.size() < rules.maxPathBytes,
                     "an output path longer than the system takes");
    reference::Check(record.outputPath.size() >= name.size() &&
                         record.outputPath.compare(record.outputPath.size() - name.size(),
                                                   name.size(), name) == 0,
                     "the output path does not end in the name");
    const std::string prefix = record.outputPath.substr(0, record.outputPath.size() - name.size());
    reference::Check(prefix == context.folderPrefix &&
                         (prefix == s.Output || prefix == s.Output + rules.joinSeparator),
                     "the output path is not in the folder");
    CheckStaysInside(name, rules);
    if (rules.drivesAndUnc && name.size() >= 2 && name[1] == ':') {
      reference::Check(table.IsLead(static_cast<unsigned char>(name[0])), "a drive in a name");
    }
  } else {
    reference::Check(record.outputPath.empty(), "a refused record keeps a path");
  }
  return 0;
}
