// The form's native window: a borderless toplevel holding one widget per
// control of the design table, each at its design rectangle in pixels, and
// the GTK signals that become the runtime's events.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>

#include "platform/backend.h"
#include "platform/gtk/cairo_region.h"
#include "platform/gtk/design_layout.h"
#include "platform/gtk/gtk_accessibility.h"
#include "platform/gtk/gtk_support.h"
#include "platform/gtk/jpeg_surface.h"
#include "platform/gtk/window_icon.h"
#include "platform/gtk/x11_window.h"
#include "platform/layout.h"
#include "platform/runtime.h"
#include "resources/resources.h"

namespace platform::gtk {

namespace {

// One face and size for every control. The caption of the shake button
// must wrap onto two lines inside 185 x 33 px at 96 dpi, which a
// Helvetica-width face at 8 pt does and the wider faces do not; the list
// falls back through metric-compatible faces to whatever sans there is.
constexpr char kFontFamilies[] =
    "\"Liberation Sans\", Arimo, Arial, Helvetica, \"Nimbus Sans\", \"DejaVu Sans Condensed\", "
    "sans-serif";
constexpr char kFontSize[] = "8pt";

std::string CssColour(Colour colour) {
  const Colour c = ResolveColour(colour);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "rgb(%u,%u,%u)", Red(c), Green(c), Blue(c));
  return buffer;
}

GdkRGBA Rgba(Colour colour) {
  const Colour c = ResolveColour(colour);
  return {Red(c) / 255.0, Green(c) / 255.0, Blue(c) / 255.0, 1.0};
}

std::string BuildCss(const Form& form) {
  const auto& design = form.Design();
  const std::string self = "#" + std::string(design.name);
  std::string css;
  css += self + " { background-color: " + CssColour(design.backColor) + "; }\n";
  css += self + ", " + self + " * { font-family: " + kFontFamilies + "; font-size: " + kFontSize +
         "; }\n";
  // The theme's button padding and minimum sizes are larger than the
  // 17 x 25 px help and exit buttons.
  css += self + " button { padding: 0 2px; min-width: 0; min-height: 0; }\n" + self +
         " button label { padding: 0; margin: 0; }\n";
  // The theme's focus ring is a faint dash, hard to find on a 17 px button.
  css += self + " button:focus { outline-color: currentColor; }\n";
  for (const Control* control : form.Controls()) {
    const auto& d = control->Design();
    if (d.kind != ControlKind::TextBox) continue;
    const std::string id = "#" + std::string(d.name);
    css += id + ", " + id + " text { background-color: " + CssColour(d.backColor) + "; }\n";
    if (d.borderStyle) css += id + " { border: 1px solid rgb(128,128,128); }\n";
  }
  return css;
}

// --- Events

Integer ButtonValue(guint button) {
  switch (button) {
    case GDK_BUTTON_PRIMARY:
      return kLeftButton;
    case GDK_BUTTON_SECONDARY:
      return kRightButton;
    case GDK_BUTTON_MIDDLE:
      return kMiddleButton;
    default:
      return 0;
  }
}

Integer ShiftValue(guint state) {
  return static_cast<Integer>(((state & GDK_SHIFT_MASK) != 0 ? kShiftKey : 0) |
                              ((state & GDK_CONTROL_MASK) != 0 ? kCtrlKey : 0) |
                              ((state & GDK_MOD1_MASK) != 0 ? kAltKey : 0));
}

// `control` null: the press landed on the form's own surface.
void RaiseMouseDown(const GdkEventButton* event, Control* control) {
  auto& s = S();
  if (s.form == nullptr || event->type != GDK_BUTTON_PRESS) return;
  const Integer button = ButtonValue(event->button);
  if (button == 0) return;
  s.press = Press{event->button, static_cast<int>(event->x_root), static_cast<int>(event->y_root),
                  event->time};
  events::MouseDown(*s.form, control, button, ShiftValue(event->state), TwipsX(event->x),
                    TwipsY(event->y));
  s.press.reset();
}

gboolean OnFormPress(GtkWidget* window, GdkEventButton* event, gpointer) {
  // Presses that a control left unhandled bubble up to here; only those
  // on the form's own surface are the form's.
  if (event->window != gtk_widget_get_window(window)) return FALSE;
  RaiseMouseDown(event, nullptr);
  return TRUE;
}

gboolean OnPicturePress(GtkWidget*, GdkEventButton* event, gpointer control) {
  RaiseMouseDown(event, static_cast<Control*>(control));
  return TRUE;
}

// Runs before the button's own handling, which goes on as usual.
gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer control) {
  auto* button = static_cast<Control*>(control);
  if (button->OnMouseDown) RaiseMouseDown(event, button);
  return FALSE;
}

