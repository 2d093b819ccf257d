// Watches one program from outside, as the desktop sees it: starts it, times
// its window's map and shape, reads its memory and context switches from
// /proc, clicks it through XTest and times what appears on screen by reading
// pixels back from the X server. Prints one "key value" line per figure.
//
//   probe [options] -- PROGRAM ARGS...
//   probe --self-test
//
// Every wait has a deadline; the program is ended by its PID if it is still
// there when the probe is done with it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void SleepMs(double ms) {
  if (ms <= 0) return;
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(static_cast<long>(ms * 1e6) % 1000000000L)};
  nanosleep(&ts, nullptr);
}

void Report(const char* key, double value) { std::printf("%s %.1f\n", key, value); std::fflush(stdout); }
void Note(const std::string& text) { std::printf("note %s\n", text.c_str()); std::fflush(stdout); }

// ---- /proc -----------------------------------------------------------------

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The number after "Key:" in a /proc status text, or -1.
long StatusField(const std::string& status, const std::string& key) {
  const std::string tag = "\n" + key + ":";
  const std::string text = "\n" + status;
  const auto at = text.find(tag);
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + tag.size(), nullptr, 10);
}

// Voluntary plus involuntary switches of every thread of the process.
long ContextSwitches(pid_t pid) {
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return -1;
  long sum = 0;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const std::string status = ReadFile(dir + "/" + e->d_name + "/status");
    const long v = StatusField(status, "voluntary_ctxt_switches");
    const long n = StatusField(status, "nonvoluntary_ctxt_switches");
    if (v >= 0 && n >= 0) sum += v + n;
  }
  closedir(d);
  return sum;
}

// Gone, or a zombie nobody has reaped yet.
bool Alive(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z' &&
         stat[close + 2] != 'X';
}

pid_t ParentOf(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  char state = 0;
  int ppid = -1;
  std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid);
  return ppid;
}

std::string Comm(pid_t pid) {
  std::string comm = ReadFile("/proc/" + std::to_string(pid) + "/comm");
  while (!comm.empty() && comm.back() == '\n') comm.pop_back();
  return comm;
}

// The process named `name` among `root` and its descendants (a Wine program
// may run in the started process or in one it spawned).
pid_t FindByName(pid_t root, const std::string& name) {
  if (Comm(root) == name) return root;
  DIR* d = opendir("/proc");
  if (d == nullptr) return -1;
  pid_t found = -1;
  while (dirent* e = readdir(d)) {
    const pid_t pid = std::atoi(e->d_name);
    if (pid <= 0 || Comm(pid) != name) continue;
    for (pid_t p = pid; p > 1; p = ParentOf(p)) {
      if (p == root) { found = pid; break; }
    }
    if (found > 0) break;
  }
  closedir(d);
  return found;
}

// ---- pixels ----------------------------------------------------------------

struct Rgb { int r, g, b; };

// The brightest grey level in a block: the largest min(r, g, b), so a
// coloured pixel does not count as bright text.
int PeakGrey(const std::vector<Rgb>& px) {
  int peak = 0;
  for (const Rgb& c : px) peak = std::max(peak, std::min({c.r, c.g, c.b}));
  return peak;
}

// The largest single channel: how far from black the block is.
int PeakChannel(const std::vector<Rgb>& px) {
  int peak = 0;
  for (const Rgb& c : px) peak = std::max({peak, c.r, c.g, c.b});
  return peak;
}

// Pixels that differ by more than `tolerance` in any channel.
int Differing(const std::vector<Rgb>& a, const std::vector<Rgb>& b, int tolerance = 24) {
  if (a.size() != b.size()) return static_cast<int>(std::max(a.size(), b.size()));
  int n = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::abs(a[i].r - b[i].r) > tolerance || std::abs(a[i].g - b[i].g) > tolerance ||
        std::abs(a[i].b - b[i].b) > tolerance)
      ++n;
  }
  return n;
}

struct Rect { int x, y, w, h; };

// Window-relative places of the controls at 96 dpi, inset a little so the
// edges of a neighbour never count.
constexpr Rect kAnswerBox{106, 90, 165, 69};
constexpr Rect kShakeButton{98, 250, 181, 29};
constexpr int kShakeX = 188, kShakeY = 264;
constexpr int kExitX = 200, kExitY = 300;

