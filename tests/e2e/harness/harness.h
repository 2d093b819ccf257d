// End-to-end test harness for X11 programs: a private Xvfb (optionally with
// a window manager), child processes with captured output, and the window,
// pixel and input helpers a test needs to look at a program as a person
// would. Every wait takes a deadline, so a window or an event that never
// comes fails the test instead of hanging it. Everything a harness object
// starts it stops again, by PID, in its destructor.
//
// Typical use:
//
//   e2e::XServer server({.dpi = 120, .windowManager = true});
//   e2e::Process app({.argv = {"/path/to/program"}, .env = server.Environment()});
//   e2e::XConnection x(server.DisplayName());
//   auto window = x.WaitForWindow("Title", e2e::In(5s));
//   ASSERT_TRUE(window) << app.Stderr();
//   x.Click(x.Geometry(*window)->x + 10, ...);
//   EXPECT_TRUE(e2e::WaitFor([&] { return !app.Running(); }, e2e::In(3s), "the program ends"));
//
// Not thread-safe; one test at a time per process.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Xlib's own names are kept out of this header (its macros clash with
// ordinary C++ names); X ids travel as plain integers.
struct _XDisplay;

namespace e2e {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;
using WindowId = unsigned long;  // an X window id

inline Deadline In(Clock::duration d) { return Clock::now() + d; }
// Milliseconds from `from` to now.
double MillisecondsSince(Clock::time_point from);

// Polls `predicate` (every few milliseconds) until it holds or the deadline
// passes; the failure message names `what`.
testing::AssertionResult WaitFor(const std::function<bool()>& predicate, Deadline deadline,
                                 const std::string& what);

// A directory for screenshots and other artefacts a human may want to look
// at: $E2E_ARTIFACTS_DIR, or /tmp/e2e-artifacts. Created on first use.
std::string ArtifactsDir();

// Why tools/ensure-packages.sh could not install the optional package group
// (its state file: $OMENGLOBE_PACKAGE_STATE, or the one under build/), or
// nothing when it did. A test that needs the group skips with this reason.
std::optional<std::string> MissingOptionalPackages(const std::string& group);

// ---------------------------------------------------------------------------
// Processes

struct ExitStatus {
  bool exited = false;  // by exit(); otherwise by a signal
  int code = 0;         // exit code when `exited`
  int signal = 0;       // terminating signal otherwise
  bool coreDumped = false;
  bool operator==(const ExitStatus&) const = default;
};
std::string Describe(const ExitStatus& status);

class Process {
 public:
  struct Options {
    std::vector<std::string> argv = {};  // argv[0] is looked up in PATH
    // Changes to this process's environment; nullopt removes a variable.
    std::map<std::string, std::optional<std::string>> env = {};
    // Where stdout and stderr are captured; a fresh temporary directory when empty.
    std::string outputDir = {};
  };

  // Starts the program; throws std::runtime_error when it cannot be started.
  explicit Process(Options options);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // Kills the process (SIGKILL, by PID) if it still runs, and reaps it.
  ~Process();

  pid_t Pid() const { return pid_; }
  Clock::time_point Started() const { return started_; }
  // When the process was seen to end (only after WaitExit/Running noticed it).
  std::optional<Clock::time_point> Ended() const { return ended_; }

  // Waits until the process ends or the deadline passes.
  std::optional<ExitStatus> WaitExit(Deadline deadline);
  bool Running();
  void Signal(int signal);

  std::string Stdout() const;
  std::string Stderr() const;
  std::string StdoutPath() const { return outputDir_ + "/stdout"; }
  std::string StderrPath() const { return outputDir_ + "/stderr"; }

 private:
  bool Reap(bool block);

