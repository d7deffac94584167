#include "engine/RecordMerger.h"

#include <array>
#include <charconv>
#include <cstring>

#include "engine/FormatZeroPadded.h"
#include "engine/OutputPath.h"
#include "engine/ReplaceAll.h"
#include "engine/SystemTexts.h"

namespace velmora {

// The field-by-field substitution replaces placeholder 0 over the whole copy, then placeholder 1
// over the result, and so on, so that a value can bring in, or complete, the placeholder of a later
// field. In nearly every real template that never happens, and then the result is simply the
// template's literal stretches with the values put in their places. The plan finds those places by
// running the substitution once on the template alone, and proves for each record that the
// record's values cannot take part in any later match:
//   - no placeholder byte is a lead byte, so each placeholder ends where a character ends and the
//     template around it keeps its character boundaries;
//   - no literal stretch in front of a value ends with the beginning of a later placeholder, so no
//     match can start in the template and run on into a value (checked here, once);
//   - no value that later placeholders are searched over holds the first byte of a placeholder at
//     the start of a character, and each ends where a character ends (checked for every record).
// When any condition fails the record takes the field-by-field way.
struct TemplatePlan {
  static constexpr std::uint32_t kLiteral = 0xFFFFFFFFu;
  struct Piece {
    std::uint32_t field;  // kLiteral for template bytes
    std::size_t offset;   // of template bytes
    std::size_t length;
  };

  std::string templateText;
  std::string lead;
  std::string tail;
  std::size_t fieldCount = 0;
  const CodePageTable* table = nullptr;

  bool usable = false;
  char firstByte = 0;
  std::vector<Piece> pieces;
  std::vector<unsigned char> used;     // per field: the field has a place in the output
  std::vector<unsigned char> scanned;  // per field: later placeholders are searched over it
};

namespace {

std::string PlaceholderText(const std::string& lead, std::size_t field, const std::string& tail) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, field);
  std::string placeholder = lead;
  placeholder.append(digits, end);
  placeholder.append(tail);
  return placeholder;
}

// The matches of needle in text by ReplaceAll's rules: left to right, never overlapping, never on
// the second byte of a character.
void FindMatches(std::string_view text, std::string_view needle, const CodePageTable& table,
                 std::vector<std::size_t>& hits) {
  hits.clear();
  std::size_t known = 0;
  for (;;) {
    std::size_t hit = text.find(needle, known);
    if (hit == std::string_view::npos) return;
    if (table.HasLeadBytes() && !StartsCharacter(text, known, hit, table)) {
      known = hit + 1;
      continue;
    }
    hits.push_back(hit);
    known = hit + needle.size();
  }
}

std::shared_ptr<TemplatePlan> BuildPlan(std::string_view templateText, const std::string& lead,
                                        const std::string& tail, std::size_t fieldCount,
                                        const CodePageTable& table) {
  auto plan = std::make_shared<TemplatePlan>();
  plan->templateText.assign(templateText);
  plan->lead = lead;
  plan->tail = tail;
  plan->fieldCount = fieldCount;
  plan->table = &table;
  if (lead.empty()) return plan;
  std::vector<std::string> placeholders;
  placeholders.reserve(fieldCount);
  for (std::size_t i = 0; i < fieldCount; ++i) {
    placeholders.push_back(PlaceholderText(lead, i, tail));
    for (char c : placeholders.back()) {
      if (table.IsLead(static_cast<unsigned char>(c))) return plan;
    }
  }
  using Piece = TemplatePlan::Piece;
  std::vector<Piece> pieces;
  if (!templateText.empty()) pieces.push_back({TemplatePlan::kLiteral, 0, templateText.size()});
  std::vector<Piece> next;
  std::vector<std::size_t> hits;
  for (std::size_t i = 0; i < fieldCount; ++i) {
    const std::string_view placeholder = placeholders[i];
    next.clear();
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      const Piece& piece = pieces[p];
      if (piece.field != TemplatePlan::kLiteral) {
        next.push_back(piece);
        continue;
      }
      const std::string_view literal = templateText.substr(piece.offset, piece.length);
      if (p + 1 < pieces.size()) {
        // A match starting here could run on into the value that follows.
        for (std::size_t n = 1; n < placeholder.size() && n <= literal.size(); ++n) {
          if (literal.ends_with(placeholder.substr(0, n))) return plan;
        }
      }
      FindMatches(literal, placeholder, table, hits);
      std::size_t from = 0;
      for (std::size_t hit : hits) {
        if (hit > from) next.push_back({TemplatePlan::kLiteral, piece.offset + from, hit - from});
        next.push_back({static_cast<std::uint32_t>(i), 0, 0});
        from = hit + placeholder.size();
      }
      if (from < literal.size()) {
        next.push_back({TemplatePlan::kLiteral, piece.offset + from, literal.size() - from});
      }
    }
    pieces.swap(next);
  }
  plan->used.assign(fieldCount, 0);
  plan->scanned.assign(fieldCount, 0);
  for (const Piece& piece : pieces) {
    if (piece.field == TemplatePlan::kLiteral) continue;
    plan->used[piece.field] = 1;
    plan->scanned[piece.field] = piece.field + 1 < fieldCount ? 1 : 0;
  }
  plan->pieces = std::move(pieces);
  plan->firstByte = lead[0];
  plan->usable = true;
  return plan;
}

