// Where a control lands in its window, in pixels of the current screen.
#pragma once

#include "platform/controls.h"

namespace platform {

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool Contains(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
};

// The control's design rectangle in window pixels: its own position plus
// those of its containers, each converted on its own.
PixelRect WindowPixels(const Form& form, const Control& control);

// The smallest rectangle, in window pixels, holding every command button
// of the form: what must stay reachable when the window does not fit the
// screen. Empty for a form without buttons.
PixelRect ButtonsArea(const Form& form);

// Where a window goes on the usable area of the screen, from where it
// would be (`window`, its position and size). Where it lies wholly inside
// it stays; where it fits it moves in as little as it takes; where it is
// larger, as much of it as fits is inside, and `keep` (window-relative)
// first: whole where it fits, else centred. Each axis on its own.
PixelRect PlaceOnArea(const PixelRect& window, const PixelRect& area, const PixelRect& keep);

}  // namespace platform
