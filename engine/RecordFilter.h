// Which records get a page: conditions on the text of a record's fields, all of which must hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ColumnNames.h"
#include "engine/FieldSplitter.h"
#include "platform/CodePageTable.h"

namespace velmora {

// One condition: the field that name gives (a column's name, or a field number in ASCII digits)
// is, or is not, exactly value.
struct RecordCondition {
  std::string name;
  bool equal = true;  // NAME=VALUE; false: NAME!=VALUE
  std::string value;
};

// Reads "NAME=VALUE" or "NAME!=VALUE": the first "=" that starts a character ends the name, and
// a "!" right before it makes the condition "!=". Nothing when text holds no such "=" or the name
// is empty.
std::optional<RecordCondition> ParseRecordCondition(std::string_view text,
                                                    const CodePageTable& table);

class RecordFilter {
 public:
  explicit RecordFilter(std::vector<RecordCondition> conditions);

  // Finds the field of every condition: a name of digits alone is a field number, any other a
  // column of columns (nullptr: a run without a header, where no name is a column). Returns the
  // name of the first condition that no column has, after which the filter passes nothing.
  std::optional<std::string> Resolve(const ColumnNames* columns);
  // Whether every condition holds for fields (values compared byte for byte, a missing field
  // taken as empty). Counts the records that it refuses.
  bool Passes(const FieldList& fields);
  std::uint32_t Refused() const { return refused_; }

 private:
  struct Test {
    std::size_t field;
    bool equal;
    std::string value;
  };
  std::vector<RecordCondition> conditions_;
  std::vector<Test> tests_;
  bool resolved_ = false;
  std::uint32_t refused_ = 0;
};

}  // namespace velmora