// Whether a value cannot take part in a match of a later placeholder: the first byte of the
// placeholders never starts a character in it, and its last character is complete.
bool IsInertValue(std::string_view value, char firstByte, const CodePageTable& table) {
  const char* data = value.data();
  std::size_t from = 0;
  while (from < value.size()) {
    const void* found = std::memchr(data + from, firstByte, value.size() - from);
    if (found == nullptr) break;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - data);
    if (!table.HasLeadBytes() || StartsCharacter(value, 0, at, table)) return false;
    from = at + 1;
  }
  return !table.HasLeadBytes() || !LeadByteBefore(value, 0, value.size(), table);
}

// Fills the template by the plan; false when this record's values need the field-by-field way.
// Each value is translated straight into the filled template, once, and copied from there where
// its placeholder occurs again, so that a huge field is held only twice: as the field and in the
// output.
bool FillByPlan(const TemplatePlan& plan, const MergeContext& context, MergeScratch& scratch,
                std::string& content) {
  static constexpr std::size_t kNotPlaced = static_cast<std::size_t>(-1);
  const GeneratorSettings& s = context.settings;
  const std::size_t count = scratch.fields.size();
  scratch.valueLengths.assign(count, 0);
  scratch.valuePlaces.assign(count, kNotPlaced);
  // An empty value gives way to the default text, byte for byte.
  auto usesDefault = [&](std::size_t i) {
    return scratch.fields[i].empty() && !s.ReplaceDefault.empty();
  };
  for (std::size_t i = 0; i < count; ++i) {
    if (!plan.used[i]) continue;
    scratch.valueLengths[i] =
        usesDefault(i) ? s.ReplaceDefault.size()
                       : TranslatedLength(scratch.fields[i], s.ReplaceFormat, context.breakByte,
                                          context.table);
  }
  std::size_t total = 0;
  for (const TemplatePlan::Piece& piece : plan.pieces) {
    total +=
        piece.field == TemplatePlan::kLiteral ? piece.length : scratch.valueLengths[piece.field];
  }
  content.clear();
  content.reserve(total);
  for (const TemplatePlan::Piece& piece : plan.pieces) {
    if (piece.field == TemplatePlan::kLiteral) {
      content.append(plan.templateText, piece.offset, piece.length);
      continue;
    }
    const std::size_t i = piece.field;
    const std::size_t length = scratch.valueLengths[i];
    if (scratch.valuePlaces[i] != kNotPlaced) {
      // The storage was reserved whole, so the copy never moves what it copies from.
      content.append(content, scratch.valuePlaces[i], length);
      continue;
    }
    const std::size_t place = content.size();
    const std::string& field = scratch.fields[i];
    if (usesDefault(i)) {
      content.append(s.ReplaceDefault);
    } else if (length == field.size()) {
      content.append(field);  // every replacement is longer than its byte: nothing to replace
    } else {
      AppendTranslatedValue(content, field, s.ReplaceFormat, context.breakByte, context.table);
    }
    if (plan.scanned[i] &&
        !IsInertValue(std::string_view(content).substr(place, length), plan.firstByte,
                      context.table)) {
      return false;
    }
    scratch.valuePlaces[i] = place;
  }
  return true;
}

