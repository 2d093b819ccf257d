#include "program_test.h"

#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#ifdef OMENGLOBE_WITH_WINE
#include "wine_program.h"
#endif

namespace omenglobe_e2e {

std::string Target::Name() const {
  const std::string platformName = platform == Platform::Linux ? "Linux" : "Wine";
  // Each platform's usual desktop goes by the platform's name alone.
  const bool usual = windowManager == (platform == Platform::Wine);
  if (usual) return platformName;
  return platformName + (windowManager ? "UnderOpenbox" : "WithoutWindowManager");
}

void PrintTo(const Target& target, std::ostream* out) { *out << target.Name(); }

std::string TargetName(const testing::TestParamInfo<Target>& info) { return info.param.Name(); }

std::optional<std::string> Lacks(const Target& target, Feature feature) {
  if (target.platform == Platform::Linux) return std::nullopt;
  switch (feature) {
    case Feature::CommandLine:
      return "the Windows program takes no options";
    case Feature::DeviceScale:
      return "Windows has one resolution per monitor, no separate scale factor";
    case Feature::LiveResolution:
      return "Wine reads the resolution once per process and sends no WM_DPICHANGED "
             "(WineProgramTest sends it itself)";
    case Feature::ThemeIcons:
      return "the Windows program's icons are its own resource, not a desktop theme";
    case Feature::FadedAnswerLeavesTheBox:
      return "the Windows answer box keeps the faded text, black on black";
    case Feature::SignalsAndXErrors:
      return "under Wine, signals and the X connection belong to Wine, not to the program";
    case Feature::InputShape:
      return "Wine gives the window region to X as the bounding shape only";
    case Feature::OutsideDestroy:
      return "Wine tells the program nothing when another client destroys its window "
             "(the next start closes the windowless copy)";
    case Feature::ShrinkingScreen:
      return "under Wine the window stays where it was when the X screen shrinks (xrandr --fb)";
  }
  return std::nullopt;
}

std::vector<Target> Targets(std::initializer_list<Feature> needs, bool everyDesktop) {
  std::vector<Target> all = {kLinux};
  if (everyDesktop) all.push_back(kLinuxUnderOpenbox);
#ifdef OMENGLOBE_WITH_WINE
  all.push_back(kWine);
  if (everyDesktop) all.push_back(kWineWithoutWindowManager);
#endif
  std::vector<Target> chosen;
  for (const auto& target : all) {
    bool fit = true;
    for (const Feature feature : needs) fit = fit && !Lacks(target, feature);
    if (fit) chosen.push_back(target);
  }
  return chosen;
}

void ProgramFixture::SetUp() {
#ifdef OMENGLOBE_WITH_WINE
  if (OnWine()) {
    // Which program runs: a fallback to the 64-bit build must not pass unnoticed.
    static const bool said = (std::printf("%s\n", omenglobe_wine::RunChoice().c_str()), true);
    (void)said;
    const auto& prefix = omenglobe_wine::WinePrefix::Get();
    if (prefix.Problem()) {
      GTEST_SKIP() << "no Wine prefix: " << *prefix.Problem();
    }
    if (!std::filesystem::exists(omenglobe_wine::RunExePath())) {
      FAIL() << omenglobe_wine::RunExePath() << " is missing: build the Windows program first";
    }
  }
#endif
}

void ProgramFixture::TearDown() {
#ifdef OMENGLOBE_WITH_WINE
  if (OnWine()) {
    if (wineResolutionSet_) {
      EXPECT_TRUE(SetWineResolution(std::nullopt));
    }
    // Every Wine process of the prefix is tied to this test's display,
    // which goes now; the next test starts the prefix's processes afresh.
    omenglobe_wine::WinePrefix::Get().StopServer();
  }
#endif
  x_.reset();  // before its server goes
  server_.reset();
  if (!runtimeDir_.empty()) {
    ExpectNoSanitizerReports();
    std::filesystem::remove_all(runtimeDir_);
  }
}

void ProgramFixture::StartServer(e2e::XServer::Options options) {
  x_.reset();
  server_.reset();
  options.windowManager = target_.windowManager;
  dpi_ = options.dpi.value_or(96);
  const std::optional<int> dpi = options.dpi;
  if (OnWine()) options.dpi.reset();  // Wine reads its own settings, not the server's
  server_ = std::make_unique<e2e::XServer>(options);
  x_ = std::make_unique<e2e::XConnection>(server_->DisplayName());
  if (OnWine() && dpi) {
    ASSERT_TRUE(SetWineResolution(dpi));
  }
}

// `wine reg` in the run's prefix, on the test's display (the Wine processes
// it starts serve the program too).
testing::AssertionResult ProgramFixture::SetWineResolution(std::optional<int> dpi) {
#ifdef OMENGLOBE_WITH_WINE
  constexpr char kDesktopKey[] = "HKCU\\Control Panel\\Desktop";
  std::vector<std::string> argv = {omenglobe_wine::WineCommand(), "reg"};
  if (dpi) {
    argv.insert(argv.end(), {"add", kDesktopKey, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                             std::to_string(*dpi), "/f"});
  } else {
    argv.insert(argv.end(), {"delete", kDesktopKey, "/v", "LogPixels", "/f"});
  }
  e2e::Process reg({.argv = argv, .env = Environment()});
  const auto status = reg.WaitExit(e2e::In(60s));
  if (!(status && status->exited && status->code == 0)) {
    return testing::AssertionFailure() << "wine reg " << argv[2] << " failed: " << reg.Stderr();
  }
  wineResolutionSet_ = dpi.has_value();
  return testing::AssertionSuccess();
#else
  (void)dpi;
  return testing::AssertionFailure() << "this build has no Wine";
#endif
}

const std::string& ProgramFixture::RuntimeDir() {
  if (runtimeDir_.empty()) {
    std::string pattern = "/tmp/omenglobe-e2e-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) runtimeDir_ = pattern;
  }
  return runtimeDir_;
}

Env ProgramFixture::Environment() {
  Env env;
#ifdef OMENGLOBE_WITH_WINE
  if (OnWine()) env = omenglobe_wine::WinePrefix::Get().Environment();
#endif
  if (server_ != nullptr) env["DISPLAY"] = server_->DisplayName();
  if (OnWine()) return env;
  // A person's Linux session: no accessibility bus to look for, the lock in
  // a directory of the test's own.
  env["NO_AT_BRIDGE"] = "1";
  env["XDG_RUNTIME_DIR"] = RuntimeDir();
  env["GDK_BACKEND"] = std::nullopt;
#ifdef OMENGLOBE_SANITIZED
  // The program's reports go to files that TearDown reads; GTK's own leaks
  // are named, one by one, in the suppression file.
  const std::string log = "log_path=" + RuntimeDir() + "/sanitizer";
  env["ASAN_OPTIONS"] = log + ":detect_leaks=1:abort_on_error=0";
  env["UBSAN_OPTIONS"] = log + ":print_stacktrace=1:halt_on_error=1";
  env["LSAN_OPTIONS"] =
      std::string("suppressions=") + OMENGLOBE_LSAN_SUPPRESSIONS + ":print_suppressions=0";
#endif
  return env;
}

Env ProgramFixture::AccessibleEnvironment() {
  auto env = Environment();
  env["NO_AT_BRIDGE"] = std::nullopt;
  env["DBUS_SESSION_BUS_ADDRESS"] = std::nullopt;
  env["AT_SPI_BUS_ADDRESS"] = std::nullopt;
  return env;
}

std::unique_ptr<e2e::Process> ProgramFixture::Launch(const Env& overrides,
                                                     const std::vector<std::string>& arguments) {
  auto env = Environment();
  for (const auto& [name, value] : overrides) env[name] = value;
  std::vector<std::string> argv;
#ifdef OMENGLOBE_WITH_WINE
  if (OnWine()) argv = {omenglobe_wine::WineCommand(), omenglobe_wine::RunExePath()};
#endif
#ifdef OMENGLOBE_BINARY
  if (!OnWine()) argv = {OMENGLOBE_BINARY};
#endif
  if (argv.empty()) throw std::runtime_error("this build has no program for " + target_.Name());
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return std::make_unique<e2e::Process>(e2e::Process::Options{.argv = argv, .env = env});
}

e2e::Clock::duration ProgramFixture::StartUp() const { return OnWine() ? 120s : 10s; }

e2e::Clock::duration ProgramFixture::Effect() const { return OnWine() ? 30s : 5s; }

e2e::Clock::duration ProgramFixture::ExitAfter() const { return OnWine() ? 5s : 3s; }

e2e::Clock::duration ProgramFixture::EndsWithin() const { return OnWine() ? 3s : 1s; }

void ProgramFixture::StartSession() {
#ifdef OMENGLOBE_WITH_WINE
  if (OnWine()) omenglobe_wine::WinePrefix::Get().StartServer();
#endif
}

void ProgramFixture::NewSession() {
#ifdef OMENGLOBE_WITH_WINE
  if (OnWine()) omenglobe_wine::WinePrefix::Get().StopServer();
#endif
}

std::optional<e2e::WindowId> ProgramFixture::WaitForMainWindow() {
  return WaitForMainWindow(e2e::In(StartUp()));
}

std::optional<e2e::WindowId> ProgramFixture::WaitForMainWindow(e2e::Deadline deadline) {
  return x_->WaitForWindow(kTitle, deadline);
}

e2e::Rect ProgramFixture::Centred() const {
  const int width = ScaledLength(350, dpi_), height = ScaledLength(319, dpi_);
  const auto screen = x_->ScreenRect();
  return {(screen.width - width) / 2, (screen.height - height) / 2, width, height};
}

bool ProgramFixture::Drawn(const e2e::Image& shot, int dpi) {
  const auto box = Inset(ScaledRect(kAnswerBox, dpi), 3);
  if (shot.Width() < box.x + box.width || shot.Height() < ScaledLength(319, dpi)) return false;
  const auto painted = [&](const e2e::Rect& button) {
    const e2e::Rect face = Inset(ScaledRect(button, dpi), 2);
    return shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 150; }) >
           face.width * face.height / 2;
  };
  // On a busy machine the last button is painted a while after the first.
  return shot.Count(box, Dark) == box.width * box.height && painted(kShakeButton) &&
         painted(kHelpButton) && painted(kExitButton);
}

