// The GTK 3 backend: the display, the running-copy check, the screen, the
// event loop, timers, the message box and random numbers. The form's window
// and controls are in gtk_form.cpp, the window-system calls in gtk_winapi.cpp.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

#include "platform/backend.h"
#include "platform/gtk/gtk_accessibility.h"
#include "platform/gtk/gtk_support.h"
#include "platform/gtk/running_copy.h"
#include "platform/gtk/window_icon.h"
#include "platform/gtk/x11_window.h"
#include "platform/runtime.h"

namespace platform::gtk {

State& S() {
  static State state;
  return state;
}

GdkMonitor* PrimaryGdkMonitor() {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return nullptr;
  // The root window may span several monitors; the program centres itself
  // on the primary one.
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0) {
    monitor = gdk_display_get_monitor(display, 0);
  }
  return monitor;
}

GdkRectangle PrimaryMonitor() {
  GdkRectangle area{0, 0, 0, 0};
  if (gdk_display_get_default() == nullptr) return area;
  if (GdkMonitor* monitor = PrimaryGdkMonitor()) {
    gdk_monitor_get_geometry(monitor, &area);
  } else {
    GdkWindow* root = gdk_get_default_root_window();
    area.width = gdk_window_get_width(root);
    area.height = gdk_window_get_height(root);
  }
  return area;
}

}  // namespace platform::gtk

namespace platform::backend {

using gtk::S;

namespace {

// Names what was tried, so the line says what to change.
std::string DisplayProblem() {
  if (const char* backend = g_getenv("GDK_BACKEND"); backend != nullptr) {
    if (backend[0] == '\0') {
      return "cannot open a display: GDK_BACKEND is set but empty, which allows no backend";
    }
    if (std::string_view(backend) != "x11") {
      return std::string("cannot open a display for GDK_BACKEND=") + backend;
    }
  }
  if (const char* argument = gdk_get_display_arg_name(); argument != nullptr) {
    return std::string("cannot open the X11 display: --display ") + argument + " cannot be opened";
  }
  const char* display = g_getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') {
    // A Wayland session without Xwayland: the shape, the position and the
    // window manager's move need X11, so GTK's Wayland backend is no way out.
    if (const char* wayland = g_getenv("WAYLAND_DISPLAY");
        wayland != nullptr && wayland[0] != '\0') {
      return std::string(
                 "cannot open an X11 display (DISPLAY is not set): the program needs X11, "
                 "which the desktop's Xwayland provides; this Wayland session "
                 "(WAYLAND_DISPLAY=") +
             wayland + ") offers none";
    }
    return "cannot open an X11 display (DISPLAY is not set)";
  }
  return std::string("cannot open the X11 display: DISPLAY=") + display + " cannot be opened";
}

// GTK's own options (--display and the rest) and ours. --help and --version
// answer on stdout and end the program with status 0 before any display is
// opened; anything not understood is the returned one-line problem.
std::optional<std::string> ParseCommandLine(int& argc, char**& argv) {
  gboolean help = FALSE, version = FALSE;
  const GOptionEntry entries[] = {{"help", 'h', 0, G_OPTION_ARG_NONE, &help,
                                   "Show the options, GTK's included, and exit", nullptr},
                                  {"version", 0, 0, G_OPTION_ARG_NONE, &version,
                                   "Show the program's version and exit", nullptr},
                                  {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr}};
  GOptionContext* context = g_option_context_new(nullptr);
  g_option_context_set_summary(context,
                               "A desktop answer ball: think of a yes-or-no question, shake the "
                               "ball and read its answer.");
  // GLib's own --help lists GTK's options only under --help-gtk; ours lists
  // them all at once.
  g_option_context_set_help_enabled(context, FALSE);
  g_option_context_add_main_entries(context, entries, nullptr);
  g_option_context_add_group(context, gtk_get_option_group(FALSE));
  GError* rawError = nullptr;
  const bool parsed = g_option_context_parse(context, &argc, &argv, &rawError);
  const gtk::Error error(rawError);
  std::optional<std::string> problem;
  if (!parsed) {
    problem = error != nullptr ? error->message : "cannot read the command line";
  } else if (help) {
    gchar* text = g_option_context_get_help(context, FALSE, nullptr);
    std::fputs(text, stdout);
    g_free(text);
  } else if (version) {
    std::puts("omenglobe " OMENGLOBE_VERSION);
  } else {
    // GLib leaves what is not an option in argv, after a "--" too.
    int first = 1;
    if (first < argc && std::string_view(argv[first]) == "--") ++first;
    if (first < argc) problem = std::string("unexpected argument \"") + argv[first] + "\"";
  }
  g_option_context_free(context);
  if (help || version) {
    std::fflush(stdout);
    std::exit(std::ferror(stdout) ? 1 : 0);
  }
  if (problem) *problem += "; 'omenglobe --help' lists the options";
  return problem;
}

gboolean OnTimer(gpointer data) {
  auto* timer = static_cast<Timer*>(data);
  events::Tick(*timer);
  // The handler may have disabled the timer, which removed this source
  // already; returning TRUE for a removed source is harmless.
  return G_SOURCE_CONTINUE;
}

// GTK 3 message dialogs show no icon for their message type; the box asks
// for one, so it goes in front of the text.
void AddIcon(GtkMessageDialog* box, const char* iconName) {
  if (!gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), iconName)) return;
  GtkWidget* row = gtk_widget_get_parent(gtk_message_dialog_get_message_area(box));
  if (!GTK_IS_BOX(row)) return;
  GtkWidget* image = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DIALOG);
  gtk_widget_set_valign(image, GTK_ALIGN_START);
  gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
  gtk_box_reorder_child(GTK_BOX(row), image, 0);
  gtk_widget_show(image);
}

