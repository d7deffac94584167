// Searches for bytes sixteen at a time (SSE2 on x86; elsewhere eight at a time or byte by byte):
// the scans over every value of every record, where most bytes are what is not looked for.
#pragma once

#include <cstddef>
#include <string_view>

namespace velmora {

// SkipAscii past its first byte.
std::size_t SkipAsciiRun(std::string_view text, std::size_t from);

// The offset of the first byte at or above 0x80 at or after from, or text.size(). The first byte
// is looked at here, inline: walks over text call this after every character.
inline std::size_t SkipAscii(std::string_view text, std::size_t from) {
  if (from >= text.size() || static_cast<unsigned char>(text[from]) >= 0x80) return from;
  return SkipAsciiRun(text, from + 1);
}

// The line ends in text, counting CR LF, CR and LF each as one, as an editor does.
std::size_t CountLineEnds(std::string_view text);

// A few bytes looked for together.
class ByteSet {
 public:
  static constexpr std::size_t kMaxBytes = 8;
  // The set of the bytes of bytes (at most kMaxBytes of them).
  explicit ByteSet(std::string_view bytes);
  // The offset of the first byte of text that is in the set, or text.size().
  std::size_t FindIn(std::string_view text) const;

 private:
  // Each byte of the set sixteen times, the last repeated to kMaxBytes rows, so that the search
  // compares with all rows and no count.
  alignas(16) unsigned char rows_[kMaxBytes][16] = {};
  std::size_t count_ = 0;
  bool member_[256] = {};
};

}  // namespace velmora
