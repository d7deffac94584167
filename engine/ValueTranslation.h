// The translation of a field's value for the output: HTML-escaped or plain text, with the break
// byte made a line break of the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/CodePageTable.h"

namespace velmora {

// Appends to out the text that a value of a field becomes in the output. HTML (replaceFormat 0):
// every "&", double quote, ">", "<" and apostrophe becomes its entity (the apostrophe "&#39;"),
// whatever byte stands before it, and the break byte "<br>"; plain text: the break byte becomes
// CR LF. A break byte that is the second byte of a double-byte character (a lead byte followed by
// a byte of the trail set) stays.
void AppendTranslatedValue(std::string& out, std::string_view value, std::int32_t replaceFormat,
                           char breakByte, const CodePageTable& table);

// The most bytes that one byte of a value becomes ("&quot;"), and the room that
// WriteTranslatedValue may write past its translation.
inline constexpr std::size_t kMostTranslatedGrowth = 6;
inline constexpr std::size_t kTranslationSlack = 8;

// Writes at out what AppendTranslatedValue appends, and returns its length. out has room for
// kMostTranslatedGrowth bytes for each byte of value and kTranslationSlack more, which may be
// written over; a value longer than 65,536 bytes needs room for its translation only.
std::size_t WriteTranslatedValue(char* out, std::string_view value, std::int32_t replaceFormat,
                                 char breakByte, const CodePageTable& table);

// The length of the text that AppendTranslatedValue appends for value.
std::size_t TranslatedLength(std::string_view value, std::int32_t replaceFormat, char breakByte,
                             const CodePageTable& table);

// The bytes that a translation may replace (at most six of them).
std::string_view TranslatedBytes(std::int32_t replaceFormat, char breakByte);

// The offset of the first byte of value that its translation may replace, or value.size() when
// the translation is value itself.
std::size_t FirstTranslatedByte(std::string_view value, std::int32_t replaceFormat,
                                char breakByte);

}  // namespace velmora