// ---- X ---------------------------------------------------------------------

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

struct Options {
  std::string title = "Kelvra";
  std::string exeName;  // look for this process name below the started one
  double deadlineMs = 30000;
  double rssAfterMs = 2000;
  double idleMs = 5000;
  bool timeline = false;
  int shakes = 0;
  bool exitClick = false;
  std::vector<char*> argv;
};

class Probe {
 public:
  explicit Probe(Options o) : o_(std::move(o)) {}

  int Run() {
    dpy_ = XOpenDisplay(nullptr);
    if (dpy_ == nullptr) { std::fprintf(stderr, "probe: cannot open display\n"); return 2; }
    XSetErrorHandler(IgnoreErrors);
    root_ = DefaultRootWindow(dpy_);
    int shapeError = 0, xtestEvent = 0, xtestError = 0, major = 0, minor = 0;
    if (!XShapeQueryExtension(dpy_, &shapeEvent_, &shapeError) ||
        !XTestQueryExtension(dpy_, &xtestEvent, &xtestError, &major, &minor)) {
      std::fprintf(stderr, "probe: the X server lacks SHAPE or XTEST\n");
      return 2;
    }
    XSelectInput(dpy_, root_, SubstructureNotifyMask);
    XSync(dpy_, False);

    start_ = NowMs();
    child_ = fork();
    if (child_ == 0) {
      execvp(o_.argv[0], o_.argv.data());
      std::perror("probe: exec");
      _exit(127);
    }
    const int rc = Measure();
    End();
    XCloseDisplay(dpy_);
    return rc;
  }

 private:
  int Measure() {
    if (!WaitForMap()) return 1;
    target_ = o_.exeName.empty() ? child_ : FindByName(child_, o_.exeName);
    for (double until = NowMs() + 5000; target_ <= 0 && NowMs() < until; SleepMs(20))
      target_ = FindByName(child_, o_.exeName);
    if (target_ <= 0) { Note("no process named " + o_.exeName); return 1; }
    Report("threads", StatusField(ReadFile(Proc("status")), "Threads"));

    SleepMs(mapAt_ + o_.rssAfterMs - NowMs());
    Report("rss_kb", StatusField(ReadFile(Proc("status")), "VmRSS"));
    if (o_.idleMs > 0) {
      const long before = ContextSwitches(target_);
      const double t = NowMs();
      SleepMs(o_.idleMs);
      const long after = ContextSwitches(target_);
      Report("idle_cs_per_s", (after - before) * 1000.0 / (NowMs() - t));
    }
    if (o_.timeline || o_.shakes > 0) {
      if (!Shake(true)) return 1;
      Report("rss_after_1_shake_kb", StatusField(ReadFile(Proc("status")), "VmRSS"));
      for (int i = 1; i < o_.shakes; ++i) {
        if (!Shake(false)) { Note("shake " + std::to_string(i + 1) + " did not finish"); return 1; }
      }
      if (o_.shakes > 1) {
        Report("shakes_done", o_.shakes);
        Report("rss_after_n_shakes_kb", StatusField(ReadFile(Proc("status")), "VmRSS"));
      }
    }
    if (o_.exitClick) {
      Click(kExitX, kExitY);
      const double clicked = NowMs();
      if (!WaitGone(clicked + 10000)) { Note("still running 10 s after the click on X"); return 1; }
      Report("exit_ms", goneAt_ - clicked);
    }
    return 0;
  }

  std::string Proc(const char* file) const { return "/proc/" + std::to_string(target_) + "/" + file; }

  std::string Title(Window w) {
    Atom utf8 = XInternAtom(dpy_, "UTF8_STRING", False);
    Atom netName = XInternAtom(dpy_, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long n, left;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(dpy_, w, netName, 0, 256, False, utf8, &type, &format, &n, &left,
                           &data) == Success && data != nullptr) {
      title.assign(reinterpret_cast<char*>(data), n);
      XFree(data);
      if (!title.empty()) return title;
    }
    char* name = nullptr;
    if (XFetchName(dpy_, w, &name) && name != nullptr) {
      title = name;
      XFree(name);
    }
    return title;
  }

