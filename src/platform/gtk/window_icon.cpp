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

// What GTK itself gets: it paints one of its icons into the old-style icon
// pixmap (the first of these) and lends them to the help box, which is
// transient for the window. Larger ones would cost more to paint there than
// the rest of the window costs to start.
constexpr int kSizesForGtk[] = {16, 32};

GdkPixbuf* PixbufOf(const resources::GreyIcon& icon) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, icon.size, icon.size);
  guchar* row = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const std::uint8_t* p = icon.greyAlpha.data();
  for (int y = 0; y < icon.size; ++y, row += stride) {
    for (int x = 0; x < icon.size; ++x, p += 2) {
      row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = p[0];
      row[x * 4 + 3] = p[1];
    }
  }
  return pixbuf;
}

// Every size, replacing the few GTK wrote while it realized the window.
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
  GList* icons = nullptr;
  for (const resources::GreyIcon& icon : resources::WindowIcons()) {
    if (std::ranges::find(kSizesForGtk, icon.size) != std::end(kSizesForGtk)) {
      icons = g_list_append(icons, PixbufOf(icon));
    }
  }
  gtk_window_set_icon_list(window, icons);
  g_list_free_full(icons, g_object_unref);
  // Runs after GTK's own realize, which writes the property from the list.
  g_signal_connect_after(window, "realize", G_CALLBACK(SetFullIconProperty), nullptr);
}

}  // namespace platform::gtk
