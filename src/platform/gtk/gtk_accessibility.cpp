// What a screen reader gets from the window through ATK (and, with an
// accessibility bus, AT-SPI): the names and descriptions of the design
// table, the picture as an image, the answer box read a whole line at a
// time, and a text read out when it comes into view.
#include "platform/gtk/gtk_accessibility.h"

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

#include <string>
#include <utility>

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

// --- What a reader finds in the answer box

// GTK hands a reader the wrapped line on screen as a text view's "line".
// The answer box wraps a sentence over two or three lines, so a reader
// arriving in it would hear only the line at the caret: half an answer. For
// a reader, a line of the answer box is a line of its text.
//
// And a box that the focus reached while it showed nothing (the shake
// button hands the focus over as it locks, before the answer is drawn)
// reads as empty to a reader until the focus leaves it: a reader reads the
// box whenever it gets to the focus, which may be after the answer has come
// into view, and the answer is read out as it comes (Announce). Reached
// again, the box reads what it shows.
using GetText = gchar* (*)(AtkText*, gint, gint);
using GetCharacterCount = gint (*)(AtkText*);
using TextAtOffset = gchar* (*)(AtkText*, gint, AtkTextBoundary, gint*, gint*);
using StringAtOffset = gchar* (*)(AtkText*, gint, AtkTextGranularity, gint*, gint*);
GetText textViewGetText = nullptr;
GetCharacterCount textViewCharacterCount = nullptr;
TextAtOffset textViewTextAtOffset = nullptr;
StringAtOffset textViewStringAtOffset = nullptr;

constexpr char kHeldBack[] = "omenglobe-held-back";

GtkWidget* ViewOf(AtkText* text) {
  GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(text));
  return widget != nullptr && GTK_IS_TEXT_VIEW(widget) ? widget : nullptr;
}

bool HeldBack(AtkText* text) {
  GtkWidget* view = ViewOf(text);
  return view != nullptr && g_object_get_data(G_OBJECT(view), kHeldBack) != nullptr;
}

gchar* Nothing(gint* startOffset, gint* endOffset) {
  *startOffset = *endOffset = 0;
  return g_strdup("");
}

gchar* TextLine(AtkText* text, gint offset, gint* startOffset, gint* endOffset) {
  GtkWidget* view = ViewOf(text);
  if (view == nullptr) return nullptr;
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
  GtkTextIter start, end;
  gtk_text_buffer_get_iter_at_offset(buffer, &start, offset);
  gtk_text_iter_set_line_offset(&start, 0);
  end = start;
  if (!gtk_text_iter_forward_line(&end)) gtk_text_buffer_get_end_iter(buffer, &end);
  *startOffset = gtk_text_iter_get_offset(&start);
  *endOffset = gtk_text_iter_get_offset(&end);
  return gtk_text_buffer_get_slice(buffer, &start, &end, FALSE);
}

gchar* ShownText(AtkText* text, gint start, gint end) {
  return HeldBack(text) ? g_strdup("") : textViewGetText(text, start, end);
}

gint ShownCharacterCount(AtkText* text) {
  return HeldBack(text) ? 0 : textViewCharacterCount(text);
}

gchar* TextAtOffsetByTextLine(AtkText* text, gint offset, AtkTextBoundary boundary,
                              gint* startOffset, gint* endOffset) {
  if (HeldBack(text)) return Nothing(startOffset, endOffset);
  if (boundary == ATK_TEXT_BOUNDARY_LINE_START || boundary == ATK_TEXT_BOUNDARY_LINE_END) {
    if (gchar* line = TextLine(text, offset, startOffset, endOffset)) return line;
  }
  return textViewTextAtOffset(text, offset, boundary, startOffset, endOffset);
}

gchar* StringAtOffsetByTextLine(AtkText* text, gint offset, AtkTextGranularity granularity,
                                gint* startOffset, gint* endOffset) {
  if (HeldBack(text)) return Nothing(startOffset, endOffset);
  if (granularity == ATK_TEXT_GRANULARITY_LINE) {
    if (gchar* line = TextLine(text, offset, startOffset, endOffset)) return line;
  }
  return textViewStringAtOffset(text, offset, granularity, startOffset, endOffset);
}

void ReadTextViewsAsShown() {
  if (textViewTextAtOffset != nullptr) return;
  // The class lives as long as the program; this reference keeps it so.
  gpointer klass = g_type_class_ref(GTK_TYPE_TEXT_VIEW_ACCESSIBLE);
  auto* text = static_cast<AtkTextIface*>(g_type_interface_peek(klass, ATK_TYPE_TEXT));
  if (text == nullptr || text->get_text_at_offset == nullptr || text->get_text == nullptr ||
      text->get_character_count == nullptr) {
    return;
  }
  textViewGetText = std::exchange(text->get_text, ShownText);
  textViewCharacterCount = std::exchange(text->get_character_count, ShownCharacterCount);
  textViewTextAtOffset = std::exchange(text->get_text_at_offset, TextAtOffsetByTextLine);
  // Without its own, ATK asks get_text_at_offset, replaced above to read by text line.
  if (text->get_string_at_offset != nullptr) {
    textViewStringAtOffset = std::exchange(text->get_string_at_offset, StringAtOffsetByTextLine);
  }
}