std::optional<e2e::WindowId> ProgramFixture::WaitForDrawnWindow() {
  return WaitForDrawnWindow(e2e::In(StartUp()));
}

std::optional<e2e::WindowId> ProgramFixture::WaitForDrawnWindow(e2e::Deadline deadline) {
  const auto window = WaitForMainWindow(deadline);
  if (!window) {
    ADD_FAILURE() << "no window titled " << kTitle;
    return window;
  }
  // At rest where it starts, too: a click aimed from a place the window
  // manager is still moving it away from would miss. The half pixel of the
  // centring may go either way.
  const auto centred = Centred();
  const auto drawn = e2e::WaitFor(
      [&] {
        const auto g = Geometry(*window);
        if (g.x != centred.x || g.y - centred.y > 1 || g.y < centred.y ||
            g.width != centred.width || g.height != centred.height) {
          return false;
        }
        return Drawn(Shot(*window), dpi_);
      },
      deadline,
      "the window's picture on the screen, centred at " + e2e::Describe(centred) + " (it is at " +
          e2e::Describe(Geometry(*window)) + ")");
  if (!drawn) {
    ADD_FAILURE() << drawn.message() << ": " << Save(x_->CaptureScreen(), "not-drawn");
    return std::nullopt;
  }
  return window;
}

