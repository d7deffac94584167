// The ways a run may write its files, for the tests that run each way: on the run's own thread,
// or on writing threads that take merged records or fill the template themselves.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "engine/GenerationRun.h"

namespace velmora::test {

struct WritingMode {
  unsigned writers = 0;  // 0: every file on the run's thread
  bool fillOnWriters = false;

  void ApplyTo(RunEnvironment& environment) const {
    environment.writerThreads = writers;
    environment.fillOnWriters = fillOnWriters;
  }
};

inline void PrintTo(const WritingMode& mode, std::ostream* out) {
  *out << mode.writers << " writers" << (mode.fillOnWriters ? ", filling" : "");
}

inline auto AllWritingModes() {
  return ::testing::Values(WritingMode{0, false}, WritingMode{1, false}, WritingMode{4, false},
                           WritingMode{4, true});
}

inline std::string WritingModeName(const ::testing::TestParamInfo<WritingMode>& info) {
  const WritingMode& mode = info.param;
  if (mode.writers == 0) return "SingleThread";
  return "Writers" + std::to_string(mode.writers) + (mode.fillOnWriters ? "Filling" : "");
}

}  // namespace velmora::test
