// Deliberately simple implementations of the engine's byte rules, one byte at a time and without
// any of the engine's shortcuts, for the fuzz targets to compare the engine against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePageTable.h"

namespace velmora::reference {

// Stops the fuzzer with a message; libFuzzer then saves the input that led here.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// The code pages of the table, and one "other multibyte" code page whose lead ranges come from the
// fuzz input (its trail bytes are 0x01-0xFE, as for any code page the system describes).
inline CodePageTable PickTable(std::uint8_t choice, std::uint8_t leadFirst, std::uint8_t leadLast) {
  static const unsigned kNamed[] = {932, 936, 949, 950, 1361, 1252, 65001};
  const unsigned index = choice % 8;
  if (index < 7) return CodePageTable::ForCodePage(kNamed[index]);
  // The system reports lead bytes only in the upper half.
  std::uint8_t first = static_cast<std::uint8_t>(0x80 | leadFirst);
  std::uint8_t last = static_cast<std::uint8_t>(0x80 | leadLast);
  if (first > last) std::swap(first, last);
  return CodePageTable::FromRanges(51000, {{first, last}}, {{0x01, 0xFE}});
}

// Record lines of bytes: a record ends at CR or CR LF, the last one needs no terminator. The
// source fails at errorAt: the line being read then is dropped and no record follows.
inline std::vector<std::string> ReadRecords(std::string_view bytes, std::size_t errorAt) {
  std::vector<std::string> records;
  std::size_t pos = 0;
  auto readByte = [&](int& byte) {  // 1: a byte, 0: the end, -1: a read error
    if (pos >= errorAt) return -1;
    if (pos >= bytes.size()) return 0;
    byte = static_cast<unsigned char>(bytes[pos++]);
    return 1;
  };
  for (;;) {
    std::string line;
    int byte = 0;
    bool more = false;
    for (;;) {
      int got = readByte(byte);
      if (got == 0) {
        more = !line.empty();
        break;
      }
      if (got < 0) {
        more = false;
        break;
      }
      if (byte == '\r') {
        int next = 0;
        int after = readByte(next);
        if (after == 1 && next != '\n') --pos;  // the byte begins the next record
        more = true;
        break;
      }
      line.push_back(static_cast<char>(byte));
    }
    if (!more) return records;
    records.push_back(line);
  }
}

// The fields of one line, walked byte by byte with the byte classes.
inline std::vector<std::string> SplitFields(std::string_view line, char separator,
                                            const CodePageTable& table) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;
  ByteClass previous = ByteClass::OtherByte;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(line[i]);
    if (b == 0) break;
    ByteClass cls;
    if (previous == ByteClass::LeadByte) {
      cls = table.IsTrail(b) ? ByteClass::TrailByte : ByteClass::OtherByte;
    } else {
      cls = table.IsLead(b) ? ByteClass::LeadByte : ByteClass::OtherByte;
    }
    previous = cls;
    if (cls != ByteClass::OtherByte) {
      field.push_back(static_cast<char>(b));
    } else if (!quoted && b == '"') {
      quoted = true;
    } else if (!quoted && b == static_cast<unsigned char>(separator)) {
      fields.push_back(field);
      field.clear();
    } else if (quoted && b == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      field.push_back('"');
      ++i;
    } else if (quoted && b == '"') {
      quoted = false;
    } else {
      field.push_back(static_cast<char>(b));
    }
  }
  fields.push_back(field);
  return fields;
}

// The class of each byte as the field splitter gives it: a lead byte takes the byte after it along
// only when that byte is in the trail set.
inline ByteClass NextClass(unsigned char b, ByteClass previous, const CodePageTable& table) {
  if (previous == ByteClass::LeadByte) {
    return table.IsTrail(b) ? ByteClass::TrailByte : ByteClass::OtherByte;
  }
  return table.IsLead(b) ? ByteClass::LeadByte : ByteClass::OtherByte;
}

