// Windows, shapes, pixels and synthetic input on an X display.
// clang-format off
// Before Xlib, whose macros (None, Bool, Status) would clash with it.
#include "harness.h"
// clang-format on

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>

#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {

namespace {

// Windows come and go under a test's feet; a request on a vanished window
// must fail that request, not end the test process as Xlib's default
// handler would.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

void InstallErrorHandler() {
  static const bool installed = [] {
    XSetErrorHandler(IgnoreErrors);
    return true;
  }();
  (void)installed;
}

std::string StringProperty(Display* x, Window window, Atom property, Atom type) {
  Atom actualType;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  std::string result;
  if (XGetWindowProperty(x, window, property, 0, 1024, False, type, &actualType, &format, &items,
                         &after, &data) == Success &&
      data != nullptr) {
    if (format == 8) result.assign(reinterpret_cast<char*>(data), items);
    XFree(data);
  }
  return result;
}

void Collect(Display* x, Window window, int depth, std::vector<Window>& out) {
  out.push_back(window);
  if (depth > 8) return;
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(x, window, &root, &parent, &children, &count) == 0) return;
  for (unsigned int i = 0; i < count; ++i) Collect(x, children[i], depth + 1, out);
  if (children != nullptr) XFree(children);
}

}  // namespace

std::string Describe(const Rect& r) {
  std::ostringstream out;
  out << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
  return out.str();
}

std::string Describe(const Rgb& c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", c.r, c.g, c.b);
  return buffer;
}

XConnection::XConnection(const std::string& displayName) {
  InstallErrorHandler();
  display_ = XOpenDisplay(displayName.c_str());
  if (display_ == nullptr) throw std::runtime_error("cannot connect to X display " + displayName);
  int event, error, major, minor;
  if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) {
    XCloseDisplay(display_);
    throw std::runtime_error("the X server " + displayName + " has no XTEST extension");
  }
}

XConnection::~XConnection() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

WindowId XConnection::Root() const { return DefaultRootWindow(display_); }

Rect XConnection::ScreenRect() const {
  const int screen = DefaultScreen(display_);
  return {0, 0, DisplayWidth(display_, screen), DisplayHeight(display_, screen)};
}

void XConnection::Sync() const { XSync(display_, False); }

std::string XConnection::Title(WindowId window) const {
  const Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  std::string title = StringProperty(display_, window, netName, utf8);
  if (title.empty()) title = StringProperty(display_, window, XA_WM_NAME, AnyPropertyType);
  return title;
}

std::vector<WindowId> XConnection::FindWindows(const std::string& title, bool viewableOnly) const {
  std::vector<Window> all;
  // No server grab while walking: a window that goes meanwhile only fails
  // its own requests, and a grab would stall the program under test.
  Collect(display_, Root(), 0, all);
  std::vector<WindowId> found;
  for (Window w : all) {
    if (w == Root() || Title(w) != title) continue;
    if (viewableOnly && !Viewable(w)) continue;
    found.push_back(w);
  }
  return found;
}

