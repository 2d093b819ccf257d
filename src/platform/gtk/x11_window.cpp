#include "platform/gtk/x11_window.h"

#include <X11/Xatom.h>
#include <X11/extensions/shape.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// Last, for its min and max macros: the layout of Xlib's event queue.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace platform::gtk {

unsigned long XWindowId(GdkWindow* window) {
  if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return 0;
  return gdk_x11_window_get_xid(window);
}

void SetXShapes(GdkWindow* window, const cairo_region_t* region) {
  if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return;
  // The region is in GDK's window coordinates; the X window counts device
  // pixels, `scale` of them to each of GDK's across and down.
  const int scale = gdk_window_get_scale_factor(window);
  std::vector<XRectangle> rects;
  const int count = cairo_region_num_rectangles(region);
  for (int i = 0; i < count; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(region, i, &r);
    rects.push_back({static_cast<short>(r.x * scale), static_cast<short>(r.y * scale),
                     static_cast<unsigned short>(r.width * scale),
                     static_cast<unsigned short>(r.height * scale)});
  }
  Display* display = GDK_WINDOW_XDISPLAY(window);
  const Window xid = GDK_WINDOW_XID(window);
  for (const int kind : {ShapeBounding, ShapeInput}) {
    XShapeCombineRectangles(display, xid, kind, 0, 0, rects.data(), static_cast<int>(rects.size()),
                            ShapeSet, YXBanded);
  }
}

void ChangeCardinalProperty(GdkWindow* window, const char* property, bool append,
                            std::span<const std::uint32_t> values) {
  if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return;
  // Xlib's request macros name the display `dpy`.
  Display* dpy = GDK_WINDOW_XDISPLAY(window);
  const Atom name = gdk_x11_get_xatom_by_name_for_display(gdk_window_get_display(window), property);
  // Well under the core protocol's largest request (65,535 words).
  constexpr std::size_t kPerRequest = 16384;
  std::size_t done = 0;
  do {
    const std::size_t count = std::min(kPerRequest, values.size() - done);
    LockDisplay(dpy);
    xChangePropertyReq* request;
    GetReq(ChangeProperty, request);
    request->window = GDK_WINDOW_XID(window);
    request->property = name;
    request->type = XA_CARDINAL;
    request->mode = append || done != 0 ? PropModeAppend : PropModeReplace;
    request->format = 32;
    request->nUnits = static_cast<CARD32>(count);
    request->length += static_cast<CARD16>(count);
    Data(dpy, reinterpret_cast<const char*>(values.data() + done), static_cast<long>(count * 4));
    UnlockDisplay(dpy);
    SyncHandle();
    done += count;
  } while (done < values.size());
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

// The window another program may destroy, and whether it has. Requests on
// it that were on their way when it went fail on the server, and Xlib may
// read those errors inside one of GDK's error traps, whose handler would end
// the program for an error it did not trap. They are dropped before any
// handler sees them: Xlib's conversion hook for an error code comes first.
Window watchedWindow = 0;
bool watchedWindowGone = false;
using WireToError = Bool (*)(Display*, XErrorEvent*, xError*);
WireToError previousConversion[256] = {};

// The server reports the window's end before any error it causes, so the
// report is handled already or still waits in Xlib's queue.
bool WatchedWindowGone(Display* display, const XErrorEvent* error) {
  if (watchedWindowGone || watchedWindow == 0) return watchedWindowGone;
  if (error->resourceid == watchedWindow &&
      (error->error_code == BadWindow || error->error_code == BadDrawable)) {
    return watchedWindowGone = true;
  }
  for (const _XQEvent* queued = display->head; queued != nullptr; queued = queued->next) {
    if (queued->event.type == DestroyNotify &&
        queued->event.xdestroywindow.window == watchedWindow) {
      return watchedWindowGone = true;
    }
  }
  return false;
}

Bool ConvertError(Display* display, XErrorEvent* error, xError* wire) {
  if (WatchedWindowGone(display, error)) return False;  // dropped
  const WireToError previous = previousConversion[error->error_code];
  return previous != nullptr ? previous(display, error, wire) : True;
}

// The errors of requests on a window, on what was drawn onto it and on what
// was made from it, once it is gone.
void DropErrorsOfTheDeadWindow(Display* display) {
  std::vector<int> codes = {BadWindow, BadPixmap, BadDrawable, BadGC};
  int major = 0, firstEvent = 0, firstError = 0;
  if (XQueryExtension(display, "RENDER", &major, &firstEvent, &firstError)) {
    codes.push_back(firstError + 1);  // the rendering extension's BadPicture
  }
  for (const int code : codes)
    previousConversion[code] = XESetWireToError(display, code, ConvertError);
}

GdkFilterReturn OnWindowEvent(GdkXEvent* raw, GdkEvent*, gpointer destroyed) {
  const auto* event = static_cast<const XEvent*>(raw);
  // GDK files the window's focus child under the window too; its end comes
  // first and is not the one to act on.
  if (event->type != DestroyNotify || event->xdestroywindow.window != watchedWindow) {
    return GDK_FILTER_CONTINUE;
  }
  watchedWindowGone = true;
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
  watchedWindow = GDK_WINDOW_XID(window);
  watchedWindowGone = false;
  // A filter of all events, not of the window's: GDK frees a window's own
  // filters with the window, under the feet of the loop that calls them.
  static bool added = false;
  if (!added) gdk_window_add_filter(nullptr, OnWindowEvent, reinterpret_cast<gpointer>(destroyed));
  added = true;
}

void InstallErrorHandlers(GdkDisplay* display) {
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
  XSetIOErrorHandler(OnConnectionLost);
  DropErrorsOfTheDeadWindow(GDK_DISPLAY_XDISPLAY(display));
}

}  // namespace platform::gtk