void OnClicked(GtkButton*, gpointer control) {
  events::Click(*static_cast<CommandButton*>(control));
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer) {
  if (S().form != nullptr) events::CloseRequested(*S().form);
  return TRUE;  // the program decides; the unload destroys the window
}

// The toplevel is going. When DestroyForm did it, it has let go of the
// window first; otherwise another program destroyed the X window (GTK then
// destroys the widget) and that is the form's unload: every pointer into the
// widgets is dropped before the runtime runs anything.
void OnWindowDestroyed(GtkWidget* window, gpointer) {
  auto& s = S();
  if (s.window != window) return;
  s.window = nullptr;
  s.windowShape.reset();
  s.windowRegion.reset();
  for (const auto& peer : s.controlPeers) {
    peer->timer.Remove();
    peer->widget = nullptr;
    peer->colourTag = nullptr;
  }
  if (s.formPeer) s.formPeer->widget = nullptr;
  if (s.form != nullptr) events::WindowDestroyed(*s.form);
}

// Another program destroyed the X window: the widget goes now, quietly, and
// with it the form (OnWindowDestroyed).
void OnXWindowDestroyed() {
  if (GtkWidget* window = S().window) gtk_widget_destroy(window);
}

void OnWindowRealized(GtkWidget* window, gpointer) {
  WatchForDestruction(gtk_widget_get_window(window), OnXWindowDestroyed);
}

// Esc presses the form's cancel button.
gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer) {
  if (event->keyval != GDK_KEY_Escape ||
      (event->state & gtk_accelerator_get_default_mod_mask()) != 0) {
    return FALSE;
  }
  for (const auto& peer : S().controlPeers) {
    if (peer->control->Design().isCancel && peer->widget != nullptr &&
        gtk_widget_is_sensitive(peer->widget)) {
      gtk_button_clicked(GTK_BUTTON(peer->widget));
      return TRUE;
    }
  }
  return FALSE;
}

// --- The screen under the window

// Everything placed in pixels, placed again at the desktop's resolution
// now: the window's size, each control's rectangle and the shape. Text
// follows by itself (its size is in points) and the picture is scaled
// afresh when next drawn.
void LayOutAgain() {
  auto& s = S();
  GtkWidget* layout = gtk_bin_get_child(GTK_BIN(s.window));
  DesignLayoutResize(layout, ScaleX(s.form->Width), ScaleY(s.form->Height));
  for (const auto& peer : s.controlPeers) {
    if (peer->widget == nullptr) continue;
    const PixelRect r = WindowPixels(*s.form, *peer->control);
    peer->rect = GdkRectangle{r.x, r.y, r.width, r.height};
    DesignLayoutMove(layout, peer->widget, peer->rect);
  }
  ApplyWindowShape();
  gtk_widget_queue_draw(s.window);
}

// The monitors, the screen's size or the desktop's resolution changed.
void OnScreenChanged() {
  auto& s = S();
  if (s.form == nullptr || s.window == nullptr) return;
  const double dpi = gdk_screen_get_resolution(gtk_widget_get_screen(s.window));
  if (dpi > 0 && dpi != s.dpi) {
    s.dpi = dpi;
    LayOutAgain();
  }
  if (!gtk_widget_get_mapped(s.window)) return;
  int x = 0, y = 0;
  gdk_window_get_root_origin(gtk_widget_get_window(s.window), &x, &y);
  const GdkRectangle monitor = PrimaryMonitor();
  events::ScreenChanged(*s.form, x - monitor.x, y - monitor.y);
}

void WatchTheScreen(GdkScreen* screen) {
  static bool connected = false;
  if (connected) return;
  connected = true;
  g_signal_connect(screen, "size-changed", G_CALLBACK(OnScreenChanged), nullptr);
  g_signal_connect(screen, "monitors-changed", G_CALLBACK(OnScreenChanged), nullptr);
  // The Xft/DPI setting of the desktop, which GtkSettings has passed on to
  // the screen's resolution by the time this runs.
  g_signal_connect(gtk_settings_get_for_screen(screen), "notify::gtk-xft-dpi",
                   G_CALLBACK(OnScreenChanged), nullptr);
}

