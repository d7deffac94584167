#include "engine/TextSniff.h"

#include <algorithm>

#include "engine/TextCheck.h"
#include "platform/Platform.h"

namespace velmora {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// text without the UTF-8 sequence that a cut at its end left unfinished: the bytes from the
// last byte that starts a sequence longer than what follows it.
std::string_view WithoutCutSequence(std::string_view text) {
  const std::size_t lookBack = std::min<std::size_t>(text.size(), 4);
  for (std::size_t back = 1; back <= lookBack; ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? text.substr(0, text.size() - back) : text;
  }
  return text;
}

}  // namespace

TextSniff SniffText(std::string_view head, bool cut) {
  TextSniff sniff;
  sniff.utf8ByteOrderMark = head.starts_with(kByteOrderMark);
  std::string_view text = sniff.utf8ByteOrderMark ? head.substr(kByteOrderMark.size()) : head;
  if (cut) text = WithoutCutSequence(text);
  sniff.looksUtf8 = LooksLikeUtf8(text);
  sniff.lfWithoutCr =
      head.find('\n') != std::string_view::npos && head.find('\r') == std::string_view::npos;
  return sniff;
}

std::optional<TextSniff> SniffTextFile(const std::string& path) {
  platform::InputFile file;
  if (!file.Open(path).ok()) return std::nullopt;
  // One byte more than is looked at tells whether the file goes on.
  std::string head(kSniffBytes + 1, '\0');
  std::size_t filled = 0;
  while (filled < head.size()) {
    const platform::Result<std::size_t> got = file.Read(head.data() + filled, head.size() - filled);
    if (!got) return std::nullopt;
    if (*got == 0) break;
    filled += *got;
  }
  const bool cut = filled > kSniffBytes;
  head.resize(std::min(filled, kSniffBytes));
  return SniffText(head, cut);
}

}  // namespace velmora
