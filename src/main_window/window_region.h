// The box of the window's ellipse, as a pure function of the screen's
// twips-per-pixel ratios, so it can be checked at any ratio.
#pragma once

#include "platform/types.h"

struct EllipseBox {
  platform::Long left, top, right, bottom;
  bool operator==(const EllipseBox&) const = default;
};

// The ellipse box drawn for 15 twips per pixel (25, 15, 350, 319), scaled to
// the given ratios. Raises the runtime's division-by-zero or overflow error
// for a zero ratio or a box that does not fit in 32 bits.
EllipseBox ComputeEllipseBox(platform::Single twipsPerPixelX, platform::Single twipsPerPixelY,
                             platform::Single XScale, platform::Single YScale,
                             platform::Integer XOffset, platform::Integer YOffset);
