// Ends the program did not choose: its window destroyed by another program,
// a close from the window manager, SIGTERM, the X server gone. Each must end
// the process at once and cleanly, and leave the next start free to run.
#include <signal.h>

#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

class ShutdownTest : public ProgramTest {
 protected:
  // The next copy starts and shows its window: nothing of the last one's
  // running-copy claim is left.
  void ExpectANewStartShowsTheWindow() {
    auto next = Launch();
    EXPECT_TRUE(WaitForMainWindow()) << next->Stderr();
  }
};

constexpr e2e::ExitStatus kNormalEnd{.exited = true, .code = 0};

// GDK used to warn, keep the process running on a dead window and read
// freed widgets from the fade's timers and from the help box's handler.
TEST_F(ShutdownTest, AWindowDestroyedFromOutsideUnloadsIdleMidFadeAndWithTheHelpBoxOpen) {
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
    const auto status = app->WaitExit(destroyed + 1s);
    ASSERT_TRUE(status) << "still running a second after its window went";
    EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
    EXPECT_EQ(Complaints(app->Stderr()), "") << app->Stderr();
    EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle, false).empty(); },
                             e2e::In(1s), "the help box to go with the program"));
    ExpectANewStartShowsTheWindow();
  }
}

TEST_F(ShutdownTest, TheWindowManagersCloseIsAnUnloadThatEndsAtOnce) {
  StartServer({.windowManager = true});
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto asked = e2e::Clock::now();
  x_->AskWindowManagerToClose(*window);
  const auto status = app->WaitExit(asked + 1s);
  ASSERT_TRUE(status) << "still running a second after the close";
  EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
  EXPECT_EQ(Complaints(app->Stderr()), "") << app->Stderr();
}

TEST_F(ShutdownTest, SigtermDuringAFadeEndsTheProcessWithoutAReport) {
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

TEST_F(ShutdownTest, ALostXServerIsOneLineAndStatusOne) {
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

}  // namespace
}  // namespace omenglobe_e2e
