// Moving the borderless window by pressing on the ball and dragging: the
// program hands the press to the system's move loop, the window manager's
// under openbox, the toolkit's or Wine's own without one.
#include "program_test.h"

namespace omenglobe_e2e {
namespace {

class DragTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    StartServer();
  }

  // How long a move may lag the pointer: under Wine, the window manager's
  // moves reach the program through Wine's server.
  e2e::Clock::duration Lag() const { return OnWine() ? 5s : 2s; }

  // Drags from a window-relative point by (dx, dy), whatever the window does.
  void DragBy(e2e::WindowId window, int x, int y, int dx, int dy, unsigned button = 1) {
    const auto [rx, ry] = At(window, x, y);
    x_->Drag(rx, ry, rx + dx, ry + dy, button, 15, std::chrono::milliseconds(150));
  }

  // Drags the window from a window-relative point by (dx, dy), step by step
  // as the window follows.
  testing::AssertionResult DragWindowBy(e2e::WindowId window, int x, int y, int dx, int dy,
                                        unsigned button = 1) {
    EXPECT_TRUE(WaitForFocus(window));
    const auto [rx, ry] = At(window, x, y);
    const auto start = Geometry(window);
    auto followed = x_->DragFollowed(
        rx, ry, rx + dx, ry + dy, button, 15,
        [&](int mx, int my) {
          const auto g = Geometry(window);
          return g.x == start.x + mx && g.y == start.y + my;
        },
        e2e::In(2 * Lag()));
    if (!followed) {
      return followed << ", the window at " << e2e::Describe(Geometry(window)) << " from "
                      << e2e::Describe(start) << ": " << Save(x_->CaptureScreen(), "no-drag");
    }
    return followed;
  }

  testing::AssertionResult SettlesAt(e2e::WindowId window, int x, int y) {
    return e2e::WaitFor(
        [&] {
          const auto g = Geometry(window);
          return g.x == x && g.y == y;
        },
        e2e::In(Lag()),
        "the window at " + std::to_string(x) + "," + std::to_string(y) + " (it is at " +
            e2e::Describe(Geometry(window)) + ")");
  }
};

TEST_P(DragTest, PressOnTheBallMovesTheWindowAShakeKeepsTheHeightAndAnyButtonOnTheStripMovesIt) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto start = Geometry(*window);

  // An empty stretch of the picture, inside the ellipse, above the answer box.
  ASSERT_TRUE(DragWindowBy(*window, 188, 50, 120, 70));
  ASSERT_TRUE(SettlesAt(*window, start.x + 120, start.y + 70));

  // A shake puts the window back in the middle across, at the dragged height.
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  ASSERT_TRUE(SettlesAt(*window, Centred().x, start.y + 70));

  // The form's own surface, below the help and exit buttons, with the right
  // button: every button moves the window.
  ASSERT_TRUE(DragWindowBy(*window, 188, 316, -90, -40, 3));
  EXPECT_TRUE(SettlesAt(*window, Centred().x - 90, start.y + 30));
  EXPECT_TRUE(app->Running());
}

TEST_P(DragTest, PressesOnTheAnswerBoxAndOutsideTheEllipseLeaveTheWindowAlone) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto start = Geometry(*window);

  ASSERT_TRUE(WaitForFocus(*window));
  DragBy(*window, 4, 4, 80, 80);  // a corner the shape cuts away
  // Under a window manager the press on the desktop took the focus away;
  // this press gives it back.
  DragBy(*window, CentreX(kAnswerBox), CentreY(kAnswerBox), 80, 80);
  // Had either press started a move, this drag would leave the window that
  // much further on.
  ASSERT_TRUE(DragWindowBy(*window, 188, 50, 50, 40));
  EXPECT_TRUE(SettlesAt(*window, start.x + 50, start.y + 40));
  EXPECT_TRUE(app->Running());
}

ON_TARGETS(DragTest, OnEveryDesktop());

}  // namespace
}  // namespace omenglobe_e2e
