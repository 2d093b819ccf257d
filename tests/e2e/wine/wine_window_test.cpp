// The window as it first appears under Wine, and the running-copy rule.
#include <thread>

#include "wine_program.h"

namespace omenglobe_wine {
namespace {

class WindowTest : public WineTest {
 protected:
  void SetUp() override { StartServer({.windowManager = true}); }
};

TEST_F(WindowTest, MapsCentredAsAnEllipseShowingTheBallAndItsControls) {
  const auto started = e2e::Clock::now();
  auto app = Launch();
  const auto window = WaitForMainWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << app->Stderr();
  RecordProperty("startup_ms", static_cast<int>(e2e::MillisecondsSince(started)));
  ASSERT_TRUE(e2e::WaitFor([&] { return Geometry(*window) == kCentred; }, e2e::In(10s),
                           "the window centred at " + e2e::Describe(kCentred) + " (it is at " +
                               e2e::Describe(Geometry(*window)) + ")"));

  // Wine hands the window region to the X Shape extension: the ellipse in
  // the box 25, 15, 350, 319 keeps the middle and cuts the corners away.
  EXPECT_TRUE(x_->ShapeContains(*window, 188, 160));
  for (auto [cx, cy] : {std::pair{1, 1}, {348, 1}, {1, 317}, {348, 317}, {20, 160}, {188, 10}}) {
    EXPECT_FALSE(x_->ShapeContains(*window, cx, cy)) << cx << "," << cy;
  }
  const e2e::Rect extents = x_->ShapeExtents(*window);
  EXPECT_NEAR(extents.x, 25, 1);
  EXPECT_NEAR(extents.y, 15, 1);
  EXPECT_NEAR(extents.x + extents.width, 350, 1);
  EXPECT_NEAR(extents.y + extents.height, 319, 1);

  // The program's icon reaches the window system (Wine publishes it as
  // _NET_WM_ICON: width, height, pixels, for each size it offers).
  const std::vector<long> icon = x_->CardinalProperty(*window, "_NET_WM_ICON");
  bool has32 = false;
  for (std::size_t at = 0; at + 2 <= icon.size(); at += 2 + icon[at] * icon[at + 1]) {
    has32 = has32 || (icon[at] == 32 && icon[at + 1] == 32);
  }
  EXPECT_TRUE(has32) << "no 32 x 32 icon among " << icon.size() << " values";

  // Look once the picture is there: a window not yet painted is all white.
  ASSERT_TRUE(WaitForDrawnWindow(e2e::In(10s)));
  const std::string shot = SaveScreenshot(*window, "wine_startup");
  auto count = [&](const e2e::Rect& area, bool (*test)(e2e::Rgb)) {
    return CaptureOf(*window, area).Count({0, 0, area.width, area.height}, [&](e2e::Rgb c) {
      return test(c);
    });
  };
  auto area = [](const e2e::Rect& r) { return r.width * r.height; };
  auto light = [](e2e::Rgb c) { return c.Max() >= 150; };

  // The empty answer box is black; so is the ball around it.
  const e2e::Rect box = Inset(kAnswerBox, 3);
  EXPECT_EQ(count(box, Dark), area(box)) << shot;
  const e2e::Rect ball{60, 120, 30, 60};
  EXPECT_EQ(count(ball, Dark), area(ball)) << shot;
  // The white emblem between the answer box and the shake button.
  EXPECT_GT(count({158, 175, 62, 60}, light), 200) << shot;
  // Buttons are drawn on a light face.
  for (const e2e::Rect& button : {kShakeButton, kHelpButton, kExitButton}) {
    const e2e::Rect face = Inset(button, 2);
    EXPECT_GT(count(face, light), area(face) / 2) << e2e::Describe(button) << " " << shot;
  }
  // The shake button's caption is on its face: dark text on the light face.
  EXPECT_GT(count(Inset(kShakeButton, 3), Dark), 40) << shot;
  // The form's own strip below the picture (inside the ellipse there), in
  // the menu-text colour: black.
  EXPECT_EQ(count({170, 314, 36, 3}, Dark), 36 * 3) << shot;
  EXPECT_TRUE(app->Running()) << app->Stderr();
}

TEST_F(WindowTest, ASecondCopyEndsWithoutAWindowAndTheFirstRunsOn) {
  auto first = Launch();
  const auto window = WaitForMainWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << first->Stderr();

  auto second = Launch();
  const auto status = second->WaitExit(e2e::In(kStartUp));
  ASSERT_TRUE(status) << "the second copy is still running";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*status);
  EXPECT_EQ(x_->FindWindows(kTitle, false).size(), 1u);
  EXPECT_TRUE(first->Running());
  EXPECT_EQ(Geometry(*window), kCentred);
}

}  // namespace
}  // namespace omenglobe_wine
