#include "main_window/window_region.h"

#include "platform/runtime.h"

namespace {
// Each coordinate is worked out in double precision from left to right:
// scale x pixels x 15 / ratio + offset, then rounded to the nearest integer
// with halves going to the even neighbour.
platform::Long Coordinate(double scale, double pixelsAt15, double ratio, double offset) {
  return platform::RoundToLong(platform::Divide(scale * pixelsAt15 * 15, ratio) + offset);
}
}  // namespace

EllipseBox ComputeEllipseBox(platform::Single tx, platform::Single ty, platform::Single XScale,
                             platform::Single YScale, platform::Integer XOffset,
                             platform::Integer YOffset) {
  return {Coordinate(XScale, 25, tx, XOffset), Coordinate(YScale, 15, ty, YOffset),
          Coordinate(XScale, 350, tx, XOffset), Coordinate(YScale, 319, ty, YOffset)};
}