#ifdef OMENGLOBE_EXIT_WHEN_IDLE
gboolean QuitWhenIdle(gpointer) {
  backend::QuitLoop();
  return G_SOURCE_REMOVE;
}
#endif

// GDK resets a toplevel's input shape when it maps the window; the window
// keeps its region all the same.
gboolean OnMapped(GtkWidget*, GdkEvent*, gpointer) {
  ApplyWindowShape();
#ifdef OMENGLOBE_EXIT_WHEN_IDLE
  // Only in the start-up benchmark's own build of the program: its end
  // point is the first moment after the map with nothing left to do (drawn,
  // shaped, events handled), then the usual exit.
  g_idle_add_full(G_PRIORITY_LOW, QuitWhenIdle, nullptr, nullptr);
#endif
  return FALSE;
}

// The picture at the form's scale (its natural size at 15 twips per pixel),
// in the device pixels of the window: made once per size, smoothly filtered,
// so a draw is a plain copy and a 2x desktop does not enlarge it twice.
cairo_surface_t* ScaledPicture(cairo_surface_t* picture, int deviceScale) {
  const int naturalWidth = cairo_image_surface_get_width(picture);
  const int naturalHeight = cairo_image_surface_get_height(picture);
  const int width = ScaleNaturalX(naturalWidth) * deviceScale;
  const int height = ScaleNaturalY(naturalHeight) * deviceScale;
  if (width == naturalWidth && height == naturalHeight) return picture;
  auto& cache = S().scaledPicture;
  if (cache.surface && cache.width == width && cache.height == height) return cache.surface.get();
  CairoSurface scaled(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  cairo_t* cr = cairo_create(scaled.get());
  cairo_scale(cr, static_cast<double>(width) / naturalWidth,
              static_cast<double>(height) / naturalHeight);
  cairo_set_source_surface(cr, picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);  // no dark seam at the edges
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_set_device_scale(scaled.get(), deviceScale, deviceScale);
  cache = {std::move(scaled), width, height};
  return cache.surface.get();
}

gboolean OnDrawPicture(GtkWidget* area, cairo_t* cr, gpointer picture) {
  // From the box's corner; the box and the window clip it.
  cairo_set_source_surface(
      cr, ScaledPicture(static_cast<cairo_surface_t*>(picture), gtk_widget_get_scale_factor(area)),
      0, 0);
  cairo_paint(cr);
  return FALSE;
}

void OnTextRealize(GtkWidget* view, gpointer control) {
  if (static_cast<Control*>(control)->Design().mousePointer != MousePointer::Cross) return;
  GdkWindow* text = gtk_text_view_get_window(GTK_TEXT_VIEW(view), GTK_TEXT_WINDOW_TEXT);
  Ref<GdkCursor> cursor(gdk_cursor_new_from_name(gtk_widget_get_display(view), "crosshair"));
  if (text != nullptr && cursor) gdk_window_set_cursor(text, cursor.get());
}

// --- Widgets for the controls

GtkWidget* MakePicture(Control& control, cairo_surface_t* picture) {
  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK);
  if (picture != nullptr) {
    g_signal_connect(area, "draw", G_CALLBACK(OnDrawPicture), picture);
  }
  g_signal_connect(area, "button-press-event", G_CALLBACK(OnPicturePress), &control);
  return area;
}

