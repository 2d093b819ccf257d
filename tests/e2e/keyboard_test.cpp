// The ball with the keyboard: Tab walks the controls in the design's order,
// each showing that it has the focus, and Space or Enter presses the shake
// button.
#include <algorithm>
#include <map>
#include <string>

#include "program_test.h"

namespace omenglobe_e2e {
namespace {

class KeyboardTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    StartServer();
  }

  // How many pixels a control's focus mark changes at least: Wine's
  // controls draw a dotted rectangle, or the answer box's caret, which is
  // one pixel wide; GTK's a ring.
  int Mark() const { return OnWine() ? 5 : 20; }
  // How many pixels of a control the focus on another may change: none
  // under Wine. Once the keyboard is in use GTK's theme may shade a button
  // a few pixels differently; a control seen marked before may then
  // change by up to half as many pixels as its own mark changed.
  int Unmarked(int ownMark) const { return OnWine() ? 0 : std::max(20, ownMark / 2); }

  // How many pixels of `area` differ between two shots of the window.
  static int Changed(const e2e::Image& a, const e2e::Image& b, const e2e::Rect& area) {
    int changed = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
      for (int x = area.x; x < area.x + area.width; ++x) changed += !(a.At(x, y) == b.At(x, y));
    }
    return changed;
  }

  // Presses Tab and waits until `area` shows a focus mark against `unfocused`.
  testing::AssertionResult TabTo(e2e::WindowId window, const e2e::Image& unfocused,
                                 const e2e::Rect& area, e2e::Image* shot = nullptr) {
    x_->Key("Tab");
    e2e::Image seen;
    auto result = e2e::WaitFor(
        [&] {
          seen = Shot(window);
          return Changed(seen, unfocused, area) > Mark();
        },
        e2e::In(Effect()), "a visible focus at " + e2e::Describe(area));
    if (shot != nullptr) *shot = seen;
    if (!result) result << ": " << Save(seen, "no-focus");
    return result;
  }

  // The first Tab's stop (see TheFirstTabShowsTheFocusWhereTheDesignsOrderStarts).
  e2e::Rect FirstStop() const { return OnWine() ? kAnswerBox : kExitButton; }

  // The answer in the window back in the middle: a look at a sweeping
  // window catches whatever passes the answer box.
  bool AnswerShows(e2e::WindowId window) const {
    return Geometry(window) == Centred() && LitPixels(window) > 20;
  }

  // The window as it looks with the focus not yet shown, then the focus in
  // the answer box, where a click puts it: the picture, which Wine lets
  // hold the focus first, takes none from a click. Under Wine the answer
  // box shows its caret once it has the click; a Tab that came before
  // would start from the picture.
  std::optional<e2e::Image> FocusOnTheAnswerBox(e2e::WindowId window) {
    if (!WaitForFocus(window)) return std::nullopt;
    const auto unfocused = Shot(window);
    ClickAt(window, CentreX(kAnswerBox), CentreY(kAnswerBox));
    if (OnWine()) {
      const auto caret =
          e2e::WaitFor([&] { return Changed(Shot(window), unfocused, kAnswerBox) > Mark(); },
                       e2e::In(Effect()), "the caret in the answer box");
      if (!caret) {
        ADD_FAILURE() << caret.message() << ": " << Save(Shot(window), "no-caret");
        return std::nullopt;
      }
    }
    return unfocused;
  }
};

TEST_P(KeyboardTest, TabShowsTheFocusOnEachControlInTurnAndSpaceShakes) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto unfocused = FocusOnTheAnswerBox(*window);
  ASSERT_TRUE(unfocused);

  // The design's order from the answer box, round to it again; each stop
  // marks its own control and no other.
  const struct {
    const char* name;
    e2e::Rect rect;
  } order[] = {{"Exit", kExitButton},
               {"shake", kShakeButton},
               {"Help", kHelpButton},
               {"Answer", kAnswerBox}};
  std::map<std::string, int> markPixels;
  for (const auto& stop : order) {
    SCOPED_TRACE(stop.name);
    e2e::Image shot;
    ASSERT_TRUE(TabTo(*window, *unfocused, stop.rect, &shot));
    Save(shot, stop.name);
    markPixels[stop.name] = Changed(shot, *unfocused, stop.rect);
    for (const auto& other : order) {
      if (other.name == stop.name) continue;
      const auto seen = markPixels.find(other.name);
      const int limit = Unmarked(seen != markPixels.end() ? seen->second : 0);
      EXPECT_LE(Changed(shot, *unfocused, other.rect), limit) << other.name << " marked too";
    }
  }

  // Answer box -> Exit -> shake, then Space.
  ASSERT_TRUE(TabTo(*window, *unfocused, kExitButton));
  ASSERT_TRUE(TabTo(*window, *unfocused, kShakeButton));
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);
  x_->Key("space");
  EXPECT_TRUE(
      e2e::WaitFor([&] { return moves.Events().size() >= 9; }, e2e::In(Effect()), "a sweep"));
  EXPECT_TRUE(e2e::WaitFor([&] { return AnswerShows(*window); }, e2e::In(Effect()),
                           "the answer to light up"))
      << moves.Events().size() << " ConfigureNotify, the window at "
      << e2e::Describe(Geometry(*window)) << ": " << Save(Shot(*window), "space-no-answer");

  // Esc asks for help while the answer shows; Return closes the box again.
  x_->Key("Escape");
  ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(Effect()))) << "Esc showed no help";
  x_->Key("Return");
  EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle).empty(); }, e2e::In(Effect()),
                           "the help box to close"));
  EXPECT_TRUE(app->Running());
}

// Where the walk starts: the first control of the design's order that
// takes the focus holds it from the start, unseen, so the first Tab shows it
// on the next. Under GTK that is the answer box, so the first stop is Exit;
// Wine lets the picture hold it, so the first stop is the answer box.
TEST_P(KeyboardTest, TheFirstTabShowsTheFocusWhereTheDesignsOrderStarts) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  ASSERT_TRUE(WaitForFocus(*window));
  const auto unfocused = Shot(*window);
  const e2e::Rect first = FirstStop();
  e2e::Image shot;
  ASSERT_TRUE(TabTo(*window, unfocused, first, &shot));
  for (const auto& other : {kAnswerBox, kExitButton, kShakeButton, kHelpButton}) {
    if (other == first) continue;
    EXPECT_LE(Changed(shot, unfocused, other), Unmarked(0)) << e2e::Describe(other) << " marked";
  }
}

TEST_P(KeyboardTest, EnterOnTheShakeButtonShakes) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto unfocused = FocusOnTheAnswerBox(*window);
  ASSERT_TRUE(unfocused);
  ASSERT_TRUE(TabTo(*window, *unfocused, kExitButton));
  ASSERT_TRUE(TabTo(*window, *unfocused, kShakeButton));
  x_->Key("Return");
  EXPECT_TRUE(e2e::WaitFor([&] { return AnswerShows(*window); }, e2e::In(Effect()),
                           "an answer after Enter on the shake button"))
      << "the window at " << e2e::Describe(Geometry(*window)) << ", " << LitPixels(*window)
      << " lit pixels in the answer box: " << Save(Shot(*window), "enter-no-answer");
  EXPECT_TRUE(app->Running());
}

ON_TARGETS(KeyboardTest, Targets());

}  // namespace
}  // namespace omenglobe_e2e
