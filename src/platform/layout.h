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

}  // namespace platform
