#include "platform/layout.h"

#include <algorithm>

#include "platform/runtime.h"

namespace platform {

PixelRect WindowPixels(const Form& form, const Control& control) {
  const auto& design = control.Design();
  PixelRect rect{ScaleX(design.left), ScaleY(design.top), ScaleX(design.width),
                 ScaleY(design.height)};
  for (auto container = design.container; !container.empty();) {
    const Control& parent = form.Find(container);
    rect.x += ScaleX(parent.Design().left);
    rect.y += ScaleY(parent.Design().top);
    container = parent.Design().container;
  }
  return rect;
}

PixelRect ButtonsArea(const Form& form) {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool any = false;
  for (const Control* control : form.Controls()) {
    if (control->Design().kind != ControlKind::CommandButton) continue;
    const PixelRect r = WindowPixels(form, *control);
    left = any ? std::min(left, r.x) : r.x;
    top = any ? std::min(top, r.y) : r.y;
    right = any ? std::max(right, r.x + r.width) : r.x + r.width;
    bottom = any ? std::max(bottom, r.y + r.height) : r.y + r.height;
    any = true;
  }
  return {left, top, right - left, bottom - top};
}

namespace {

// One axis of PlaceOnArea: the window's start for a window of `size` from
// `preferred`, on [start, start + length), keeping [keepFrom, keepTo).
int PlaceAlong(int preferred, int size, int start, int length, int keepFrom, int keepTo) {
  const int end = start + length;
  if (size <= length) return std::clamp(preferred, start, end - size);
  // Any start in [end - size, start] fills the area with window.
  const int filled = std::clamp(preferred, end - size, start);
  if (keepTo <= keepFrom) return filled;
  if (keepTo - keepFrom > length) return start + (length - keepFrom - keepTo) / 2;
  return std::clamp(filled, start - keepFrom, end - keepTo);
}

}  // namespace

PixelRect PlaceOnArea(const PixelRect& window, const PixelRect& area, const PixelRect& keep) {
  return {PlaceAlong(window.x, window.width, area.x, area.width, keep.x, keep.x + keep.width),
          PlaceAlong(window.y, window.height, area.y, area.height, keep.y, keep.y + keep.height),
          window.width, window.height};
}

}  // namespace platform
