// The program's icon on the window, at every size the desktop icon theme
// has, so a window manager or dock that wants 16 px or 256 px gets the
// emblem drawn for that size instead of the 32 px one scaled.
#include "platform/gtk/window_icon.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/gtk/x11_window.h"
#include "resources/resources.h"

namespace platform::gtk {

namespace {

// Every size, written straight into the property window managers and docks
// read. GTK is given no icon of its own, because it would also paint the
// largest into the legacy icon pixmap, a cost that no dock needs.
void SetFullIconProperty(GtkWidget* widget, gpointer) {
  GdkWindow* window = gtk_widget_get_window(widget);
  if (XWindowId(window) == 0) return;
  // _NET_WM_ICON's width, height and 0xAARRGGBB pixels for each size, built
  // a slice at a time so no copy of the whole is ever held.
  static std::uint32_t slice[16384];
  std::size_t used = 0;
  bool append = false;
  auto flush = [&] {
    ChangeCardinalProperty(window, "_NET_WM_ICON", append, std::span(slice, used));
    append = true;
    used = 0;
  };
  for (const resources::GreyIcon& icon : resources::WindowIcons()) {
    if (used + 2 > std::size(slice)) flush();
    slice[used++] = static_cast<std::uint32_t>(icon.size);
    slice[used++] = static_cast<std::uint32_t>(icon.size);
    const std::uint8_t* p = icon.greyAlpha.data();
    const std::uint8_t* const end = p + icon.greyAlpha.size();
    while (p != end) {
      const std::size_t n =
          std::min<std::size_t>(std::size(slice) - used, static_cast<std::size_t>(end - p) / 2);
      std::uint32_t* __restrict const out = slice + used;
      for (std::size_t i = 0; i < n; ++i) {
        out[i] = (std::uint32_t{p[2 * i + 1]} << 24) | p[2 * i] * 0x010101U;
      }
      p += 2 * n;
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