// The substitution as it is defined: for each field in turn, every occurrence of its placeholder
// in the whole working copy, the values put in for earlier fields included.
void FillFieldByField(std::string_view templateText, const MergeContext& context,
                      MergeScratch& scratch, std::string& content) {
  const GeneratorSettings& s = context.settings;
  content.assign(templateText);
  for (std::size_t i = 0; i < scratch.fields.size(); ++i) {
    scratch.value.clear();
    AppendTranslatedValue(scratch.value, scratch.fields[i], s.ReplaceFormat, context.breakByte,
                          context.table);
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, i);
    scratch.placeholder.assign(s.ReplaceLead);
    scratch.placeholder.append(digits, end);
    scratch.placeholder.append(s.ReplaceTail);
    const std::string& value =
        scratch.value.empty() && !s.ReplaceDefault.empty() ? s.ReplaceDefault : scratch.value;
    ReplaceAll(content, scratch.placeholder, value, context.table);
  }
}

// Whether the file at path holds exactly bytes, read piece by piece so that no file is ever held
// whole. A file that cannot be read counts as different.
bool HoldsExactly(const std::string& path, std::string_view bytes) {
  platform::InputFile file;
  if (!file.Open(path)) return false;
  const std::optional<std::uint64_t> size = file.Size();
  if (!size || *size != bytes.size()) return false;
  constexpr std::size_t kPiece = 1 << 16;
  thread_local std::unique_ptr<char[]> buffer(new char[kPiece]);
  std::size_t done = 0;
  for (;;) {
    std::size_t got = 0;
    const platform::ReadStatus status = file.Read(buffer.get(), kPiece, got);
    if (status == platform::ReadStatus::End) return done == bytes.size();
    if (status == platform::ReadStatus::Error || got > bytes.size() - done ||
        std::memcmp(buffer.get(), bytes.data() + done, got) != 0) {
      return false;
    }
    done += got;
  }
}

// The plan for this template, placeholder texts and count of fields, built when they changed.
const TemplatePlan& PlanFor(std::string_view templateText, const MergeContext& context,
                            std::size_t fieldCount, MergeScratch& scratch) {
  const GeneratorSettings& s = context.settings;
  const TemplatePlan* plan = scratch.plan.get();
  if (plan == nullptr || plan->fieldCount != fieldCount || plan->table != &context.table ||
      plan->lead != s.ReplaceLead || plan->tail != s.ReplaceTail ||
      plan->templateText != templateText) {
    scratch.plan = BuildPlan(templateText, s.ReplaceLead, s.ReplaceTail, fieldCount,
                             context.table);
  }
  return *scratch.plan;
}

}  // namespace

MergeContext::MergeContext(const GeneratorSettings& runSettings,
                           const CodePageTable& codePageTable,
                           const platform::PathRules& pathRules)
    : settings(runSettings),
      table(codePageTable),
      rules(pathRules),
      folderPrefix(OutputFolderPrefix(runSettings.Output, pathRules, codePageTable)),
      breakByte(runSettings.FieldBreak == 0 ? '\x0A' : '\x0B') {}

