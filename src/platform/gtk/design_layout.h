// A container that places each child at a fixed pixel rectangle and is
// itself exactly the form's size. The form's layout is a design table, so
// neither a long answer nor a theme's minimum button size may push a
// control off its rectangle or grow the window.
#pragma once

#include <gtk/gtk.h>

namespace platform::gtk {

GtkWidget* DesignLayoutNew(int width, int height);
// Keyboard focus moves between the children in ascending `tabIndex`;
// a negative index takes no part.
void DesignLayoutPut(GtkWidget* layout, GtkWidget* child, const GdkRectangle& rect, int tabIndex);
// New sizes and places, for a form laid out at another resolution.
void DesignLayoutResize(GtkWidget* layout, int width, int height);
void DesignLayoutMove(GtkWidget* layout, GtkWidget* child, const GdkRectangle& rect);

}  // namespace platform::gtk