GtkWidget* MakeTextBox(TextBox& box, backend::Peer& peer) {
  const auto& d = box.Design();
  GtkWidget* view = gtk_text_view_new();
  GtkTextView* text = GTK_TEXT_VIEW(view);
  gtk_text_view_set_wrap_mode(text, d.multiLine ? GTK_WRAP_WORD : GTK_WRAP_NONE);
  gtk_text_view_set_justification(
      text, d.alignment == Alignment::Center ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
  gtk_text_view_set_editable(text, !d.locked);
  gtk_text_view_set_cursor_visible(text, !d.locked);
  gtk_text_view_set_accepts_tab(text, FALSE);
  gtk_text_view_set_left_margin(text, 2);
  gtk_text_view_set_right_margin(text, 2);
  gtk_text_view_set_top_margin(text, 1);

  GtkTextBuffer* buffer = gtk_text_view_get_buffer(text);
  // The colour lives in one tag over the whole text, so a colour change is
  // a property change of the tag: no relayout, just a redraw.
  peer.colourTag = gtk_text_buffer_create_tag(buffer, nullptr, nullptr);
  const GdkRGBA colour = Rgba(box.ForeColor);
  g_object_set(peer.colourTag, "foreground-rgba", &colour, nullptr);
  g_signal_connect_after(view, "realize", G_CALLBACK(OnTextRealize), &box);
  return view;
}

GtkWidget* MakeButton(CommandButton& button) {
  const auto& d = button.Design();
  GtkWidget* widget = gtk_button_new();
  GtkWidget* label = gtk_label_new(std::string(d.caption).c_str());
  // A caption too long for one line wraps between words, each line centred.
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD);
  gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);  // width comes from the button, not the text
  gtk_container_add(GTK_CONTAINER(widget), label);
  gtk_widget_show(label);
  gtk_widget_set_sensitive(widget, button.Enabled);
  g_signal_connect(widget, "clicked", G_CALLBACK(OnClicked), &button);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(OnButtonPress), &button);
  return widget;
}

// The box's buffer holds what a person sees: the text while it shows,
// nothing while it is written in the box's background colour. A reader in
// the box then finds no answer that has faded out, and none written in
// black before it shows. The caret goes to the start, where reading begins.
void PresentText(TextBox& box) {
  backend::Peer* peer = box.peer;
  if (peer == nullptr || peer->widget == nullptr) return;
  const bool shows = box.TextShows();
  if (!shows) WithdrawAnnouncement();
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(peer->widget));
  const std::string& text = box.Text.Get();
  gchar* wanted =
      shows ? g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())) : g_strdup("");
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  gchar* held = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
  if (g_strcmp0(held, wanted) != 0) {
    gtk_text_buffer_set_text(buffer, wanted, -1);
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gtk_text_buffer_apply_tag(buffer, peer->colourTag, &start, &end);
    gtk_text_buffer_place_cursor(buffer, &start);
  }
  g_free(held);
  g_free(wanted);
}

// --- The form's window

// X carries window coordinates and shape rectangles in signed 16 bits; a
// larger window would be cut down to a wrong one by the server, or refused.
void CheckWindowSize(Long width, Long height) {
  const int scale = gdk_window_get_scale_factor(gdk_get_default_root_window());
  if (width > kLargestXCoordinate / scale || height > kLargestXCoordinate / scale) {
    throw RuntimeError(RuntimeError::Overflow);
  }
}

// The form's toplevel (S().window, the form peer's widget) as the design
// has it, with the signals that become the form's events.
GtkWidget* NewFormWindow(const FormDesign& design) {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  S().window = window;
  S().formPeer->widget = window;
  gtk_widget_set_name(window, std::string(design.name).c_str());
  gtk_window_set_title(GTK_WINDOW(window), std::string(design.caption).c_str());
  gtk_window_set_decorated(GTK_WINDOW(window), !design.borderless);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window), !design.showInTaskbar);
  if (design.hasIcon) SetProgramIcons(GTK_WINDOW(window));
  gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK);
  g_signal_connect(window, "button-press-event", G_CALLBACK(OnFormPress), nullptr);
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDelete), nullptr);
  g_signal_connect(window, "key-press-event", G_CALLBACK(OnKey), nullptr);
  gtk_widget_add_events(window, GDK_STRUCTURE_MASK);
  g_signal_connect(window, "map-event", G_CALLBACK(OnMapped), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(OnWindowDestroyed), nullptr);
  g_signal_connect_after(window, "realize", G_CALLBACK(OnWindowRealized), nullptr);
  WatchTheScreen(gtk_widget_get_screen(window));
  return window;
}