namespace {

// What each byte of a value becomes: an index into kReplacements, 0 for the byte itself.
constexpr std::string_view kReplacements[] = {"", "&amp;", "&quot;", "&gt;", "&lt;", "<br>",
                                              "\r\n"};
constexpr std::uint8_t kFirstBreak = 5;  // the replacements from here on are of the break byte
using ByteKinds = std::array<std::uint8_t, 256>;

const ByteKinds& KindsFor(std::int32_t replaceFormat, char breakByte) {
  static const std::array<ByteKinds, 4> kKinds = [] {
    std::array<ByteKinds, 4> kinds{};
    for (int html = 0; html < 2; ++html) {
      for (int vt = 0; vt < 2; ++vt) {
        ByteKinds& k = kinds[static_cast<std::size_t>(html * 2 + vt)];
        if (html == 1) {
          k['&'] = 1;
          k['"'] = 2;
          k['>'] = 3;
          k['<'] = 4;
        }
        k[vt == 1 ? 0x0B : 0x0A] = html == 1 ? 5 : 6;
      }
    }
    return kinds;
  }();
  return kKinds[static_cast<std::size_t>((replaceFormat == 0 ? 2 : 0) +
                                         (breakByte == '\x0B' ? 1 : 0))];
}

// Walks value once and hands emit its translation piece by piece. HTML escapes "&" (first, so
// that the entities made for the others are not escaped again), the double quote, ">" and "<"
// wherever they stand, even right after a lead byte: a browser that meets a lead byte without a
// trail byte shows a replacement character and then reads the byte after it as it is, so a kept
// "<" would open live markup. The break byte is replaced where it starts a character, as the field
// splitter classifies bytes. No replacement holds a byte that a later replacement looks for, or a
// lead byte, so this gives the same text as the replacements one after another.
template <typename Emit>
void WalkTranslation(std::string_view value, std::int32_t replaceFormat, char breakByte,
                     const CodePageTable& table, Emit&& emit) {
  const ByteKinds& kind = KindsFor(replaceFormat, breakByte);
  const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
  const std::size_t size = value.size();
  std::size_t first = 0;
  while (first < size && kind[bytes[first]] == 0) ++first;
  if (first == size) {  // nothing to replace, the common case
    emit(value);
    return;
  }
  bool afterLead = LeadByteBefore(value, 0, first, table);
  std::size_t unchanged = 0;  // bytes from here on are copied as they are
  for (std::size_t i = first; i < size; ++i) {
    const unsigned char b = bytes[i];
    const std::uint8_t k = kind[b];
    if (k != 0 && (k < kFirstBreak || !afterLead || !table.IsTrail(b))) {
      emit(value.substr(unchanged, i - unchanged));
      emit(kReplacements[k]);
      unchanged = i + 1;
      afterLead = false;
    } else {
      // A byte after a lead byte that starts a character never starts a two-byte one itself.
      afterLead = !afterLead && table.IsLead(b);
    }
  }
  emit(value.substr(unchanged));
}

}  // namespace

std::size_t TranslatedLength(std::string_view value, std::int32_t replaceFormat, char breakByte,
                             const CodePageTable& table) {
  std::size_t length = 0;
  WalkTranslation(value, replaceFormat, breakByte, table,
                  [&](std::string_view piece) { length += piece.size(); });
  return length;
}

void AppendTranslatedValue(std::string& out, std::string_view value, std::int32_t replaceFormat,
                           char breakByte, const CodePageTable& table) {
  WalkTranslation(value, replaceFormat, breakByte, table,
                  [&](std::string_view piece) { out.append(piece); });
}

void TranslateValue(std::string& value, std::int32_t replaceFormat, char breakByte,
                    const CodePageTable& table) {
  std::string translated;
  AppendTranslatedValue(translated, value, replaceFormat, breakByte, table);
  value.swap(translated);
}

namespace {

// Everything after the split: the fill, the name and the path.
void FillMergedRecord(std::string_view templateText, std::uint32_t recordNumber,
                      const MergeContext& context, MergeScratch& scratch, MergedRecord& record) {
  const GeneratorSettings& s = context.settings;
  const std::size_t count = scratch.fields.size();

  const TemplatePlan& plan = PlanFor(templateText, context, count, scratch);
  if (!plan.usable || !FillByPlan(plan, context, scratch, record.content)) {
    FillFieldByField(templateText, context, scratch, record.content);
  }
  record.accepted = false;
  record.recordNumber = recordNumber;
  record.outputPath.clear();
  record.outputName.assign(s.RuleLead);
  bool nameBuilt = true;
  if (s.Rule == 0) {
    if (s.RuleNumber <= kMaxPaddedWidth) {
      record.outputName.append(FormatZeroPadded(s.RuleNumber, recordNumber));
    } else {
      // No path can hold that many digits: the record fails like a file that cannot be opened,
      // under its unpadded name.
      record.outputName.append(FormatZeroPadded(0, recordNumber));
      nameBuilt = false;
    }
    record.outputName.append(s.RuleTail);
  } else if (s.Rule == 1) {
    if (s.RuleNumber < count) {
      record.outputName.append(scratch.fields[s.RuleNumber]);
    } else {
      nameBuilt = false;  // the record has no such field
    }
    record.outputName.append(s.RuleTail);
  } else {
    record.outputName.clear();
    nameBuilt = false;
  }
  if (!nameBuilt) return;
  std::optional<std::string> path =
      JoinOutputPath(context.folderPrefix, record.outputName, context.rules, context.table, true);
  if (!path) return;
  record.outputPath = std::move(*path);
  record.accepted = true;
}

}  // namespace

