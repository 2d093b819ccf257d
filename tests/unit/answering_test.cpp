// The shake, the draw and the fade cycle, as timelines on the virtual clock.
#include <cmath>
#include <map>

#include "answering/answers.h"
#include "answering/grey_ramp.h"
#include "platform/winapi.h"
#include "sim_fixture.h"

namespace {

std::vector<std::string> ShakeMoves() {
  std::vector<std::string> moves;
  const int pass[] = {1,    5,    400,  700,  1000, 2000, 3000, 4000,
                      5000, 4000, 3000, 2000, 1000, 700,  400};
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < (p < 2 ? 15 : 9); ++i) moves.push_back("Left = " + std::to_string(pass[i]));
  }
  return moves;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Shake : public SimProgram {};

TEST_F(Shake, OneWholeShakeAndFadeFollowsTheTimeline) {
  const auto start = sim::Log().size();
  sim::ScriptRnd({0.5f});
  sim::Click(form().cmdShake);
  sim::Advance(4000);
  const auto expected = Concat(
      Concat({"click cmdShake", "cmdShake.Enabled = False", "txtMain.Text = \"\""}, ShakeMoves()),
      {
          "Left = 5055",
          "Randomize",
          "Rnd",
          "txtMain.Text = \"HELL YEAH.\"",
          "txtMain.ForeColor = 0x000000",
          "tmrFontColor.Enabled = True",
          "@100 tmrFontColor",
          "txtMain.ForeColor = 0x404040",
          "@200 tmrFontColor",
          "txtMain.ForeColor = 0x808080",
          "@300 tmrFontColor",
          "txtMain.ForeColor = 0xC0C0C0",
          "@400 tmrFontColor",
          "txtMain.ForeColor = 0xE0E0E0",
          "@500 tmrFontColor",
          "tmrFontColor.Enabled = False",
          "tmrPause.Enabled = True",
          "@3500 tmrPause",
          "tmrDisplay.Enabled = True",
          "tmrPause.Enabled = False",
          "@3600 tmrDisplay",
          "txtMain.ForeColor = 0xC0C0C0",
          "@3700 tmrDisplay",
          "txtMain.ForeColor = 0x808080",
          "@3800 tmrDisplay",
          "txtMain.ForeColor = 0x404040",
          "@3900 tmrDisplay",
          "txtMain.ForeColor = 0x000000",
          "@4000 tmrDisplay",
          "tmrDisplay.Enabled = False",
          "cmdShake.Enabled = True",
      });
  EXPECT_TRUE(SequenceIs(LogFrom(start), expected));
  EXPECT_EQ(form().txtMain.Text.Get(), "HELL YEAH.") << "the answer stays, invisible";
  sim::Advance(10'000);
  EXPECT_EQ(sim::Log().size(), start + expected.size()) << "idle again: no more ticks";
}

TEST_F(Shake, TheDrawCoversTheWholeTableAtItsEnds) {
  const struct {
    float r;
    const char* answer;
  } cases[] = {
      {0.0f, "AS I SEE IT, YES."},
      {0.5f, "HELL YEAH."},
      {std::nextafter(1.0f, 0.0f), "A SNOWBALL IN HELL HAS A BETTER CHANCE."},
      {0.75f, "YOUR PARENTS PURCHASED YOU FROM GYPSIES, AND YOU ARE WORRIED ABOUT THAT?"},
  };
  for (const auto& c : cases) {
    PressShake(c.r);
    EXPECT_EQ(form().txtMain.Text.Get(), c.answer) << "r = " << c.r;
    EXPECT_EQ(form().txtMain.ForeColor, 0u);
    EXPECT_TRUE(form().tmrFontColor.Enabled);
    EXPECT_FALSE(form().cmdShake.Enabled);
    sim::Advance(4000);
    ASSERT_TRUE(form().cmdShake.Enabled);
  }
}

TEST_F(Shake, ReseedsBeforeEveryDrawAndIgnoresClicksWhileLocked) {
  const auto start = PressShake();
  sim::Click(form().cmdShake);  // locked: no second sweep
  sim::Advance(4000);
  PressShake();
  const auto log = LogFrom(0, [](const std::string& e) { return e == "Randomize" || e == "Rnd"; });
  EXPECT_TRUE(SequenceIs(log, {"Randomize", "Rnd", "Randomize", "Rnd"}));
  EXPECT_GT(start, 0u);
}

TEST_F(Shake, AnAlreadyCentredWindowIsStillSweptAndEndsWhereItWas) {
  EXPECT_EQ(sim::TheWindow().x, 337);
  const int movesBefore = sim::TheWindow().moves;
  PressShake();
  EXPECT_EQ(sim::TheWindow().moves - movesBefore, 40);
  EXPECT_EQ(sim::TheWindow().x, 337);
  EXPECT_EQ(sim::TheWindow().y, 224);
}

TEST(ShakeOnANarrowScreen, AWindowWiderThanTheScreenEndsWithANegativeLeft) {
  sim::Settings settings;
  settings.screenWidthPixels = 300;
  ASSERT_FALSE(sim::Start<frmMain>(settings).has_value());
  sim::ScriptRnd({0.1f});
  sim::Click(TheForm().cmdShake);
  EXPECT_EQ(TheForm().Left.Get(), -375.0f);  // (4500 - 5250) / 2
  EXPECT_EQ(sim::TheWindow().x, -25);
}

TEST(ShakeOnAnOddScreen, CentresOnAHalfTwip) {
  sim::Settings settings;
  settings.screenWidthPixels = 1023;
  settings.twipsPerPixelX = 15;
  ASSERT_FALSE(sim::Start<frmMain>(settings).has_value());
  sim::ScriptRnd({0.1f});
  sim::Click(TheForm().cmdShake);
  EXPECT_EQ(TheForm().Left.Get(), 5047.5f);  // (15345 - 5250) / 2
}

TEST_F(Shake, EveryAnswerComesUpAndTheCountsAreEven) {
  // Unscripted: the real generator, reseeded from the virtual clock each press.
  std::map<std::string, int> counts;
  const int presses = kAnswerCount * 100;
  for (int i = 0; i < presses; ++i) {
    sim::Click(form().cmdShake);
    counts[form().txtMain.Text.Get()]++;
    sim::Advance(4000 + (i % 7));
    sim::ClearLog();
  }
  ASSERT_EQ(counts.size(), static_cast<std::size_t>(kAnswerCount));
  for (const auto answer : AnswerTexts) EXPECT_GT(counts[std::string(answer)], 0) << answer;
  const double expected = static_cast<double>(presses) / kAnswerCount;
  double chiSquare = 0;
  for (const auto& [answer, n] : counts) chiSquare += (n - expected) * (n - expected) / expected;
  EXPECT_LT(chiSquare, 112.3) << "70 degrees of freedom, p = 0.001";
}

class Fade : public SimProgram {};

TEST_F(Fade, AColourOffTheRampFreezesTheCycleButTicksGoOn) {
  PressShake();
  sim::Advance(200);
  form().txtMain.ForeColor = 0x123456;
  const auto before = sim::Log().size();
  sim::Advance(1000);
  EXPECT_EQ(form().txtMain.ForeColor, 0x123456u);
  EXPECT_TRUE(form().tmrFontColor.Enabled);
  EXPECT_FALSE(form().cmdShake.Enabled);
  EXPECT_TRUE(SequenceIs(
      LogFrom(before),
      {"@300 tmrFontColor", "@400 tmrFontColor", "@500 tmrFontColor", "@600 tmrFontColor",
       "@700 tmrFontColor", "@800 tmrFontColor", "@900 tmrFontColor", "@1000 tmrFontColor",
       "@1100 tmrFontColor", "@1200 tmrFontColor"}));
}

TEST_F(Fade, AJumpToTheTopWhileFadingOutStartsTheDescentAgain) {
  PressShake();
  sim::Advance(3700);  // fading out, at 0x808080
  ASSERT_EQ(form().txtMain.ForeColor, 0x808080u);
  form().txtMain.ForeColor = GreyRamp[4];
  sim::Advance(400);
  EXPECT_EQ(form().txtMain.ForeColor, 0x000000u);
  EXPECT_FALSE(form().cmdShake.Enabled) << "the closing tick is still to come";
  sim::Advance(100);
  EXPECT_TRUE(form().cmdShake.Enabled);
}

TEST_F(Fade, AJumpToTheTopWhileFadingInHandsOverToTheHoldAtTheNextTick) {
  PressShake();
  sim::Advance(100);
  form().txtMain.ForeColor = GreyRamp[4];
  sim::Advance(100);
  EXPECT_TRUE(form().tmrPause.Enabled);
  EXPECT_FALSE(form().tmrFontColor.Enabled);
}

TEST_F(Fade, LateTicksStretchTheCycleWithoutChangingIt) {
  PressShake();
  // Deliver the ticks in uneven steps, as a loaded machine would.
  for (int step : {150, 250, 30, 400, 2900, 170, 90, 500}) sim::Advance(step);
  EXPECT_EQ(form().txtMain.ForeColor, 0u);
  EXPECT_TRUE(form().cmdShake.Enabled);
  const auto ticks = LogFrom(0, [](const std::string& e) { return e[0] == '@'; });
  EXPECT_EQ(ticks.size(), 11u);
}

class Drag : public SimProgram {};

TEST_F(Drag, APressOnTheBallHandsTheWindowToTheSystemsMoveLoop) {
  sim::SetDragDelta(30, -40);
  const auto before = sim::Log().size();
  sim::Press(175, 200);
  const auto hwnd = std::to_string(form().hWnd);
  // Screen position of the press: window at 337,224 plus 175,200.
  const auto pos = std::to_string((424 << 16) | 512);
  EXPECT_TRUE(SequenceIs(LogFrom(before), {"press Picture1 at 175,200", "ReleaseCapture()",
                                           "SendMessageA(" + hwnd + ", 161, 2, " + pos + ") = 0"}));
  EXPECT_EQ(sim::TheWindow().x, 367);
  EXPECT_EQ(sim::TheWindow().y, 184);
}

TEST(ScreenPosition, PacksAndUnpacksNegativeCoordinatesOfMonitorsLeftOrAboveThePrimary) {
  for (auto [x, y] : {std::pair{512, 424}, {-1, -1}, {-1920, 300}, {32767, -32768}}) {
    const platform::Long packed = platform::PackPoint(x, y);
    EXPECT_EQ(platform::PointX(packed), x);
    EXPECT_EQ(platform::PointY(packed), y);
  }
  EXPECT_EQ(platform::PackPoint(512, 424), (424 << 16) | 512);
}

TEST_F(Drag, AnyButtonOrModifierAndTheStripBelowThePictureMoveTheWholeWindow) {
  const struct {
    int x, y;
    platform::Integer button, shift;
    const char* target;
  } presses[] = {{175, 200, 2, 0, "Picture1"},
                 {175, 200, 4, 7, "Picture1"},
                 {187, 316, 1, 0, "frmMain"},
                 {60, 100, 1, 1, "Picture1"},
                 {340, 160, 2, 2, "Picture1"}};
  for (const auto& p : presses) {
    const auto before = sim::Log().size();
    sim::Press(p.x, p.y, p.button, p.shift);
    const auto log = LogFrom(before);
    ASSERT_EQ(log.size(), 3u) << p.target;
    EXPECT_EQ(log[0].substr(0, log[0].find(" at")), std::string("press ") + p.target);
    EXPECT_EQ(log[2].rfind("SendMessageA(" + std::to_string(form().hWnd) + ", 161, 2, ", 0), 0u);
  }
}

TEST_F(Drag, PressesOnTheControlsOrOutsideTheEllipseStartNoMove) {
  for (auto [x, y] :
       {std::pair{187, 264}, {176, 300}, {200, 300}, {187, 120}, {2, 2}, {348, 316}}) {
    const auto before = sim::Log().size();
    sim::Press(x, y);
    for (const auto& entry : LogFrom(before)) {
      EXPECT_EQ(entry.find("SendMessageA"), std::string::npos) << x << "," << y << ": " << entry;
    }
  }
}

TEST_F(Drag, ChangesNothingButThePositionAndALaterShakeKeepsTheNewHeight) {
  PressShake();
  sim::Advance(250);
  const auto colour = form().txtMain.ForeColor.Get();
  const auto text = form().txtMain.Text.Get();
  const auto region = form().hWindowRegion;
  sim::SetDragDelta(-100, 150);
  sim::Press(175, 200);
  EXPECT_EQ(form().txtMain.ForeColor, colour);
  EXPECT_EQ(form().txtMain.Text.Get(), text);
  EXPECT_EQ(form().hWindowRegion, region);
  EXPECT_TRUE(form().tmrFontColor.Enabled);
  EXPECT_FALSE(form().cmdShake.Enabled);
  EXPECT_EQ(sim::TheWindow().y, 374);
  sim::Advance(4000);
  PressShake();
  EXPECT_EQ(sim::TheWindow().x, 337);
  EXPECT_EQ(sim::TheWindow().y, 374);
}

}  // namespace