gboolean OnTextFocusIn(GtkWidget* view, GdkEvent*, gpointer control) {
  if (!static_cast<const TextBox*>(control)->TextShows()) {
    g_object_set_data(G_OBJECT(view), kHeldBack, GINT_TO_POINTER(1));
  }
  return FALSE;
}

gboolean OnTextFocusOut(GtkWidget* view, GdkEvent*, gpointer) {
  g_object_set_data(G_OBJECT(view), kHeldBack, nullptr);
  return FALSE;
}

// --- The notification that reads out a text as it comes into view

// An object of role notification, named after the text, that shows while
// the text shows. Readers present a notification that starts showing
// whatever has the focus (Orca 43, which has no use for ATK's announcement,
// among them): the user hears "notification" and the text, once. A reader
// that also presents announcements gets none, so it too speaks it once.
struct Notification {
  AtkObject parent;
  gboolean showing;
};
struct NotificationClass {
  AtkObjectClass parent;
};
gpointer notificationParentClass = nullptr;

AtkStateSet* NotificationStates(AtkObject* object) {
  AtkStateSet* states = ATK_OBJECT_CLASS(notificationParentClass)->ref_state_set(object);
  if (reinterpret_cast<Notification*>(object)->showing) {
    atk_state_set_add_state(states, ATK_STATE_VISIBLE);
    atk_state_set_add_state(states, ATK_STATE_SHOWING);
  }
  return states;
}

void NotificationClassInit(gpointer klass, gpointer) {
  notificationParentClass = g_type_class_peek_parent(klass);
  ATK_OBJECT_CLASS(klass)->ref_state_set = NotificationStates;
}

GType NotificationType() {
  static const GType type = g_type_register_static_simple(
      ATK_TYPE_OBJECT, "OmenglobeNotification", sizeof(NotificationClass), NotificationClassInit,
      sizeof(Notification), nullptr, static_cast<GTypeFlags>(0));
  return type;
}

// The window's one notification; it goes with the window.
Notification* notification = nullptr;

void SetShowing(bool showing) {
  if (notification == nullptr || static_cast<bool>(notification->showing) == showing) return;
  notification->showing = showing;
  atk_object_notify_state_change(ATK_OBJECT(notification), ATK_STATE_SHOWING, showing);
}

void ReleaseNotification(GtkWidget*, gpointer) {
  if (notification != nullptr) g_object_unref(std::exchange(notification, nullptr));
}

void CreateNotification(GtkWidget* window) {
  AtkObject* parent = gtk_widget_get_accessible(window);
  if (parent == nullptr || notification != nullptr) return;
  auto* object = static_cast<AtkObject*>(g_object_new(NotificationType(), nullptr));
  atk_object_set_role(object, ATK_ROLE_NOTIFICATION);
  atk_object_set_parent(object, parent);
  notification = reinterpret_cast<Notification*>(object);
  g_signal_connect(window, "destroy", G_CALLBACK(ReleaseNotification), nullptr);
}

// --- Looks

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
  if (control.Design().kind == ControlKind::TextBox) {
    // Before the view's own handlers: the reader asks on the focus event.
    g_signal_connect(widget, "focus-in-event", G_CALLBACK(OnTextFocusIn),
                     const_cast<Control*>(&control));
    g_signal_connect(widget, "focus-out-event", G_CALLBACK(OnTextFocusOut), nullptr);
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
  ReadTextViewsAsShown();
  if (form.peer != nullptr && form.peer->widget != nullptr) CreateNotification(form.peer->widget);
  for (const Control* control : form.Controls()) {
    if (control->peer != nullptr && control->peer->widget != nullptr) {
      Describe(*control, control->peer->widget);
    }
  }
}

void WithdrawAnnouncement() { SetShowing(false); }

void NameMessageBox(GtkWidget* box, std::string_view title) {
  // GTK names a message box after its kind ("Information"), which a reader
  // would say in place of the title.
  if (AtkObject* accessible = gtk_widget_get_accessible(box)) {
    atk_object_set_name(accessible, std::string(title).c_str());
  }
}

}  // namespace platform::gtk

namespace platform::backend {

void Announce(TextBox& box) {
  using gtk::notification;
  if (notification == nullptr || box.Text.Get().empty()) return;
  // A text that replaces one still on show is a new notification: the old
  // one stops showing first.
  gtk::SetShowing(false);
  const std::string& text = box.Text.Get();
  gchar* name = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  atk_object_set_name(ATK_OBJECT(notification), name);
  g_free(name);
  gtk::SetShowing(true);
}

}  // namespace platform::backend
