// What a screen reader gets from the window through ATK (and, with an
// accessibility bus, AT-SPI): the names and descriptions of the design
// table, the picture as an image, and a text read out when it first shows.
#include "platform/gtk/gtk_accessibility.h"

#include <gtk/gtk.h>

#include <string>

#include "platform/backend.h"
#include "platform/gtk/gtk_support.h"

namespace platform::gtk {

namespace {

const gchar* ApplicationName(AtkObject*) { return g_get_application_name(); }

// GTK's root object names the application after its executable file and
// ignores a name set on it; a screen reader should hear the program's own
// name, the one Init gave GLib.
void NameTheApplication() {
  const GType root = g_type_from_name("GtkToplevelAccessible");
  gpointer klass = root != 0 ? g_type_class_peek(root) : nullptr;
  if (klass != nullptr) ATK_OBJECT_CLASS(klass)->get_name = ApplicationName;
}

// A locked text box shows no caret, and the theme draws it no focus ring:
// a keyboard user would not see that the answer box has the focus. A dashed
// grey frame, as the buttons have, while the window shows keyboard focus.
gboolean DrawFocus(GtkWidget* widget, cairo_t* cr, gpointer) {
  if (!gtk_widget_has_visible_focus(widget)) return FALSE;
  const double w = gtk_widget_get_allocated_width(widget);
  const double h = gtk_widget_get_allocated_height(widget);
  const double dash[] = {1, 1};
  cairo_save(cr);
  cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
  cairo_set_line_width(cr, 1);
  cairo_set_dash(cr, dash, 2, 0);
  cairo_rectangle(cr, 1.5, 1.5, w - 3, h - 3);
  cairo_stroke(cr);
  cairo_restore(cr);
  return FALSE;
}

void Describe(const Control& control, GtkWidget* widget) {
  if (control.Design().kind == ControlKind::TextBox && control.Design().locked) {
    g_signal_connect_after(widget, "draw", G_CALLBACK(DrawFocus), nullptr);
  }
  const auto& d = control.Design();
  const bool isPicture = d.kind == ControlKind::PictureBox;
  if (d.accessibleName.empty() && d.accessibleDescription.empty() && !isPicture) return;
  AtkObject* accessible = gtk_widget_get_accessible(widget);
  if (accessible == nullptr) return;
  // A picture box draws; without a role it would read as a "drawing area".
  if (isPicture) atk_object_set_role(accessible, ATK_ROLE_IMAGE);
  if (!d.accessibleName.empty()) {
    atk_object_set_name(accessible, std::string(d.accessibleName).c_str());
  }
  if (!d.accessibleDescription.empty()) {
    atk_object_set_description(accessible, std::string(d.accessibleDescription).c_str());
  }
}

}  // namespace

void DescribeForAssistiveTechnology(const Form& form) {
  NameTheApplication();
  for (const Control* control : form.Controls()) {
    if (control->peer != nullptr && control->peer->widget != nullptr) {
      Describe(*control, control->peer->widget);
    }
  }
}

}  // namespace platform::gtk

namespace platform::backend {

void Announce(TextBox& box) {
  Peer* peer = box.peer;
  if (peer == nullptr || peer->widget == nullptr) return;
  AtkObject* accessible = gtk_widget_get_accessible(peer->widget);
  if (accessible == nullptr) return;
  // ATK before 2.46 has no announcement; the text is still in the box.
  const guint signal = g_signal_lookup("announcement", G_OBJECT_TYPE(accessible));
  if (signal == 0) return;
  g_signal_emit(accessible, signal, 0, box.Text.Get().c_str());
}

}  // namespace platform::backend
