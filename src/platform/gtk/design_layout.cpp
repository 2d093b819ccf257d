#include "platform/gtk/design_layout.h"

#include <algorithm>
#include <vector>

namespace platform::gtk {

namespace {

constexpr char kRectKey[] = "omenglobe-rect";
constexpr char kTabKey[] = "omenglobe-tab-index";
constexpr char kWidthKey[] = "omenglobe-width";
constexpr char kHeightKey[] = "omenglobe-height";

GtkWidgetClass* parentClass = nullptr;

int Size(GtkWidget* widget, const char* key) {
  return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), key));
}

void PreferredWidth(GtkWidget* widget, gint* minimum, gint* natural) {
  *minimum = *natural = Size(widget, kWidthKey);
}
void PreferredHeight(GtkWidget* widget, gint* minimum, gint* natural) {
  *minimum = *natural = Size(widget, kHeightKey);
}
void PreferredHeightForWidth(GtkWidget* widget, gint, gint* minimum, gint* natural) {
  PreferredHeight(widget, minimum, natural);
}
void PreferredWidthForHeight(GtkWidget* widget, gint, gint* minimum, gint* natural) {
  PreferredWidth(widget, minimum, natural);
}
GtkSizeRequestMode RequestMode(GtkWidget*) { return GTK_SIZE_REQUEST_CONSTANT_SIZE; }

std::vector<GtkWidget*> Children(GtkWidget* layout) {
  std::vector<GtkWidget*> children;
  GList* list = gtk_container_get_children(GTK_CONTAINER(layout));
  for (GList* item = list; item != nullptr; item = item->next) {
    children.push_back(GTK_WIDGET(item->data));
  }
  g_list_free(list);
  return children;
}

void Allocate(GtkWidget* layout, GtkAllocation* allocation) {
  gtk_widget_set_allocation(layout, allocation);
  GdkRectangle clip = *allocation;
  for (GtkWidget* child : Children(layout)) {
    if (!gtk_widget_get_visible(child)) continue;
    // GTK expects every child to be measured before it is allocated. A
    // child with a design rectangle is measured at the width it gets, so a
    // wrapping caption is laid out at that width only, not also at its
    // minimum and natural widths.
    const auto* rect =
        static_cast<const GdkRectangle*>(g_object_get_data(G_OBJECT(child), kRectKey));
    GtkAllocation place;
    if (rect != nullptr) {
      gint minimum = 0, natural = 0;
      gtk_widget_get_preferred_width(child, &minimum, &natural);
      gtk_widget_get_preferred_height_for_width(child, rect->width, &minimum, &natural);
      place = {allocation->x + rect->x, allocation->y + rect->y, rect->width, rect->height};
    } else {
      GtkRequisition requisition;
      gtk_widget_get_preferred_size(child, &requisition, nullptr);
      place = {allocation->x, allocation->y, requisition.width, requisition.height};
    }
    gtk_widget_size_allocate(child, &place);
    GdkRectangle childClip;
    gtk_widget_get_clip(child, &childClip);
    gdk_rectangle_union(&clip, &childClip, &clip);
  }
  gtk_widget_set_clip(layout, &clip);
}

// Tab and Shift+Tab follow the design's tab order; arrows and the rest
// keep GTK's own behaviour.
gboolean Focus(GtkWidget* layout, GtkDirectionType direction) {
  if (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD) {
    return parentClass->focus(layout, direction);
  }
  std::vector<GtkWidget*> order;
  for (GtkWidget* child : Children(layout)) {
    if (GPOINTER_TO_INT(g_object_get_data(G_OBJECT(child), kTabKey)) > 0) order.push_back(child);
  }
  std::stable_sort(order.begin(), order.end(), [](GtkWidget* a, GtkWidget* b) {
    return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(a), kTabKey)) <
           GPOINTER_TO_INT(g_object_get_data(G_OBJECT(b), kTabKey));
  });
  if (direction == GTK_DIR_TAB_BACKWARD) std::reverse(order.begin(), order.end());

  GtkWidget* current = gtk_container_get_focus_child(GTK_CONTAINER(layout));
  auto next = order.begin();
  if (current != nullptr) {
    const auto at = std::find(order.begin(), order.end(), current);
    if (at != order.end()) {
      if (gtk_widget_child_focus(current, direction)) return TRUE;  // moves within the child
      next = at + 1;
    }
  }
  for (; next != order.end(); ++next) {
    if (gtk_widget_child_focus(*next, direction)) return TRUE;
  }
  return FALSE;  // off the end: the window wraps round to the first
}

void ClassInit(gpointer klass, gpointer) {
  parentClass = GTK_WIDGET_CLASS(g_type_class_peek_parent(klass));
  auto* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = PreferredWidth;
  widget->get_preferred_height = PreferredHeight;
  widget->get_preferred_height_for_width = PreferredHeightForWidth;
  widget->get_preferred_width_for_height = PreferredWidthForHeight;
  widget->get_request_mode = RequestMode;
  widget->size_allocate = Allocate;
  widget->focus = Focus;
}

GType LayoutType() {
  static const GType type = g_type_register_static_simple(
      GTK_TYPE_FIXED, "OmenglobeDesignLayout", sizeof(GtkFixedClass), ClassInit, sizeof(GtkFixed),
      nullptr, static_cast<GTypeFlags>(0));
  return type;
}

}  // namespace

GtkWidget* DesignLayoutNew(int width, int height) {
  GtkWidget* layout = GTK_WIDGET(g_object_new(LayoutType(), nullptr));
  g_object_set_data(G_OBJECT(layout), kWidthKey, GINT_TO_POINTER(width));
  g_object_set_data(G_OBJECT(layout), kHeightKey, GINT_TO_POINTER(height));
  return layout;
}

void DesignLayoutResize(GtkWidget* layout, int width, int height) {
  g_object_set_data(G_OBJECT(layout), kWidthKey, GINT_TO_POINTER(width));
  g_object_set_data(G_OBJECT(layout), kHeightKey, GINT_TO_POINTER(height));
  gtk_widget_queue_resize(layout);
}

void DesignLayoutMove(GtkWidget* layout, GtkWidget* child, const GdkRectangle& rect) {
  g_object_set_data_full(G_OBJECT(child), kRectKey, g_memdup2(&rect, sizeof rect), g_free);
  gtk_fixed_move(GTK_FIXED(layout), child, rect.x, rect.y);
}

void DesignLayoutPut(GtkWidget* layout, GtkWidget* child, const GdkRectangle& rect, int tabIndex) {
  g_object_set_data_full(G_OBJECT(child), kRectKey, g_memdup2(&rect, sizeof rect), g_free);
  // Stored one up, so that 0 means "no tab stop".
  g_object_set_data(
      G_OBJECT(child), kTabKey,
      GINT_TO_POINTER(tabIndex >= 0 && gtk_widget_get_can_focus(child) ? tabIndex + 1 : 0));
  gtk_fixed_put(GTK_FIXED(layout), child, rect.x, rect.y);
}

}  // namespace platform::gtk
