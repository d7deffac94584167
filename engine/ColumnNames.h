// Columns by name: a header record's fields name the columns, so that a template may say
// [$_price_$] where it would say [$_3_$].
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FieldSplitter.h"
#include "platform/CodePageTable.h"

namespace velmora {

// Why a header field names no column.
enum class Unnamed { Empty, Digits, Own, Repeat };

struct UnnamedColumn {
  std::size_t field;          // the column's number, counted from 0 as placeholders count
  Unnamed why;
  std::size_t earlierField;   // Repeat: the column that keeps the name
};

// The names that a header record gives its columns.
struct ColumnNames {
  FieldList names;                    // per column: its header field as the splitter gave it
  std::vector<unsigned char> naming;  // per column: 1 when its header names it
  std::vector<UnnamedColumn> unnamed;
};

// Reads the names from the header's fields. A field that is empty, made only of ASCII digits
// (it would read as a field number), beginning with "#" (the program's own names, such as
// "#record") or equal to an earlier field names nothing; the first of
// equal fields keeps the name. Names are compared byte for byte.
ColumnNames ReadColumnNames(const FieldList& header);

// The column that name names; nothing when no column has that name.
std::optional<std::size_t> FindColumn(const ColumnNames& columns, std::string_view name);

// Per column: the placeholder of its name (lead, name, tail), or "" for a column that names
// nothing.
std::vector<std::string> NamedPlaceholders(const ColumnNames& columns, std::string_view lead,
                                           std::string_view tail);

// The texts of the template shaped like a placeholder of a name (lead, a name, tail) whose name
// is no column, each once, in the order they first occur. A name there is the text from a lead to
// the nearest tail after it that holds no lead and no line break and is not made only of digits;
// leads and tails are found where a character starts. With an empty lead or tail nothing has
// that shape.
std::vector<std::string> UnknownNamedPlaceholders(std::string_view templateText,
                                                  std::string_view lead, std::string_view tail,
                                                  const ColumnNames& columns,
                                                  const CodePageTable& table);

// Those of placeholders (as UnknownNamedPlaceholders gives them: lead, a name, tail) whose names
// are among fields, in the order of placeholders.
std::vector<std::string> FirstRecordNames(const std::vector<std::string>& placeholders,
                                          const FieldList& fields, std::string_view lead,
                                          std::string_view tail);

}  // namespace velmora
