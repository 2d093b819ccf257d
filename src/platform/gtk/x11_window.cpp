#include "platform/gtk/x11_window.h"

#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <cstdio>
#include <string>
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

namespace {

int OnConnectionLost(Display* display) {
  std::fprintf(stderr, "omenglobe: lost the connection to the X display %s\n",
               DisplayString(display));
  std::fflush(stderr);
  // Xlib ends the process after this handler in any case; without running
  // atexit handlers, which would talk to the dead connection again.
  _exit(1);
}

GdkFilterReturn OnWindowEvent(GdkXEvent* raw, GdkEvent*, gpointer destroyed) {
  const auto* event = static_cast<const XEvent*>(raw);
  if (event->type != DestroyNotify || event->xdestroywindow.window != event->xdestroywindow.event) {
    return GDK_FILTER_CONTINUE;
  }
  GdkDisplay* display = gdk_x11_lookup_xdisplay(event->xany.display);
  if (display != nullptr) gdk_x11_display_error_trap_push(display);
  reinterpret_cast<void (*)()>(destroyed)();
  if (display != nullptr) gdk_x11_display_error_trap_pop_ignored(display);
  // GDK still drops its record of the X window; having seen the window
  // destroyed by then, it does so without a warning.
  return GDK_FILTER_CONTINUE;
}

}  // namespace

void WatchForDestruction(GdkWindow* window, void (*destroyed)()) {
  if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return;
  gdk_window_add_filter(window, OnWindowEvent, reinterpret_cast<gpointer>(destroyed));
}

void ReportLostConnection(GdkDisplay* display) {
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
  XSetIOErrorHandler(OnConnectionLost);
}

Claim ClaimRunningCopy(GdkDisplay* display) {
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return Claim::NotX;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  // One per user, as a lock in the user's own directory was.
  const std::string name = "_OMENGLOBE_RUNNING_COPY_U" + std::to_string(geteuid());
  const Atom selection = XInternAtom(x, name.c_str(), False);
  // The root window stands in as the owner, so no window of ours exists
  // before the check; the server ties the ownership to our connection all
  // the same.
  XGrabServer(x);
  const bool taken = XGetSelectionOwner(x, selection) != None;
  if (!taken) XSetSelectionOwner(x, selection, DefaultRootWindow(x), CurrentTime);
  XUngrabServer(x);
  XSync(x, False);
  return taken ? Claim::AnotherCopy : Claim::Ours;
}

}  // namespace platform::gtk
