// The program under test, whichever platform it was built for: the Linux
// program, or the Windows program under Wine, each on a private X server
// with or without a window manager. A scenario is written once, as a test
// parameterised over the targets that can run it; what a target cannot do
// is said once, in Lacks().
//
//   class ShakeTest : public ProgramTest {};
//   TEST_P(ShakeTest, Sweeps) {
//     StartServer();
//     auto app = Launch();
//     const auto window = WaitForDrawnWindow();
//     ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
//     ...
//   }
//   ON_TARGETS(ShakeTest, Targets());
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ball_layout.h"
#include "harness.h"

namespace omenglobe_e2e {

using namespace std::chrono_literals;
using namespace ball;
using Env = std::map<std::string, std::optional<std::string>>;

enum class Platform { Linux, Wine };

struct Target {
  Platform platform = Platform::Linux;
  bool windowManager = false;  // openbox manages the screen
  std::string Name() const;
  bool operator==(const Target&) const = default;
};
void PrintTo(const Target& target, std::ostream* out);

inline constexpr Target kLinux{Platform::Linux, false};
inline constexpr Target kLinuxUnderOpenbox{Platform::Linux, true};
// Timing runs under a window manager: without one, Wine waits about two
// seconds for a manager to confirm a withdrawn window before it destroys it.
inline constexpr Target kWine{Platform::Wine, true};
inline constexpr Target kWineWithoutWindowManager{Platform::Wine, false};

// What some scenarios need that not every target has.
enum class Feature {
  CommandLine,              // options, and their answers on stdout
  DeviceScale,              // a desktop scale factor (GDK_SCALE) beside the resolution
  LiveResolution,           // the desktop's resolution changed while the program runs
  ThemeIcons,               // the window's icons are the installed theme's, pixel for pixel
  SignalsAndXErrors,        // SIGTERM, a lost X server: the program's own process sees them
  FadedAnswerLeavesTheBox,  // a reader finds the answer box empty once the answer has faded
  InputShape,               // presses outside the ellipse are cut away by an X input shape too
  OutsideDestroy,           // the program learns that another client destroyed its window
  ShrinkingScreen,          // the window is moved back onto a screen that shrinks under it
};

// Why `target` cannot run a scenario that needs `feature`, or nothing.
std::optional<std::string> Lacks(const Target& target, Feature feature);

// The targets of this build (the sanitizer build has only the Linux
// program) that have every feature in `needs`. `everyDesktop` adds each
// platform's other desktop: with a window manager for Linux, without one
// for Wine.
std::vector<Target> Targets(std::initializer_list<Feature> needs = {}, bool everyDesktop = false);
inline std::vector<Target> OnEveryDesktop(std::initializer_list<Feature> needs = {}) {
  return Targets(needs, true);
}

std::string TargetName(const testing::TestParamInfo<Target>& info);

#define ON_TARGETS(suite, targets)                      \
  GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(suite); \
  INSTANTIATE_TEST_SUITE_P(On, suite, testing::ValuesIn(targets), ::omenglobe_e2e::TargetName)

// A dark answer box pixel, lit text near the top of the grey ramp
// (0xE0E0E0, give or take font smoothing).
inline bool Lit(e2e::Rgb c) { return c.r >= 0xC0 && c.g >= 0xC0 && c.b >= 0xC0; }

// Under Wine the answer box has the focus once the shake button locks, and
// its caret, a line one pixel wide and a text line high, blinks in it.
inline constexpr int kCaretPixels = 14;
// No text in the answer box of `shot` (a whole window at 96 dpi), not even
// the fade's darkest greys; a caret may blink there.
inline bool AnswerBoxBlack(const e2e::Image& shot) {
  return shot.Count(kAnswerBox, [](e2e::Rgb c) { return !Dark(c); }) <= kCaretPixels;
}

// Ends a session runner (dbus-run-session) by ending the child it runs,
// which printed "pid N" first.
testing::AssertionResult EndSession(e2e::Process& runner, e2e::Deadline deadline);

class ProgramFixture : public testing::Test {
 protected:
  explicit ProgramFixture(Target target) : target_(target) {}
  // Skips, with the reason, a target that cannot run on this machine.
  void SetUp() override;
  void TearDown() override;

  const Target& GetTarget() const { return target_; }
  bool OnWine() const { return target_.platform == Platform::Wine; }
  // Whether the target has `feature`, for a check within a scenario that
  // every target runs.
  bool Has(Feature feature) const { return !Lacks(target_, feature); }

  // A fresh X server, managed as the target says. A resolution in
  // `options.dpi` is the desktop's: Xft.dpi for the Linux program, the
  // display settings (LogPixels) of the Wine prefix for the Windows one.
  void StartServer(e2e::XServer::Options options = {});

  // The environment of a person's session on the test's server.
  Env Environment();
  // The environment of a desktop that runs a screen reader: GTK's
  // accessibility bridge on, and no session bus but the one a session
  // runner (dbus-run-session) in it starts.
  Env AccessibleEnvironment();
  // Starts the program with `overrides` to that environment (and, on
  // Linux, `arguments`).
  std::unique_ptr<e2e::Process> Launch(const Env& overrides = {},
                                       const std::vector<std::string>& arguments = {});

