#include "engine/ByteScan.h"

#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define VELMORA_SSE2 1
#endif

namespace velmora {

std::size_t SkipAsciiRun(std::string_view text, std::size_t from) {
  const char* data = text.data();
#ifdef VELMORA_SSE2
  while (from + 16 <= text.size()) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
    if (const int high = _mm_movemask_epi8(block); high != 0) {
      return from + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(high)));
    }
    from += 16;
  }
#endif
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  while (from + 8 <= text.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, data + from, 8);
    if ((word & kHighBits) != 0) break;
    from += 8;
  }
  while (from < text.size() && static_cast<unsigned char>(text[from]) < 0x80) ++from;
  return from;
}

std::size_t CountLineEnds(std::string_view text) {
  // Every CR and every LF, less the LFs right after a CR.
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t ends = 0;
  std::size_t at = 0;
  bool afterCr = false;
#ifdef VELMORA_SSE2
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; at + 16 <= size; at += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const auto crs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, cr)));
    const auto lfs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf)));
    // Line ends are few: a bit at a time, where a count instruction may be a library call.
    for (unsigned ones = crs | (lfs & ~((crs << 1) | (afterCr ? 1u : 0u))); ones != 0;
         ones &= ones - 1) {
      ++ends;
    }
    afterCr = (crs & 0x8000u) != 0;
  }
#endif
  for (; at < size; ++at) {
    const bool isCr = data[at] == '\r';
    if (isCr || (data[at] == '\n' && !afterCr)) ++ends;
    afterCr = isCr;
  }
  return ends;
}

ByteSet::ByteSet(std::string_view bytes) {
  assert(!bytes.empty() && bytes.size() <= kMaxBytes);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (member_[byte] || count_ == kMaxBytes) continue;
    member_[byte] = true;
    std::memset(rows_[count_++], byte, 16);
  }
  for (std::size_t row = count_; row < kMaxBytes; ++row) std::memcpy(rows_[row], rows_[0], 16);
}

std::size_t ByteSet::FindIn(std::string_view text) const {
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  if (count_ == 1) {
    // The C library's own search is wider still.
    const void* found = std::memchr(data, rows_[0][0], size);
    return found == nullptr ? size : static_cast<std::size_t>(
                                         static_cast<const unsigned char*>(found) - data);
  }
#ifdef VELMORA_SSE2
  if (size >= 16) {
    const auto hitsAt = [&](std::size_t at) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
      __m128i hits = _mm_setzero_si128();
      for (std::size_t row = 0; row < kMaxBytes; ++row) {
        const __m128i wanted = _mm_load_si128(reinterpret_cast<const __m128i*>(rows_[row]));
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, wanted));
      }
      return static_cast<unsigned>(_mm_movemask_epi8(hits));
    };
    std::size_t at = 0;
    for (; at + 16 <= size; at += 16) {
      if (const unsigned mask = hitsAt(at); mask != 0) return at + std::countr_zero(mask);
    }
    if (at == size) return size;
    // The last block again, ending at the end, without the bytes already searched.
    const std::size_t last = size - 16;
    const unsigned mask = hitsAt(last) >> (at - last);
    return mask != 0 ? at + std::countr_zero(mask) : size;
  }
#endif
  std::size_t at = 0;
  while (at < size && !member_[data[at]]) ++at;
  return at;
}

}  // namespace velmora
