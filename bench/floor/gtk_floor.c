/* The smallest GTK 3 window that looks like ours from outside: undecorated,
 * 350 x 319, cut to the same ellipse, a GtkFixed holding three buttons and a
 * text view. It is the yardstick for start-up time and memory. */
#include <gtk/gtk.h>
#include <math.h>

/* One rectangle per scan line: the same kind of region the X server makes
 * from an ellipse, so the shape costs the same to apply. Built in one call,
 * the cheapest way cairo offers (adding the rows one by one is quadratic). */
static cairo_region_t *ellipse_region(int left, int top, int right, int bottom) {
  cairo_rectangle_int_t rows[bottom - top];
  int count = 0;
  const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
  const double rx = (right - left) / 2.0, ry = (bottom - top) / 2.0;
  for (int y = top; y < bottom; ++y) {
    const double dy = (y + 0.5 - cy) / ry;
    if (dy * dy >= 1.0) continue;
    const double half = rx * sqrt(1.0 - dy * dy);
    const cairo_rectangle_int_t row = {(int)lround(cx - half), y,
                                       (int)lround(2 * half), 1};
    if (row.width > 0) rows[count++] = row;
  }
  return cairo_region_create_rectangles(rows, count);
}

static gboolean quit_when_idle(gpointer data) {
  (void)data;
  gtk_main_quit();
  return G_SOURCE_REMOVE;
}

/* The instruction-count benchmark's end point, the same as the program's
 * benchmark build has: the first idle moment after the map. */
static gboolean on_mapped(GtkWidget *window, GdkEvent *event, gpointer data) {
  (void)window, (void)event, (void)data;
  if (g_getenv("OMENGLOBE_QUIT_WHEN_IDLE") != NULL)
    g_idle_add_full(G_PRIORITY_LOW, quit_when_idle, NULL, NULL);
  return FALSE;
}

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), argc > 1 ? argv[1] : "Kelvra-floor");
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_widget_set_size_request(window, 350, 319);
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  gtk_widget_add_events(window, GDK_STRUCTURE_MASK);
  g_signal_connect(window, "map-event", G_CALLBACK(on_mapped), NULL);

  GtkWidget *fixed = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(window), fixed);
  GtkWidget *text = gtk_text_view_new();
  /* Read-only like our answer box: no caret, so no blink timer. */
  gtk_text_view_set_editable(GTK_TEXT_VIEW(text), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(text), FALSE);
  gtk_widget_set_size_request(text, 169, 73);
  gtk_fixed_put(GTK_FIXED(fixed), text, 104, 88);
  GtkWidget *shake = gtk_button_new_with_label("Shake");
  gtk_widget_set_size_request(shake, 185, 33);
  gtk_fixed_put(GTK_FIXED(fixed), shake, 96, 248);
  GtkWidget *help = gtk_button_new_with_label("?");
  gtk_widget_set_size_request(help, 17, 25);
  gtk_fixed_put(GTK_FIXED(fixed), help, 168, 288);
  GtkWidget *close = gtk_button_new_with_label("X");
  gtk_widget_set_size_request(close, 17, 25);
  gtk_fixed_put(GTK_FIXED(fixed), close, 192, 288);
  g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_widget_destroy), window);

  gtk_widget_realize(window);
  cairo_region_t *shape = ellipse_region(25, 15, 350, 319);
  gtk_widget_shape_combine_region(window, shape);
  cairo_region_destroy(shape);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
