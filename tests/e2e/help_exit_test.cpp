// The help box and the way out: a box kept above the window that Return or
// Esc closes, and a program that really ends, with status 0, about two
// seconds after "X".
#include "program_test.h"

namespace omenglobe_e2e {
namespace {

class HelpExitTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    StartServer();
  }

  // The box painted: the light grey face of a dialog (neither the server's
  // white nor the black ball behind it) over most of it, and the prompt's
  // two sentences in dark ink.
  testing::AssertionResult WaitForPaintedBox(e2e::WindowId box) {
    int face = 0, ink = 0;
    auto painted = e2e::WaitFor(
        [&] {
          const auto shot = Shot(box);
          const e2e::Rect all{0, 0, shot.Width(), shot.Height()};
          face = shot.Count(all, [](e2e::Rgb c) { return c.Max() >= 0xE8 && c.Max() < 0xFF; });
          ink = shot.Count(all, [](e2e::Rgb c) { return c.Max() < 0x80; });
          return face > all.width * all.height / 2 && ink > 150 && ink < all.width * all.height / 4;
        },
        e2e::In(Effect()), "the box's face and text");
    if (!painted) {
      return painted << " (" << face << " face and " << ink
                     << " ink pixels): " << Save(x_->CaptureScreen(), "help-not-painted");
    }
    return painted;
  }

  testing::AssertionResult WaitForBoxClosed(e2e::Deadline deadline) {
    return e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle, false).empty(); }, deadline,
                        "the help box to close");
  }

  double ExitAfterMs() const {
    return std::chrono::duration<double, std::milli>(ExitAfter()).count();
  }

  bool PartingMessageShows(e2e::WindowId window) const { return LitPixels(window) > 20; }

  // How long after `click` the program was seen to end, with status 0.
  std::optional<double> Ended(e2e::Process& app, e2e::Clock::time_point click) {
    const auto status = app.WaitExit(click + ExitAfter());
    if (!status) {
      ADD_FAILURE() << "still running " << std::chrono::duration<double>(ExitAfter()).count()
                    << " s after the exit click: " << Save(x_->CaptureScreen(), "no-exit");
      return std::nullopt;
    }
    EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*status);
    return std::chrono::duration<double, std::milli>(*app.Ended() - click).count();
  }
};

TEST_P(HelpExitTest, HelpOpensABoxOfTheWindowThatReturnOrEscapeCloses) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();

  for (const char* key : {"Return", "Escape"}) {
    SCOPED_TRACE(key);
    ClickAt(*window, CentreX(kHelpButton), CentreY(kHelpButton));
    const auto box = x_->WaitForWindow(kHelpTitle, e2e::In(Effect()));
    ASSERT_TRUE(box) << "no box titled " << kHelpTitle << "; the window "
                     << (x_->ActiveWindow() == *window ? "active" : "not active") << ", "
                     << (x_->FocusedWindow() == *window ? "with" : "without")
                     << " the X focus: " << Save(x_->CaptureScreen(), "no-help") << "\n"
                     << app->Stderr();
    // Transient for the window, so a window manager keeps it above it.
    const auto owner = x_->TransientFor(*box);
    ASSERT_TRUE(owner) << "a help box of no window";
    EXPECT_TRUE(*owner == *window || x_->Title(*owner) == kTitle)
        << "transient for window " << *owner << " titled '" << x_->Title(*owner) << "'";
    ASSERT_TRUE(WaitForPaintedBox(*box));
    EXPECT_GT(Geometry(*box).width, 300);
    Save(x_->CaptureScreen(), std::string("help-") + key);

    x_->Key(key);  // the box's own button has the focus
    ASSERT_TRUE(WaitForBoxClosed(e2e::In(2s) + Slack()));
  }
  EXPECT_TRUE(app->Running());
  EXPECT_TRUE(x_->Viewable(*window));
}

// Esc on the ball presses its cancel button, the help button, whichever
// control has the focus: even the answer box, which as a multi-line text
// would otherwise keep its keys to itself.
TEST_P(HelpExitTest, EscapeOnTheBallAsksForHelp) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();

  ClickAt(*window, CentreX(kAnswerBox), CentreY(kAnswerBox));
  x_->Key("Escape");
  const auto box = x_->WaitForWindow(kHelpTitle, e2e::In(Effect()));
  ASSERT_TRUE(box) << "Esc showed no help box";
  ASSERT_TRUE(WaitForPaintedBox(*box));
  x_->Key("Return");
  EXPECT_TRUE(WaitForBoxClosed(e2e::In(2s) + Slack()));
  EXPECT_TRUE(app->Running());
}

TEST_P(HelpExitTest, ExitShowsThePartingMessageAndEndsAboutTwoSecondsLater) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();

  const auto click = e2e::Clock::now();
  ClickAt(*window, CentreX(kExitButton), CentreY(kExitButton));
  ASSERT_TRUE(e2e::WaitFor([&] { return PartingMessageShows(*window) || !app->Running(); },
                           click + 1s + Slack(), "the parting message"))
      << "the window at " << e2e::Describe(Geometry(*window)) << ", "
      << (x_->ActiveWindow() == *window ? "active" : "not active") << ", "
      << (x_->FocusedWindow() == *window ? "with" : "without")
      << " the X focus: " << Save(x_->CaptureScreen(), "no-parting");
  Save(Shot(*window), "parting");

  const auto after = Ended(*app, click);
  ASSERT_TRUE(after);
  RecordProperty("exit_ms", static_cast<int>(*after));
  EXPECT_GE(*after, 1900);
  EXPECT_LE(*after, ExitAfterMs());
  EXPECT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); }, e2e::In(1s),
                           "the window to go"));
}

TEST_P(HelpExitTest, ExitEndsTheProgramEvenWithTheHelpBoxOpen) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();

  // The box must be up within the two seconds the exit takes: one box
  // first, opened and closed, so that whatever a first box loads is loaded.
  ClickAt(*window, CentreX(kHelpButton), CentreY(kHelpButton));
  const auto first = x_->WaitForWindow(kHelpTitle, e2e::In(Effect()));
  ASSERT_TRUE(first) << "no box titled " << kHelpTitle;
  ASSERT_TRUE(WaitForPaintedBox(*first));
  x_->Key("Return");
  ASSERT_TRUE(WaitForBoxClosed(e2e::In(2s) + Slack()));

  // "X" first: the help box is modal, so the click on "X" comes before it.
  const auto click = e2e::Clock::now();
  ClickAt(*window, CentreX(kExitButton), CentreY(kExitButton));
  ClickAt(*window, CentreX(kHelpButton), CentreY(kHelpButton));
  ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, click + 2s))
      << "no help box within the exit's two seconds";

  const auto after = Ended(*app, click);
  ASSERT_TRUE(after) << "the open help box kept the program alive";
  RecordProperty("exit_with_help_ms", static_cast<int>(*after));
  EXPECT_GE(*after, 1900);
  EXPECT_LE(*after, ExitAfterMs());
  EXPECT_TRUE(WaitForBoxClosed(e2e::In(1s)));
}

ON_TARGETS(HelpExitTest, Targets());

}  // namespace
}  // namespace omenglobe_e2e
