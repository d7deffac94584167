// What the start of a template or input file says about how it was saved: the window's look at
// the files before a run, so that it can warn of text it would read wrongly.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The window reads no more than this of each file before a run: the look runs on the window's
// thread with nothing on screen to show for it, and a megabyte reads in milliseconds even from a
// network share while holding thousands of records, enough to tell the encoding and the line ends.
inline constexpr std::size_t kSniffBytes = std::size_t{1} << 20;

struct TextSniff {
  bool utf8ByteOrderMark = false;  // the text starts with EF BB BF
  bool looksUtf8 = false;          // LooksLikeUtf8 of the text after any byte-order mark
  bool lfWithoutCr = false;        // LF bytes but no CR: a run would read it as one record
};

// Looks at head, the first bytes of a file; cut: the file goes on after head, so a UTF-8
// sequence left unfinished at its end is no evidence against UTF-8.
TextSniff SniffText(std::string_view head, bool cut);

// Reads at most kSniffBytes of the file at path and looks at them. Nothing when the file cannot
// be opened or read: the run that follows reports that in its own words.
std::optional<TextSniff> SniffTextFile(const std::string& path);

}  // namespace velmora
