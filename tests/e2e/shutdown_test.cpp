// Ends the program did not choose: its window destroyed by another program,
// a close from the window manager, SIGTERM, the X server gone. Each must end
// the process cleanly and leave the next start free to run.
#include <signal.h>

#include "program_test.h"

namespace omenglobe_e2e {
namespace {

constexpr e2e::ExitStatus kNormalEnd{.exited = true, .code = 0};

class ShutdownTest : public ProgramTest {
 protected:
  // The next copy starts and shows its window: nothing of the last one's
  // running-copy claim is left.
  void ExpectANewStartShowsTheWindow() {
    auto next = Launch();
    EXPECT_TRUE(WaitForDrawnWindow()) << next->Stderr();
  }
};

// A copy left without its window must not hold the running-copy claim: the
// Linux program ends as its window goes; under Wine, which tells the program
// nothing, the next start closes the windowless copy.
TEST_P(ShutdownTest, AfterTheWindowWasDestroyedFromOutsideANewStartShowsItsWindow) {
  StartServer();
  auto first = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << first->Stderr();

  x_->DestroyWindow(*window);
  ASSERT_FALSE(x_->Exists(*window));

  auto next = Launch();
  const auto shown = WaitForDrawnWindow();
  EXPECT_TRUE(shown) << "no window from the new start: " << next->Stderr();
  EXPECT_TRUE(next->Running()) << next->Stderr();
  // The windowless copy ended, as any unload ends. Under Wine the new start
  // asks it to close; but Wine's X11 driver may itself read a property of
  // the window that has gone before that, and then ends the process of
  // Xlib's BadWindow error. Either way the claim went with it.
  const auto status = first->WaitExit(e2e::In(10s));
  ASSERT_TRUE(status) << "the windowless copy still runs";
  const bool endedByWine = OnWine() && *status == e2e::ExitStatus{.exited = true, .code = 1} &&
                           first->Stderr().find("BadWindow") != std::string::npos;
  if (endedByWine) {
    std::cout << "Wine's X11 driver ended the windowless copy: " << first->Stderr() << "\n";
  } else {
    EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status) << "; it said: " << first->Stderr()
                                   << "; the new start said: " << next->Stderr();
    EXPECT_EQ(Complaints(first->Stderr()), "") << first->Stderr();
  }

  // And the new copy is the running copy now: the one after it ends quietly.
  auto third = Launch();
  const auto ended = third->WaitExit(e2e::In(StartUp()));
  ASSERT_TRUE(ended) << "the third start still runs";
  EXPECT_EQ(*ended, kNormalEnd) << e2e::Describe(*ended);
  EXPECT_EQ(x_->FindWindows(kTitle).size(), 1u);
}

ON_TARGETS(ShutdownTest, Targets());

// A program that learns of its window's end unloads at once, whatever it
// was doing: no warning, no process left on a dead window, no freed widget
// read by the fade's timers or the help box's handler.
class OutsideDestroyTest : public ShutdownTest {};

TEST_P(OutsideDestroyTest, AWindowDestroyedFromOutsideUnloadsIdleMidFadeAndWithTheHelpBoxOpen) {
  StartServer();
  for (const std::string state : {"idle", "mid fade", "help box open"}) {
    SCOPED_TRACE(state);
    auto app = Launch();
    const auto window = WaitForDrawnWindow();
    ASSERT_TRUE(window) << app->Stderr();
    if (state == "mid fade") {
      e2e::ConfigureRecorder moves(server_->DisplayName(), *window);
      ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
      // The sweep is over and the fade's first ticks are due.
      ASSERT_TRUE(e2e::WaitFor([&] { return SweepEnded(moves); }, e2e::In(3s),
                               "the sweep to end at the centre"));
    } else if (state == "help box open") {
      ClickAt(*window, CentreX(kHelpButton), CentreY(kHelpButton));
      ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(3s))) << app->Stderr();
    }

    const auto destroyed = e2e::Clock::now();
    x_->DestroyWindow(*window);
    const auto status = app->WaitExit(destroyed + EndsWithin());
    ASSERT_TRUE(status) << "still running after its window went";
    EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
    EXPECT_EQ(Complaints(app->Stderr()), "") << app->Stderr();
    EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle, false).empty(); },
                             e2e::In(1s), "the help box to go with the program"));
    ExpectANewStartShowsTheWindow();
  }
}

ON_TARGETS(OutsideDestroyTest, Targets({Feature::OutsideDestroy}));

// The targets that run under a window manager.
std::vector<Target> Managed() {
  std::vector<Target> managed;
  for (const auto& target : OnEveryDesktop()) {
    if (target.windowManager) managed.push_back(target);
  }
  return managed;
}

class WindowManagerCloseTest : public ShutdownTest {};

TEST_P(WindowManagerCloseTest, TheWindowManagersCloseIsAnUnloadThatEndsAtOnce) {
  StartServer();
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto asked = e2e::Clock::now();
  x_->AskWindowManagerToClose(*window);
  const auto status = app->WaitExit(asked + EndsWithin());
  ASSERT_TRUE(status) << "still running after the close";
  RecordProperty("close_ms", static_cast<int>(e2e::MillisecondsSince(asked)));
  EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
  EXPECT_EQ(Complaints(app->Stderr()), "") << app->Stderr();
  EXPECT_TRUE(x_->FindWindows(kTitle, false).empty());
}

ON_TARGETS(WindowManagerCloseTest, Managed());

class SignalShutdownTest : public ShutdownTest {};

TEST_P(SignalShutdownTest, SigtermDuringAFadeEndsTheProcessWithoutAReport) {
  StartServer();
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  ASSERT_TRUE(e2e::WaitFor([&] { return Shot(*window).Count(kAnswerBox, Lit) > 0; }, e2e::In(2s),
                           "the answer to light up"));
  app->Signal(SIGTERM);
  const auto status = app->WaitExit(e2e::In(1s));
  ASSERT_TRUE(status) << "SIGTERM did not end the program";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = false, .signal = SIGTERM}))
      << e2e::Describe(*status);
  EXPECT_EQ(Complaints(app->Stderr()), "") << app->Stderr();
  ExpectANewStartShowsTheWindow();
}

TEST_P(SignalShutdownTest, ALostXServerIsOneLineAndStatusOne) {
  StartServer();
  auto app = Launch();
  ASSERT_TRUE(WaitForMainWindow()) << app->Stderr();
  const std::string display = server_->DisplayName();
  x_.reset();  // the test's own connection would end the test with the server
  server_->Kill();
  const auto status = app->WaitExit(e2e::In(2s));
  ASSERT_TRUE(status) << "still running without its X server";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 1})) << e2e::Describe(*status);
  EXPECT_EQ(app->Stderr(), "omenglobe: lost the connection to the X display " + display + "\n");
}

ON_TARGETS(SignalShutdownTest, Targets({Feature::SignalsAndXErrors}));

}  // namespace
}  // namespace omenglobe_e2e
