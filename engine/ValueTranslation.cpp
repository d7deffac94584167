#include "engine/ValueTranslation.h"

#include <array>
#include <cstring>

#include "engine/ByteScan.h"

namespace velmora {

namespace {

// What each byte of a value becomes: an index into kReplacements, 0 for the byte itself.
// Each padded to kTranslationSlack bytes, for a copy of a fixed size.
constexpr char kPaddedReplacements[][kTranslationSlack] = {"",     "&amp;", "&quot;", "&gt;",
                                                           "&lt;", "&#39;", "<br>",   "\r\n"};
constexpr auto kReplacements = [] {
  std::array<std::string_view, std::size(kPaddedReplacements)> replacements{};
  for (std::size_t k = 0; k < replacements.size(); ++k) replacements[k] = kPaddedReplacements[k];
  return replacements;
}();
constexpr std::uint8_t kFirstBreak = 6;  // the replacements from here on are of the break byte
// Values up to this long are translated byte by byte when they hold something to replace.
constexpr std::size_t kWrittenByteByByte = 256;
using ByteKinds = std::array<std::uint8_t, 256>;

const ByteKinds& KindsFor(std::int32_t replaceFormat, char breakByte) {
  static const std::array<ByteKinds, 4> kKinds = [] {
    std::array<ByteKinds, 4> kinds{};
    for (int html = 0; html < 2; ++html) {
      for (int vt = 0; vt < 2; ++vt) {
        ByteKinds& k = kinds[static_cast<std::size_t>(html * 2 + vt)];
        if (html == 1) {
          k['&'] = 1;
          k['"'] = 2;
          k['>'] = 3;
          k['<'] = 4;
          k['\''] = 5;
        }
        k[vt == 1 ? 0x0B : 0x0A] = html == 1 ? 6 : 7;
      }
    }
    return kinds;
  }();
  return kKinds[static_cast<std::size_t>((replaceFormat == 0 ? 2 : 0) +
                                         (breakByte == '\x0B' ? 1 : 0))];
}

// The bytes that KindsFor gives a replacement.
constexpr std::string_view kTranslatedBytes[4] = {"\n", "\v", "&\"><'\n", "&\"><'\v"};

std::size_t TranslationIndex(std::int32_t replaceFormat, char breakByte) {
  return (replaceFormat == 0 ? 2 : 0) + (breakByte == '\x0B' ? 1 : 0);
}

// The same, for the search for the first of them.
const ByteSet& ReplacedBytesFor(std::int32_t replaceFormat, char breakByte) {
  static const ByteSet kSets[4] = {ByteSet(kTranslatedBytes[0]), ByteSet(kTranslatedBytes[1]),
                                   ByteSet(kTranslatedBytes[2]), ByteSet(kTranslatedBytes[3])};
  return kSets[TranslationIndex(replaceFormat, breakByte)];
}

// Walks value once and hands emit its translation piece by piece. HTML escapes "&" (first, so
// that the entities made for the others are not escaped again), the double quote, ">", "<" and
// the apostrophe wherever they stand, even right after a lead byte: a browser that meets a lead
// byte without a trail byte shows a replacement character and then reads the byte after it as it
// is, so a kept "<" would open live markup. The break byte is replaced where it starts a
// character, as the field splitter classifies bytes. No replacement holds a byte that a later
// replacement looks for, or a lead byte, so this gives the same text as the replacements one after
// another.
template <typename Emit>
void WalkTranslation(std::string_view value, std::int32_t replaceFormat, char breakByte,
                     const CodePageTable& table, Emit&& emit) {
  const ByteKinds& kind = KindsFor(replaceFormat, breakByte);
  const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
  const std::size_t size = value.size();
  // Sixteen bytes at a time: this search over every value was half of the time spent filling.
  const ByteSet& replaced = ReplacedBytesFor(replaceFormat, breakByte);
  const std::size_t first = replaced.FindIn(value);
  if (first == size) {  // nothing to replace, the common case
    emit(value);
    return;
  }
  if (!table.IsTrail(static_cast<unsigned char>(breakByte))) {
    // The break byte is never the second byte of a character (as in every code page that the
    // system has): each byte of the set is replaced wherever it stands, and the search goes on
    // from one to the next without walking the characters between.
    std::size_t unchanged = 0;
    for (std::size_t i = first; i < size;
         i = unchanged + replaced.FindIn(value.substr(unchanged))) {
      emit(value.substr(unchanged, i - unchanged));
      emit(kReplacements[kind[bytes[i]]]);
      unchanged = i + 1;
    }
    emit(value.substr(unchanged));
    return;
  }
  bool afterLead = LeadByteBefore(value, 0, first, table);
  std::size_t unchanged = 0;  // bytes from here on are copied as they are
  for (std::size_t i = first; i < size; ++i) {
    const unsigned char b = bytes[i];
    const std::uint8_t k = kind[b];
    if (k != 0 && (k < kFirstBreak || !afterLead || !table.IsTrail(b))) {
      emit(value.substr(unchanged, i - unchanged));
      emit(kReplacements[k]);
      unchanged = i + 1;
      afterLead = false;
    } else {
      // A byte after a lead byte that starts a character never starts a two-byte one itself.
      afterLead = !afterLead && table.IsLead(b);
    }
  }
  emit(value.substr(unchanged));
}

}  // namespace

std::size_t TranslatedLength(std::string_view value, std::int32_t replaceFormat, char breakByte,
                             const CodePageTable& table) {
  std::size_t length = 0;
  WalkTranslation(value, replaceFormat, breakByte, table,
                  [&](std::string_view piece) { length += piece.size(); });
  return length;
}

namespace {

// A short value with something to replace from first on, where each byte of the set is replaced
// wherever it stands, written byte by byte at to: a third of the cost of appending it piece by
// piece. Each replacement is copied as its eight padded bytes, over room that the next bytes or
// the slack take. Returns the end of what was written.
char* WriteByteByByte(char* to, std::string_view value, std::size_t first,
                      std::int32_t replaceFormat, char breakByte) {
  const ByteKinds& kind = KindsFor(replaceFormat, breakByte);
  std::memcpy(to, value.data(), first);
  to += first;
  for (std::size_t i = first; i < value.size(); ++i) {
    const auto byte = static_cast<unsigned char>(value[i]);
    if (const std::uint8_t k = kind[byte]; k != 0) {
      std::memcpy(to, kPaddedReplacements[k], kTranslationSlack);
      to += kReplacements[k].size();
    } else {
      *to++ = static_cast<char>(byte);
    }
  }
  return to;
}

bool ByteByByte(std::string_view value, char breakByte, const CodePageTable& table) {
  return value.size() <= kWrittenByteByByte &&
         !table.IsTrail(static_cast<unsigned char>(breakByte));
}

}  // namespace

void AppendTranslatedValue(std::string& out, std::string_view value, std::int32_t replaceFormat,
                           char breakByte, const CodePageTable& table) {
  if (value.size() > kWrittenByteByByte) {
    WalkTranslation(value, replaceFormat, breakByte, table,
                    [&](std::string_view piece) { out.append(piece); });
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + kMostTranslatedGrowth * value.size() + kTranslationSlack);
  out.resize(start + WriteTranslatedValue(out.data() + start, value, replaceFormat, breakByte,
                                          table));
}

std::size_t WriteTranslatedValue(char* out, std::string_view value, std::int32_t replaceFormat,
                                 char breakByte, const CodePageTable& table) {
  const std::size_t first = ReplacedBytesFor(replaceFormat, breakByte).FindIn(value);
  if (first == value.size()) {
    std::memcpy(out, value.data(), value.size());
    return value.size();
  }
  if (ByteByByte(value, breakByte, table)) {
    return static_cast<std::size_t>(
        WriteByteByByte(out, value, first, replaceFormat, breakByte) - out);
  }
  std::size_t length = 0;
  WalkTranslation(value, replaceFormat, breakByte, table, [&](std::string_view piece) {
    std::memcpy(out + length, piece.data(), piece.size());
    length += piece.size();
  });
  return length;
}

std::string_view TranslatedBytes(std::int32_t replaceFormat, char breakByte) {
  return kTranslatedBytes[TranslationIndex(replaceFormat, breakByte)];
}

std::size_t FirstTranslatedByte(std::string_view value, std::int32_t replaceFormat,
                                char breakByte) {
  return ReplacedBytesFor(replaceFormat, breakByte).FindIn(value);
}

}  // namespace velmora
