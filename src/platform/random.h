// The generator behind Randomize and Rnd on the real platforms.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

class Generator {
 public:
  // Mixes the seed into the state, so that two seeds taken in the same clock
  // tick still lead to different sequences.
  void Seed(std::uint64_t seed);
  // k / 2^24 for a 24-bit k: every value is exact in single precision, and
  // the largest is 1 - 2^-24, strictly below 1.
  Single Next();

 private:
  std::uint64_t state_ = 0x853c49e6748fea9bULL;
};

}  // namespace platform
