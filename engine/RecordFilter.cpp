#include "engine/RecordFilter.h"

#include <limits>

#include "engine/Placeholder.h"

namespace velmora {

std::optional<RecordCondition> ParseRecordCondition(std::string_view text,
                                                    const CodePageTable& table) {
  const std::size_t equals = FindAtCharacterStart(text, "=", 0, 0, table);
  if (equals == std::string_view::npos) return std::nullopt;
  // A "!" is never the second byte of a character, so the one before "=" stands for itself.
  const bool notEqual = equals > 0 && text[equals - 1] == '!';
  RecordCondition condition{std::string(text.substr(0, notEqual ? equals - 1 : equals)),
                            !notEqual, std::string(text.substr(equals + 1))};
  if (condition.name.empty()) return std::nullopt;
  return condition;
}

RecordFilter::RecordFilter(std::vector<RecordCondition> conditions)
    : conditions_(std::move(conditions)) {}

std::optional<std::string> RecordFilter::Resolve(const ColumnNames* columns) {
  tests_.clear();
  resolved_ = true;
  for (const RecordCondition& condition : conditions_) {
    std::size_t field = 0;
    if (IsDigitsOnly(condition.name)) {
      // A number beyond any record's fields names a field that is always missing, so empty.
      for (const char digit : condition.name) {
        field = field > (std::numeric_limits<std::size_t>::max() - 9) / 10
                    ? std::numeric_limits<std::size_t>::max()
                    : field * 10 + static_cast<std::size_t>(digit - '0');
      }
    } else if (const std::optional<std::size_t> column =
                   columns != nullptr ? FindColumn(*columns, condition.name) : std::nullopt) {
      field = *column;
    } else {
      tests_.clear();
      tests_.push_back({0, false, {}});
      tests_.push_back({0, true, {}});  // a field is never both: nothing passes
      return condition.name;
    }
    tests_.push_back({field, condition.equal, condition.value});
  }
  return std::nullopt;
}

bool RecordFilter::Passes(const FieldList& fields) {
  if (!resolved_) Resolve(nullptr);
  for (const Test& test : tests_) {
    const std::string_view text =
        test.field < fields.size() ? std::string_view(fields[test.field]) : std::string_view();
    if ((text == test.value) != test.equal) {
      ++refused_;
      return false;
    }
  }
  return true;
}

}  // namespace velmora