std::optional<WindowId> XConnection::WaitForWindow(const std::string& title, Deadline deadline,
                                                   bool viewableOnly) const {
  for (;;) {
    const auto found = FindWindows(title, viewableOnly);
    if (!found.empty()) return found.front();
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool XConnection::Exists(WindowId window) const {
  XWindowAttributes a;
  return XGetWindowAttributes(display_, window, &a) != 0;
}

bool XConnection::Viewable(WindowId window) const {
  XWindowAttributes a;
  return XGetWindowAttributes(display_, window, &a) != 0 && a.map_state == IsViewable;
}

std::optional<Rect> XConnection::Geometry(WindowId window) const {
  XWindowAttributes a;
  if (XGetWindowAttributes(display_, window, &a) == 0) return std::nullopt;
  int x = 0, y = 0;
  Window child;
  if (!XTranslateCoordinates(display_, window, Root(), 0, 0, &x, &y, &child)) return std::nullopt;
  return Rect{x, y, a.width, a.height};
}

std::optional<WindowId> XConnection::TransientFor(WindowId window) const {
  Window owner = 0;
  if (XGetTransientForHint(display_, window, &owner) == 0 || owner == 0) return std::nullopt;
  return owner;
}

std::vector<Rect> XConnection::ShapeRectangles(WindowId window, ShapeKind kind) const {
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(display_, window,
                                          kind == ShapeKind::Bounding ? ShapeBounding : ShapeInput,
                                          &count, &ordering);
  std::vector<Rect> result;
  for (int i = 0; i < count; ++i) {
    result.push_back({rects[i].x, rects[i].y, rects[i].width, rects[i].height});
  }
  if (rects != nullptr) XFree(rects);
  return result;
}

bool XConnection::ShapeContains(WindowId window, int x, int y, ShapeKind kind) const {
  for (const Rect& r : ShapeRectangles(window, kind)) {
    if (r.Contains(x, y)) return true;
  }
  return false;
}

Rect XConnection::ShapeExtents(WindowId window, ShapeKind kind) const {
  const auto rects = ShapeRectangles(window, kind);
  if (rects.empty()) return {};
  int left = rects[0].x, top = rects[0].y;
  int right = left + rects[0].width, bottom = top + rects[0].height;
  for (const Rect& r : rects) {
    left = std::min(left, r.x);
    top = std::min(top, r.y);
    right = std::max(right, r.x + r.width);
    bottom = std::max(bottom, r.y + r.height);
  }
  return {left, top, right - left, bottom - top};
}

std::optional<WindowId> XConnection::ActiveWindow() const {
  const Atom property = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  std::optional<WindowId> active;
  if (XGetWindowProperty(display_, DefaultRootWindow(display_), property, 0, 1, False, XA_WINDOW,
                         &type, &format, &items, &after, &data) == Success &&
      data != nullptr) {
    if (format == 32 && items == 1) {
      const auto window = *reinterpret_cast<const unsigned long*>(data);
      if (window != 0) active = window;
    }
    XFree(data);
  }
  return active;
}

WindowId XConnection::FocusedWindow() const {
  Window focus = 0;
  int revertTo = 0;
  XGetInputFocus(display_, &focus, &revertTo);
  return focus;
}

std::vector<long> XConnection::CardinalProperty(WindowId window, const std::string& name) const {
  const Atom property = XInternAtom(display_, name.c_str(), False);
  std::vector<long> values;
  long offset = 0;
  for (;;) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, property, offset, 65536, False, XA_CARDINAL, &type,
                           &format, &items, &after, &data) != Success) {
      break;
    }
    if (data != nullptr) {
      // Xlib hands 32-bit items over as longs.
      if (format == 32) {
        const auto* longs = reinterpret_cast<const long*>(data);
        values.insert(values.end(), longs, longs + items);
      }
      XFree(data);
    }
    offset += static_cast<long>(items);
    if (after == 0 || items == 0) break;
  }
  return values;
}

bool XConnection::WindowManagerRunning() const {
  const Atom check = XInternAtom(display_, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(display_, Root(), check, 0, 1, False, XA_WINDOW, &type,
                                        &format, &items, &after, &data) == Success &&
                     items == 1;
  if (data != nullptr) XFree(data);
  return found;
}

Image XConnection::Capture(const Rect& area) const {
  XImage* raw = XGetImage(display_, Root(), area.x, area.y, static_cast<unsigned>(area.width),
                          static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
  if (raw == nullptr) throw std::runtime_error("XGetImage failed for " + Describe(area));
  Image image(area.width, area.height);
  // TrueColor: each channel at its mask.
  auto channel = [](unsigned long pixel, unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
      mask >>= 1;
      ++shift;
    }
    const unsigned long value = (pixel >> shift) & mask;
    return static_cast<std::uint8_t>(mask == 0 ? 0 : value * 255 / mask);
  };
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x) {
      const unsigned long p = XGetPixel(raw, x, y);
      image.Set(
          x, y,
          {channel(p, raw->red_mask), channel(p, raw->green_mask), channel(p, raw->blue_mask)});
    }
  }
  XDestroyImage(raw);
  return image;
}

Rgb XConnection::Pixel(int x, int y) const { return Capture({x, y, 1, 1}).At(0, 0); }

void XConnection::MovePointer(int x, int y) const {
  XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
  XSync(display_, False);
}

void XConnection::PressButton(unsigned button) const {
  XTestFakeButtonEvent(display_, button, True, CurrentTime);
  XSync(display_, False);
}

void XConnection::ReleaseButton(unsigned button) const {
  XTestFakeButtonEvent(display_, button, False, CurrentTime);
  XSync(display_, False);
}

