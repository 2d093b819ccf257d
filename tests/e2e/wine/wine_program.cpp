#include "wine_program.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "pe_image.h"

namespace omenglobe_wine {

namespace {

std::optional<std::string> FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// Wine's own 64-bit server serves 32-bit programs too, and where 32-bit
// Linux programs only run emulated it is the one part that runs natively.
std::string WineServerCommand() {
  if (auto chosen = FromEnvironment("OMENGLOBE_WINESERVER")) return *chosen;
  if (std::filesystem::exists("/usr/lib/wine/wineserver64")) return "/usr/lib/wine/wineserver64";
  return "wineserver";
}

}  // namespace

const std::string& ExePath() {
  static const std::string path = OMENGLOBE_WIN32_EXE;
  return path;
}

const std::string& Exe64Path() {
  static const std::string path = OMENGLOBE_WINE64_EXE;
  return path;
}

namespace {

constexpr char kLoader32[] = "/usr/lib/wine/wine";
constexpr char kLoader64[] = "/usr/lib/wine/wine64";

}  // namespace

std::string LoaderProblem(const std::string& loader) {
  if (!std::filesystem::exists(loader)) return loader + " is not installed";
  try {
    e2e::Process probe({.argv = {loader, "--version"}});
    const auto status = probe.WaitExit(e2e::In(60s));
    if (status && status->exited && status->code == 0) return {};
    std::string said = probe.Stderr();
    while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
    return loader + " --version " +
           (status ? e2e::Describe(*status) : std::string("did not end within 60 s")) +
           (said.empty() ? "" : ": " + said);
  } catch (const std::exception& error) {
    // The process could not even start: "Exec format error", a missing
    // ELF interpreter.
    return error.what();
  }
}

// Wine's 32-bit loader, tried once: where the kernel cannot execute 32-bit
// code it fails with "Exec format error" before printing its version.
const std::optional<std::string>& ThirtyTwoBitProblem() {
  static const std::optional<std::string> problem = []() -> std::optional<std::string> {
    if (auto assumed = FromEnvironment("OMENGLOBE_ASSUME_NO_32BIT")) {
      return "OMENGLOBE_ASSUME_NO_32BIT is set";
    }
    std::string why = LoaderProblem(kLoader32);
    if (why.empty()) return std::nullopt;
    if (!std::filesystem::exists(kLoader32)) {
      if (auto missing = e2e::MissingOptionalPackages("wine32")) why += ": " + *missing;
    }
    return why;
  }();
  return problem;
}

namespace {

struct Choice {
  bool thirtyTwoBit = false;
  std::string exe;
  std::string line;
};

const Choice& TheChoice() {
  static const Choice choice = [] {
    Choice c;
    const std::string explicitExe = OMENGLOBE_RUN_EXE;
    const auto& problem = ThirtyTwoBitProblem();
    c.thirtyTwoBit = !problem;
    if (!explicitExe.empty()) {
      c.exe = explicitExe;
      c.line = "The Wine tests run " + c.exe + " (set by OMENGLOBE_WINE_RUN_EXE).";
    } else if (c.thirtyTwoBit) {
      c.exe = ExePath();
      c.line =
          "The Wine tests run the shipped " + c.exe + " under 32-bit Wine (" + kLoader32 + ").";
    } else {
      c.exe = Exe64Path();
      c.line = "32-bit code cannot run on this machine (" + *problem +
               "): the Wine tests run the 64-bit build " + c.exe + " under " + kLoader64 +
               " instead of the shipped 32-bit program.";
    }
    return c;
  }();
  return choice;
}

}  // namespace

bool ThirtyTwoBitCodeRuns() { return TheChoice().thirtyTwoBit; }
const std::string& RunChoice() { return TheChoice().line; }

const std::string& RunExePath() { return TheChoice().exe; }

const std::string& IconFilePath() {
  static const std::string path = OMENGLOBE_ICON_FILE;
  return path;
}

bool Is64Bit(const std::string& exe) {
  try {
    return !pe::Image::Load(exe).Is32Bit();
  } catch (const pe::FormatError&) {
    return false;
  }
}

bool ExeIs64Bit() {
  static const bool is64 = Is64Bit(RunExePath());
  return is64;
}

std::string WineCommandFor(const std::string& exe) {
  if (auto chosen = FromEnvironment("OMENGLOBE_WINE")) return *chosen;
  // Each kind of program straight to its own loader: Debian's `wine` would
  // insist on the 32-bit one first.
  const char* loader = Is64Bit(exe) ? kLoader64 : kLoader32;
  return std::filesystem::exists(loader) ? loader : "wine";
}

std::string WineCommand() {
  static const std::string command = WineCommandFor(RunExePath());
  return command;
}

namespace {
WinePrefix* bootedPrefix = nullptr;
}

WinePrefix& WinePrefix::Get() {
  static WinePrefix prefix;
  bootedPrefix = &prefix;
  return prefix;
}

WinePrefix* WinePrefix::IfStarted() { return bootedPrefix; }

WinePrefix::WinePrefix() {
  // CTest's fixture boots one prefix for every test process of the run;
  // started by hand, the process boots its own.
  if (auto shared = FromEnvironment("OMENGLOBE_WINEPREFIX")) {
    path_ = *shared;
    if (std::filesystem::exists(path_ + "/system.reg")) return;
  } else {
    std::string pattern = "/tmp/omenglobe-wine-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      problem_ = "cannot make a directory for the Wine prefix";
      return;
    }
    path_ = pattern;
    owned_ = true;
  }
  const auto started = e2e::Clock::now();
  e2e::Process boot({.argv = {WineCommand(), "wineboot", "--init"}, .env = Environment()});
  const auto status = boot.WaitExit(e2e::In(std::chrono::minutes(25)));
  // The server writes the registry when it ends, a few seconds after its last client.
  e2e::Process wait({.argv = {WineServerCommand(), "-w"}, .env = Environment()});
  wait.WaitExit(e2e::In(60s));
  bootMs_ = e2e::MillisecondsSince(started);
  if (!status) {
    problem_ = "wineboot did not finish: " + boot.Stderr();
  } else if (!(status->exited && status->code == 0)) {
    problem_ = "wineboot failed (" + e2e::Describe(*status) + "): " + boot.Stderr();
    *problem_ += "\n" + RunChoice();
  } else if (!std::filesystem::exists(path_ + "/system.reg")) {
    problem_ = "wineboot left no registry in " + path_ + ": " + boot.Stderr();
  }
  StopServer();
}

