// Deterministic text for the benchmarks: Japanese characters in code page 932 or UTF-8, from a
// small fixed-seed generator, so that every machine measures the same bytes.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::bench {

// splitmix64: fast, and the same sequence everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [0, bound).
  unsigned Below(unsigned bound) { return static_cast<unsigned>(Next() % bound); }

 private:
  std::uint64_t state_;
};

// Appends one Japanese character: hiragana, katakana or a kanji of the first level. In code page
// 932 kanji trail bytes cover 0x40-0xFC, so "[" (0x5B) and "\" (0x5C) occur as second bytes.
inline void AppendJapaneseChar(std::string& text, Random& random, unsigned codePage) {
  const unsigned kind = random.Below(10);
  if (codePage == 932) {
    if (kind < 4) {  // hiragana 0x829F-0x82F1
      text.push_back('\x82');
      text.push_back(static_cast<char>(0x9F + random.Below(0xF1 - 0x9F + 1)));
    } else if (kind < 6) {  // katakana 0x8340-0x8396 without 0x837F
      unsigned trail = 0x40 + random.Below(0x96 - 0x40 + 1);
      if (trail == 0x7F) trail = 0x80;
      text.push_back('\x83');
      text.push_back(static_cast<char>(trail));
    } else {  // kanji, leads 0x89-0x97, trails 0x40-0xFC without 0x7F
      unsigned trail = 0x40 + random.Below(0xFC - 0x40 + 1);
      if (trail == 0x7F) trail = 0x80;
      text.push_back(static_cast<char>(0x89 + random.Below(0x97 - 0x89 + 1)));
      text.push_back(static_cast<char>(trail));
    }
    return;
  }
  unsigned codePoint = kind < 4   ? 0x3041 + random.Below(0x3093 - 0x3041 + 1)
                       : kind < 6 ? 0x30A1 + random.Below(0x30F3 - 0x30A1 + 1)
                                  : 0x4E00 + random.Below(0x9FA0 - 0x4E00);
  text.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
  text.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
  text.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
}

inline void AppendJapanese(std::string& text, Random& random, unsigned codePage, unsigned chars) {
  for (unsigned i = 0; i < chars; ++i) AppendJapaneseChar(text, random, codePage);
}

}  // namespace velmora::bench