  pid_t pid_ = -1;
  std::string outputDir_;
  bool ownsOutputDir_ = false;
  Clock::time_point started_;
  std::optional<Clock::time_point> ended_;
  std::optional<ExitStatus> status_;
};

// ---------------------------------------------------------------------------
// An X server of the test's own

struct XServerOptions {
  int width = 1024;
  int height = 768;
  int depth = 24;
  // Sets Xft.dpi in the root window's RESOURCE_MANAGER (what desktop
  // toolkits read for their font resolution) and the screen's physical size.
  std::optional<int> dpi = {};
  bool windowManager = false;  // start openbox and wait until it manages the screen
  std::string xvfb = "Xvfb";
  std::string windowManagerCommand = "openbox";
};

class XServer {
 public:
  using Options = XServerOptions;

  // Starts Xvfb on a free display (-displayfd) and waits until it accepts
  // connections; throws std::runtime_error on failure or after `startup`.
  explicit XServer(Options options = {}, Clock::duration startup = std::chrono::seconds(10));
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;
  // Stops the window manager and the server, by PID.
  ~XServer();

  const std::string& DisplayName() const { return display_; }  // ":N"
  // DISPLAY set to this server: a starting point for Process::Options::env.
  std::map<std::string, std::optional<std::string>> Environment() const;
  const Options& Settings() const { return options_; }
  // Kills the server at once, as a crash would; its clients lose their connection.
  void Kill();

 private:
  Options options_;
  std::string display_;
  std::optional<Process> xvfb_;
  std::optional<Process> windowManager_;
};

// ---------------------------------------------------------------------------
// Looking at the screen and driving the pointer and keyboard

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool Contains(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
  bool operator==(const Rect&) const = default;
};
std::string Describe(const Rect& r);

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  int Max() const { return std::max({r, g, b}); }
  bool operator==(const Rgb&) const = default;
};
std::string Describe(const Rgb& c);

class Image {
 public:
  Image() = default;
  Image(int width, int height) : width_(width), height_(height), pixels_(width * height) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  Rgb At(int x, int y) const { return pixels_.at(static_cast<std::size_t>(y) * width_ + x); }
  void Set(int x, int y, Rgb c) { pixels_.at(static_cast<std::size_t>(y) * width_ + x) = c; }
  // Count of pixels in `area` (image coordinates) for which `test` holds.
  int Count(const Rect& area, const std::function<bool(Rgb)>& test) const;
  bool SavePng(const std::string& path) const;
  bool SavePpm(const std::string& path) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<Rgb> pixels_;
};

// A PNG file's pixels as 0xAARRGGBB words, row by row (the layout of an
// icon in _NET_WM_ICON); empty when it cannot be read.
std::vector<std::uint32_t> ReadPngArgb(const std::string& path, int* width, int* height);

enum class ShapeKind { Bounding, Input };

struct ConfigureEvent {
  int x = 0, y = 0, width = 0, height = 0;  // as the event reports them (relative to the parent)
  bool synthetic = false;                   // sent by a window manager, in root coordinates
};

class XConnection {
 public:
  // Connects to the display; throws std::runtime_error when it cannot.
  explicit XConnection(const std::string& displayName);
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;
  ~XConnection();

  _XDisplay* Raw() const { return display_; }
  WindowId Root() const;
  Rect ScreenRect() const;
  // Waits until the server has handled every request sent so far.
  void Sync() const;

