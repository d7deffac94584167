#include "engine/ReplaceAll.h"

#include "engine/Placeholder.h"

namespace velmora {

std::size_t ReplaceAll(std::string& text, std::string_view oldText, std::string_view newText,
                       const CodePageTable& table) {
  if (oldText.empty() || text.size() < oldText.size()) return 0;
  thread_local std::string result;
  std::string_view view(text);
  std::size_t known = 0;    // a position known to start a character
  std::size_t copied = 0;   // text before this position is already in result
  std::size_t replaced = 0;
  for (;;) {
    const std::size_t hit = FindAtCharacterStart(view, oldText, known, known, table);
    if (hit == std::string_view::npos) break;
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
