// What a screen reader is asked to read out: each answer and the parting
// message once, when the text first shows against the box, never while it
// is still black on black.
#include "answering/grey_ramp.h"
#include "sim_fixture.h"

namespace {

constexpr const char* kParting = "--Thanks for using the Omenglobe By Dorvanek--";
using Heard = std::vector<sim::Announcement>;

class Announcement : public SimProgram {};

TEST_F(Announcement, EachAnswerIsReadOnceAtTheFirstStepOfItsFadeEvenWhenItRepeats) {
  // Two shakes drawing the same answer: the second one is news all the same.
  for (int shake = 0; shake < 2; ++shake) {
    SCOPED_TRACE(shake);
    const auto before = sim::Announcements().size();
    const auto clicked = sim::Now();
    PressShake(0.5f);
    EXPECT_EQ(sim::Announcements().size(), before) << "read out while still black";
    sim::Advance(100);
    ASSERT_EQ(sim::Announcements().size(), before + 1);
    EXPECT_EQ(sim::Announcements().back(),
              (sim::Announcement{clicked + 100, "txtMain", "HELL YEAH."}));
    sim::Advance(4000);  // up, held, down, button back
    EXPECT_EQ(sim::Announcements().size(), before + 1) << "the fade repeated it";
    ASSERT_TRUE(form().cmdShake.Enabled);
  }
}

TEST_F(Announcement, ThePartingMessageIsReadWhenItShowsWhateverTheFadeIsDoing) {
  // From idle the message is written in black and lit one tick later.
  sim::Click(form().cmdExit);
  EXPECT_TRUE(sim::Announcements().empty());
  sim::Click(form().cmdExit);  // the same text again is not news
  sim::Advance(2100);
  EXPECT_EQ(sim::Announcements(), (Heard{{100, "txtMain", kParting}}));
  EXPECT_TRUE(sim::Ended());

  // During the hold the box is already light: the message is read at the click,
  // after the answer, and the fade that goes on repeats neither.
  ASSERT_FALSE(sim::Start<frmMain>().has_value());
  PressShake(0.5f);
  sim::Advance(1000);
  ASSERT_EQ(form().txtMain.ForeColor.Get(), GreyRamp[4]);
  sim::Click(form().cmdExit);
  sim::Advance(3000);
  EXPECT_EQ(sim::Announcements(),
            (Heard{{100, "txtMain", "HELL YEAH."}, {1000, "txtMain", kParting}}));
}

// The shake button locks while the answer shows; the focus it had goes to
// the answer box, the first control in tab order that can hold it, and an
// exit button that a test disables hands it on the same way.
TEST_F(Announcement, ALockedButtonHandsTheFocusToTheFirstControlThatCanHoldIt) {
  EXPECT_EQ(platform::FocusHeir(form().cmdShake), &form().txtMain);
  EXPECT_EQ(platform::FocusHeir(form().cmdExit), &form().txtMain);
  EXPECT_EQ(platform::FocusHeir(form().cmdHelp), &form().txtMain);
}

// What the backends show a reader in the answer box: the text only while it
// can be seen.
TEST_F(Announcement, TheAnswerShowsFromTheFirstStepOfItsFadeUntilItIsBlackAgain) {
  EXPECT_FALSE(form().txtMain.TextShows());
  PressShake(0.5f);
  EXPECT_FALSE(form().txtMain.TextShows()) << "black on black";
  sim::Advance(100);
  EXPECT_TRUE(form().txtMain.TextShows());
  sim::Advance(3800);  // the last step down, to black
  EXPECT_FALSE(form().txtMain.TextShows());
  EXPECT_EQ(form().txtMain.Text.Get(), "HELL YEAH.") << "the text itself stays";
}

}  // namespace