Env WinePrefix::Environment() const { return EnvironmentFor(path_); }

Env WinePrefix::EnvironmentFor(const std::string& path, bool is64Bit) {
  return {
      {"WINEPREFIX", path},
      {"WINEARCH", is64Bit ? "win64" : "win32"},
      {"WINEDEBUG", "-all"},
      // No prompts for the .NET and HTML engines.
      {"WINEDLLOVERRIDES", "mscoree,mshtml="},
      {"WINESERVER", WineServerCommand()},
      // Read only by an emulator that runs 32-bit Linux programs (qemu-user):
      // the whole 4 GB for the guest, so Wine finds its fixed addresses free.
      {"QEMU_RESERVED_VA", "0xffff0000"},
      {"DISPLAY", std::nullopt},
  };
}

void WinePrefix::StopServer() const {
  if (path_.empty()) return;
  e2e::Process kill({.argv = {WineServerCommand(), "-k"}, .env = Environment()});
  kill.WaitExit(e2e::In(30s));
  e2e::Process wait({.argv = {WineServerCommand(), "-w"}, .env = Environment()});
  wait.WaitExit(e2e::In(30s));
}

void WinePrefix::StartServer() const {
  if (path_.empty()) return;
  // Persistent for a minute; StopServer ends it at the end of the test.
  e2e::Process start({.argv = {WineServerCommand(), "-p60"}, .env = Environment()});
  start.WaitExit(e2e::In(30s));
}

void WinePrefix::Remove() {
  StopServer();
  if (owned_ && !path_.empty()) std::filesystem::remove_all(path_);
  path_.clear();
}

void WinePrefix::Discard(const std::string& path) {
  if (!std::filesystem::exists(path)) return;
  Env env = WinePrefix::EnvironmentFor(path);
  e2e::Process kill({.argv = {WineServerCommand(), "-k"}, .env = env});
  kill.WaitExit(e2e::In(30s));
  std::filesystem::remove_all(path);
}