  bool Shaped(Window w) {
    Bool bShaped = False, cShaped = False;
    int bx, by, cx, cy;
    unsigned bw, bh, cw, ch;
    return XShapeQueryExtents(dpy_, w, &bShaped, &bx, &by, &bw, &bh, &cShaped, &cx, &cy, &cw,
                              &ch) && bShaped;
  }

  // Waits for the mapped window with our title; notes when its bounding
  // shape was set. A shape set before we could watch the window is timed
  // when we first saw it, which is later than it happened.
  bool WaitForMap() {
    std::map<Window, double> shapedAt;
    const double deadline = start_ + o_.deadlineMs;
    while (NowMs() < deadline) {
      if (!Alive(child_) && o_.exeName.empty()) { Note("program ended before its window showed"); return false; }
      if (!XPending(dpy_)) { SleepMs(0.2); continue; }
      XEvent ev;
      XNextEvent(dpy_, &ev);
      const double t = NowMs();
      if (ev.type == CreateNotify && ev.xcreatewindow.parent == root_) {
        const Window w = ev.xcreatewindow.window;
        XSelectInput(dpy_, w, StructureNotifyMask);
        XShapeSelectInput(dpy_, w, ShapeNotifyMask);
        if (Shaped(w)) shapedAt.emplace(w, t);
      } else if (ev.type == DestroyNotify) {
        shapedAt.erase(ev.xdestroywindow.window);  // the server reuses ids
      } else if (ev.type == shapeEvent_ + ShapeNotify) {
        const auto& se = reinterpret_cast<XShapeEvent&>(ev);
        if (se.kind == ShapeBounding && se.shaped) shapedAt.emplace(se.window, t);
      } else if (ev.type == MapNotify &&
                 (ev.xmap.event == root_ || ev.xmap.event == ev.xmap.window)) {
        // From the root without a window manager; from the window itself
        // once a manager has reparented it into a frame.
        const Window w = ev.xmap.window;
        if (Title(w) != o_.title) continue;
        window_ = w;
        mapAt_ = t;
        Report("map_ms", t - start_);
        if (!shapedAt.count(w) && Shaped(w)) shapedAt.emplace(w, t);
        UpdateGeometry();
        if (shapedAt.count(w)) {
          Report("shape_ms", shapedAt[w] - start_);
          return true;
        }
        // Shaped only after it showed: a rectangle was on screen meanwhile.
        Note("window not shaped at map");
        for (const double until = t + 2000; NowMs() < until;) {
          if (!XPending(dpy_)) { SleepMs(0.2); continue; }
          XNextEvent(dpy_, &ev);
          const auto& se = reinterpret_cast<XShapeEvent&>(ev);
          if (ev.type == shapeEvent_ + ShapeNotify && se.window == w && se.kind == ShapeBounding &&
              se.shaped) {
            Report("shape_ms", NowMs() - start_);
            return true;
          }
        }
        Note("window not shaped within 2 s of the map");
        return true;
      }
    }
    Note("no window titled " + o_.title + " within the deadline");
    return false;
  }

  void UpdateGeometry() {
    Window child;
    XTranslateCoordinates(dpy_, window_, root_, 0, 0, &wx_, &wy_, &child);
  }

  // Handles pending events; returns the time of the last move of our window.
  std::optional<double> DrainMoves(int* moves) {
    std::optional<double> last;
    while (XPending(dpy_)) {
      XEvent ev;
      XNextEvent(dpy_, &ev);
      if (ev.type == ConfigureNotify && ev.xconfigure.window == window_) {
        ++*moves;
        last = NowMs();
        // Under a window manager the event's x is relative to the frame;
        // ask where the window stands on the root instead.
        UpdateGeometry();
        lastX_ = wx_;
      }
    }
    return last;
  }

