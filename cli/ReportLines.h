// How much of one kind of message standard error shows.
#pragma once

#include <cstddef>

namespace velmora {

// Any one kind of message after a run stops after this many lines and ends with a count of the
// rest: a run of a hundred thousand records must not bury the lines that explain it.
inline constexpr std::size_t kReportLines = 20;

}  // namespace velmora
