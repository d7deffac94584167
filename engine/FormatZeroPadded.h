// Decimal numbers padded with leading zeros, as output file names use them.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// The widest padding the program ever builds: wider than any path a system accepts. A name
// asked for with more digits than this cannot be opened anyway.
inline constexpr std::uint32_t kMaxPaddedWidth = 4096;

// The decimal text of value (a "-" for a negative value) with "0" characters in front of it up to
// width characters; never cut. The caller keeps width at or below kMaxPaddedWidth.
std::string FormatZeroPadded(std::uint32_t width, std::int64_t value);

}  // namespace velmora
