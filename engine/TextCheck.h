// Whether bytes are text of the code page in effect: the check that tells a user that a file was
// saved in another encoding than the run reads it in.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/CodePageTable.h"

namespace velmora {

// The offset of the first byte where text stops being well-formed in table's code page, or
// std::string_view::npos when all of it is: in UTF-8 (65001) a byte that starts no valid
// sequence (overlong forms, surrogates and values past U+10FFFF are invalid); in a code page with
// lead bytes a lead byte without its trail byte, at the end of the text too. Single-byte code
// pages take every byte. ASCII runs are skipped sixteen bytes at a time.
std::size_t FirstMalformedByte(std::string_view text, const CodePageTable& table);

// The reference of FirstMalformedByte for code pages with lead bytes: the first lead byte that
// CharacterWalk steps over alone, or npos.
std::size_t FirstLoneLeadByte(std::string_view text, const CodePageTable& table);

enum class Utf8Look {
  Ascii,    // no byte above 0x7F: any code page reads it the same
  Utf8,     // bytes above 0x7F, all in valid UTF-8 sequences
  NotUtf8,  // bytes that no UTF-8 text holds
};

// How text looks by UTF-8's rules.
Utf8Look LookAsUtf8(std::string_view text);

// Whether text is, beyond reasonable doubt, UTF-8 rather than text of a double-byte code page:
// valid UTF-8 throughout with at least one sequence of three or four bytes, as every kana and
// kanji in UTF-8 is. Two-byte sequences alone are no evidence: half-width katakana in code page
// 932 make them (\xC3\xBD is "ﾃｽ").
bool LooksLikeUtf8(std::string_view text);

}  // namespace velmora