  // --- Windows. Titles match WM_NAME or _NET_WM_NAME exactly; the whole
  // tree is searched, so a client inside a window manager's frame is found.
  std::vector<WindowId> FindWindows(const std::string& title, bool viewableOnly = true) const;
  std::optional<WindowId> WaitForWindow(const std::string& title, Deadline deadline,
                                        bool viewableOnly = true) const;
  std::string Title(WindowId window) const;
  bool Exists(WindowId window) const;
  bool Viewable(WindowId window) const;
  // Position on the root window and size, or nothing if the window is gone.
  std::optional<Rect> Geometry(WindowId window) const;
  std::optional<WindowId> TransientFor(WindowId window) const;
  // The shape's rectangles, relative to the window's corner; an unshaped
  // window gives its own rectangle.
  std::vector<Rect> ShapeRectangles(WindowId window, ShapeKind kind = ShapeKind::Bounding) const;
  bool ShapeContains(WindowId window, int x, int y, ShapeKind kind = ShapeKind::Bounding) const;
  // Extents of all shape rectangles.
  Rect ShapeExtents(WindowId window, ShapeKind kind = ShapeKind::Bounding) const;
  // A 32-bit property such as _NET_WM_ICON or _NET_WM_PID; empty when unset.
  std::vector<long> CardinalProperty(WindowId window, const std::string& name) const;
  // Whether a window manager has announced itself (_NET_SUPPORTING_WM_CHECK).
  bool WindowManagerRunning() const;
  // The window the window manager says has the focus (_NET_ACTIVE_WINDOW).
  std::optional<WindowId> ActiveWindow() const;
  // The window that has the keyboard focus on the server.
  WindowId FocusedWindow() const;

  // --- Pixels of the screen as shown (root window).
  Image Capture(const Rect& area) const;
  Image CaptureScreen() const { return Capture(ScreenRect()); }
  Rgb Pixel(int x, int y) const;

  // --- Input through XTest, in root coordinates. Each call is flushed.
  void MovePointer(int x, int y) const;
  void PressButton(unsigned button) const;
  void ReleaseButton(unsigned button) const;
  void Click(int x, int y, unsigned button = 1) const;
  // Presses at `from`, moves in `steps` steps to `to` and releases, with
  // pauses that let a program (or its window manager) start its move loop.
  void Drag(int fromX, int fromY, int toX, int toY, unsigned button = 1, int steps = 10,
            std::chrono::milliseconds pause = std::chrono::milliseconds(100)) const;
  // Presses at `from` and moves to `to` in `steps` steps, each once the window
  // has followed the one before: `followed(dx, dy)` says whether it stands
  // that far from where it started. A move loop starts some time after the
  // press (the program hands the press to it, a window manager takes it up),
  // so while the window lags the pointer is nudged a pixel and back, the way
  // a hand never holds still. Releases at the end, or as soon as the window
  // fails to follow by the deadline, or to start following within
  // `startWithin` when one is given.
  testing::AssertionResult DragFollowed(int fromX, int fromY, int toX, int toY, unsigned button,
                                        int steps, const std::function<bool(int, int)>& followed,
                                        Deadline deadline,
                                        std::optional<Clock::duration> startWithin = {}) const;
  // Presses and releases the key of an X keysym name ("Return", "Escape", "a").
  void Key(const std::string& keysymName) const;

  // --- What other programs do to a window.
  // Destroys it, as a session tool or a crashing window manager may.
  void DestroyWindow(WindowId window) const;
  // Asks the window manager to close it (_NET_CLOSE_WINDOW), as its close
  // button or Alt+F4 would.
  void AskWindowManagerToClose(WindowId window) const;
  // Tells a managed window where it stands on the screen, as a window
  // manager should once it has placed the window's frame: a synthetic
  // ConfigureNotify in root coordinates (ICCCM 4.1.5).
  void ConfirmPosition(WindowId window) const;

 private:
  _XDisplay* display_ = nullptr;
};

// Records the ConfigureNotify events of one window on a connection of its
// own, from construction on. Without a window manager each event is a move
// or resize that the X server carried out.
class ConfigureRecorder {
 public:
  ConfigureRecorder(const std::string& displayName, WindowId window);
  ConfigureRecorder(const ConfigureRecorder&) = delete;
  ConfigureRecorder& operator=(const ConfigureRecorder&) = delete;
  ~ConfigureRecorder();

  // Everything recorded so far (the server is synced first).
  const std::vector<ConfigureEvent>& Events();

 private:
  _XDisplay* display_ = nullptr;
  WindowId window_;
  std::vector<ConfigureEvent> events_;
};

}  // namespace e2e
