#include "platform/layout.h"

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

}  // namespace platform
