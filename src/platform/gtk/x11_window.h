// The X11-specific calls of the backend, kept apart because Xlib's macros
// (None, Bool, Status, ...) clash with ordinary C++ names.
#pragma once

#include <gdk/gdk.h>

namespace platform::gtk {

// The X window id, or 0 when the window is not an X window. X ids have 29
// bits, so one fits the 32-bit handles the program uses.
unsigned long XWindowId(GdkWindow* window);

// Sets the window's X bounding and input shapes to the region at once.
// GDK applies a toplevel's bounding shape only once the window is mapped,
// and rebuilds the input shape of a toplevel with child widgets from its
// own bookkeeping, so neither would hold from the first frame on; GDK's
// shapes are set to the same region, so later updates agree with these.
// Does nothing for a window that is not an X window.
void SetXShapes(GdkWindow* window, const cairo_region_t* region);

}  // namespace platform::gtk
