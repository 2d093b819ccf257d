// A shake as the user sees it: the sweep reaches the X server move by
// move, the window settles centred, the answer fades in and out, and the
// button works again.
#include <set>

#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

class ShakeTest : public ProgramTest {};

// The bright pixels' box inside the answer box, window-relative.
std::optional<e2e::Rect> LitBox(const e2e::Image& shot) {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
  for (int y = kAnswerBox.y; y < kAnswerBox.y + kAnswerBox.height; ++y) {
    for (int x = kAnswerBox.x; x < kAnswerBox.x + kAnswerBox.width; ++x) {
      if (!Lit(shot.At(x, y))) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return std::nullopt;
  return e2e::Rect{left, top, right - left + 1, bottom - top + 1};
}

TEST_F(ShakeTest, SweepsFadesTheAnswerInAndOutAndGivesTheButtonBack) {
  StartServer();
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto before = Geometry(*window);
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);

  const auto click = e2e::Clock::now();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));

  // Every position of the sweep, each as its own move, then the centre.
  ASSERT_TRUE(e2e::WaitFor([&] { return SweepEnded(moves); }, e2e::In(3s),
                           "the window to come back to the centre"));
  std::set<int> xs;
  for (const auto& e : moves.Events()) {
    xs.insert(e.x);
    EXPECT_EQ(e.y, before.y) << "the sweep is horizontal";
  }
  EXPECT_EQ(xs, (std::set<int>{0, 27, 47, 67, 133, 200, 267, 333, 337}));
  EXPECT_EQ(Geometry(*window), before);

  // The answer fades in within half a second and is centred in the box.
  std::optional<e2e::Rect> lit;
  ASSERT_TRUE(e2e::WaitFor([&] { return (lit = LitBox(Shot(*window))).has_value(); }, click + 2s,
                           "the answer to light up"));
  const double litAfter = e2e::MillisecondsSince(click);
  EXPECT_LT(litAfter, 1500);
  std::this_thread::sleep_for(200ms);  // past the top of the ramp
  const auto shot = Shot(*window);
  Save(shot, "answer");
  lit = LitBox(shot);
  ASSERT_TRUE(lit);
  EXPECT_NEAR(lit->x + lit->width / 2.0, CentreX(kAnswerBox), 4) << e2e::Describe(*lit);
  EXPECT_GE(lit->height, 7) << "the text is too small to read";

  // Held about three seconds, then faded out: black again about four
  // seconds after the click.
  const auto black = [&] {
    return Shot(*window).Count(kAnswerBox, Dark) == kAnswerBox.width * kAnswerBox.height;
  };
  ASSERT_TRUE(e2e::WaitFor(black, click + 7s, "the answer to fade out"));
  const double darkAfter = e2e::MillisecondsSince(click);
  EXPECT_GT(darkAfter, 3300);
  EXPECT_LT(darkAfter, 5500);

  // The button is given back one tick after the text went black; the
  // pointer has stayed on it all along.
  std::this_thread::sleep_for(300ms);
  const auto sweepMoves = moves.Events().size();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  EXPECT_TRUE(e2e::WaitFor([&] { return moves.Events().size() >= sweepMoves + 9; }, e2e::In(3s),
                           "a second sweep"));
  EXPECT_TRUE(e2e::WaitFor([&] { return LitBox(Shot(*window)).has_value(); }, e2e::In(2s),
                           "the second answer to light up"));
  EXPECT_TRUE(app->Running());
}

TEST_F(ShakeTest, IgnoresTheButtonWhileAnAnswerIsShowing) {
  StartServer();
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);

  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  // The count is taken only once the recorder has the whole first sweep,
  // back at the centre; on a busy machine its events may still be on the way
  // when the answer is already lit.
  ASSERT_TRUE(e2e::WaitFor([&] { return SweepEnded(moves); }, e2e::In(3s),
                           "the first sweep to end at the centre"));
  ASSERT_TRUE(e2e::WaitFor([&] { return LitBox(Shot(*window)).has_value(); }, e2e::In(2s),
                           "the answer to light up"));
  const auto afterFirst = moves.Events().size();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  std::this_thread::sleep_for(300ms);
  // The window may still report where it rests; a sweep would leave the centre.
  const auto& events = moves.Events();
  for (std::size_t i = afterFirst; i < events.size(); ++i) {
    EXPECT_EQ(events[i].x, 337) << "a locked shake button swept the window";
  }
}

}  // namespace
}  // namespace omenglobe_e2e
