// The help box and the way out.
#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

class HelpExitTest : public ProgramTest {
 protected:
  void SetUp() override { StartServer(); }
};

TEST_F(HelpExitTest, HelpOpensAModalBoxOfTheWindowThatReturnOrEscapeCloses) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();

  for (const char* key : {"Return", "Escape"}) {
    SCOPED_TRACE(key);
    ClickAt(*window, CentreX(kHelpButton), CentreY(kHelpButton));
    const auto box = x_->WaitForWindow(kHelpTitle, e2e::In(3s));
    ASSERT_TRUE(box) << app->Stderr();
    EXPECT_EQ(x_->TransientFor(*box), *window);
    // Painted in the theme's light grey, with the prompt's two sentences
    // in dark grey ink (neither the white screen nor the black ball).
    ASSERT_TRUE(e2e::WaitFor(
        [&] {
          const auto shot = Shot(*box);
          const e2e::Rect all{0, 0, shot.Width(), shot.Height()};
          const int face =
              shot.Count(all, [](e2e::Rgb c) { return c.Max() >= 0xE8 && c.Max() < 0xFF; });
          const int ink =
              shot.Count(all, [](e2e::Rgb c) { return c.Max() > 0x20 && c.Max() < 0x80; });
          return face > all.width * all.height / 2 && ink > 150;
        },
        e2e::In(2s), "the box's face and text"));
    EXPECT_GT(Geometry(*box).width, 300);
    Save(x_->CaptureScreen(), std::string("help-") + key);

    x_->Key(key);
    EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle).empty(); }, e2e::In(2s),
                             "the help box to close"));
  }
  // Esc on the ball presses its cancel button, the help button.
  x_->Key("Escape");
  const auto box = x_->WaitForWindow(kHelpTitle, e2e::In(3s));
  ASSERT_TRUE(box) << "Esc did not ask for help";
  x_->Key("Return");
  EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle).empty(); }, e2e::In(2s),
                           "the help box to close"));
  EXPECT_TRUE(app->Running());
  EXPECT_TRUE(x_->Viewable(*window));
}

TEST_F(HelpExitTest, ExitShowsThePartingMessageAndEndsAboutTwoSecondsLater) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();

  const auto click = e2e::Clock::now();
  ClickAt(*window, CentreX(kExitButton), CentreY(kExitButton));
  ASSERT_TRUE(e2e::WaitFor([&] { return Shot(*window).Count(kAnswerBox, Lit) > 20; }, click + 1s,
                           "the parting message"));
  Save(Shot(*window), "parting");

  const auto status = app->WaitExit(click + 5s);
  ASSERT_TRUE(status) << "still running 5 s after the exit click";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*status);
  const double after = std::chrono::duration<double, std::milli>(*app->Ended() - click).count();
  EXPECT_GE(after, 1900);
  EXPECT_LE(after, 3000);
  EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); }, e2e::In(1s),
                           "the window to go"));
}

TEST_F(HelpExitTest, ExitEndsTheProgramEvenWithTheHelpBoxOpen) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();

  const auto click = e2e::Clock::now();
  ClickAt(*window, CentreX(kExitButton), CentreY(kExitButton));
  ClickAt(*window, CentreX(kHelpButton), CentreY(kHelpButton));
  ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(2s)));

  const auto status = app->WaitExit(click + 5s);
  ASSERT_TRUE(status) << "the open help box kept the program alive";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*status);
  const double after = std::chrono::duration<double, std::milli>(*app->Ended() - click).count();
  EXPECT_GE(after, 1900);
  EXPECT_LE(after, 3000);
  EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle, false).empty(); }, e2e::In(1s),
                           "the help box to go"));
}

}  // namespace
}  // namespace omenglobe_e2e
