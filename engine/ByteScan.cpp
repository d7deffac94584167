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

ByteSet::ByteSet(std::string_view bytes) {
  assert(bytes.size() <= kMaxBytes);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (member_[byte] || count_ == kMaxBytes) continue;
    member_[byte] = true;
    bytes_[count_++] = byte;
  }
}

std::size_t ByteSet::FindIn(std::string_view text) const {
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t at = 0;
  if (count_ == 1) {
    // The C library's own search is wider still.
    const void* found = std::memchr(data, bytes_[0], size);
    return found == nullptr ? size : static_cast<std::size_t>(
                                         static_cast<const unsigned char*>(found) - data);
  }
#ifdef VELMORA_SSE2
  __m128i wanted[kMaxBytes];
  for (std::size_t i = 0; i < count_; ++i) {
    wanted[i] = _mm_set1_epi8(static_cast<char>(bytes_[i]));
  }
  for (; at + 16 <= size; at += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    __m128i hits = _mm_setzero_si128();
    for (std::size_t i = 0; i < count_; ++i) {
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, wanted[i]));
    }
    if (const int mask = _mm_movemask_epi8(hits); mask != 0) {
      return at + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
  }
#endif
  while (at < size && !member_[data[at]]) ++at;
  return at;
}

}  // namespace velmora