  std::vector<Rgb> Grab(const Rect& r) {
    std::vector<Rgb> px;
    XImage* img = XGetImage(dpy_, root_, wx_ + r.x, wy_ + r.y, r.w, r.h, AllPlanes, ZPixmap);
    if (img == nullptr) return px;
    px.reserve(static_cast<size_t>(r.w) * r.h);
    for (int y = 0; y < r.h; ++y)
      for (int x = 0; x < r.w; ++x) {
        const unsigned long p = XGetPixel(img, x, y);
        px.push_back({static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff),
                      static_cast<int>(p & 0xff)});
      }
    XDestroyImage(img);
    return px;
  }

  void Click(int x, int y) {
    UpdateGeometry();
    XTestFakeMotionEvent(dpy_, -1, wx_ + x, wy_ + y, CurrentTime);
    XSync(dpy_, False);
    SleepMs(30);
    XTestFakeButtonEvent(dpy_, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy_, 1, False, CurrentTime);
    XSync(dpy_, False);
  }

  // Presses the shake button and follows one cycle by its pixels: the
  // window back in the centre, the answer at full brightness, the answer box
  // black again, the button drawn enabled again. Reports the times of the
  // first cycle only.
  bool Shake(bool report) {
    UpdateGeometry();
    const int homeX = wx_;
    const long csBefore = ContextSwitches(target_);
    Click(kShakeX, kShakeY);
    const double clicked = NowMs();
    int moves = 0;
    bool pointerAway = false;
    std::optional<double> centred, bright, black, usable;
    std::vector<Rgb> disabledLook;
    const double deadline = clicked + 10000;
    while (NowMs() < deadline) {
      if (auto moved = DrainMoves(&moves)) {
        if (std::abs(lastX_ - homeX) <= 2 && moves > 1) centred = moved;
        else centred.reset();
      }
      const double t = NowMs();
      // Off the button, so its hover look cannot be taken for "enabled"; not
      // before the program has taken the click (Wine reads the pointer's
      // position when it handles the release).
      if (!pointerAway && (centred || t - clicked > 300)) {
        XTestFakeMotionEvent(dpy_, -1, 5, 5, CurrentTime);
        XFlush(dpy_);
        pointerAway = true;
      }
      if (!centred && t - clicked < 1500) { SleepMs(1); continue; }
      UpdateGeometry();
      const auto box = Grab(kAnswerBox);
      const double sampled = NowMs();
      if (box.empty()) { SleepMs(5); continue; }
      if (!bright && PeakGrey(box) >= 0xD0) {
        bright = sampled;
        disabledLook = Grab(kShakeButton);
      } else if (bright && !black && PeakChannel(box) <= 0x28) {
        black = sampled;
      } else if (black) {
        const auto look = Grab(kShakeButton);
        if (Differing(look, disabledLook) >= 20) { usable = NowMs(); break; }
      }
      SleepMs(5 - (NowMs() - t));
    }
    if (report) {
      Report("sweep_moves", moves);
      if (centred) Report("centred_ms", *centred - clicked);
      if (bright) Report("bright_ms", *bright - clicked);
      if (black) Report("black_ms", *black - clicked);
      if (usable) {
        Report("usable_ms", *usable - clicked);
        Report("fade_cs_per_s", (ContextSwitches(target_) - csBefore) * 1000.0 / (*usable - clicked));
      }
    }
    if (!usable) Note("shake cycle not seen to finish (centred/bright/black/usable = " +
                      std::to_string(centred.has_value()) + std::to_string(bright.has_value()) +
                      std::to_string(black.has_value()) + "0)");
    return usable.has_value();
  }

  bool WaitGone(double deadline) {
    while (NowMs() < deadline) {
      if (target_ == child_) {
        int status;
        if (waitpid(child_, &status, WNOHANG) == child_) { goneAt_ = NowMs(); reaped_ = true; return true; }
      } else if (!Alive(target_)) {
        goneAt_ = NowMs();
        return true;
      }
      SleepMs(1);
    }
    return false;
  }

  // Ends what we started, by PID: the program, then the process we exec'd.
  void End() {
    for (pid_t pid : {target_, child_}) {
      if (pid <= 0 || (pid == child_ && reaped_) || !Alive(pid)) continue;
      kill(pid, SIGTERM);
    }
    const double until = NowMs() + 3000;
    while (!reaped_ && NowMs() < until) {
      int status;
      if (waitpid(child_, &status, WNOHANG) == child_) reaped_ = true;
      else SleepMs(10);
    }
    if (!reaped_) {
      kill(child_, SIGKILL);
      if (target_ > 0 && target_ != child_ && Alive(target_)) kill(target_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
  }

  Options o_;
  Display* dpy_ = nullptr;
  Window root_ = 0, window_ = 0;
  int shapeEvent_ = 0;
  pid_t child_ = -1, target_ = -1;
  bool reaped_ = false;
  double start_ = 0, mapAt_ = 0, goneAt_ = 0;
  int wx_ = 0, wy_ = 0, lastX_ = 0;
};

// ---- self-test -------------------------------------------------------------

int SelfTest() {
  int failed = 0, passed = 0;
  auto check = [&](bool ok, const char* what) {
    if (ok) ++passed;
    else { ++failed; std::printf("FAIL %s\n", what); }
  };
  const std::string status =
      "Name:\tomenglobe\nVmRSS:\t   23456 kB\nThreads:\t3\nvoluntary_ctxt_switches:\t12\n"
      "nonvoluntary_ctxt_switches:\t5\n";
  check(StatusField(status, "VmRSS") == 23456, "VmRSS is read with its padding");
  check(StatusField(status, "Name") == 0 && StatusField(status, "VmHWM") == -1,
        "a missing or non-numeric field is not a number");
  check(StatusField(status, "voluntary_ctxt_switches") == 12 &&
            StatusField(status, "nonvoluntary_ctxt_switches") == 5,
        "voluntary is not confused with nonvoluntary");
  check(StatusField(status, "Name") != StatusField(status, "VmRSS"), "first line is found");

  const std::vector<Rgb> black(100, Rgb{0, 0, 0});
  std::vector<Rgb> text = black;
  text[42] = {0xE0, 0xE0, 0xE0};
  std::vector<Rgb> red = black;
  red[7] = {0xFF, 0x10, 0x10};
  check(PeakGrey(text) == 0xE0 && PeakGrey(black) == 0, "grey text is bright");
  check(PeakGrey(red) == 0x10, "a coloured pixel is not bright grey");
  check(PeakChannel(red) == 0xFF && PeakChannel(black) == 0, "any channel lifts a block off black");
  check(Differing(black, text) == 1 && Differing(black, black) == 0, "one changed pixel counts");
  std::vector<Rgb> near = black;
  near[3] = {20, 20, 20};
  check(Differing(black, near) == 0, "noise within the tolerance does not count");
  check(Differing(black, std::vector<Rgb>(50)) == 100, "blocks of different sizes differ whole");

  const pid_t self = getpid();
  check(Alive(self) && ContextSwitches(self) >= 0, "this process is alive and switches");
  check(FindByName(self, Comm(self)) == self, "a process finds itself by name");
  check(FindByName(self, "no-such-name.exe") == -1, "an absent name is not found");
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) { std::fprintf(stderr, "probe: %s needs a value\n", a.c_str()); std::exit(2); }
      return argv[++i];
    };
    if (a == "--self-test") return SelfTest();
    if (a == "--") { ++i; break; }
    if (a == "--title") o.title = value();
    else if (a == "--exe-name") o.exeName = value();
    else if (a == "--deadline-ms") o.deadlineMs = std::stod(value());
    else if (a == "--rss-after-ms") o.rssAfterMs = std::stod(value());
    else if (a == "--idle-ms") o.idleMs = std::stod(value());
    else if (a == "--timeline") o.timeline = true;
    else if (a == "--shakes") o.shakes = std::stoi(value());
    else if (a == "--exit-click") o.exitClick = true;
    else { std::fprintf(stderr, "probe: unknown option %s\n", a.c_str()); return 2; }
  }
  for (; i < argc; ++i) o.argv.push_back(argv[i]);
  if (o.argv.empty()) { std::fprintf(stderr, "usage: probe [options] -- PROGRAM ARGS...\n"); return 2; }
  o.argv.push_back(nullptr);
  return Probe(std::move(o)).Run();
}
