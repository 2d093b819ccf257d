// A shake as the user sees it: the sweep reaches the X server move by
// move, the window settles centred, the answer fades in and out, and the
// button works again.
#include <set>

#include "program_test.h"

namespace omenglobe_e2e {
namespace {

class ShakeTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    StartServer();
  }

  // Whether the shake button shows dark ink on its face: a locked
  // (disabled) button draws its caption grey.
  static bool ShakeButtonEnabled(const e2e::Image& shot) {
    return shot.Count(Inset(kShakeButton, 3), [](e2e::Rgb c) { return c.Max() < 0x60; }) > 40;
  }
};

// The bright pixels' box inside the answer box, window-relative, once
// there are more of them than a caret.
std::optional<e2e::Rect> LitBox(const e2e::Image& shot) {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1, count = 0;
  for (int y = kAnswerBox.y; y < kAnswerBox.y + kAnswerBox.height; ++y) {
    for (int x = kAnswerBox.x; x < kAnswerBox.x + kAnswerBox.width; ++x) {
      if (!Lit(shot.At(x, y))) continue;
      ++count;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (count <= kCaretPixels) return std::nullopt;
  return e2e::Rect{left, top, right - left + 1, bottom - top + 1};
}

// The text at the top of its ramp: 0xE0E0E0 at its brightest.
bool AtTopOfRamp(const e2e::Image& shot) {
  return shot.Count(kAnswerBox, [](e2e::Rgb c) { return c.r >= 0xD8 && c.g >= 0xD8; }) > 0;
}

TEST_P(ShakeTest, SweepsFadesTheAnswerInAndOutAndGivesTheButtonBack) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto before = Geometry(*window);
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);
  ASSERT_TRUE(ShakeButtonEnabled(Shot(*window)));

  const auto click = e2e::Clock::now();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));

  // Every position of the sweep, each as its own move, then the centre.
  ASSERT_TRUE(e2e::WaitFor([&] { return SweepEnded(moves); }, e2e::In(3s) + Slack(),
                           "the window to come back to the centre"));
  std::set<int> xs;
  for (const auto& e : Moves(moves)) {
    xs.insert(e.x);
    EXPECT_EQ(e.y, before.y) << "the sweep is horizontal";
  }
  EXPECT_EQ(xs, (std::set<int>{0, 27, 47, 67, 133, 200, 267, 333, 337}));
  EXPECT_EQ(Geometry(*window), before);

  // The answer fades in within half a second and is centred in the box.
  std::optional<e2e::Rect> lit;
  ASSERT_TRUE(e2e::WaitFor([&] { return (lit = LitBox(Shot(*window))).has_value(); },
                           click + 2s + Slack(), "the answer to light up"));
  const double litAfter = e2e::MillisecondsSince(click);
  EXPECT_LT(litAfter, 1500 + SlackMs());
  ASSERT_TRUE(e2e::WaitFor([&] { return AtTopOfRamp(Shot(*window)); }, e2e::In(2s),
                           "the answer at its brightest"));
  const auto shot = Shot(*window);
  Save(shot, "answer");
  lit = LitBox(shot);
  ASSERT_TRUE(lit);
  EXPECT_NEAR(lit->x + lit->width / 2.0, CentreX(kAnswerBox), 4) << e2e::Describe(*lit);
  EXPECT_GE(lit->height, 7) << "the text is too small to read";
  EXPECT_FALSE(ShakeButtonEnabled(shot)) << "the button is locked while the answer shows";

  // Held about three seconds, then faded out: black again about four
  // seconds after the click.
  const auto black = [&] { return AnswerBoxBlack(Shot(*window)); };
  ASSERT_TRUE(e2e::WaitFor(black, click + 7s + Slack(), "the answer to fade out"));
  const double darkAfter = e2e::MillisecondsSince(click);
  RecordProperty("lit_ms", static_cast<int>(litAfter));
  RecordProperty("dark_ms", static_cast<int>(darkAfter));
  EXPECT_GT(darkAfter, 3300);
  EXPECT_LT(darkAfter, 5500 + SlackMs());

  // The button is given back one tick after the text went black; the
  // pointer has stayed on it all along.
  ASSERT_TRUE(e2e::WaitFor([&] { return ShakeButtonEnabled(Shot(*window)); }, e2e::In(2s),
                           "the shake button given back"));
  const auto sweepMoves = Moves(moves).size();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  EXPECT_TRUE(e2e::WaitFor([&] { return SweepEnded(moves, sweepMoves); }, e2e::In(3s) + Slack(),
                           "a second sweep"));
  EXPECT_TRUE(e2e::WaitFor([&] { return LitBox(Shot(*window)).has_value(); }, e2e::In(2s) + Slack(),
                           "the second answer to light up"));
  EXPECT_TRUE(app->Running());
}

TEST_P(ShakeTest, IgnoresTheButtonWhileAnAnswerIsShowing) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);

  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  // The count is taken only once the recorder has the whole first sweep,
  // back at the centre; on a busy machine its events may still be on the way
  // when the answer is already lit.
  ASSERT_TRUE(e2e::WaitFor([&] { return SweepEnded(moves); }, e2e::In(3s) + Slack(),
                           "the first sweep to end at the centre"));
  ASSERT_TRUE(e2e::WaitFor([&] { return LitBox(Shot(*window)).has_value(); }, e2e::In(2s) + Slack(),
                           "the answer to light up"));
  const auto afterFirst = Moves(moves).size();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  // The click was handled long before the answer fades out and the button
  // comes back; a sweep it started would have left the centre by then.
  ASSERT_TRUE(e2e::WaitFor([&] { return ShakeButtonEnabled(Shot(*window)); }, e2e::In(7s) + Slack(),
                           "the shake button given back"));
  const auto events = Moves(moves);
  for (std::size_t i = afterFirst; i < events.size(); ++i) {
    EXPECT_EQ(events[i].x, Centred().x) << "a locked shake button swept the window";
  }
  EXPECT_EQ(LitBox(Shot(*window)), std::nullopt) << "no second answer";
}

ON_TARGETS(ShakeTest, Targets());

}  // namespace
}  // namespace omenglobe_e2e
