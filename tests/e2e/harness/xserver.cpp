// A private Xvfb, found a free display by the server itself, and an
// optional window manager on it.
// clang-format off
// Before Xlib, whose macros (None, Bool, Status) would clash with it.
#include "harness.h"
// clang-format on

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace e2e {

namespace {

// Reads the display number Xvfb writes once it is ready to accept clients.
std::string ReadDisplayNumber(int fd, Deadline deadline, Process& server) {
  std::string number;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) throw std::runtime_error("Xvfb did not report a display in time");
    pollfd p{fd, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
    if (r < 0 && errno != EINTR) throw std::runtime_error("poll on Xvfb's display pipe failed");
    if (r <= 0) {
      if (!server.Running()) {
        throw std::runtime_error("Xvfb ended at start-up: " + server.Stderr());
      }
      continue;
    }
    char c;
    const auto n = read(fd, &c, 1);
    if (n <= 0 || c == '\n') break;
    number += c;
  }
  if (number.empty()) throw std::runtime_error("Xvfb reported no display: " + server.Stderr());
  return ":" + number;
}

void SetResourceDatabase(const std::string& display, int dpi) {
  Display* x = XOpenDisplay(display.c_str());
  if (x == nullptr) throw std::runtime_error("cannot connect to " + display);
  const std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
  XChangeProperty(x, DefaultRootWindow(x), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(resources.data()),
                  static_cast<int>(resources.size()));
  XSync(x, False);
  XCloseDisplay(x);
}

}  // namespace

XServer::XServer(Options options, Clock::duration startup) : options_(std::move(options)) {
  const Deadline deadline = In(startup);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv = {
      options_.xvfb,
      "-displayfd",
      std::to_string(pipeFds[1]),
      "-screen",
      "0",
      std::to_string(options_.width) + "x" + std::to_string(options_.height) + "x" +
          std::to_string(options_.depth),
      "-nolisten",
      "tcp",
      "-noreset",
      "-wr"};  // a white root, so a shaped window's outline shows in screenshots
  if (options_.dpi) {
    argv.push_back("-dpi");
    argv.push_back(std::to_string(*options_.dpi));
  }
  try {
    xvfb_.emplace(Process::Options{.argv = argv});
  } catch (...) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    throw;
  }
  close(pipeFds[1]);
  try {
    display_ = ReadDisplayNumber(pipeFds[0], deadline, *xvfb_);
  } catch (...) {
    close(pipeFds[0]);
    throw;
  }
  close(pipeFds[0]);

  if (options_.dpi) SetResourceDatabase(display_, *options_.dpi);

  if (options_.windowManager) {
    auto env = Environment();
    windowManager_.emplace(
        Process::Options{.argv = {options_.windowManagerCommand, "--sm-disable"}, .env = env});
    XConnection x(display_);
    const auto waited = WaitFor([&] { return x.WindowManagerRunning(); }, deadline,
                                "the window manager to manage the screen");
    if (!waited) {
      throw std::runtime_error(std::string(waited.message()) + ": " + windowManager_->Stderr());
    }
  }
}

XServer::~XServer() {
  // The window manager first, so it does not complain about a lost display.
  windowManager_.reset();
  if (xvfb_) {
    xvfb_->Signal(SIGTERM);
    if (!xvfb_->WaitExit(In(std::chrono::seconds(5)))) xvfb_.reset();  // SIGKILL by PID
  }
}

void XServer::Kill() {
  windowManager_.reset();
  if (xvfb_) {
    xvfb_->Signal(SIGKILL);
    xvfb_->WaitExit(In(std::chrono::seconds(5)));
  }
}

std::map<std::string, std::optional<std::string>> XServer::Environment() const {
  return {{"DISPLAY", display_}};
}

}  // namespace e2e