void WineTest::StartServer(e2e::XServer::Options options) {
  server_ = std::make_unique<e2e::XServer>(options);
  x_ = std::make_unique<e2e::XConnection>(server_->DisplayName());
}

void WineTest::TearDown() {
  // Every Wine process of the prefix is tied to this test's display, which
  // goes now; the next test starts the prefix's processes afresh.
  started_.clear();
  WinePrefix::Get().StopServer();
  x_.reset();
  server_.reset();
}

std::unique_ptr<e2e::Process> WineTest::Launch() {
  auto& prefix = WinePrefix::Get();
  if (prefix.Problem()) throw std::runtime_error(*prefix.Problem());
  if (!std::filesystem::exists(RunExePath())) {
    throw std::runtime_error(RunExePath() + " is missing: build the Windows program first");
  }
  Env env = prefix.Environment();
  if (server_) env["DISPLAY"] = server_->DisplayName();
  return std::make_unique<e2e::Process>(
      e2e::Process::Options{.argv = {WineCommand(), RunExePath()}, .env = env});
}

std::optional<e2e::WindowId> WineTest::WaitForMainWindow(e2e::Deadline deadline) {
  return x_->WaitForWindow(kTitle, deadline);
}

std::optional<e2e::WindowId> WineTest::WaitForDrawnWindow(e2e::Deadline deadline) {
  const auto window = WaitForMainWindow(deadline);
  if (!window) return window;
  const e2e::Rect box = Inset(kAnswerBox, 3);
  // At rest where it starts, too: a click aimed from a place the window
  // manager is still moving it away from would miss. Every button painted:
  // on a busy machine the last of them comes a while after the first.
  const auto drawn = e2e::WaitFor(
      [&] {
        if (Geometry(*window) != kCentred) return false;
        const auto shot = CaptureOf(*window, {0, 0, kCentred.width, kCentred.height});
        const auto painted = [&](const e2e::Rect& button) {
          const e2e::Rect face = Inset(button, 2);
          return shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 150; }) >
                 face.width * face.height / 2;
        };
        return shot.Count(box, Dark) == box.width * box.height && painted(kShakeButton) &&
               painted(kHelpButton) && painted(kExitButton);
      },
      deadline, "the window's picture on the screen, centred");
  if (!drawn) {
    ADD_FAILURE() << drawn.message();
    return std::nullopt;
  }
  return window;
}

e2e::Rect WineTest::Geometry(e2e::WindowId window) const {
  return x_->Geometry(window).value_or(e2e::Rect{});
}

std::pair<int, int> WineTest::At(e2e::WindowId window, int x, int y) const {
  const auto g = Geometry(window);
  return {g.x + x, g.y + y};
}

void WineTest::WaitForFocus(e2e::WindowId window) const {
  // Under a window manager, Wine drops a click that comes while it is still
  // taking the focus the manager hands the window: it activates the window
  // between the press and the release, and the button loses the click with
  // its focus. The manager names the window active first; Wine moves the
  // keyboard focus to it once it has taken it.
  if (x_->WindowManagerRunning()) {
    (void)e2e::WaitFor(
        [&] { return x_->ActiveWindow() == window && x_->FocusedWindow() == window; }, e2e::In(5s),
        "the window to have the focus");
  }
}

void WineTest::ClickAt(e2e::WindowId window, int x, int y, unsigned button) const {
  WaitForFocus(window);
  const auto [rx, ry] = At(window, x, y);
  x_->Click(rx, ry, button);
}

e2e::Image WineTest::CaptureOf(e2e::WindowId window, const e2e::Rect& area) const {
  const auto g = Geometry(window);
  return x_->Capture({g.x + area.x, g.y + area.y, area.width, area.height});
}

std::string WineTest::SaveScreenshot(e2e::WindowId window, const std::string& name) const {
  const std::string path = e2e::ArtifactsDir() + "/" + name + ".png";
  x_->Capture(Geometry(window)).SavePng(path);
  return path;
}

}  // namespace omenglobe_wine