void BuildMergedRecord(std::string_view line, char separator, std::string_view templateText,
                       std::uint32_t recordNumber, const MergeContext& context,
                       MergeScratch& scratch, MergedRecord& record) {
  SplitFields(line, separator, context.table, scratch.fields);
  FillMergedRecord(templateText, recordNumber, context, scratch, record);
}

void BuildMergedRecordTakingLine(std::string&& line, char separator,
                                 std::string_view templateText, std::uint32_t recordNumber,
                                 const MergeContext& context, MergeScratch& scratch,
                                 MergedRecord& record) {
  SplitFields(line, separator, context.table, scratch.fields);
  if (line.size() > kKeptLineBytes) std::string().swap(line);
  FillMergedRecord(templateText, recordNumber, context, scratch, record);
}

bool WriteMergedRecord(const MergedRecord& record, const MergeContext& context,
                       std::string& runLog, RunHost& host) {
  auto done = [&](const char* lineEnd, OutputOutcome outcome) {
    runLog.append(record.outputPath);
    runLog.append(lineEnd);
    if (context.observer != nullptr) context.observer->OnOutput(record, outcome);
    return true;
  };
  if (record.accepted) {
    const OutputOptions& output = context.output;
    platform::OutputProbe probe = platform::OutputProbe::Absent;
    if (output.dryRun || output.changedOnly) {
      probe = platform::ProbeOutputFile(record.outputPath, context.protectedFiles);
    }
    if (output.changedOnly && probe == platform::OutputProbe::PlainFile &&
        HoldsExactly(record.outputPath, record.content)) {
      return done(" -> unchanged\r\n", OutputOutcome::Unchanged);
    }
    if (output.dryRun) {
      if (probe != platform::OutputProbe::Refused) {
        return done(" -> dry run\r\n", OutputOutcome::WouldWrite);
      }
    } else {
      platform::OutputFile file;
      if (file.Create(record.outputPath, context.protectedFiles)) {
        file.Write(record.content.data(), record.content.size());
        file.Close();
        return done(" -> ok\r\n", OutputOutcome::Written);
      }
    }
  }
  const SystemTexts& texts = Texts();
  std::string message = texts.outputOpenFailedLead;
  message.append(record.outputName);
  message.append(texts.outputOpenFailedTail);
  host.SetStatus(message);
  runLog.append(message);
  runLog.append("\r\n");
  host.Beep(kBeepError);
  return false;
}

bool MergeRecord(std::string_view line, char separator, std::string_view templateText,
                 std::uint32_t recordNumber, const MergeContext& context, MergeScratch& scratch,
                 MergedRecord& record, std::string& runLog, RunHost& host) {
  BuildMergedRecord(line, separator, templateText, recordNumber, context, scratch, record);
  return WriteMergedRecord(record, context, runLog, host);
}

bool MergeRecordTakingLine(std::string&& line, char separator, std::string_view templateText,
                           std::uint32_t recordNumber, const MergeContext& context,
                           MergeScratch& scratch, MergedRecord& record, std::string& runLog,
                           RunHost& host) {
  BuildMergedRecordTakingLine(std::move(line), separator, templateText, recordNumber, context,
                              scratch, record);
  return WriteMergedRecord(record, context, runLog, host);
}

}  // namespace velmora
