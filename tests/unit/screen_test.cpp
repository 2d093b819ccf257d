// The window on screens of every size and resolution: placed so that its
// buttons can be reached, moved back when the screen shrinks under it, and
// laid out again, shape included, when the resolution changes.
#include <string>

#include "platform/layout.h"
#include "platform/region.h"
#include "platform/runtime.h"
#include "sim_fixture.h"

namespace {

using platform::PixelRect;

// The window's rectangle on the screen, and each button's.
PixelRect WindowRect() {
  const auto& w = sim::TheWindow();
  return {w.x, w.y, w.width, w.height};
}
std::vector<PixelRect> ButtonsOnScreen() {
  std::vector<PixelRect> out;
  for (const platform::Control* c : TheForm().Controls()) {
    if (c->Design().kind != platform::ControlKind::CommandButton) continue;
    auto r = platform::WindowPixels(TheForm(), *c);
    out.push_back({r.x + sim::TheWindow().x, r.y + sim::TheWindow().y, r.width, r.height});
  }
  return out;
}
bool Inside(const PixelRect& inner, const PixelRect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}
std::string Describe(const PixelRect& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
         std::to_string(r.height);
}
// The part of `r` that lies on `area`, as an area in pixels.
long Overlap(const PixelRect& r, const PixelRect& area) {
  const long w = std::min(r.x + r.width, area.x + area.width) - std::max(r.x, area.x);
  const long h = std::min(r.y + r.height, area.y + area.height) - std::max(r.y, area.y);
  return w > 0 && h > 0 ? w * h : 0;
}

TEST(PlaceOnArea, StaysMovesInOrKeepsThePartThatMatters) {
  const PixelRect area{0, 0, 320, 240};
  const PixelRect keep{96, 248, 185, 65};
  // Inside: stays.
  EXPECT_EQ(Describe(platform::PlaceOnArea({10, 20, 100, 100}, area, keep)), "10,20 100x100");
  // Fits but hangs over an edge: the least move that brings it in.
  EXPECT_EQ(Describe(platform::PlaceOnArea({300, -30, 100, 100}, area, keep)), "220,0 100x100");
  // Larger: the whole area covered, the kept part whole on it.
  EXPECT_EQ(Describe(platform::PlaceOnArea({-15, -40, 350, 319}, area, keep)), "-15,-73 350x319");
  // A kept part larger than the area is centred on it.
  EXPECT_EQ(Describe(platform::PlaceOnArea({0, 0, 350, 319}, {0, 0, 100, 50}, keep)),
            "-138,-255 350x319");
  // An area that does not start at the corner (a panel at the top).
  EXPECT_EQ(Describe(platform::PlaceOnArea({0, 0, 350, 319}, {0, 30, 400, 270}, keep)),
            "0,-13 350x319");
}

struct ScreenCase {
  int width, height;
  float twipsPerPixel;
};

TEST(StartupOnASmallScreen, TheButtonsAreOnTheScreenAndAsMuchOfTheBallAsFits) {
  for (const auto& c : {ScreenCase{640, 480, 15}, ScreenCase{320, 240, 15},
                        ScreenCase{1024, 768, 5} /* 288 dpi */, ScreenCase{200, 150, 15}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " +
                 std::to_string(c.twipsPerPixel));
    sim::Settings settings;
    settings.screenWidthPixels = c.width;
    settings.screenHeightPixels = c.height;
    settings.twipsPerPixelX = settings.twipsPerPixelY = c.twipsPerPixel;
    ASSERT_FALSE(sim::Start<frmMain>(settings).has_value());
    const PixelRect screen{0, 0, c.width, c.height};
    const PixelRect window = WindowRect();
    const long fits = std::min(window.width, c.width) * long{std::min(window.height, c.height)};
    EXPECT_EQ(Overlap(window, screen), fits) << Describe(window);
    const auto buttons = ButtonsOnScreen();
    ASSERT_EQ(buttons.size(), 3u);
    for (const auto& button : buttons) EXPECT_TRUE(Inside(button, screen)) << Describe(button);
    if (window.width <= c.width && window.height <= c.height) {
      // It fits: centred, as always.
      EXPECT_EQ(window.x, (c.width - window.width) / 2);
    }
  }
}

TEST(StartupOnASmallScreen, APanelsWorkAreaIsWhatCounts) {
  sim::Settings settings;
  settings.screenWidthPixels = 400;
  settings.screenHeightPixels = 300;
  settings.workArea = PixelRect{0, 30, 400, 270};
  ASSERT_FALSE(sim::Start<frmMain>(settings).has_value());
  for (const auto& button : ButtonsOnScreen()) {
    EXPECT_TRUE(Inside(button, *settings.workArea)) << Describe(button);
  }
  EXPECT_EQ(Describe(WindowRect()), "25,-13 350x319");
}

TEST(StartupOnASmallScreen, TheShakeSweepsThroughItsUsualPositions) {
  const auto sweep = [](int width, int height) {
    sim::Settings settings;
    settings.screenWidthPixels = width;
    settings.screenHeightPixels = height;
    EXPECT_FALSE(sim::Start<frmMain>(settings).has_value());
    sim::ScriptRnd({0.5f});
    const std::size_t from = sim::Log().size();
    sim::Click(TheForm().cmdShake);
    auto lefts = LogFrom(from, [](const std::string& e) { return e.rfind("Left = ", 0) == 0; });
    lefts.pop_back();  // the centring, which follows the screen's width
    return lefts;
  };
  const auto usual = sweep(1024, 768);
  ASSERT_EQ(usual.size(), 39u);
  EXPECT_EQ(sweep(320, 240), usual);
}

class ScreenChangeTest : public SimProgram {};

TEST_F(ScreenChangeTest, AScreenThatShrinksUnderTheWindowBringsItBack) {
  ASSERT_EQ(Describe(WindowRect()), "337,224 350x319");
  sim::Settings smaller;
  smaller.screenWidthPixels = 800;
  smaller.screenHeightPixels = 600;
  const std::size_t from = sim::Log().size();
  sim::ChangeScreen(smaller);  // still wholly on it
  EXPECT_TRUE(SequenceIs(LogFrom(from), {"screen 800x600"}));

  smaller.screenWidthPixels = 640;
  smaller.screenHeightPixels = 480;
  sim::ChangeScreen(smaller);
  EXPECT_EQ(Describe(WindowRect()), "290,161 350x319");
  EXPECT_EQ(platform::ScaleX(form().Left), 290);
  EXPECT_EQ(platform::ScaleY(form().Top), 161);

  smaller.screenWidthPixels = 320;
  smaller.screenHeightPixels = 240;
  sim::ChangeScreen(smaller);
  for (const auto& button : ButtonsOnScreen()) {
    EXPECT_TRUE(Inside(button, {0, 0, 320, 240})) << Describe(button);
  }
}

TEST_F(ScreenChangeTest, ANewResolutionLaysTheFormOutAgainAndRecutsItsShape) {
  sim::Settings finer;
  finer.twipsPerPixelX = finer.twipsPerPixelY = 10;  // 144 dpi
  sim::ChangeScreen(finer);
  const auto& w = sim::TheWindow();
  EXPECT_EQ(w.width, 525);
  EXPECT_EQ(w.height, 478);
  ASSERT_TRUE(w.shape.has_value());
  // The ellipse the program would have made at this resolution, give or
  // take the pixels along its edge.
  const auto made = platform::Region::Ellipse(38, 22, 525, 478);
  int differing = 0, inside = 0;
  for (int y = 0; y < w.height; ++y) {
    for (int x = 0; x < w.width; ++x) {
      inside += made.Contains(x, y);
      differing += made.Contains(x, y) != w.shape->Contains(x, y);
    }
  }
  EXPECT_LT(differing, inside / 100) << differing << " of " << inside;
  // Presses reach the controls where they now stand: the picture drags.
  sim::ClearLog();
  const auto picture = platform::WindowPixels(form(), form().Picture1);
  sim::Press(picture.x + 282, 75);
  EXPECT_TRUE(SequenceIs(LogFrom(0, [](const std::string& e) { return e.rfind("press", 0) == 0; }),
                         {"press Picture1 at 306,75"}));
  // Back at 96 dpi it is the window of the start again.
  sim::ChangeScreen(sim::Settings{});
  EXPECT_EQ(w.width, 350);
  EXPECT_EQ(w.height, 319);
  EXPECT_EQ(w.shape->Contains(24, 167), false);
  EXPECT_EQ(w.shape->Contains(27, 167), true);
}

}  // namespace
