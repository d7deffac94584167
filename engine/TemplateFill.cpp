#include "engine/TemplateFill.h"

#include <cassert>
#include <cstring>

#include "engine/Placeholder.h"
#include "engine/ReplaceAll.h"
#include "engine/TemplatePlan.h"

namespace velmora {

namespace {

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
bool FillByPlan(const TemplatePlan& plan, const RunContext& context, const FieldList& fields,
                FillScratch& scratch, std::string& content) {
  static constexpr std::size_t kNotPlaced = static_cast<std::size_t>(-1);
  const GeneratorSettings& s = context.settings;
  const std::size_t count = fields.size();
  scratch.valueLengths.assign(count, 0);
  scratch.valuePlaces.assign(count, kNotPlaced);
  // An empty value gives way to the default text, byte for byte.
  auto usesDefault = [&](std::size_t i) {
    return fields[i].empty() && !s.ReplaceDefault.empty();
  };
  for (std::size_t i = 0; i < count; ++i) {
    if (!plan.used[i]) continue;
    scratch.valueLengths[i] =
        usesDefault(i) ? s.ReplaceDefault.size()
                       : TranslatedLength(fields[i], s.ReplaceFormat, context.breakByte,
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
      content.append(context.templateText.substr(piece.offset, piece.length));
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
    const std::string& field = fields[i];
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

// Pieces shorter than this are copied into FilledPieces::values with their neighbours, so that a
// page reaches the system as a few long pieces: the kernel copies each piece of a gather write at
// a cost of about a kilobyte's copy (a 4 KB template's page in 40 pieces cost a single-threaded
// run a fifth more processor time than the page in one copy; gathered so, the difference is
// within the shared machine's noise).
constexpr std::size_t kOwnPiece = 1024;

// Values up to this long reserve room for kMostTranslatedGrowth times their bytes, which saves a
// walk over them; longer ones are measured, so that a huge value reserves no more than it needs.
constexpr std::size_t kMeasuredValue = 1u << 16;

// FillByPlan into pieces: each value is translated once, into pieces.values, and its later places
// use that; short pieces are gathered into pieces.values in order. pieces.values is sized once for
// the most that the page can take and written through a pointer, which costs a third of appending
// piece by piece, then cut to what was written.
bool FillPiecesByPlan(const TemplatePlan& plan, const RunContext& context,
                      const FieldList& fields, FillScratch& scratch, FilledPieces& pieces) {
  const GeneratorSettings& s = context.settings;
  const std::size_t count = fields.size();
  scratch.valueLengths.assign(count, 0);  // per field: the most bytes that its value takes
  scratch.valueViews.assign(count, std::string_view());
  const auto usesDefault = [&](std::size_t i) {
    return fields[i].empty() && !s.ReplaceDefault.empty();
  };
  // A short value goes into values anyway; a long one only when it is translated, and is its
  // own piece otherwise (its room is then 0).
  const auto intoValues = [&](std::size_t i) {
    return !usesDefault(i) && (fields[i].size() < kOwnPiece || scratch.valueLengths[i] != 0);
  };
  std::size_t most = plan.literalBytes + kTranslationSlack;
  for (std::size_t i = 0; i < count; ++i) {
    if (!plan.used[i]) continue;
    const std::string& field = fields[i];
    const std::size_t size = field.size();
    scratch.valueLengths[i] =
        usesDefault(i)      ? s.ReplaceDefault.size()
        : size < kOwnPiece  ? kMostTranslatedGrowth * size
        : FirstTranslatedByte(field, s.ReplaceFormat, context.breakByte) == size ? 0
        : size > kMeasuredValue
            ? TranslatedLength(field, s.ReplaceFormat, context.breakByte, context.table)
            : kMostTranslatedGrowth * size;
    most += plan.places[i] * scratch.valueLengths[i];
  }
  // Sized whole, so that the pieces that point into it never move.
  char* const start = pieces.values.Room(most);
  char* out = start;         // where the next byte goes
  const char* gathered = start;  // where the bytes that no piece holds yet start
  pieces.pieces.clear();
  pieces.size = 0;
  const auto closeGathered = [&] {
    if (out > gathered) pieces.pieces.emplace_back(gathered, static_cast<std::size_t>(out - gathered));
    gathered = out;
  };
  for (const TemplatePlan::Piece& piece : plan.pieces) {
    std::string_view bytes;
    if (piece.field == TemplatePlan::kLiteral) {
      bytes = std::string_view(context.templateText).substr(piece.offset, piece.length);
    } else if (const std::size_t i = piece.field; scratch.valueViews[i].data() != nullptr) {
      bytes = scratch.valueViews[i];
    } else if (const std::string& field = fields[i];
               field.size() < kOwnPiece && !usesDefault(i) &&
               plan.plainValue->FindIn(field) == field.size()) {
      // Nothing to translate and no placeholder's first byte: the common value, copied as it is.
      if (plan.scanned[i] && context.table.HasLeadBytes() &&
          LeadByteBefore(field, 0, field.size(), context.table)) {
        return false;
      }
      std::memcpy(out, field.data(), field.size());
      scratch.valueViews[i] = std::string_view(out, field.size());
      out += field.size();
      pieces.size += field.size();
      continue;
    } else {
      const bool written = intoValues(i);
      bytes = written ? std::string_view(out, WriteTranslatedValue(out, field, s.ReplaceFormat,
                                                                   context.breakByte,
                                                                   context.table))
              : usesDefault(i) ? std::string_view(s.ReplaceDefault)
                               : std::string_view(field);
      if (plan.scanned[i] && !IsInertValue(bytes, plan.firstByte, context.table)) return false;
      // A view of no bytes still needs an address to tell that it is filled in.
      scratch.valueViews[i] = bytes.data() != nullptr ? bytes : std::string_view("", 0);
      if (written) {
        out += bytes.size();
        pieces.size += bytes.size();
        continue;
      }
    }
    pieces.size += bytes.size();
    if (bytes.size() >= kOwnPiece) {
      closeGathered();
      pieces.pieces.push_back(bytes);
    } else {
      std::memcpy(out, bytes.data(), bytes.size());
      out += bytes.size();
    }
  }
  closeGathered();
  assert(out + kTranslationSlack <= start + most);
  return true;
}

// The substitution as it is defined: for each field in turn, every occurrence of its placeholder
// in the whole working copy, the values put in for earlier fields included, and then every
// occurrence of its column's named placeholder.
void FillFieldByField(const RunContext& context, const FieldList& fields, FillScratch& scratch,
                      std::string& content) {
  const GeneratorSettings& s = context.settings;
  content.assign(context.templateText);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    scratch.value.clear();
    AppendTranslatedValue(scratch.value, fields[i], s.ReplaceFormat, context.breakByte,
                          context.table);
    scratch.placeholder.clear();
    AppendFieldPlaceholder(scratch.placeholder, s.ReplaceLead, i, s.ReplaceTail);
    const std::string& value =
        scratch.value.empty() && !s.ReplaceDefault.empty() ? s.ReplaceDefault : scratch.value;
    ReplaceAll(content, scratch.placeholder, value, context.table);
    if (i < context.namedPlaceholders.size() && !context.namedPlaceholders[i].empty()) {
      ReplaceAll(content, context.namedPlaceholders[i], value, context.table);
    }
  }
}

// A run rarely has more counts of fields than this; past it the plans are made afresh, so that
// input whose records all differ in length cannot make the plans grow with it.
constexpr std::size_t kKeptPlans = 16;

// The plan for this count of fields, made once per run and count.
const TemplatePlan& PlanFor(const RunContext& context, std::size_t fieldCount,
                            FillScratch& scratch) {
  if (scratch.plansOfContext != context.id) {
    scratch.plans.clear();
    scratch.plansOfContext = context.id;
  }
  for (const TemplatePlan& plan : scratch.plans) {
    if (plan.fieldCount == fieldCount) return plan;
  }
  if (scratch.plans.size() >= kKeptPlans) scratch.plans.clear();
  scratch.plans.push_back(MakeTemplatePlan(context, fieldCount));
  return scratch.plans.back();
}

}  // namespace

void FillTemplate(const RunContext& context, const FieldList& fields, FillScratch& scratch,
                  std::string& content) {
  const TemplatePlan& plan = PlanFor(context, fields.size(), scratch);
  if (!plan.usable || !FillByPlan(plan, context, fields, scratch, content)) {
    FillFieldByField(context, fields, scratch, content);
  }
}

bool FillTemplatePieces(const RunContext& context, const FieldList& fields, FillScratch& scratch,
                        FilledPieces& pieces) {
  const TemplatePlan& plan = PlanFor(context, fields.size(), scratch);
  return plan.usable && FillPiecesByPlan(plan, context, fields, scratch, pieces);
}

}  // namespace velmora