void ForgetBox(GtkWidget* box, gpointer) { std::erase(S().openBoxes, box); }

}  // namespace

std::optional<std::string> Init(std::string_view programTitle, int argc, char** argv) {
  // X11 first: the window's shape, its position and the window manager's
  // move are X features; under Wayland this runs on XWayland.
  if (g_getenv("GDK_BACKEND") == nullptr) gdk_set_allowed_backends("x11");
  g_set_application_name(std::string(programTitle).c_str());
  g_set_prgname("omenglobe");  // WM_CLASS "omenglobe", "Omenglobe", whatever argv[0] says
  if (auto problem = ParseCommandLine(argc, argv)) return problem;
  if (!gtk_init_check(&argc, &argv)) return DisplayProblem();

  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return DisplayProblem();
  gtk::InstallErrorHandlers(display);
  // The desktop's font resolution (Xft.dpi) decides the twips per pixel;
  // GtkSettings reads it, so it is created first.
  gtk_settings_get_default();
  const double dpi = gdk_screen_get_resolution(gdk_display_get_default_screen(display));
  S().dpi = dpi > 0 ? dpi : 96;

  // On X the server itself holds the claim; elsewhere a lock file does.
  switch (gtk::ClaimRunningCopy(display)) {
    case gtk::Claim::Ours:
      S().prevInstance = false;
      return std::nullopt;
    case gtk::Claim::AnotherCopy:
      S().prevInstance = true;
      return std::nullopt;
    case gtk::Claim::NotX:
      break;
  }
  std::string displayName = gdk_display_get_name(display);
  if (std::string_view(G_OBJECT_TYPE_NAME(display)) == "GdkBroadwayDisplay") {
    displayName =
        gtk::BroadwayDisplayName(gdk_get_display_arg_name(), g_getenv("BROADWAY_DISPLAY"));
  }
  const auto outcome = gtk::AcquireRunningCopyLock(displayName, g_getenv("XDG_RUNTIME_DIR"));
  if (const auto* held = std::get_if<gtk::LockHeld>(&outcome)) {
    S().lockFd = held->fd;
    S().prevInstance = false;
  } else if (std::holds_alternative<gtk::AnotherCopyRuns>(outcome)) {
    S().prevInstance = true;
  } else {
    return std::get<gtk::NoLockLocation>(outcome).reason;
  }
  return std::nullopt;
}

