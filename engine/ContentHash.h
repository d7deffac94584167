// A fast 64-bit hash of a file's bytes (XXH64, seed 0), the same whether the bytes come at once
// or in pieces, so that a page hashed from the bytes written can be checked later piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmora {

class ContentHash {
 public:
  // Adds the next bytes.
  void Update(std::string_view bytes);
  // The hash of every byte added so far; more may be added after.
  std::uint64_t Value() const;

 private:
  static constexpr std::size_t kStripe = 32;
  std::uint64_t lanes_[4] = {};
  std::uint64_t total_ = 0;
  unsigned char pending_[kStripe] = {};  // the bytes of an unfinished stripe
  std::size_t pendingSize_ = 0;
};

// The hash of bytes taken whole.
std::uint64_t HashBytes(std::string_view bytes);

}  // namespace velmora
