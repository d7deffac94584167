#include "engine/ReplaceAll.h"

#include <cstring>

namespace velmora {

namespace {

// Position of the next occurrence of needle in [from, size) of haystack, or npos.
std::size_t FindFrom(std::string_view haystack, std::string_view needle, std::size_t from) {
  const char* base = haystack.data();
  const std::size_t last = haystack.size() < needle.size() ? 0 : haystack.size() - needle.size();
  if (haystack.size() < needle.size()) return std::string_view::npos;
  const char first = needle[0];
  const std::size_t restLength = needle.size() - 1;
  std::size_t pos = from;
  while (pos <= last) {
    const void* hit = std::memchr(base + pos, first, last - pos + 1);
    if (hit == nullptr) return std::string_view::npos;
    pos = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    if (restLength == 0 || std::memcmp(base + pos + 1, needle.data() + 1, restLength) == 0) {
      return pos;
    }
    ++pos;
  }
  return std::string_view::npos;
}

}  // namespace

std::size_t ReplaceAll(std::string& text, std::string_view oldText, std::string_view newText,
                       const CodePageTable& table) {
  if (oldText.empty() || text.size() < oldText.size()) return 0;
  thread_local std::string result;
  std::string_view view(text);
  std::size_t known = 0;    // a position known to start a character
  std::size_t copied = 0;   // text before this position is already in result
  std::size_t replaced = 0;
  for (;;) {
    std::size_t hit = FindFrom(view, oldText, known);
    if (hit == std::string_view::npos) break;
    if (table.HasLeadBytes() && !StartsCharacter(view, known, hit, table)) {
      // hit is the second byte of a character, so the next character starts right after it.
      known = hit + 1;
      continue;
    }
    if (replaced == 0) {
      result.clear();
      result.reserve(text.size() + (newText.size() > oldText.size() ? 4 * newText.size() : 0));
    }
    result.append(view.data() + copied, hit - copied);
    result.append(newText);
    ++replaced;
    known = hit + oldText.size();
    copied = known;
  }
  if (replaced == 0) return 0;
  result.append(view.data() + copied, view.size() - copied);
  text.swap(result);
  return replaced;
}

std::size_t ReplaceAll(std::string& text, std::string_view oldText, std::string_view newText) {
  return ReplaceAll(text, oldText, newText, ProcessCodePageTable());
}

}  // namespace velmora