bool PrevInstance() { return S().prevInstance; }

ScreenMetrics Screen() {
  ScreenMetrics metrics;
  const GdkRectangle monitor = gtk::PrimaryMonitor();
  metrics.widthPixels = monitor.width;
  metrics.heightPixels = monitor.height;
  metrics.twipsPerPixelX = metrics.twipsPerPixelY = TwipsPerPixelAt(S().dpi);
  return metrics;
}

PixelRect WorkArea() {
  GdkMonitor* primary = gtk::PrimaryGdkMonitor();
  if (primary == nullptr) return {};
  GdkRectangle monitor, work;
  gdk_monitor_get_geometry(primary, &monitor);
  gdk_monitor_get_workarea(primary, &work);
  return {work.x - monitor.x, work.y - monitor.y, work.width, work.height};
}

void TimerEnabledChanged(Timer& timer, bool wasEnabled) {
  Peer* peer = timer.peer;
  if (peer == nullptr || timer.Enabled == wasEnabled) return;
  if (timer.Enabled) {
    // A timer with no interval never ticks.
    if (timer.Interval() <= 0) return;
    peer->timer.Set(g_timeout_add(static_cast<guint>(timer.Interval()), OnTimer, &timer));
  } else {
    peer->timer.Remove();
  }
}

int ShowMessageBox(Form* owner, std::string_view prompt, int buttons, std::string_view title) {
  GtkWindow* parent = nullptr;
  if (owner != nullptr && owner->peer != nullptr && owner->peer->widget != nullptr) {
    parent = GTK_WINDOW(owner->peer->widget);
  }
  const GtkMessageType type =
      (buttons & kMsgBoxInformation) != 0 ? GTK_MESSAGE_INFO : GTK_MESSAGE_OTHER;
  GtkWidget* box = gtk_message_dialog_new(
      parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), type,
      GTK_BUTTONS_OK, "%s", std::string(prompt).c_str());
  gtk_window_set_title(GTK_WINDOW(box), std::string(title).c_str());
  gtk::NameMessageBox(box, title);
  // The box is the program's too; docks and switchers show its icon.
  if (owner != nullptr && owner->Design().hasIcon) gtk::SetProgramIcons(GTK_WINDOW(box));
  if (type == GTK_MESSAGE_INFO) AddIcon(GTK_MESSAGE_DIALOG(box), "dialog-information");
  gtk_window_set_position(GTK_WINDOW(box),
                          parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(box), FALSE);

  auto& open = S().openBoxes;
  open.push_back(box);
  // However the box goes (with its window, say), nothing may reach for it after.
  g_signal_connect(box, "destroy", G_CALLBACK(ForgetBox), nullptr);
  // A nested loop: the form's timers keep ticking while the box is open.
  const gint response = gtk_dialog_run(GTK_DIALOG(box));
  const auto it = std::find(open.begin(), open.end(), box);
  if (it == open.end()) return 0;  // the box went away with its window
  open.erase(it);
  gtk_widget_destroy(box);
  // OK is the only button; closing the box by Esc or the window manager
  // answers OK as well.
  (void)response;
  return kMsgBoxResultOk;
}

void RunLoop() {
  auto& s = S();
  if (s.quitRequested) return;
  s.loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(s.loop);
  g_main_loop_unref(std::exchange(s.loop, nullptr));
}

void QuitLoop() {
  auto& s = S();
  s.quitRequested = true;
  if (s.loop != nullptr) g_main_loop_quit(s.loop);
}

void Randomize() {
  S().generator.Seed(static_cast<std::uint64_t>(g_get_real_time()) ^
                     static_cast<std::uint64_t>(g_get_monotonic_time()));
}

Single Rnd() { return S().generator.Next(); }

}  // namespace platform::backend
