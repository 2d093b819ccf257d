// The program's icon on the window, at every size the desktop icon theme
// has, so a window manager or dock that wants 16 px or 256 px gets the
// emblem drawn for that size instead of the 32 px one scaled.
#include "platform/gtk/window_icon.h"

#include <X11/Xatom.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "resources/resources.h"

namespace platform::gtk {

namespace {

// Every size, written straight into the property window managers and docks
// read. GTK is given no icon of its own: it would paint the largest into the
// old-style icon pixmap, which costs more than the rest of the start-up
// does above a bare window.
void SetFullIconProperty(GtkWidget* widget, gpointer) {
  GdkWindow* window = gtk_widget_get_window(widget);
  if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return;
  Display* display = GDK_WINDOW_XDISPLAY(window);
  const Atom property =
      gdk_x11_get_xatom_by_name_for_display(gdk_window_get_display(window), "_NET_WM_ICON");
  // Xlib wants format-32 data as long: _NET_WM_ICON's width, height and
  // 0xAARRGGBB pixels, built a slice at a time so each request stays under
  // the core protocol's size limit and no copy of the whole is ever held.
  static unsigned long slice[8192];
  std::size_t used = 0;
  int mode = PropModeReplace;
  auto flush = [&] {
    XChangeProperty(display, GDK_WINDOW_XID(window), property, XA_CARDINAL, 32, mode,
                    reinterpret_cast<const unsigned char*>(slice), static_cast<int>(used));
    mode = PropModeAppend;
    used = 0;
  };
  for (const resources::GreyIcon& icon : resources::WindowIcons()) {
    slice[used++] = static_cast<unsigned long>(icon.size);
    slice[used++] = static_cast<unsigned long>(icon.size);
    const std::uint8_t* p = icon.greyAlpha.data();
    const std::uint8_t* const end = p + icon.greyAlpha.size();
    while (p != end) {
      const std::size_t n =
          std::min<std::size_t>(std::size(slice) - used, static_cast<std::size_t>(end - p) / 2);
      for (std::size_t i = 0; i < n; ++i, p += 2) {
        slice[used + i] = (static_cast<unsigned long>(p[1]) << 24) | p[0] * 0x010101UL;
      }
      used += n;
      if (used == std::size(slice)) flush();
    }
  }
  if (used != 0) flush();
}

}  // namespace

void SetProgramIcons(GtkWindow* window) {
  g_signal_connect_after(window, "realize", G_CALLBACK(SetFullIconProperty), nullptr);
}

}  // namespace platform::gtk
