// Bytes held in memory as a byte source for the record reader's tests; optionally reports a read
// error at a given offset, as a failing disk would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "engine/RecordReader.h"

namespace velmora::test {

class MemoryByteSource : public ByteSource {
 public:
  // Delivers at most chunk bytes a read, and a read error once errorAt bytes have been delivered.
  explicit MemoryByteSource(std::string_view bytes, std::size_t chunk = 1 << 16,
                            std::size_t errorAt = static_cast<std::size_t>(-1))
      : bytes_(bytes), chunk_(chunk == 0 ? 1 : chunk), errorAt_(errorAt) {}

  platform::Result<std::size_t> Read(char* buffer, std::size_t size) override {
    if (position_ >= errorAt_) return platform::Failure{kReadError};
    if (position_ >= bytes_.size()) return std::size_t{0};
    const std::size_t n =
        std::min({size, chunk_, bytes_.size() - position_, errorAt_ - position_});
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return n;
  }

  // The error code that its read error carries; any code but 0 would do.
  static constexpr platform::ErrorCode kReadError = 5;

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
  std::size_t chunk_;
  std::size_t errorAt_;
};

}  // namespace velmora::test
