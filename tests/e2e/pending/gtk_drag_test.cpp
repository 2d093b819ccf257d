// Moving the borderless window by pressing on the ball and dragging, with
// and without a window manager to run the move.
#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

struct DragCase {
  const char* name;
  bool windowManager;
};
void PrintTo(const DragCase& c, std::ostream* out) { *out << c.name; }

class DragTest : public ProgramTest, public testing::WithParamInterface<DragCase> {
 protected:
  void SetUp() override { StartServer({.windowManager = GetParam().windowManager}); }

  // Drags from a window-relative point by (dx, dy).
  void DragBy(e2e::WindowId window, int x, int y, int dx, int dy, unsigned button = 1) {
    const auto [rx, ry] = At(window, x, y);
    x_->Drag(rx, ry, rx + dx, ry + dy, button);
  }

  // Drags the window from a window-relative point by (dx, dy), step by step
  // as the window follows.
  testing::AssertionResult DragWindowBy(e2e::WindowId window, int x, int y, int dx, int dy,
                                        unsigned button = 1) {
    const auto [rx, ry] = At(window, x, y);
    const auto start = Geometry(window);
    return x_->DragFollowed(
        rx, ry, rx + dx, ry + dy, button, 10,
        [&](int mx, int my) {
          const auto g = Geometry(window);
          return g.x == start.x + mx && g.y == start.y + my;
        },
        e2e::In(5s));
  }

  testing::AssertionResult SettlesAt(e2e::WindowId window, int x, int y) {
    return e2e::WaitFor(
        [&] {
          const auto g = Geometry(window);
          return g.x == x && g.y == y;
        },
        e2e::In(2s),
        "the window at " + std::to_string(x) + "," + std::to_string(y) + " (it is at " +
            e2e::Describe(Geometry(window)) + ")");
  }
};

TEST_P(DragTest, PressOnTheBallMovesTheWindowAndAShakeKeepsTheNewHeight) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto start = Geometry(*window);

  // An empty stretch of the picture, inside the ellipse.
  ASSERT_TRUE(DragWindowBy(*window, 188, 50, 120, 70));
  ASSERT_TRUE(SettlesAt(*window, start.x + 120, start.y + 70));

  // A shake puts the window back in the middle across, at the dragged height.
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  ASSERT_TRUE(SettlesAt(*window, 337, start.y + 70));
  EXPECT_TRUE(app->Running());
}

TEST_P(DragTest, AnyButtonOnTheStripBelowThePictureMovesTheWindow) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto start = Geometry(*window);

  // The form's own surface, below the help and exit buttons; right button.
  ASSERT_TRUE(DragWindowBy(*window, 188, 316, -90, -40, 3));
  EXPECT_TRUE(SettlesAt(*window, start.x - 90, start.y - 40));
}

TEST_P(DragTest, PressesOnTheAnswerBoxAndOutsideTheEllipseLeaveTheWindowAlone) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto start = Geometry(*window);

  DragBy(*window, CentreX(kAnswerBox), CentreY(kAnswerBox), 80, 80);
  DragBy(*window, 5, 5, 80, 80);  // a corner cut away by the shape
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Geometry(*window), start);
  EXPECT_TRUE(app->Running());
}

INSTANTIATE_TEST_SUITE_P(, DragTest,
                         testing::Values(DragCase{"WithoutWindowManager", false},
                                         DragCase{"UnderOpenbox", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace omenglobe_e2e
