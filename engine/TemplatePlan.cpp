#include "engine/TemplatePlan.h"

#include <string>
#include <string_view>
#include <utility>

#include "engine/Placeholder.h"
#include "engine/ValueTranslation.h"

namespace velmora {

namespace {

// The matches of needle in text by ReplaceAll's rules: left to right, never overlapping, never on
// the second byte of a character.
void FindMatches(std::string_view text, std::string_view needle, const CodePageTable& table,
                 std::vector<std::size_t>& hits) {
  hits.clear();
  std::size_t known = 0;
  for (;;) {
    const std::size_t hit = FindAtCharacterStart(text, needle, known, known, table);
    if (hit == std::string_view::npos) return;
    hits.push_back(hit);
    known = hit + needle.size();
  }
}

// Whether text, walked from its start, ends where a character ends: then a match of it in the
// template, which starts a character, ends where one ends too, and the template after it keeps
// its character boundaries.
bool EndsWithWholeCharacters(std::string_view text, const CodePageTable& table) {
  return !table.HasLeadBytes() || !LeadByteBefore(text, 0, text.size(), table);
}

}  // namespace

TemplatePlan MakeTemplatePlan(const RunContext& context, std::size_t fieldCount) {
  const std::string_view templateText = context.templateText;
  const std::string& lead = context.settings.ReplaceLead;
  const std::string& tail = context.settings.ReplaceTail;
  const CodePageTable& table = context.table;
  TemplatePlan plan;
  plan.fieldCount = fieldCount;
  if (lead.empty()) return plan;
  // Per field its placeholders in the order the substitution takes them: the number, then the
  // column's name.
  std::vector<std::vector<std::string>> placeholders(fieldCount);
  for (std::size_t i = 0; i < fieldCount; ++i) {
    AppendFieldPlaceholder(placeholders[i].emplace_back(), lead, i, tail);
    if (i < context.namedPlaceholders.size() && !context.namedPlaceholders[i].empty()) {
      placeholders[i].push_back(context.namedPlaceholders[i]);
    }
    for (const std::string& placeholder : placeholders[i]) {
      if (!EndsWithWholeCharacters(placeholder, table)) return plan;
    }
  }
  using Piece = TemplatePlan::Piece;
  std::vector<Piece> pieces;
  if (!templateText.empty()) pieces.push_back({TemplatePlan::kLiteral, 0, templateText.size()});
  std::vector<Piece> next;
  std::vector<std::size_t> hits;
  for (std::size_t i = 0; i < fieldCount; ++i) {
    for (const std::string& placeholderText : placeholders[i]) {
      const std::string_view placeholder = placeholderText;
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
  }
  plan.used.assign(fieldCount, 0);
  plan.places.assign(fieldCount, 0);
  plan.scanned.assign(fieldCount, 0);
  for (const Piece& piece : pieces) {
    if (piece.field == TemplatePlan::kLiteral) {
      plan.literalBytes += piece.length;
      continue;
    }
    plan.used[piece.field] = 1;
    ++plan.places[piece.field];
    plan.scanned[piece.field] =
        piece.field + 1 < fieldCount || placeholders[piece.field].size() > 1 ? 1 : 0;
  }
  plan.pieces = std::move(pieces);
  plan.firstByte = lead[0];
  std::string stops(TranslatedBytes(context.settings.ReplaceFormat, context.breakByte));
  stops.push_back(plan.firstByte);
  plan.plainValue.emplace(stops);
  plan.usable = true;
  return plan;
}

}  // namespace velmora