// The form's colours and font (BuildCss) for every widget on the screen.
void InstallCss(const Form& form, GdkScreen* screen) {
  auto& s = S();
  s.css = Ref<GtkCssProvider>(gtk_css_provider_new());
  const std::string css = BuildCss(form);
  gtk_css_provider_load_from_data(s.css.get(), css.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(s.css.get()),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// Decoded once, straight into the pixels cairo paints, with no loader and
// no conversion on each draw.
void DecodeBallPicture() {
  auto& s = S();
  if (s.ballPicture) return;
  s.ballPicture.reset(DecodeJpeg(resources::BallPicture()));
  if (!s.ballPicture) g_warning("cannot decode the embedded ball picture");
}

// The control's widget; null for a timer, which has nothing on screen (it
// runs on GLib timeouts when enabled).
GtkWidget* MakeWidget(Control& control, backend::Peer& peer) {
  const auto& d = control.Design();
  switch (d.kind) {
    case ControlKind::Timer:
      return nullptr;
    case ControlKind::PictureBox:
      return MakePicture(control, d.picture == Picture::Ball ? S().ballPicture.get() : nullptr);
    case ControlKind::TextBox:
      return MakeTextBox(static_cast<TextBox&>(control), peer);
    case ControlKind::CommandButton:
      return MakeButton(static_cast<CommandButton&>(control));
  }
  return nullptr;
}

// The widget at the control's design rectangle in pixels, in tab order.
void PlaceWidget(GtkWidget* layout, const Form& form, backend::Peer& peer, GtkWidget* widget) {
  const auto& d = peer.control->Design();
  peer.widget = widget;
  const PixelRect r = WindowPixels(form, *peer.control);
  peer.rect = GdkRectangle{r.x, r.y, r.width, r.height};
  gtk_widget_set_name(widget, std::string(d.name).c_str());
  // Shown with the window (ShowForm): reading hWnd in Form_Load realizes
  // the window, and with its controls still hidden that lays nothing out,
  // so the controls are measured and placed once, not twice.
  DesignLayoutPut(layout, widget, peer.rect, d.tabIndex);
  if (d.isDefault) {
    gtk_widget_set_can_default(widget, TRUE);
    gtk_widget_grab_default(widget);
  }
}

// A peer for every control, in design order: the picture first, so that
// the controls it contains stack above it.
void AddControls(Form& form, GtkWidget* layout) {
  for (Control* control : form.Controls()) {
    auto peer = std::make_unique<backend::Peer>();
    peer->control = control;
    control->peer = peer.get();
    if (GtkWidget* widget = MakeWidget(*control, *peer)) PlaceWidget(layout, form, *peer, widget);
    S().controlPeers.push_back(std::move(peer));
  }
}

}  // namespace

GtkWidget* RealizedWindow() {
  GtkWidget* window = S().window;
  if (window != nullptr && !gtk_widget_get_realized(window)) gtk_widget_realize(window);
  return window;
}

void ApplyWindowShape() {
  auto& s = S();
  if (s.window == nullptr || !s.windowRegion) return;
  if (!s.windowShape || s.windowShapeDpi != s.dpi) {
    const double factor = s.dpi / s.windowRegionDpi;
    s.windowShape = CairoRegion(
        NewCairoRegion(factor == 1 ? *s.windowRegion : s.windowRegion->Scaled(factor, factor)));
    s.windowShapeDpi = s.dpi;
  }
  // GDK's shapes too, so that its own later updates agree with the X shapes.
  gtk_widget_shape_combine_region(s.window, s.windowShape.get());
  gtk_widget_input_shape_combine_region(s.window, s.windowShape.get());
  SetXShapes(gtk_widget_get_window(s.window), s.windowShape.get());
}

HWND WindowHandle() {
  GtkWidget* window = RealizedWindow();
  if (window == nullptr) return 0;
  // Outside X there is no window id; the one window gets a fixed handle.
  const unsigned long xid = XWindowId(gtk_widget_get_window(window));
  return xid != 0 ? static_cast<HWND>(xid) : 1;
}

}  // namespace platform::gtk