  // How long a start may take: under an emulated Wine it is many seconds.
  e2e::Clock::duration StartUp() const;
  // How long a click's or a key's effect (a sweep, a message box, the
  // parting message) may take to show when it is not what is measured: on
  // a machine whose cores are all busy Wine takes the press at once, but
  // the program's answer can come more than five seconds later.
  e2e::Clock::duration Effect() const;
  // Where a program that the exit timer ends is seen gone by: two seconds
  // after the click, plus what the platform's exit takes on a busy machine.
  e2e::Clock::duration ExitAfter() const;
  // How long an end the program does at once (a close, its window gone)
  // takes to be seen: under Wine the process's end goes through its server.
  e2e::Clock::duration EndsWithin() const;
  // Starts the platform's session ahead of a program, so that a timed start
  // measures the program and not the session's own start: Wine's server,
  // kept running between programs. Linux has none to start.
  void StartSession();
  // Ends the session earlier programs ran in, as a logout would: Wine's
  // server, which keeps the display its session started with.
  void NewSession();
  // The pixels an elliptic window region leaves out at the right and at the
  // bottom of its box: Windows' regions stop short of the box's last pixel.
  int EllipseShortfall() const { return OnWine() ? 1 : 0; }

  std::optional<e2e::WindowId> WaitForMainWindow();
  std::optional<e2e::WindowId> WaitForMainWindow(e2e::Deadline deadline);
  // The window at rest, centred at the server's resolution, with its
  // picture on the screen: the black answer box and every button's light
  // face. Mapped is not enough: a window not yet painted shows the server's
  // white, which would pass for lit text or a button face.
  std::optional<e2e::WindowId> WaitForDrawnWindow();
  std::optional<e2e::WindowId> WaitForDrawnWindow(e2e::Deadline deadline);
  // Whether `shot` (of the whole window) shows the picture, at `dpi`.
  static bool Drawn(const e2e::Image& shot, int dpi = 96);

  int Dpi() const { return dpi_; }
  // The window's rectangle where it starts: centred on the screen.
  e2e::Rect Centred() const;

  e2e::Rect Geometry(e2e::WindowId window) const;
  // A point of the window in root coordinates.
  std::pair<int, int> At(e2e::WindowId window, int x, int y) const;
  // Clicks a window-relative point. Under a window manager, Wine drops a
  // click that comes while it is still taking the focus the manager hands
  // the window, so the click waits for that first, and fails the test
  // without clicking when the focus never comes.
  void ClickAt(e2e::WindowId window, int x, int y, unsigned button = 1);
  // Under a window manager, until the program has the focus it was given;
  // before the first press on a window under Wine, its place confirmed.
  testing::AssertionResult WaitForFocus(e2e::WindowId window);
  // The window, or a window-relative rectangle of it, as shown on the screen.
  e2e::Image Shot(e2e::WindowId window) const;
  e2e::Image CaptureOf(e2e::WindowId window, const e2e::Rect& area) const;
  // Lit pixels of the answer box, at the server's resolution.
  int LitPixels(e2e::WindowId window) const;
  // Saves `image` under the artefacts directory, named after the test; the path.
  std::string Save(const e2e::Image& image, const std::string& name) const;

  // What the program wrote to stderr that it should not have: GLib's
  // criticals and warnings, and any sanitizer report.
  static std::string Complaints(const std::string& stderrText);
  const std::string& RuntimeDir();

  // Where the window was moved to, in root coordinates: under a window
  // manager the moves are the manager's synthetic events (the real ones
  // place the window in its frame).
  std::vector<e2e::ConfigureEvent> Moves(e2e::ConfigureRecorder& recorder) const;
  // A shake's sweep is over: the window made its nine moves (after the
  // first `after`) and the last put it back in the middle of the screen.
  bool SweepEnded(e2e::ConfigureRecorder& recorder, std::size_t after = 0) const;
  // How late a platform's timers may run on a busy machine: Wine's go
  // through its server, and under an emulator through that too.
  e2e::Clock::duration Slack() const { return OnWine() ? 2500ms : 0ms; }
  double SlackMs() const { return OnWine() ? 2500 : 0; }

  std::unique_ptr<e2e::XServer> server_;
  std::unique_ptr<e2e::XConnection> x_;

 private:
  void ExpectNoSanitizerReports();
  testing::AssertionResult SetWineResolution(std::optional<int> dpi);

  Target target_;
  int dpi_ = 96;
  bool wineResolutionSet_ = false;
  std::string runtimeDir_;
  std::set<e2e::WindowId> confirmed_;
};

// A scenario written once for every target it is instantiated on.
class ProgramTest : public ProgramFixture, public testing::WithParamInterface<Target> {
 protected:
  ProgramTest() : ProgramFixture(GetParam()) {}
};

// Tests of one platform's own ways.
class LinuxProgramTest : public ProgramFixture {
 protected:
  LinuxProgramTest() : ProgramFixture(kLinux) {}
};
class WineProgramTest : public ProgramFixture {
 protected:
  WineProgramTest() : ProgramFixture(kWine) {}
};

}  // namespace omenglobe_e2e
