// The template taken apart for one count of fields: its literal stretches and the places that
// each field's value fills, so that most records are filled in one pass instead of one pass per
// field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/ByteScan.h"
#include "engine/RunContext.h"

namespace velmora {

// The field-by-field substitution replaces placeholder 0 over the whole copy, then placeholder 1
// over the result, and so on, so that a value can bring in, or complete, the placeholder of a later
// field. In nearly every real template that never happens, and then the result is simply the
// template's literal stretches with the values put in their places. The plan finds those places by
// running the substitution once on the template alone, and proves for each record that the
// record's values cannot take part in any later match:
//   - each placeholder (of a number or of a column's name) ends where a character ends, so a
//     match of it does too and the template around it keeps its character boundaries;
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

  std::size_t fieldCount = 0;  // the count of fields the plan is for
  bool usable = false;         // false: records take the field-by-field way
  char firstByte = 0;
  std::vector<Piece> pieces;
  std::vector<unsigned char> used;     // per field: the field has a place in the output
  std::vector<std::uint32_t> places;   // per field: how many places in the output it fills
  std::size_t literalBytes = 0;        // the template bytes of all pieces together
  std::vector<unsigned char> scanned;  // per field: later placeholders are searched over it
  // With usable: the bytes that the translation replaces and firstByte. A value without any of
  // them goes into the output as it is, and only its last character needs a look.
  std::optional<ByteSet> plainValue;
};

// The plan of the run's template and placeholder texts for fieldCount fields; not usable when
// the template or the placeholders could let values take part in later matches. Memory running
// out raises std::bad_alloc.
TemplatePlan MakeTemplatePlan(const RunContext& context, std::size_t fieldCount);

}  // namespace velmora
