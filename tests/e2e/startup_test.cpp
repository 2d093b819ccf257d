// Starting the program: one copy per display and user, and a clear end
// when there is no display to show it on or the screen is beyond X's sizes.
#include <signal.h>

#include <algorithm>

#include "program_test.h"

namespace omenglobe_e2e {
namespace {

constexpr e2e::ExitStatus kNormalEnd{.exited = true, .code = 0};
constexpr e2e::ExitStatus kFailure{.exited = true, .code = 1};

class StartupTest : public ProgramTest {
 protected:
  // The reason the program gives when it has no display at all.
  std::string NoDisplayReason() const {
    return OnWine() ? "cannot create the window" : "DISPLAY is not set";
  }
  // How soon a start without a display ends, in a session that runs: under
  // Wine the program's failed window goes through Wine's server.
  e2e::Clock::duration NoDisplayEnd() const { return OnWine() ? 1500ms : 1s; }
};

// Wine without an X display refuses every window: a copy waiting in its
// message loop for ever, invisible, would hold the running-copy claim and
// end every later start as a "second copy".
TEST_P(StartupTest, WithoutADisplayEndsWithStatusOneAndItsReasonAndTheNextStartShowsTheWindow) {
  // Twice: the session's first program also waits for the platform's own
  // services to start, which on a busy machine takes seconds; the second
  // start, in a running session, must end at once.
  StartSession();
  for (const bool timed : {false, true}) {
    SCOPED_TRACE(timed ? "in a running session" : "the session's first program");
    const auto started = e2e::Clock::now();
    auto app = Launch({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
    const auto status = app->WaitExit(started + (timed ? NoDisplayEnd() : StartUp()));
    const double took = e2e::MillisecondsSince(started);
    ASSERT_TRUE(status) << "still running " << took << " ms after its start";
    EXPECT_EQ(*status, kFailure) << e2e::Describe(*status);
    const std::string err = app->Stderr();
    EXPECT_EQ(err.rfind("omenglobe: ", 0), 0u) << err;
    EXPECT_NE(err.find(NoDisplayReason()), std::string::npos) << err;
    if (timed) RecordProperty("no_display_ms", static_cast<int>(took));
  }

  // Nothing of the failed copy's claim is left. Wine's session keeps the
  // display it started with (none) until its server ends; the next start
  // with a display is a new session, as at a person's next login.
  NewSession();
  StartServer();
  auto app = Launch();
  EXPECT_TRUE(WaitForDrawnWindow()) << app->Stderr();
}

TEST_P(StartupTest, ASecondCopyOnTheSameDisplayEndsQuietlyAndTheFirstRunsOn) {
  StartServer();
  auto first = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << first->Stderr();

  auto second = Launch();
  const auto status = second->WaitExit(e2e::In(StartUp()));
  ASSERT_TRUE(status) << "the second copy is still running";
  EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
  EXPECT_EQ(second->Stderr(), "");
  EXPECT_EQ(x_->FindWindows(kTitle, false).size(), 1u);
  EXPECT_TRUE(first->Running());
  EXPECT_EQ(Geometry(*window), Centred());
}

// A copy that was killed leaves no claim behind.
TEST_P(StartupTest, StartsAfterTheRunningCopyWasKilled) {
  StartServer();
  auto first = Launch();
  ASSERT_TRUE(WaitForMainWindow()) << first->Stderr();
  first->Signal(SIGKILL);
  ASSERT_TRUE(first->WaitExit(e2e::In(2s)));
  ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); },
                           e2e::In(EndsWithin()), "the killed copy's window to go"));

  auto next = Launch();
  EXPECT_TRUE(WaitForDrawnWindow()) << next->Stderr();
}

ON_TARGETS(StartupTest, Targets());

// The Linux program's own ways to be started.
class LinuxStartupTest : public LinuxProgramTest {};

