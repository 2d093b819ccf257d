// Starting the real Linux program on a private X server, as a person would,
// and where its window and controls are.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "ball_layout.h"
#include "harness.h"

namespace omenglobe_e2e {

using namespace std::chrono_literals;
using namespace ball;

inline bool Lit(e2e::Rgb c) { return c.r >= 0xC8 && c.g >= 0xC8 && c.b >= 0xC8; }

// A shake's sweep is over: the window has made its moves and the last one
// put it back in the middle of the 1024-pixel screen.
inline bool SweepEnded(e2e::ConfigureRecorder& moves) {
  const auto& events = moves.Events();
  return events.size() >= 9 && events.back().x == 337;
}

// One private X server, a private runtime directory for the running-copy
// lock, and a connection to look and click with.
class ProgramTest : public testing::Test {
 protected:
  void StartServer(e2e::XServer::Options options = {}) {
    x_.reset();  // before its server goes
    server_.reset();
    server_ = std::make_unique<e2e::XServer>(options);
    x_ = std::make_unique<e2e::XConnection>(server_->DisplayName());
  }

  void TearDown() override {
    x_.reset();
    server_.reset();
    if (!runtimeDir_.empty()) {
      ExpectNoSanitizerReports();
      std::filesystem::remove_all(runtimeDir_);
    }
  }

  // Every report of every copy the test started, in the sanitizer build;
  // copies the test killed at its end had no chance to report leaks.
  void ExpectNoSanitizerReports() {
    for (const auto& entry : std::filesystem::directory_iterator(runtimeDir_)) {
      if (entry.path().filename().string().rfind("sanitizer", 0) != 0) continue;
      std::ifstream in(entry.path());
      std::stringstream report;
      report << in.rdbuf();
      if (!report.str().empty()) ADD_FAILURE() << "sanitizer report:\n" << report.str();
    }
  }

  const std::string& RuntimeDir() {
    if (runtimeDir_.empty()) {
      std::string pattern = "/tmp/omenglobe-e2e-XXXXXX";
      if (mkdtemp(pattern.data()) != nullptr) runtimeDir_ = pattern;
    }
    return runtimeDir_;
  }

  // The environment of a person's session on our server: no accessibility
  // bus to look for, the lock in a directory of the test's own.
  std::map<std::string, std::optional<std::string>> Environment() {
    auto env = server_ != nullptr ? server_->Environment()
                                  : std::map<std::string, std::optional<std::string>>{};
    env["NO_AT_BRIDGE"] = "1";
    env["XDG_RUNTIME_DIR"] = RuntimeDir();
    env["GDK_BACKEND"] = std::nullopt;
#ifdef OMENGLOBE_SANITIZED
    const std::string log = "log_path=" + RuntimeDir() + "/sanitizer";
    env["ASAN_OPTIONS"] = log + ":detect_leaks=1:abort_on_error=0";
    env["UBSAN_OPTIONS"] = log + ":print_stacktrace=1:halt_on_error=1";
    env["LSAN_OPTIONS"] =
        std::string("suppressions=") + OMENGLOBE_LSAN_SUPPRESSIONS + ":print_suppressions=0";
#endif
    return env;
  }

  std::unique_ptr<e2e::Process> Launch(
      std::map<std::string, std::optional<std::string>> overrides = {},
      std::vector<std::string> arguments = {}) {
    auto env = Environment();
    for (auto& [name, value] : overrides) env[name] = value;
    std::vector<std::string> argv = {OMENGLOBE_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return std::make_unique<e2e::Process>(e2e::Process::Options{.argv = argv, .env = env});
  }

  std::optional<e2e::WindowId> WaitForMainWindow(e2e::Deadline deadline = e2e::In(10s)) {
    return x_->WaitForWindow(kTitle, deadline);
  }

  // The window at 96 dpi once its picture is on the screen: mapped is not
  // enough, a window not yet painted shows the server's white, which would
  // pass for lit text or a button face. The ball's black answer box and the
  // light face of the shake button are both needed.
  std::optional<e2e::WindowId> WaitForDrawnWindow(e2e::Deadline deadline = e2e::In(10s)) {
    const auto window = WaitForMainWindow(deadline);
    if (!window) return window;
    const auto drawn = e2e::WaitFor([&] { return Drawn(Shot(*window)); }, deadline,
                                    "the window's picture on the screen");
    if (!drawn) {
      ADD_FAILURE() << drawn.message();
      return std::nullopt;
    }
    return window;
  }

  static bool Drawn(const e2e::Image& shot) {
    if (shot.Width() < kAnswerBox.x + kAnswerBox.width) return false;
    const auto face = Inset(kShakeButton, 3);
    return shot.Count(kAnswerBox, Dark) == kAnswerBox.width * kAnswerBox.height &&
           shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 0xC0; }) >
               face.width * face.height / 2;
  }

  // What the program wrote to stderr that it should not have: GLib's
  // criticals and warnings, and any sanitizer report.
  static std::string Complaints(const std::string& stderrText) {
    std::string found;
    std::size_t start = 0;
    while (start < stderrText.size()) {
      auto end = stderrText.find('\n', start);
      if (end == std::string::npos) end = stderrText.size();
      const std::string line = stderrText.substr(start, end - start);
      for (const char* mark : {"CRITICAL", "WARNING", "Sanitizer", "runtime error"}) {
        if (line.find(mark) != std::string::npos) {
          found += line + "\n";
          break;
        }
      }
      start = end + 1;
    }
    return found;
  }

  // Ends a session runner (dbus-run-session) by ending the child it runs,
  // which printed "pid N" first: once its child is gone, the runner takes
  // the session bus (and the accessibility bus with it) down; killed itself,
  // it would leave them running.
  static testing::AssertionResult EndSession(e2e::Process& runner, e2e::Deadline deadline) {
    if (!runner.Running()) return testing::AssertionSuccess();
    std::istringstream out(runner.Stdout());
    std::string word;
    pid_t pid = 0;
    if (out >> word >> pid && word == "pid" && pid > 0) kill(pid, SIGTERM);
    if (runner.WaitExit(deadline)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the session did not end with its child";
  }

  e2e::Rect Geometry(e2e::WindowId window) { return x_->Geometry(window).value_or(e2e::Rect{}); }

  // A point of the window in root coordinates.
  std::pair<int, int> At(e2e::WindowId window, int x, int y) {
    const auto g = Geometry(window);
    return {g.x + x, g.y + y};
  }

  void ClickAt(e2e::WindowId window, int x, int y, unsigned button = 1) {
    const auto [rx, ry] = At(window, x, y);
    x_->Click(rx, ry, button);
  }

  // The window as shown on screen, window-relative.
  e2e::Image Shot(e2e::WindowId window) { return x_->Capture(Geometry(window)); }

  void Save(const e2e::Image& image, const std::string& name) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    image.SavePng(e2e::ArtifactsDir() + "/omenglobe-" + info->test_suite_name() + "-" +
                  info->name() + "-" + name + ".png");
  }

  std::unique_ptr<e2e::XServer> server_;
  std::unique_ptr<e2e::XConnection> x_;

 private:
  std::string runtimeDir_;
};

}  // namespace omenglobe_e2e
