#include "engine/ContentHash.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmora {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr std::uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

constexpr std::uint64_t RotateLeft(std::uint64_t value, int bits) {
  return (value << bits) | (value >> (64 - bits));
}

// Little-endian reads, whatever the machine's own order (one load where it is little-endian).
std::uint64_t Read64(const unsigned char* p) {
  std::uint64_t value = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, p, sizeof value);
  } else {
    for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
  }
  return value;
}

std::uint64_t Read32(const unsigned char* p) {
  return static_cast<std::uint64_t>(p[0]) | static_cast<std::uint64_t>(p[1]) << 8 |
         static_cast<std::uint64_t>(p[2]) << 16 | static_cast<std::uint64_t>(p[3]) << 24;
}

std::uint64_t Round(std::uint64_t lane, std::uint64_t input) {
  return RotateLeft(lane + input * kPrime2, 31) * kPrime1;
}

std::uint64_t MergeRound(std::uint64_t hash, std::uint64_t lane) {
  return (hash ^ Round(0, lane)) * kPrime1 + kPrime4;
}

void Stripe(std::uint64_t (&lanes)[4], const unsigned char* p) {
  for (int i = 0; i < 4; ++i) lanes[i] = Round(lanes[i], Read64(p + 8 * i));
}

}  // namespace

void ContentHash::Update(std::string_view bytes) {
  if (total_ == 0 && pendingSize_ == 0) {
    lanes_[0] = kPrime1 + kPrime2;
    lanes_[1] = kPrime2;
    lanes_[2] = 0;
    lanes_[3] = 0 - kPrime1;
  }
  auto p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t size = bytes.size();
  total_ += size;
  if (pendingSize_ != 0) {
    const std::size_t take = std::min(size, kStripe - pendingSize_);
    std::memcpy(pending_ + pendingSize_, p, take);
    pendingSize_ += take;
    p += take;
    size -= take;
    if (pendingSize_ < kStripe) return;
    Stripe(lanes_, pending_);
    pendingSize_ = 0;
  }
  // The lanes in locals: stored through this, they could alias the bytes and be reloaded each time.
  std::uint64_t lanes[4] = {lanes_[0], lanes_[1], lanes_[2], lanes_[3]};
  for (; size >= kStripe; p += kStripe, size -= kStripe) Stripe(lanes, p);
  std::copy(lanes, lanes + 4, lanes_);
  std::memcpy(pending_, p, size);
  pendingSize_ = size;
}

std::uint64_t ContentHash::Value() const {
  std::uint64_t hash = kPrime5;
  if (total_ >= kStripe) {
    hash = RotateLeft(lanes_[0], 1) + RotateLeft(lanes_[1], 7) + RotateLeft(lanes_[2], 12) +
           RotateLeft(lanes_[3], 18);
    for (const std::uint64_t lane : lanes_) hash = MergeRound(hash, lane);
  }
  hash += total_;
  const unsigned char* p = pending_;
  std::size_t size = pendingSize_;
  for (; size >= 8; p += 8, size -= 8) {
    hash = RotateLeft(hash ^ Round(0, Read64(p)), 27) * kPrime1 + kPrime4;
  }
  if (size >= 4) {
    hash = RotateLeft(hash ^ Read32(p) * kPrime1, 23) * kPrime2 + kPrime3;
    p += 4;
    size -= 4;
  }
  for (; size > 0; ++p, --size) hash = RotateLeft(hash ^ *p * kPrime5, 11) * kPrime1;
  hash ^= hash >> 33;
  hash *= kPrime2;
  hash ^= hash >> 29;
  hash *= kPrime3;
  return hash ^ (hash >> 32);
}

std::uint64_t HashBytes(std::string_view bytes) {
  ContentHash hash;
  hash.Update(bytes);
  return hash.Value();
}

}  // namespace velmora
