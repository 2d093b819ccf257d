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

GdkPixbuf* PixbufOf(int size, std::span<const std::uint32_t> argb) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
  guchar* row = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < size; ++y, row += stride) {
    for (int x = 0; x < size; ++x) {
      const std::uint32_t p = argb[static_cast<std::size_t>(y * size + x)];
      row[x * 4] = static_cast<guchar>(p >> 16);
      row[x * 4 + 1] = static_cast<guchar>(p >> 8);
      row[x * 4 + 2] = static_cast<guchar>(p);
      row[x * 4 + 3] = static_cast<guchar>(p >> 24);
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
  // Xlib wants format-32 data as long; widened a slice at a time, and each
  // request stays under the core protocol's size limit.
  static unsigned long slice[8192];
  const std::span<const std::uint32_t> all = resources::WindowIconProperty();
  int mode = PropModeReplace;
  for (std::size_t at = 0; at < all.size(); at += std::size(slice)) {
    const std::size_t n = std::min(std::size(slice), all.size() - at);
    std::copy_n(all.begin() + static_cast<std::ptrdiff_t>(at), n, slice);
    XChangeProperty(display, GDK_WINDOW_XID(window), property, XA_CARDINAL, 32, mode,
                    reinterpret_cast<const unsigned char*>(slice), static_cast<int>(n));
    mode = PropModeAppend;
  }
}

}  // namespace

void SetProgramIcons(GtkWindow* window) {
  GList* icons = nullptr;
  const std::span<const std::uint32_t> all = resources::WindowIconProperty();
  for (std::size_t at = 0; at + 2 <= all.size();) {
    const int size = static_cast<int>(all[at]);
    const auto pixels = all.subspan(at + 2, static_cast<std::size_t>(size) * size);
    if (std::ranges::find(kSizesForGtk, size) != std::end(kSizesForGtk)) {
      icons = g_list_append(icons, PixbufOf(size, pixels));
    }
    at += 2 + pixels.size();
  }
  gtk_window_set_icon_list(window, icons);
  g_list_free_full(icons, g_object_unref);
  // Runs after GTK's own realize, which writes the property from the list.
  g_signal_connect_after(window, "realize", G_CALLBACK(SetFullIconProperty), nullptr);
}

}  // namespace platform::gtk