// Whether the splitter, having walked line, stands inside a quoted stretch: quotes as it takes
// them (a doubled one inside a stretch consumed whole), none after a NUL, where it stops.
inline bool EndsQuoted(std::string_view line, const CodePageTable& table) {
  bool quoted = false;
  ByteClass previous = ByteClass::OtherByte;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(line[i]);
    if (b == 0) return false;
    const ByteClass cls = NextClass(b, previous, table);
    previous = cls;
    if (cls != ByteClass::OtherByte || b != '"') continue;
    if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
      ++i;
    } else {
      quoted = !quoted;
    }
  }
  return quoted;
}

// The records when any of CR LF, LF and CR ends one outside a quoted stretch; inside one each
// becomes breakByte. A line end with nothing before it ends a blank line, which is no record.
inline std::vector<std::string> ReadRecordsAtAnyLineEnd(std::string_view bytes,
                                                        std::size_t errorAt, char breakByte,
                                                        const CodePageTable& table) {
  std::vector<std::string> records;
  std::string line;
  for (std::size_t pos = 0;;) {
    if (pos >= errorAt) return records;
    if (pos >= bytes.size()) {
      if (!line.empty()) records.push_back(line);
      return records;
    }
    const char byte = bytes[pos++];
    if (byte != '\r' && byte != '\n') {
      line.push_back(byte);
      continue;
    }
    if (byte == '\r' && pos < errorAt && pos < bytes.size() && bytes[pos] == '\n') ++pos;
    if (EndsQuoted(line, table)) {
      line.push_back(breakByte);
    } else if (!line.empty()) {
      records.push_back(line);
      line.clear();
    }
  }
}

// Every occurrence of oldText replaced, candidates at character starts only (bytes classed as the
// splitter classes them, afresh from the start and after each match), inserted text never scanned
// again.
inline std::string ReplaceAll(std::string_view text, std::string_view oldText,
                              std::string_view newText, const CodePageTable& table,
                              std::size_t& count) {
  count = 0;
  if (oldText.empty()) return std::string(text);
  std::string out;
  ByteClass previous = ByteClass::OtherByte;
  std::size_t i = 0;
  while (i < text.size()) {
    const ByteClass cls = NextClass(static_cast<unsigned char>(text[i]), previous, table);
    if (cls != ByteClass::TrailByte && text.substr(i, oldText.size()) == oldText) {
      out.append(newText);
      i += oldText.size();
      ++count;
      previous = ByteClass::OtherByte;
      continue;
    }
    out.push_back(text[i]);
    previous = cls;
    ++i;
  }
  return out;
}

// The text that a field value becomes: in HTML each "&", double quote, ">", "<" and apostrophe
// becomes its entity wherever it stands, then the break byte becomes "<br>" where it starts a
// character; in plain text the break byte becomes CR LF there.
inline std::string TranslateValue(std::string_view value, std::int32_t format, char breakByte,
                                  const CodePageTable& table) {
  std::string escaped;
  for (char c : value) {
    if (format == 0 && c == '&') {
      escaped += "&amp;";
    } else if (format == 0 && c == '"') {
      escaped += "&quot;";
    } else if (format == 0 && c == '>') {
      escaped += "&gt;";
    } else if (format == 0 && c == '<') {
      escaped += "&lt;";
    } else if (format == 0 && c == '\'') {
      escaped += "&#39;";
    } else {
      escaped.push_back(c);
    }
  }
  std::size_t ignored = 0;
  return ReplaceAll(escaped, std::string_view(&breakByte, 1), format == 0 ? "<br>" : "\r\n",
                    table, ignored);
}

inline std::string ReplaceAll(std::string_view text, std::string_view oldText,
                              std::string_view newText, const CodePageTable& table) {
  std::size_t ignored = 0;
  return ReplaceAll(text, oldText, newText, table, ignored);
}

}  // namespace velmora::reference
