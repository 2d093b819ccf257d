#include "resources.h"

#include <cstddef>

namespace resources {
namespace embedded {
extern const std::uint8_t kProgramIcon[];
extern const std::size_t kProgramIconSize;
extern const std::uint8_t kBallPicture[];
extern const std::size_t kBallPictureSize;
}  // namespace embedded

std::span<const std::uint8_t> ProgramIcon() {
  return {embedded::kProgramIcon, embedded::kProgramIconSize};
}

std::span<const std::uint8_t> BallPicture() {
  return {embedded::kBallPicture, embedded::kBallPictureSize};
}

}  // namespace resources
