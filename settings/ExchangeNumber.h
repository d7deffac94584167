// The unsigned number that the main window takes up from its digit-count edit.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora {

// Reads a number as the window framework's dialog data exchange reads an unsigned number from an
// edit control, which this reproduces, quirks and all (the window keeps its users' habits): it
// parses at most the first 31 bytes of text: blanks and tabs, then an optional "+" and decimal
// digits (a value beyond 32 bits becomes 4294967295), then only blanks and tabs. A "-" fails, and
// 0 is accepted only when the first character after the blanks is "0", so an empty text or a
// lone "+" fails. Nothing when the text is no such number. For the strict reading of a number use
// platform::ParseDecimal.
std::optional<std::uint32_t> ReadNumberAsDialogExchangeDoes(std::string_view text);

}  // namespace velmora