// The claim belongs to the display, not to the name it was reached by nor to
// the session's runtime directory.
TEST_F(LinuxStartupTest, ASecondCopyOnTheSameDisplayEndsQuietlyHoweverItWasStarted) {
  StartServer();
  const std::string number = server_->DisplayName().substr(1);
  for (const bool firstHasRuntimeDir : {true, false}) {
    SCOPED_TRACE(firstHasRuntimeDir ? "first with XDG_RUNTIME_DIR" : "first without");
    Env env;
    if (!firstHasRuntimeDir) env["XDG_RUNTIME_DIR"] = std::nullopt;
    auto first = Launch(env);
    ASSERT_TRUE(WaitForMainWindow()) << first->Stderr();

    for (const std::string& spelling :
         {":" + number, "unix:" + number, ":" + number + ".0", ":0" + number}) {
      for (const bool runtimeDir : {true, false}) {
        SCOPED_TRACE("DISPLAY=" + spelling + (runtimeDir ? "" : ", no XDG_RUNTIME_DIR"));
        Env second{{"DISPLAY", spelling}};
        if (!runtimeDir) second["XDG_RUNTIME_DIR"] = std::nullopt;
        auto copy = Launch(second);
        const auto status = copy->WaitExit(e2e::In(2s));
        ASSERT_TRUE(status) << "the second copy is still running";
        EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
        EXPECT_EQ(copy->Stderr(), "");
      }
    }
    EXPECT_EQ(x_->FindWindows(kTitle, false).size(), 1u);
    EXPECT_TRUE(first->Running());
    first.reset();  // killed by PID
    ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); }, e2e::In(2s),
                             "the first copy's window to go"));
  }
}

TEST_F(LinuxStartupTest, TwoDisplaysGiveTwoWindows) {
  StartServer();
  e2e::XServer other;
  e2e::XConnection otherX(other.DisplayName());
  auto here = Launch();
  auto there = Launch({{"DISPLAY", other.DisplayName()}});
  EXPECT_TRUE(WaitForMainWindow()) << here->Stderr();
  EXPECT_TRUE(otherX.WaitForWindow(kTitle, e2e::In(10s))) << there->Stderr();
}

// X carries sizes in 16 bits: at 10000 dpi the window would be 36458 pixels
// wide, which the server would cut down (the shape request fails with
// BadMatch), and from 30000 on building the region would take minutes.
TEST_F(LinuxStartupTest, AResolutionTooLargeForXEndsWithTheOverflowErrorBeforeAnyWindow) {
  for (const int dpi : {10000, 100000}) {
    SCOPED_TRACE(std::to_string(dpi) + " dpi");
    StartServer({.dpi = dpi});
    const auto started = e2e::Clock::now();
    auto app = Launch();
    // Well before the minutes the region would take.
    const auto status = app->WaitExit(started + StartUp());
    ASSERT_TRUE(status) << "still running after " << e2e::MillisecondsSince(started) << " ms";
    EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 2})) << e2e::Describe(*status);
    EXPECT_EQ(app->Stderr(), "omenglobe: unhandled run-time error 6: overflow\n");
    EXPECT_TRUE(x_->FindWindows(kTitle, false).empty());
  }
}

TEST_F(LinuxStartupTest, TwoCopiesStartedTogetherLeaveExactlyOneWindow) {
  StartServer();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto a = Launch();
    auto b = Launch();
    ASSERT_TRUE(e2e::WaitFor([&] { return !a->Running() || !b->Running(); }, e2e::In(StartUp()),
                             "one of the two copies to end"))
        << x_->FindWindows(kTitle, false).size() << " windows";
    auto& ended = a->Running() ? b : a;
    auto& running = a->Running() ? a : b;
    EXPECT_EQ(ended->WaitExit(e2e::In(0s)), kNormalEnd);
    // The ended copy is gone before the running one has painted its
    // window: any window of its own would have gone with its connection.
    ASSERT_TRUE(WaitForDrawnWindow()) << running->Stderr();
    EXPECT_EQ(x_->FindWindows(kTitle, false).size(), 1u);
    EXPECT_TRUE(running->Running());
    running.reset();
    ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); }, e2e::In(2s),
                             "the window to go"));
  }
}

TEST_F(LinuxStartupTest, WithoutADisplayEndsAtOnceWithOneLineNamingWhatWasTried) {
  const struct {
    const char* name;
    Env env;
    std::vector<std::string> arguments;
    const char* reason;
  } cases[] = {
      {"DISPLAY unset", {{"DISPLAY", std::nullopt}}, {}, "DISPLAY is not set"},
      {"no such display", {{"DISPLAY", ":99999"}}, {}, "DISPLAY=:99999"},
      {"--display", {{"DISPLAY", std::nullopt}}, {"--display", ":99998"}, "--display :99998"},
      {"empty GDK_BACKEND", {{"DISPLAY", ":99999"}, {"GDK_BACKEND", ""}}, {}, "GDK_BACKEND"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Env env = c.env;
    env["WAYLAND_DISPLAY"] = std::nullopt;
    const auto started = e2e::Clock::now();
    auto app = Launch(env, c.arguments);
    const auto status = app->WaitExit(started + 2s);
    ASSERT_TRUE(status) << "still running after two seconds";
    EXPECT_EQ(*status, kFailure) << e2e::Describe(*status);
    const std::string err = app->Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("omenglobe: ", 0), 0u) << err;
    EXPECT_NE(err.find(c.reason), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace omenglobe_e2e
