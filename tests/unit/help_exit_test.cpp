// The help box and the exit sequence, alone and across a running fade.
#include "answering/grey_ramp.h"
#include "sim_fixture.h"

namespace {

constexpr const char* kParting = "--Thanks for using the Omenglobe By Dorvanek--";

// Runs the clock in 50 ms steps until the program ends; returns the colours
// the answer box showed on the way.
std::vector<platform::Colour> ColoursUntilTheEnd(frmMain& form, int limitMs = 10'000) {
  std::vector<platform::Colour> seen;
  for (int t = 0; t < limitMs && !sim::Ended(); t += 50) {
    sim::Advance(50);
    if (seen.empty() || seen.back() != form.txtMain.ForeColor)
      seen.push_back(form.txtMain.ForeColor);
  }
  return seen;
}

class Exit : public SimProgram {};

TEST_F(Exit, FromIdleTheMessageLightsAtOnceAndTheProgramEndsTwoSecondsLater) {
  const auto start = sim::Log().size();
  sim::Click(form().cmdExit);
  sim::Advance(2100);
  EXPECT_TRUE(SequenceIs(LogFrom(start), {
                                             "click cmdExit",
                                             std::string("txtMain.Text = \"") + kParting + "\"",
                                             "tmrExit.Enabled = True",
                                             "@100 tmrExit",
                                             "txtMain.ForeColor = 0xE0E0E0",
                                             "tmrExit.Enabled = False",
                                             "tmrUnload.Enabled = True",
                                             "@2100 tmrUnload",
                                             "DestroyForm",
                                             "QuitLoop",
                                         }));
  EXPECT_TRUE(sim::Ended());
  EXPECT_EQ(sim::ExitStatus(), platform::kExitNormal);
  EXPECT_TRUE(sim::TheWindow().destroyed);
}

TEST_F(Exit, DuringTheFadeInTheMessageStaysBrightAndShakeStaysLockedInEitherTickOrder) {
  for (std::size_t first : {0u, 1u}) {
    ASSERT_FALSE(sim::Start<frmMain>().has_value());
    PressShake();
    sim::Advance(200);  // at 0x808080; the next fade tick and the exit tick both fall at 300
    sim::Click(form().cmdExit);
    sim::SetTieBreaker([first](std::size_t) { return first; });
    const auto colours = ColoursUntilTheEnd(form());
    EXPECT_EQ(colours, (std::vector<platform::Colour>{0x808080, 0xE0E0E0})) << "first = " << first;
    EXPECT_FALSE(form().cmdShake.Enabled);
    EXPECT_EQ(sim::Now(), 2300);
    EXPECT_EQ(form().txtMain.Text.Get(), kParting);
  }
}

TEST_F(Exit, WhileHoldingTheFadeOutStartsOnlyIfTheHoldHadRunMoreThan900Ms) {
  struct {
    int holdMs;
    std::vector<platform::Colour> colours;
  } cases[] = {
      {850, {0xE0E0E0}},                       // the unload comes before the hold ends
      {1150, {0xE0E0E0, 0xC0C0C0, 0x808080}},  // the fade out gets two steps in
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(sim::Start<frmMain>().has_value());
    PressShake();
    sim::Advance(500 + c.holdMs);
    sim::Click(form().cmdExit);
    EXPECT_EQ(ColoursUntilTheEnd(form()), c.colours) << "hold " << c.holdMs;
    EXPECT_EQ(sim::Now(), 500 + c.holdMs + 2100);
  }
}

TEST_F(Exit, DuringTheFadeOutTheMessageFlashesThenFadesAndShakeComesBack) {
  PressShake();
  sim::Advance(3650);  // fading out, at 0xC0C0C0
  sim::Click(form().cmdExit);
  const auto colours = ColoursUntilTheEnd(form());
  EXPECT_EQ(colours, (std::vector<platform::Colour>{0x808080, 0xE0E0E0, 0xC0C0C0, 0x808080,
                                                    0x404040, 0x000000}));
  EXPECT_TRUE(form().cmdShake.Enabled) << "usable for the rest of the countdown";
}

TEST_F(Exit, AtTheLastFadeOutTickTheOrderOfTheTwoTicksDecides) {
  const struct {
    std::size_t first;  // 0: the fade's closing tick first, 1: the exit tick first
    platform::Colour finalColour;
  } cases[] = {{0, 0xE0E0E0}, {1, 0x000000}};
  for (const auto& c : cases) {
    ASSERT_FALSE(sim::Start<frmMain>().has_value());
    PressShake();
    sim::Advance(3900);  // black; the closing tick falls at 4000
    sim::Click(form().cmdExit);
    sim::SetTieBreaker([&](std::size_t) { return c.first; });
    ColoursUntilTheEnd(form());
    EXPECT_EQ(form().txtMain.ForeColor, c.finalColour) << "first = " << c.first;
    EXPECT_TRUE(form().cmdShake.Enabled);
  }
}

TEST_F(Exit, ASecondClickDuringTheCountdownWritesTheMessageAgainAndStillEndsOnTime) {
  sim::Click(form().cmdExit);
  sim::Advance(500);
  PressShake(0.0f);
  EXPECT_EQ(form().txtMain.Text.Get(), "AS I SEE IT, YES.");
  sim::Advance(300);
  sim::Click(form().cmdExit);
  EXPECT_EQ(form().txtMain.Text.Get(), kParting);
  sim::Advance(100);
  EXPECT_EQ(form().txtMain.ForeColor, GreyRamp[4]);
  EXPECT_TRUE(form().tmrUnload.Enabled);
  const auto exitTicks = LogFrom(0, [](const std::string& e) {
    return e.find(" tmrExit") != std::string::npos && e[0] == '@';
  });
  EXPECT_EQ(exitTicks.size(), 2u) << "one tick per click";
  sim::Advance(2000);
  EXPECT_TRUE(sim::Ended());
  const auto unload =
      LogFrom(0, [](const std::string& e) { return e.find(" tmrUnload") != std::string::npos; });
  EXPECT_TRUE(SequenceIs(unload, {"@2100 tmrUnload"}))
      << "re-enabling the running countdown does not restart it";
}

TEST_F(Exit, AShakeBeforeTheExitTickIsLiftedStraightToFullBrightness) {
  sim::Click(form().cmdExit);
  sim::Advance(50);
  PressShake(0.0f);
  sim::Advance(50);
  EXPECT_EQ(form().txtMain.Text.Get(), "AS I SEE IT, YES.");
  EXPECT_EQ(form().txtMain.ForeColor, GreyRamp[4]);
  sim::Advance(2000);
  EXPECT_TRUE(sim::Ended());
}

class Help : public SimProgram {};

TEST_F(Help, ShowsTheSameInformationBoxOwnedByTheWindowEveryTime) {
  sim::Click(form().cmdHelp);
  sim::Click(form().cmdHelp);
  ASSERT_EQ(sim::MessageBoxes().size(), 2u);
  for (const auto& box : sim::MessageBoxes()) {
    EXPECT_EQ(box.prompt,
              "Think of a yes or no question and hit the shake button.  The omenglobe will show "
              "you the answer.");
    EXPECT_EQ(box.title, "Derirozuvi");
    EXPECT_EQ(box.buttons, 64);
    EXPECT_EQ(box.owner, form().hWnd);
  }
}

TEST_F(Help, OpeningItInAnyFadeStateChangesNothingAndTheCycleCompletes) {
  PressShake();
  for (int at : {150, 450, 2000, 3650, 3950}) {
    sim::Advance(at - sim::Now());
    const auto before = sim::Log().size();
    const auto colour = form().txtMain.ForeColor.Get();
    sim::Click(form().cmdHelp);
    EXPECT_TRUE(
        SequenceIs(LogFrom(before), {"click cmdHelp", "MsgBox \"Derirozuvi\"", "MsgBox closed"}))
        << "at " << at;
    EXPECT_EQ(form().txtMain.ForeColor, colour);
  }
  sim::Advance(4000 - sim::Now());
  EXPECT_TRUE(form().cmdShake.Enabled);
  EXPECT_EQ(form().txtMain.ForeColor, 0u);
}

TEST_F(Help, TimersKeepTickingWhileTheBoxIsOpen) {
  PressShake();
  sim::SetMessageBoxHandler([](const sim::MessageBoxCall&) {
    sim::Advance(4000);
    return platform::kMsgBoxResultOk;
  });
  sim::Click(form().cmdHelp);
  EXPECT_TRUE(form().cmdShake.Enabled);
}

// A modal box left open over a window that has gone would hang the program,
// and the handler that opened it returns after the unload: the box must close
// with the window and nothing may run on the unloaded form.
TEST_F(Help, UnloadWhileTheBoxIsOpenClosesItAndEndsCleanly) {
  sim::Click(form().cmdExit);
  bool stillOpenAfterUnload = false;
  sim::SetMessageBoxHandler([&](const sim::MessageBoxCall&) {
    sim::Advance(5000);
    stillOpenAfterUnload = !sim::MessageBoxes().back().closedByOwner;
    return platform::kMsgBoxResultOk;
  });
  sim::Advance(500);
  sim::Click(form().cmdHelp);
  EXPECT_FALSE(stillOpenAfterUnload);
  EXPECT_TRUE(sim::Ended());
  EXPECT_EQ(sim::ExitStatus(), platform::kExitNormal);
  const auto tail = LogFrom(sim::Log().size() - 4);
  EXPECT_TRUE(SequenceIs(tail, {"@2100 tmrUnload", "DestroyForm", "QuitLoop", "MsgBox closed"}));
  sim::Click(TheForm().cmdShake);
  EXPECT_EQ(sim::Log().back(), "MsgBox closed") << "no handler runs after the unload";
}

// A window destroyed by someone else (another program, the end of the
// session) is the form's unload: the program ends normally, whatever was
// running, and nothing touches the form's controls afterwards.
TEST_F(Help, AWindowDestroyedFromOutsideUnloadsTheFormMidFadeAndWithTheBoxOpen) {
  PressShake();
  sim::Advance(250);  // mid fade-in
  sim::SetMessageBoxHandler([&](const sim::MessageBoxCall&) {
    sim::Advance(100);
    sim::DestroyWindowFromOutside();
    sim::Advance(5000);
    return platform::kMsgBoxResultOk;
  });
  const std::size_t before = sim::Log().size();
  sim::Click(form().cmdHelp);
  EXPECT_TRUE(sim::Ended());
  EXPECT_EQ(sim::ExitStatus(), platform::kExitNormal);
  EXPECT_TRUE(sim::MessageBoxes().back().closedByOwner);
  // Nothing between the destruction and the end: no tick, no property write.
  const auto& log = sim::Log();
  const auto gone = std::find(log.begin() + before, log.end(), "window destroyed from outside");
  ASSERT_NE(gone, log.end());
  EXPECT_TRUE(
      SequenceIs(std::vector<std::string>(gone, log.end()),
                 {"window destroyed from outside", "DestroyForm", "QuitLoop", "MsgBox closed"}));
  sim::Click(TheForm().cmdShake);
  EXPECT_EQ(sim::Log().back(), "MsgBox closed") << "no handler runs after the unload";
}

}  // namespace
