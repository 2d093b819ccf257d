// Long random sessions of clicks, drags, help boxes and ticks (with random
// orders among ticks that fall due together), checking after every step what
// must always hold.
#include <random>

#include "answering/grey_ramp.h"
#include "sim_fixture.h"

namespace {

struct Invariants {
  static ::testing::AssertionResult Hold(frmMain& f) {
    const auto colour = f.txtMain.ForeColor.Get();
    if (std::find(GreyRamp.begin(), GreyRamp.end(), colour) == GreyRamp.end()) {
      return ::testing::AssertionFailure() << "colour off the ramp: " << colour;
    }
    const int fadeTimers = f.tmrFontColor.Enabled + f.tmrPause.Enabled + f.tmrDisplay.Enabled;
    if (fadeTimers > 1) return ::testing::AssertionFailure() << fadeTimers << " fade timers on";
    if (f.cmdShake.Enabled != (fadeTimers == 0)) {
      return ::testing::AssertionFailure()
             << "shake " << (f.cmdShake.Enabled ? "enabled" : "disabled") << " with " << fadeTimers
             << " fade timer(s) on";
    }
    return ::testing::AssertionSuccess();
  }
};

// True when the last tick the log shows is the unload timer's.
bool EndedAtAnUnloadTick() {
  const auto& log = sim::Log();
  for (auto it = log.rbegin(); it != log.rend(); ++it) {
    if (!it->empty() && (*it)[0] == '@') return it->ends_with(" tmrUnload");
  }
  return false;
}

TEST(Model, RandomSessionsKeepTheInvariantsAndEndOnlyAtTheUnloadTick) {
  std::mt19937 random(20261207);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  int sessions = 0, endings = 0;
  for (; sessions < 300; ++sessions) {
    ASSERT_FALSE(sim::Start<frmMain>().has_value());
    frmMain& f = TheForm();
    sim::SetTieBreaker([&](std::size_t n) { return static_cast<std::size_t>(random() % n); });
    sim::SetMessageBoxHandler([&](const sim::MessageBoxCall&) {
      // The user reads the box for a while; timers go on meanwhile.
      const int steps = static_cast<int>(random() % 4);
      for (int i = 0; i < steps && !sim::Ended(); ++i) {
        sim::Advance(random() % 700);
        if (!sim::Ended()) {
          EXPECT_TRUE(Invariants::Hold(f));
        }
      }
      return platform::kMsgBoxResultOk;
    });
    for (int step = 0; step < 200 && !sim::Ended(); ++step) {
      const int action = static_cast<int>(random() % 100);
      if (action < 30) {
        sim::Click(f.cmdShake);
      } else if (action < 35) {
        sim::Click(f.cmdHelp);
      } else if (action < 37 || (action < 40 && chance(50))) {
        sim::Click(f.cmdExit);
      } else if (action < 50) {
        sim::SetDragDelta(static_cast<int>(random() % 200) - 100,
                          static_cast<int>(random() % 200) - 100);
        sim::Press(static_cast<int>(random() % 350), static_cast<int>(random() % 319),
                   static_cast<platform::Integer>(1 << (random() % 3)));
      } else {
        const bool wasRunning = !sim::Ended();
        sim::Advance(random() % 900);
        if (wasRunning && sim::Ended()) {
          ASSERT_TRUE(EndedAtAnUnloadTick())
              << "session " << sessions << " ended off the unload tick";
        }
      }
      if (sim::Ended()) break;
      ASSERT_TRUE(Invariants::Hold(f)) << "session " << sessions << ", step " << step;
      sim::ClearLog();
    }
    if (sim::Ended()) {
      ++endings;
      EXPECT_TRUE(EndedAtAnUnloadTick());
      EXPECT_EQ(sim::ExitStatus(), platform::kExitNormal);
    }
  }
  EXPECT_GT(endings, 50) << "the sessions should exercise the exit often";
}

}  // namespace
