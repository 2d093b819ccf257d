// Moving the borderless window by dragging the ball: the program hands the
// press to the system's move loop, which under Wine is the window manager's
// (_NET_WM_MOVERESIZE) or, without one, Wine's own.
#include <thread>

#include "wine_program.h"

namespace omenglobe_wine {
namespace {

struct DragCase {
  const char* name;
  bool windowManager;
};
void PrintTo(const DragCase& c, std::ostream* os) { *os << c.name; }

class DragTest : public WineTest, public testing::WithParamInterface<DragCase> {
 protected:
  void SetUp() override { StartServer({.windowManager = GetParam().windowManager}); }

  void DragBy(e2e::WindowId window, int x, int y, int dx, int dy, unsigned button = 1) {
    const auto [rx, ry] = At(window, x, y);
    WaitForFocus(window);
    x_->Drag(rx, ry, rx + dx, ry + dy, button, 15, std::chrono::milliseconds(150));
  }

  // Drags the window from a window-relative point by (dx, dy), step by step
  // as the window follows. Wine hands the press to the window manager's move
  // and then looks about ten times a second whether the button is still down;
  // a press that comes before it has seen the last drag's release lands in
  // that wait and starts no move. So a press the window does not follow at
  // all within a second is let go and made again, up to three times.
  testing::AssertionResult DragWindowBy(e2e::WindowId window, int x, int y, int dx, int dy) {
    const auto [rx, ry] = At(window, x, y);
    const auto start = Geometry(window);
    testing::AssertionResult result = testing::AssertionFailure();
    for (int press = 0; press < 3; ++press) {
      WaitForFocus(window);
      result = x_->DragFollowed(
          rx, ry, rx + dx, ry + dy, 1, 15,
          [&](int mx, int my) {
            const auto g = Geometry(window);
            return g.x == start.x + mx && g.y == start.y + my;
          },
          e2e::In(10s), press < 2 ? std::optional(e2e::Clock::duration(1s)) : std::nullopt);
      if (result || Geometry(window) != start) break;
    }
    return result;
  }

  testing::AssertionResult SettlesAt(e2e::WindowId window, int x, int y) {
    return e2e::WaitFor(
        [&] {
          const auto g = Geometry(window);
          return g.x == x && g.y == y;
        },
        e2e::In(5s),
        "the window at " + std::to_string(x) + "," + std::to_string(y) + " (it is at " +
            e2e::Describe(Geometry(window)) + ")");
  }
};

TEST_P(DragTest, DraggingTheBallMovesTheWindowByTheDragAndAShakeKeepsTheNewHeight) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << app->Stderr();
  ASSERT_TRUE(SettlesAt(*window, kCentred.x, kCentred.y));

  // An empty stretch of the ball above the answer box.
  ASSERT_TRUE(DragWindowBy(*window, 188, 50, 120, 70));
  ASSERT_TRUE(SettlesAt(*window, kCentred.x + 120, kCentred.y + 70));

  // The strip of the form's own surface below the buttons moves it too.
  ASSERT_TRUE(DragWindowBy(*window, 188, 316, -60, -30));
  ASSERT_TRUE(SettlesAt(*window, kCentred.x + 60, kCentred.y + 40));

  // A shake puts the window back in the middle across, at the dragged height.
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  EXPECT_TRUE(SettlesAt(*window, kCentred.x, kCentred.y + 40));
  EXPECT_TRUE(app->Running());
}

TEST_P(DragTest, PressesOnTheAnswerBoxAndOutsideTheEllipseLeaveTheWindowAlone) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << app->Stderr();
  ASSERT_TRUE(SettlesAt(*window, kCentred.x, kCentred.y));

  DragBy(*window, CentreX(kAnswerBox), CentreY(kAnswerBox), 80, 80);
  DragBy(*window, 4, 4, 80, 80);  // a corner the shape cuts away
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Geometry(*window), kCentred);
  EXPECT_TRUE(app->Running());
}

INSTANTIATE_TEST_SUITE_P(, DragTest,
                         testing::Values(DragCase{"UnderOpenbox", true},
                                         DragCase{"WithoutWindowManager", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace omenglobe_wine
