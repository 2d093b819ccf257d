#include "platform/random.h"

namespace platform {

namespace {
// SplitMix64: a full-period 64-bit sequence with well-mixed output.
std::uint64_t Mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}
}  // namespace

void Generator::Seed(std::uint64_t seed) { state_ = Mix(state_ ^ Mix(seed)); }

Single Generator::Next() {
  state_ += 0x9e3779b97f4a7c15ULL;
  const auto k = static_cast<std::uint32_t>(Mix(state_) >> 40);  // 24 bits
  return static_cast<Single>(k) * (1.0f / 16777216.0f);
}

}  // namespace platform