namespace platform::backend {

using gtk::S;

std::optional<std::string> CreateForm(Form& form) {
  auto& s = S();
  const Long width = ScaleX(form.Width), height = ScaleY(form.Height);
  gtk::CheckWindowSize(width, height);
  s.form = &form;
  s.formPeer = std::make_unique<Peer>();
  form.peer = s.formPeer.get();
  GtkWidget* window = gtk::NewFormWindow(form.Design());
  gtk::InstallCss(form, gtk_widget_get_screen(window));

  GtkWidget* layout = gtk::DesignLayoutNew(width, height);
  gtk_container_add(GTK_CONTAINER(window), layout);
  gtk_widget_show(layout);
  gtk::DecodeBallPicture();
  gtk::AddControls(form, layout);
  gtk::DescribeForAssistiveTechnology(form);
  for (Control* control : form.Controls()) {
    if (control->Design().kind == ControlKind::TextBox) {
      TextChanged(static_cast<TextBox&>(*control));
    }
  }
  return std::nullopt;
}

// Nothing to add on X: the desktop that could show a box is the display
// that could not be used.
void AlertStartFailure(std::string_view) {}

void ShowForm(Form& form) {
  GtkWidget* window = S().window;
  if (window == nullptr) return;
  // Placed before it is mapped, so it never shows anywhere else.
  const GdkRectangle monitor = gtk::PrimaryMonitor();
  gtk_window_move(GTK_WINDOW(window), monitor.x + ScaleX(form.Left), monitor.y + ScaleY(form.Top));
  for (const auto& peer : S().controlPeers) {
    if (peer->widget != nullptr) gtk_widget_show(peer->widget);
  }
  gtk_widget_show(window);
  // Mapping reset the input shape; set again before the requests leave.
  gtk::ApplyWindowShape();
  gdk_display_flush(gtk_widget_get_display(window));
}

void MoveForm(Form& form) {
  GtkWidget* window = S().window;
  if (window == nullptr) return;
  const GdkRectangle monitor = gtk::PrimaryMonitor();
  const int x = monitor.x + ScaleX(form.Left), y = monitor.y + ScaleY(form.Top);
  if (!gtk_widget_get_mapped(window)) {
    gtk_window_move(GTK_WINDOW(window), x, y);
    return;
  }
  GdkWindow* native = gtk_widget_get_window(window);
  gdk_window_move(native, x, y);
  gdk_display_flush(gdk_window_get_display(native));
}

void DestroyForm(Form& form) {
  auto& s = S();
  for (const auto& peer : s.controlPeers) peer->timer.Remove();
  // Each destroyed box ends its nested loop; the handler that opened it
  // returns once the unload is over.
  for (GtkWidget* box : std::exchange(s.openBoxes, {})) gtk_widget_destroy(box);
  if (s.window != nullptr) {
    GdkDisplay* display = gtk_widget_get_display(s.window);
    gtk_widget_destroy(std::exchange(s.window, nullptr));
    s.windowShape.reset();
    s.windowRegion.reset();
    gdk_display_flush(display);
  }
  for (Control* control : form.Controls()) control->peer = nullptr;
  form.peer = nullptr;
  s.controlPeers.clear();
  s.formPeer.reset();
  s.form = nullptr;
}

HWND FormHandle(const Form&) { return gtk::WindowHandle(); }

void FormLeftChanged(Form& form) {
  GtkWidget* window = S().window;
  // Before the window shows, ShowForm places it from Left.
  if (window == nullptr || !gtk_widget_get_mapped(window)) return;
  GdkWindow* native = gtk_widget_get_window(window);
  // The top stays wherever it is now, a drag included; the frame's corner
  // is what a move positions.
  int x = 0, y = 0;
  gdk_window_get_root_origin(native, &x, &y);
  // Straight to the window system, every move: the shake makes forty of
  // them in one handler and each one must reach the screen.
  gdk_window_move(native, gtk::PrimaryMonitor().x + ScaleX(form.Left), y);
  gdk_display_flush(gdk_window_get_display(native));
}

void TextChanged(TextBox& box) { gtk::PresentText(box); }

void ForeColorChanged(TextBox& box) {
  Peer* peer = box.peer;
  if (peer == nullptr || peer->colourTag == nullptr) return;
  const GdkRGBA colour = gtk::Rgba(box.ForeColor);
  g_object_set(peer->colourTag, "foreground-rgba", &colour, nullptr);
  gtk::PresentText(box);
  gtk_widget_queue_draw(peer->widget);
}

void ButtonEnabledChanged(CommandButton& button) {
  Peer* peer = button.peer;
  if (peer == nullptr || peer->widget == nullptr) return;
  // A button that goes insensitive with the focus leaves the window with no
  // focus at all: a reader has nowhere to say the user is. The focus goes to
  // the control that can hold it, and stays there when the button comes back.
  GtkWidget* toplevel = gtk_widget_get_toplevel(peer->widget);
  if (!button.Enabled && GTK_IS_WINDOW(toplevel) &&
      gtk_window_get_focus(GTK_WINDOW(toplevel)) == peer->widget) {
    Control* heir = FocusHeir(button);
    if (heir != nullptr && heir->peer != nullptr && heir->peer->widget != nullptr) {
      gtk_widget_grab_focus(heir->peer->widget);
    }
  }
  gtk_widget_set_sensitive(peer->widget, button.Enabled);
}

}  // namespace platform::backend