void XConnection::Click(int x, int y, unsigned button) const {
  MovePointer(x, y);
  // A toolkit may want to see the pointer over a button before the press.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  PressButton(button);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ReleaseButton(button);
}

void XConnection::Drag(int fromX, int fromY, int toX, int toY, unsigned button, int steps,
                       std::chrono::milliseconds pause) const {
  MovePointer(fromX, fromY);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  PressButton(button);
  std::this_thread::sleep_for(pause);
  for (int i = 1; i <= steps; ++i) {
    MovePointer(fromX + (toX - fromX) * i / steps, fromY + (toY - fromY) * i / steps);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(pause);
  ReleaseButton(button);
}

testing::AssertionResult XConnection::DragFollowed(
    int fromX, int fromY, int toX, int toY, unsigned button, int steps,
    const std::function<bool(int, int)>& followed, Deadline deadline,
    std::optional<Clock::duration> startWithin) const {
  MovePointer(fromX, fromY);
  PressButton(button);
  for (int i = 1; i <= steps; ++i) {
    const int dx = (toX - fromX) * i / steps, dy = (toY - fromY) * i / steps;
    MovePointer(fromX + dx, fromY + dy);
    int looks = 0;
    auto result = WaitFor(
        [&] {
          if (followed(dx, dy)) return true;
          if (++looks % 20 == 0) {
            MovePointer(fromX + dx + 1, fromY + dy);
            MovePointer(fromX + dx, fromY + dy);
          }
          return false;
        },
        i == 1 && startWithin ? std::min(deadline, In(*startWithin)) : deadline,
        "the window to follow the pointer " + std::to_string(dx) + "," + std::to_string(dy) +
            " from where the press was");
    if (!result) {
      ReleaseButton(button);
      return result;
    }
  }
  ReleaseButton(button);
  return testing::AssertionSuccess();
}

void XConnection::Key(const std::string& keysymName) const {
  const KeySym sym = XStringToKeysym(keysymName.c_str());
  if (sym == NoSymbol) throw std::invalid_argument("unknown keysym " + keysymName);
  const KeyCode code = XKeysymToKeycode(display_, sym);
  if (code == 0) throw std::invalid_argument("no key for keysym " + keysymName);
  XTestFakeKeyEvent(display_, code, True, CurrentTime);
  XSync(display_, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  XTestFakeKeyEvent(display_, code, False, CurrentTime);
  XSync(display_, False);
}

void XConnection::DestroyWindow(WindowId window) const {
  XDestroyWindow(display_, window);
  XSync(display_, False);
}

void XConnection::AskWindowManagerToClose(WindowId window) const {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "_NET_CLOSE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = 2;  // from a pager or similar tool: the user's own request
  XSendEvent(display_, Root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XSync(display_, False);
}

void XConnection::ConfirmPosition(WindowId window) const {
  XWindowAttributes a;
  const auto where = Geometry(window);
  if (XGetWindowAttributes(display_, window, &a) == 0 || !where) return;
  XEvent event{};
  event.xconfigure.type = ConfigureNotify;
  event.xconfigure.event = window;
  event.xconfigure.window = window;
  event.xconfigure.x = where->x - a.border_width;
  event.xconfigure.y = where->y - a.border_width;
  event.xconfigure.width = a.width;
  event.xconfigure.height = a.height;
  event.xconfigure.border_width = a.border_width;
  event.xconfigure.above = 0;
  event.xconfigure.override_redirect = a.override_redirect;
  XSendEvent(display_, window, False, StructureNotifyMask, &event);
  XSync(display_, False);
}

ConfigureRecorder::ConfigureRecorder(const std::string& displayName, WindowId window)
    : window_(window) {
  InstallErrorHandler();
  display_ = XOpenDisplay(displayName.c_str());
  if (display_ == nullptr) throw std::runtime_error("cannot connect to X display " + displayName);
  XSelectInput(display_, window, StructureNotifyMask);
  XSync(display_, False);
}

ConfigureRecorder::~ConfigureRecorder() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

const std::vector<ConfigureEvent>& ConfigureRecorder::Events() {
  XSync(display_, False);
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == ConfigureNotify && event.xconfigure.window == window_) {
      const auto& c = event.xconfigure;
      events_.push_back({c.x, c.y, c.width, c.height, c.send_event != 0});
    }
  }
  return events_;
}

}  // namespace e2e
