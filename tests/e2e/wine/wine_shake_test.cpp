// A shake under Wine: the window sweeps across the screen and comes back to
// the middle, and the answer fades in, holds and fades out.
#include <algorithm>

#include "wine_program.h"

namespace omenglobe_wine {
namespace {

class ShakeTest : public WineTest {
 protected:
  void SetUp() override { StartServer({.windowManager = true}); }

  int LitPixels(e2e::WindowId window) {
    const e2e::Rect box = Inset(kAnswerBox, 2);
    return CaptureOf(window, box).Count({0, 0, box.width, box.height}, Lit);
  }
};

TEST_F(ShakeTest, SweepsTheWindowEndsCentredAndTheAnswerComesAndGoes) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << app->Stderr();
  ASSERT_TRUE(e2e::WaitFor([&] { return Geometry(*window) == kCentred; }, e2e::In(10s),
                           "the window centred"));
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);

  const auto clicked = e2e::Clock::now();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));

  // The sweep reaches the screen's left edge (Left 1 and 5 twips: pixel 0).
  EXPECT_TRUE(e2e::WaitFor(
      [&] {
        const auto& events = moves.Events();
        return std::any_of(events.begin(), events.end(),
                           [](const e2e::ConfigureEvent& e) { return e.x <= 1; });
      },
      e2e::In(10s), "a ConfigureNotify at the screen's left edge"));
  EXPECT_TRUE(e2e::WaitFor([&] { return Geometry(*window) == kCentred; }, e2e::In(10s),
                           "the window back in the middle, at its own height (it is at " +
                               e2e::Describe(Geometry(*window)) + ")"));

  // The answer lights up within the fade-in (500 ms nominal) ...
  ASSERT_TRUE(e2e::WaitFor([&] { return LitPixels(*window) > 20; }, e2e::In(5s),
                           "answer text near 0xE0E0E0 in the answer box"));
  const double litAfter = e2e::MillisecondsSince(clicked);
  SaveScreenshot(*window, "wine_answer");
  // ... holds for three seconds and is gone again four seconds after the click.
  ASSERT_TRUE(e2e::WaitFor([&] { return LitPixels(*window) == 0; }, e2e::In(10s),
                           "the answer box black again"));
  const double darkAfter = e2e::MillisecondsSince(clicked);
  RecordProperty("lit_ms", static_cast<int>(litAfter));
  RecordProperty("dark_ms", static_cast<int>(darkAfter));
  EXPECT_GT(darkAfter, 3500) << "the answer did not hold";
  EXPECT_LT(darkAfter, 8000);
  EXPECT_TRUE(app->Running());
}

}  // namespace
}  // namespace omenglobe_wine
