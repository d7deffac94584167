// The filling of the template: a record's fields put into a copy of the template in place of
// their placeholders, each value translated for the output (HTML-escaped or plain text). Pure:
// reads the run's fixed data and the fields, and touches no file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FieldSplitter.h"
#include "engine/RunContext.h"
#include "engine/TemplatePlan.h"
#include "engine/ValueTranslation.h"
#include "platform/CodePageTable.h"

namespace velmora {

// A filled template as the stretches of bytes it is made of, in order: the template's literal
// stretches, fields that need no translation, the default text and translated values (held in
// values, with short pieces gathered there too). Valid while the template, the fields and values
// are.
struct FilledPieces {
  // Bytes written through a pointer and kept from record to record: unlike a string's, its
  // storage is not written over when it is made longer.
  class Buffer {
   public:
    // Storage for at least wanted bytes, with whatever they held; what earlier calls gave is gone
    // when it is too small.
    char* Room(std::size_t wanted) {
      if (wanted > capacity_) {
        // Half as much again, so that slowly longer records do not each take new storage.
        capacity_ = std::max(wanted, capacity_ + capacity_ / 2);
        bytes_ = std::make_unique_for_overwrite<char[]>(capacity_);
      }
      return bytes_.get();
    }
    std::size_t capacity() const { return capacity_; }

   private:
    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_ = 0;
  };
  std::vector<std::string_view> pieces;
  Buffer values;
  std::size_t size = 0;  // the bytes of all pieces
};

// Working storage reused from record to record, so that filling does not allocate. It keeps the
// template plans of the last run it filled for, by count of fields.
struct FillScratch {
  std::string value;
  std::string placeholder;
  std::vector<std::size_t> valueLengths;  // per field: its value's length in the output
  std::vector<std::size_t> valuePlaces;   // per field: where its value first went in the output
  std::vector<std::string_view> valueViews;  // per field: its value, once filled in as a piece
  std::vector<TemplatePlan> plans;
  std::uint64_t plansOfContext = 0;  // RunContext::id of the run the plans belong to
};

// Replaces content by the run's template filled with fields: for each field in turn, from field
// 0 on, every placeholder of it (ReplaceLead, the field's number, ReplaceTail) in the whole copy,
// the values put in for earlier fields included, becomes the field's translated value, or
// ReplaceDefault byte for byte for an empty field when that is set; then, when its column has a
// name, every placeholder of the name the same way. Memory running out raises
// std::bad_alloc.
void FillTemplate(const RunContext& context, const FieldList& fields, FillScratch& scratch,
                  std::string& content);

// Fills the template like FillTemplate, into pieces that point into the template, the fields and
// pieces.values instead of one copy; false, and pieces unusable, when the record needs the
// field-by-field substitution, which only FillTemplate does. Memory running out raises
// std::bad_alloc.
bool FillTemplatePieces(const RunContext& context, const FieldList& fields, FillScratch& scratch,
                        FilledPieces& pieces);

}  // namespace velmora
