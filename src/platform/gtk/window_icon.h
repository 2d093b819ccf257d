#pragma once

#include <gtk/gtk.h>

namespace platform::gtk {

// Gives the window the program's icon at each size it is drawn in.
void SetProgramIcons(GtkWindow* window);

}  // namespace platform::gtk
