// How much of one kind of message standard error shows.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace velmora {

// Any one kind of message after a run stops after this many lines and ends with a count of the
// rest: a run of a hundred thousand records must not bury the lines that explain it.
inline constexpr std::size_t kReportLines = 20;

// The lines of one kind of message: the first kReportLines as they come, then one line that counts
// the rest ("velmora-batch: 7 more " + what).
class BoundedLines {
 public:
  explicit BoundedLines(std::string what) : what_(std::move(what)) {}
  // line ends in "\n".
  void Add(const std::string& line) {
    if (shown_ < kReportLines) {
      text_ += line;
      ++shown_;
    } else {
      ++more_;
    }
  }
  std::string Text() const {
    if (more_ == 0) return text_;
    return text_ + "velmora-batch: " + std::to_string(more_) + " more " + what_ + "\n";
  }

 private:
  std::string what_;
  std::string text_;
  std::size_t shown_ = 0;
  std::size_t more_ = 0;
};

}  // namespace velmora
