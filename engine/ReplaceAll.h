// Replacement of every occurrence of a text inside another, in the process code page.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePageTable.h"

namespace velmora {

// Replaces in place every non-overlapping occurrence of oldText in text by newText, scanning left
// to right, case-sensitive. A match never starts on the second byte of a double-byte character,
// a lead byte followed by a byte of the trail set (counted from the start and from the byte after
// each match; a lead byte followed by any other byte is a character of its own), and inserted text
// is never scanned again. An empty oldText changes nothing. Returns the number of replacements.
std::size_t ReplaceAll(std::string& text, std::string_view oldText, std::string_view newText,
                       const CodePageTable& table);
std::size_t ReplaceAll(std::string& text, std::string_view oldText, std::string_view newText);

}  // namespace velmora
