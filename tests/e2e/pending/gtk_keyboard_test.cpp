// The ball with the keyboard alone: the pointer never moves.
#include <algorithm>
#include <map>
#include <string>

#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

class GtkKeyboardTest : public ProgramTest {
 protected:
  void SetUp() override { StartServer(); }

  // How many pixels of `area` differ between two shots of the window.
  static int Changed(const e2e::Image& a, const e2e::Image& b, const e2e::Rect& area) {
    int changed = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
      for (int x = area.x; x < area.x + area.width; ++x) changed += !(a.At(x, y) == b.At(x, y));
    }
    return changed;
  }
};

TEST_F(GtkKeyboardTest, TabShowsTheFocusOnEachControlInTurnAndSpaceShakes) {
  auto app = Launch();
  // The answer box has the focus from the start, unseen until a key is used:
  // the whole picture, answer box black and all, is the unfocused look.
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto unfocused = Shot(*window);

  // The design's tab order, answer box last as the walk wraps round to it;
  // each stop marks its own control and no other.
  const struct {
    const char* name;
    e2e::Rect rect;
  } order[] = {{"Exit", kExitButton},
               {"shake", kShakeButton},
               {"Help", kHelpButton},
               {"Answer", kAnswerBox}};
  // A focus mark changes more than kMark pixels of its control. Once the
  // keyboard is in use the theme may also shade a button a few pixels
  // differently; a control seen marked before counts as marked again only
  // when half as many of its pixels change as its own mark changed.
  constexpr int kMark = 20;
  std::map<std::string, int> markPixels;
  for (const auto& stop : order) {
    SCOPED_TRACE(stop.name);
    x_->Key("Tab");
    e2e::Image shot;
    EXPECT_TRUE(e2e::WaitFor(
        [&] {
          shot = Shot(*window);
          return Changed(shot, unfocused, stop.rect) > kMark;
        },
        e2e::In(2s), std::string("a visible focus on ") + stop.name));
    Save(shot, stop.name);
    markPixels[stop.name] = Changed(shot, unfocused, stop.rect);
    for (const auto& other : order) {
      if (other.name == stop.name) continue;
      const auto seen = markPixels.find(other.name);
      const int limit = seen != markPixels.end() ? std::max(kMark, seen->second / 2) : kMark;
      EXPECT_LE(Changed(shot, unfocused, other.rect), limit) << other.name << " marked too";
    }
  }

  // Answer box -> Exit -> shake, then Space.
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);
  x_->Key("Tab");
  x_->Key("Tab");
  x_->Key("space");
  // Back in the middle before anything else: with no window manager the
  // keys go to the window under the pointer, and a sweeping window leaves it.
  EXPECT_TRUE(
      e2e::WaitFor([&] { return SweepEnded(moves); }, e2e::In(3s), "a sweep back to the middle"));
  EXPECT_TRUE(e2e::WaitFor([&] { return Shot(*window).Count(kAnswerBox, Lit) > 20; }, e2e::In(3s),
                           "the answer to light up"));

  // Esc asks for help while the answer shows; Return closes the box again.
  x_->Key("Escape");
  ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(3s))) << "Esc showed no help";
  x_->Key("Return");
  EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle).empty(); }, e2e::In(2s),
                           "the help box to close"));
  EXPECT_TRUE(app->Running());
}

}  // namespace
}  // namespace omenglobe_e2e
