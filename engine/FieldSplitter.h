// Cuts one record line into its fields at the separator byte, honouring double quotes and keeping
// the two bytes of a double-byte character together.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePageTable.h"

namespace velmora {

// The fields of one record, numbered from 0; never empty.
using FieldList = std::vector<std::string>;

// Splits line at separator (a comma or a TAB) with the process code page's table. The walk stops
// at the first NUL byte.
FieldList SplitFields(std::string_view line, char separator);

// The same into fields, reusing its strings' storage, with an explicit table.
void SplitFields(std::string_view line, char separator, const CodePageTable& table,
                 FieldList& fields);

}  // namespace velmora