e2e::Rect ProgramFixture::Geometry(e2e::WindowId window) const {
  return x_->Geometry(window).value_or(e2e::Rect{});
}

std::pair<int, int> ProgramFixture::At(e2e::WindowId window, int x, int y) const {
  const auto g = Geometry(window);
  return {g.x + x, g.y + y};
}

testing::AssertionResult ProgramFixture::WaitForFocus(e2e::WindowId window) {
  if (!OnWine() || !x_->WindowManagerRunning()) return testing::AssertionSuccess();
  // Wine keeps its own record of where each window stands and takes a
  // press to whichever window that record puts under the pointer. When it
  // handles a ConfigureNotify sent before the window manager framed the
  // window only after the frame exists but is not yet placed, it asks the
  // server where the window stands and records the frame's corner (0,0);
  // openbox sends nothing that corrects it, so every press then misses the
  // window for as long as it stands still. The synthetic ConfigureNotify a
  // window manager owes a moved window, which Wine takes as it comes, sets
  // the record right; it is sent before the first press on each window.
  if (confirmed_.insert(window).second) x_->ConfirmPosition(window);
  // The manager names the window active first; Wine moves the keyboard
  // focus to it once it has taken it.
  return e2e::WaitFor([&] { return x_->ActiveWindow() == window && x_->FocusedWindow() == window; },
                      e2e::In(Effect()), "the window to have the focus");
}

