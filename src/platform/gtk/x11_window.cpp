#include "platform/gtk/x11_window.h"

#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>

#include <vector>

namespace platform::gtk {

unsigned long XWindowId(GdkWindow* window) {
  if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return 0;
  return gdk_x11_window_get_xid(window);
}

void SetXShapes(GdkWindow* window, const cairo_region_t* region) {
  if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return;
  std::vector<XRectangle> rects;
  const int count = cairo_region_num_rectangles(region);
  for (int i = 0; i < count; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(region, i, &r);
    rects.push_back({static_cast<short>(r.x), static_cast<short>(r.y),
                     static_cast<unsigned short>(r.width), static_cast<unsigned short>(r.height)});
  }
  Display* display = GDK_WINDOW_XDISPLAY(window);
  const Window xid = GDK_WINDOW_XID(window);
  for (const int kind : {ShapeBounding, ShapeInput}) {
    XShapeCombineRectangles(display, xid, kind, 0, 0, rects.data(), static_cast<int>(rects.size()),
                            ShapeSet, YXBanded);
  }
}

}  // namespace platform::gtk
