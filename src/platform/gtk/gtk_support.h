// Small RAII helpers around the GLib, GTK and cairo C objects the backend
// holds, and the state that the backend's files share. Only the gtk backend
// includes this.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/controls.h"
#include "platform/random.h"
#include "platform/region.h"
#include "platform/types.h"

namespace platform::gtk {

// A reference we own on a GObject.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : object_(adopted) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~Ref() { Reset(); }

  void Reset() {
    if (object_ != nullptr) g_object_unref(std::exchange(object_, nullptr));
  }
  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

struct CairoRegionDeleter {
  void operator()(cairo_region_t* region) const { cairo_region_destroy(region); }
};
using CairoRegion = std::unique_ptr<cairo_region_t, CairoRegionDeleter>;

struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;

struct ErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorDeleter>;

// A GLib main-context source that we may have to remove before it fires.
class Source {
 public:
  Source() = default;
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  ~Source() { Remove(); }
  void Set(guint id) {
    Remove();
    id_ = id;
  }
  void Remove() {
    if (id_ != 0) g_source_remove(std::exchange(id_, 0u));
  }
  bool Armed() const { return id_ != 0; }

 private:
  guint id_ = 0;
};

}  // namespace platform::gtk

namespace platform::backend {

// The native side of the form or of one control. The form's peer holds the
// toplevel window; a control's peer holds its widget (none for a timer).
struct Peer {
  Control* control = nullptr;  // null for the form's own peer
  GtkWidget* widget = nullptr;
  GdkRectangle rect{};  // in window pixels
  gtk::Source timer;
  GtkTextTag* colourTag = nullptr;  // text boxes: the tag that paints the text colour
};

}  // namespace platform::backend

namespace platform::gtk {

// Where the press being handled landed, for GetMessagePos and for the
// window manager's move.
struct Press {
  guint button = 0;
  int rootX = 0, rootY = 0;
  guint32 time = GDK_CURRENT_TIME;
};

struct State {
  bool prevInstance = false;
  double dpi = 96;  // the desktop's resolution, which the form is laid out at
  int lockFd = -1;  // held for the process lifetime; the kernel releases it

  GMainLoop* loop = nullptr;
  bool quitRequested = false;

  Form* form = nullptr;
  std::unique_ptr<backend::Peer> formPeer;
  std::vector<std::unique_ptr<backend::Peer>> controlPeers;
  GtkWidget* window = nullptr;
  Ref<GtkCssProvider> css;
  CairoSurface ballPicture;
  struct {
    CairoSurface surface;
    int width = 0, height = 0;  // device pixels
  } scaledPicture;              // the ball picture as the form shows it now
  // The region the window owns, once SetWindowRgn gave it one, in pixels of
  // the resolution it was made for; and as applied to the window now.
  std::optional<Region> windowRegion;
  double windowRegionDpi = 96;
  CairoRegion windowShape;
  double windowShapeDpi = 96;

  std::vector<GtkWidget*> openBoxes;  // message boxes whose nested loop still runs

  RegionTable regions;
  std::optional<Press> press;
  Generator generator;
};

State& S();

// The form's toplevel window, realized on first use so that it has an X
// window id; null once the form's window is gone.
GtkWidget* RealizedWindow();
HWND WindowHandle();

// Cuts the window to its region, for drawing and for presses, from the
// first frame on; again whenever GDK may have reset it (the window's map)
// or the region's pixels change size (the desktop's resolution).
void ApplyWindowShape();

// The primary monitor's area on the root window. Form positions count from
// its corner, as they count from the primary monitor's corner on Windows.
GdkRectangle PrimaryMonitor();
GdkMonitor* PrimaryGdkMonitor();  // null without a display or monitors

}  // namespace platform::gtk