void ProgramFixture::ClickAt(e2e::WindowId window, int x, int y, unsigned button) {
  if (const auto focused = WaitForFocus(window); !focused) {
    const auto active = x_->ActiveWindow();
    ADD_FAILURE() << focused.message() << " (window " << window << "; active "
                  << (active ? std::to_string(*active) : std::string("none")) << ", X focus "
                  << x_->FocusedWindow() << "): no click";
    return;
  }
  const auto [rx, ry] = At(window, x, y);
  x_->Click(rx, ry, button);
}

e2e::Image ProgramFixture::Shot(e2e::WindowId window) const {
  return x_->Capture(Geometry(window));
}

e2e::Image ProgramFixture::CaptureOf(e2e::WindowId window, const e2e::Rect& area) const {
  const auto g = Geometry(window);
  return x_->Capture({g.x + area.x, g.y + area.y, area.width, area.height});
}

std::vector<e2e::ConfigureEvent> ProgramFixture::Moves(e2e::ConfigureRecorder& recorder) const {
  std::vector<e2e::ConfigureEvent> moves;
  for (const auto& e : recorder.Events()) {
    if (e.synthetic || !target_.windowManager) moves.push_back(e);
  }
  return moves;
}

bool ProgramFixture::SweepEnded(e2e::ConfigureRecorder& recorder, std::size_t after) const {
  const auto moves = Moves(recorder);
  return moves.size() >= after + 9 && moves.back().x == Centred().x;
}

int ProgramFixture::LitPixels(e2e::WindowId window) const {
  const e2e::Rect box = Inset(ScaledRect(kAnswerBox, dpi_), 2);
  return CaptureOf(window, box).Count({0, 0, box.width, box.height}, Lit);
}

std::string ProgramFixture::Save(const e2e::Image& image, const std::string& name) const {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string test = std::string(info->test_suite_name()) + "-" + info->name();
  for (char& c : test) {
    if (c == '/') c = '-';
  }
  const std::string path = e2e::ArtifactsDir() + "/omenglobe-" + test + "-" + name + ".png";
  image.SavePng(path);
  return path;
}

void ProgramFixture::ExpectNoSanitizerReports() {
  // Every report of every copy the test started, in the sanitizer build;
  // copies the test killed at its end had no chance to report leaks.
  for (const auto& entry : std::filesystem::directory_iterator(runtimeDir_)) {
    if (entry.path().filename().string().rfind("sanitizer", 0) != 0) continue;
    std::ifstream in(entry.path());
    std::stringstream report;
    report << in.rdbuf();
    if (!report.str().empty()) ADD_FAILURE() << "sanitizer report:\n" << report.str();
  }
}

std::string ProgramFixture::Complaints(const std::string& stderrText) {
  std::string found;
  std::istringstream lines(stderrText);
  for (std::string line; std::getline(lines, line);) {
    for (const char* mark : {"CRITICAL", "WARNING", "Sanitizer", "runtime error"}) {
      if (line.find(mark) != std::string::npos) {
        found += line + "\n";
        break;
      }
    }
  }
  return found;
}

testing::AssertionResult EndSession(e2e::Process& runner, e2e::Deadline deadline) {
  // Once its child is gone, the runner takes the session bus (and the
  // accessibility bus with it) down; killed itself, it would leave them running.
  if (!runner.Running()) return testing::AssertionSuccess();
  std::istringstream out(runner.Stdout());
  std::string word;
  pid_t pid = 0;
  if (out >> word >> pid && word == "pid" && pid > 0) kill(pid, SIGTERM);
  if (runner.WaitExit(deadline)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "the session did not end with its child";
}

}  // namespace omenglobe_e2e
