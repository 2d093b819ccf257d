// The window-system calls the program makes by their Windows names, on the
// region layer and on the form's X window.
#include <gtk/gtk.h>

#include "platform/gtk/cairo_region.h"
#include "platform/gtk/gtk_support.h"
#include "platform/gtk/x11_window.h"
#include "platform/region.h"
#include "platform/winapi.h"

namespace platform {

using gtk::S;

namespace {

bool IsFormWindow(HWND window) { return window != 0 && window == gtk::WindowHandle(); }

}  // namespace

HRGN CreateRectRgn(Long left, Long top, Long right, Long bottom) {
  return S().regions.Add(Region::Rectangle(left, top, right, bottom));
}

HRGN CreateEllipticRgn(Long left, Long top, Long right, Long bottom) {
  return S().regions.Add(Region::Ellipse(left, top, right, bottom));
}

Long CombineRgn(HRGN destination, HRGN source1, HRGN source2, Long mode) {
  return CombineRegions(S().regions, destination, source1, source2, mode);
}

Long DeleteObject(HRGN object) { return S().regions.Remove(object) ? 1 : 0; }

Long SetWindowRgn(HWND window, HRGN region, Long redraw) {
  const Region* shape = S().regions.Find(region);
  if (shape == nullptr || !IsFormWindow(window)) return 0;
  S().windowRegion = *shape;
  S().windowRegionDpi = S().dpi;
  S().windowShape.reset();
  gtk::ApplyWindowShape();
  S().regions.Remove(region);  // the window owns it now
  if (redraw != 0) gtk_widget_queue_draw(S().window);
  return 1;
}

Long ReleaseCapture() {
  // The press grabbed the pointer for our window; the window manager's
  // move loop needs it.
  if (GdkDisplay* display = gdk_display_get_default()) {
    if (GdkSeat* seat = gdk_display_get_default_seat(display)) gdk_seat_ungrab(seat);
  }
  return 1;
}

Long SendMessageA(HWND window, Long message, Long wParam, Long lParam) {
  if (!IsFormWindow(window) || message != WM_NCLBUTTONDOWN || wParam != HTCAPTION) return 0;
  // A press on a caption at the screen position the message carries: the
  // window manager's own move loop, held by the button of the press being
  // handled. Without a window manager that supports it, GDK moves the
  // window itself until the button comes up.
  const gtk::Press press =
      S().press.value_or(gtk::Press{GDK_BUTTON_PRIMARY, 0, 0, GDK_CURRENT_TIME});
  gtk_window_begin_move_drag(GTK_WINDOW(S().window), static_cast<gint>(press.button),
                             PointX(lParam), PointY(lParam), press.time);
  return 0;
}

Long GetMessagePos() {
  int x = 0, y = 0;
  if (S().press) {
    x = S().press->rootX;
    y = S().press->rootY;
  } else if (GdkDisplay* display = gdk_display_get_default()) {
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
    gdk_device_get_position(pointer, nullptr, &x, &y);
  }
  return PackPoint(x, y);
}

}  // namespace platform
