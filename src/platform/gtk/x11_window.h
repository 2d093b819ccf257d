// The X11-specific calls of the backend, kept apart because Xlib's macros
// (None, Bool, Status, ...) clash with ordinary C++ names.
#pragma once

#include <gdk/gdk.h>

#include <cstdint>
#include <span>

namespace platform::gtk {

// X carries window positions, sizes and shape rectangles in signed 16 bits.
inline constexpr int kLargestXCoordinate = 32767;

// The X window id, or 0 when the window is not an X window. X ids have 29
// bits, so one fits the 32-bit handles the program uses.
unsigned long XWindowId(GdkWindow* window);

// Sets the window's X bounding and input shapes to the region, given in
// GDK's window coordinates, at once, in the X window's device pixels.
// GDK applies a toplevel's bounding shape only once the window is mapped,
// and rebuilds the input shape of a toplevel with child widgets from its
// own bookkeeping, so neither would hold from the first frame on; GDK's
// shapes are set to the same region, so later updates agree with these.
// Does nothing for a window that is not an X window.
void SetXShapes(GdkWindow* window, const cairo_region_t* region);

// Replaces (or, with `append`, extends) a CARDINAL property of 32-bit
// values, sent as they are: Xlib's own call wants them as long and copies
// each one narrower again on a 64-bit machine. Does nothing for a window
// that is not an X window.
void ChangeCardinalProperty(GdkWindow* window, const char* property, bool append,
                            std::span<const std::uint32_t> values);

// Calls `destroyed` when the X server reports that another program destroyed
// the window, before GDK handles the report (GDK would only warn and leave
// the widget standing on a dead window). X errors from requests on the dead
// window made meanwhile are ignored.
void WatchForDestruction(GdkWindow* window, void (*destroyed)());

// From now on, a lost connection to the X server ends the program with one
// line on stderr and status 1 (Xlib allows no way back), and errors from
// requests on a window WatchForDestruction watches that another program has
// destroyed are not fatal. Call once, right after the display is opened.
// Does nothing for a display that is not an X display.
void InstallErrorHandlers(GdkDisplay* display);

// The running-copy check on X (x11_running_copy.cpp): ownership of a
// selection named for the user, taken under a server grab so that two copies
// starting together cannot both see it free, by a window of ours that
// answers for it (TARGETS, and the program's name and process id). A later
// start asks the owner, with a deadline: a copy that answers so keeps it out
// (AnotherCopy); anything else holding the key (another client, a copy that
// is frozen) loses it to the new start. The selection lives in the server,
// so every spelling of the display's name reaches the same one, and the
// server gives it up when the owner's connection closes, however the process
// ends.
enum class Claim { Ours, AnotherCopy, NotX };
Claim ClaimRunningCopy(GdkDisplay* display);

}  // namespace platform::gtk
