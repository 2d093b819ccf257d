// What a screen reader beside the program is told unasked: the answer and
// the parting message, once each, as they come into view. On Linux a probe
// on a D-Bus session and AT-SPI bus of the test's own starts the program
// and hears what Orca would (a11y/atspi_probe.py); under Wine an Active
// Accessibility client listens for the live-region events the program
// raises (wine/a11y_client.cpp).
#include <algorithm>

#include "a11y/atspi_heard.h"
#include "answering/answers.h"
#include "program_test.h"

#ifdef OMENGLOBE_WITH_WINE
#include "wine_program.h"
#endif

namespace omenglobe_e2e {
namespace {

struct Heard {
  e2e::Clock::time_point when;
  std::string text;
};

// A reader's ears, and the program it listens to.
class Listener {
 public:
  virtual ~Listener() = default;
  virtual testing::AssertionResult WaitReady(e2e::Deadline deadline) = 0;
  // What was read out unasked so far, in order. Looks at what the listener
  // printed since the last call: call it often where the moment matters.
  virtual std::vector<Heard> ReadOut() = 0;
  // What went out as an announcement besides: a reader that presents both
  // would say the text twice.
  virtual std::vector<std::string> AlsoAnnounced() = 0;
  // Names and texts of the controls that gained the focus, in order.
  virtual std::vector<atspi::Event> FocusGained() = 0;
  virtual bool ProgramRunning() = 0;
  virtual testing::AssertionResult WaitForProgramEnd(e2e::Deadline deadline) = 0;
  virtual std::string Transcript() = 0;
};

// The AT-SPI probe, stamping each event on arrival with the clock the test
// reads too.
class AtspiListener : public Listener {
 public:
  explicit AtspiListener(const Env& env) : probe_(atspi::StartProbe(env)) {}
  ~AtspiListener() override { EXPECT_TRUE(EndSession(*probe_, e2e::In(10s))); }

  testing::AssertionResult WaitReady(e2e::Deadline deadline) override {
    const auto ready = e2e::WaitFor([&] { return Now().ready || !probe_->Running(); }, deadline,
                                    "the probe to read the tree");
    if (ready && Now().ready) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the probe ended: " << Transcript();
  }
  std::vector<Heard> ReadOut() override {
    std::vector<Heard> out;
    for (const auto& [t, text] : Now().ReadOut()) {
      out.push_back({e2e::Clock::time_point(std::chrono::duration_cast<e2e::Clock::duration>(
                         std::chrono::duration<double>(t))),
                     text});
    }
    return out;
  }
  std::vector<std::string> AlsoAnnounced() override {
    std::vector<std::string> out;
    for (const auto& e : Now().Announcements()) out.push_back(e.data);
    return out;
  }
  std::vector<atspi::Event> FocusGained() override { return Now().FocusEvents(); }
  bool ProgramRunning() override { return probe_->Running(); }
  testing::AssertionResult WaitForProgramEnd(e2e::Deadline deadline) override {
    if (probe_->WaitExit(deadline)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the probe did not end with the program";
  }
  std::string Transcript() override { return probe_->Stdout() + probe_->Stderr(); }

 private:
  atspi::Heard Now() const { return atspi::Heard(probe_->Stdout()); }
  std::unique_ptr<e2e::Process> probe_;
};

#ifdef OMENGLOBE_WITH_WINE
// The Active Accessibility client: it prints each live-region event of the
// program with the text of the control that raised it, and the test stamps
// each line when it first sees it.
class WinEventListener : public Listener {
 public:
  WinEventListener(e2e::Process& program, const Env& env) : program_(program) {
    using namespace omenglobe_wine;
    // As wide as the program it looks at.
    client_ = std::make_unique<e2e::Process>(e2e::Process::Options{
        .argv = {WineCommand(), ExeIs64Bit() ? OMENGLOBE_A11Y_CLIENT_64 : OMENGLOBE_A11Y_CLIENT_32,
                 "watch", "60"},
        .env = env});
  }
  testing::AssertionResult WaitReady(e2e::Deadline deadline) override {
    return e2e::WaitFor(
               [&] {
                 return client_->Stdout().find("ready") != std::string::npos || !client_->Running();
               },
               deadline, "the client listening") &&
                   client_->Stdout().find("ready") != std::string::npos
               ? testing::AssertionSuccess()
               : testing::AssertionFailure() << "the client ended: " << Transcript();
  }
  std::vector<Heard> ReadOut() override {
    std::istringstream lines(client_->Stdout());
    std::size_t seen = 0;
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto f = atspi::Fields(line);
      if (f.size() < 3 || f[0] != "event") continue;
      if (++seen > heard_.size()) heard_.push_back({e2e::Clock::now(), f[2]});
    }
    return heard_;
  }
  std::vector<std::string> AlsoAnnounced() override { return {}; }
  std::vector<atspi::Event> FocusGained() override { return {}; }
  bool ProgramRunning() override { return program_.Running(); }
  testing::AssertionResult WaitForProgramEnd(e2e::Deadline deadline) override {
    const auto ended = e2e::WaitFor(
        [&] {
          ReadOut();
          return !program_.Running();
        },
        deadline, "the program to end");
    if (!ended) return ended;
    // The client ends once the window has gone.
    if (!client_->WaitExit(deadline)) {
      return testing::AssertionFailure() << "the client did not notice the window go";
    }
    ReadOut();
    return testing::AssertionSuccess();
  }
  std::string Transcript() override { return client_->Stdout() + client_->Stderr(); }

 private:
  e2e::Process& program_;
  std::unique_ptr<e2e::Process> client_;
  std::vector<Heard> heard_;
};
#endif

class ReaderTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    if (!OnWine()) {
      // The probe needs the AT-SPI bus and its Python bindings.
      if (auto missing = e2e::MissingOptionalPackages("a11y")) GTEST_SKIP() << *missing;
    }
    StartServer();
  }
  void TearDown() override {
    listener_.reset();
    app_.reset();
    ProgramTest::TearDown();
  }

  // The program with a listener beside it, as a desktop with a screen reader
  // runs it; its window once drawn.
  std::optional<e2e::WindowId> StartListened() {
#ifdef OMENGLOBE_WITH_WINE
    if (OnWine()) {
      app_ = Launch();
      const auto window = WaitForDrawnWindow();
      if (!window) return window;
      listener_ = std::make_unique<WinEventListener>(*app_, Environment());
      EXPECT_TRUE(listener_->WaitReady(e2e::In(60s)));
      return window;
    }
#endif
    listener_ = std::make_unique<AtspiListener>(AccessibleEnvironment());
    EXPECT_TRUE(listener_->WaitReady(e2e::In(30s)));
    return WaitForDrawnWindow();
  }

  std::unique_ptr<e2e::Process> app_;
  std::unique_ptr<Listener> listener_;
};

int Ms(e2e::Clock::time_point from, e2e::Clock::time_point to) {
  return static_cast<int>(std::chrono::duration<double, std::milli>(to - from).count());
}

TEST_P(ReaderTest, TheAnswerAndThePartingMessageAreEachReadOutOnceWhenTheyShow) {
  const auto window = StartListened();
  ASSERT_TRUE(window) << (listener_ ? listener_->Transcript() : "");
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);
  const auto lit = [&] {
    listener_->ReadOut();  // stamps what came meanwhile
    return !AnswerBoxBlack(Shot(*window));
  };

  const auto shake = e2e::Clock::now();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  // The box is looked at only once the sweep has ended: a look at a moving
  // window catches whatever part of it passes there.
  ASSERT_TRUE(e2e::WaitFor([&] { return SweepEnded(moves); }, e2e::In(3s) + Slack(),
                           "the sweep to end in the centre"))
      << Save(x_->CaptureScreen(), "no-sweep");
  // The last look that still found the box black, and the first that found
  // light; on a busy machine the answer may be fading in already by the time
  // the end of the sweep is seen.
  e2e::Clock::time_point lastBlack = e2e::Clock::now(), firstLight;
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        const auto looked = e2e::Clock::now();
        if (lit()) {
          firstLight = looked;
          return true;
        }
        lastBlack = looked;
        return false;
      },
      shake + 3s + Slack(), "the answer to show light"));
  ASSERT_TRUE(e2e::WaitFor([&] { return !listener_->ReadOut().empty(); }, e2e::In(2s) + Slack(),
                           "the answer read out"))
      << listener_->Transcript();
  // Through the hold and the fade out: nothing more to hear.
  ASSERT_TRUE(e2e::WaitFor([&] { return !lit(); }, shake + 7s + Slack(), "the answer to fade out"));

  if (!Lacks(GetTarget(), Feature::FadedAnswerLeavesTheBox)) {
    // The shake left the focus in the answer box; round the window with Tab
    // and back into it, a reader finds it empty, as it looks.
    for (int stop = 0; stop < 4; ++stop) {
      const auto before = listener_->FocusGained().size();
      x_->Key("Tab");
      ASSERT_TRUE(e2e::WaitFor([&] { return listener_->FocusGained().size() > before; },
                               e2e::In(3s), "the focus to move"));
      if (stop > 0 && listener_->FocusGained().back().name == "Answer") break;
    }
    const auto focused = listener_->FocusGained();
    ASSERT_FALSE(focused.empty());
    EXPECT_EQ(focused.back().name, "Answer");
    EXPECT_EQ(focused.back().data, "") << "a faded answer still in the answer box";
  }

  const auto exit = e2e::Clock::now();
  ClickAt(*window, CentreX(kExitButton), CentreY(kExitButton));
  ASSERT_TRUE(listener_->WaitForProgramEnd(exit + ExitAfter() + 10s));

  const auto said = listener_->ReadOut();
  for (const auto& [when, text] : said) {
    const bool afterExit = when > exit;
    std::cout << "read out +" << Ms(afterExit ? exit : shake, when) << " ms after the "
              << (afterExit ? "exit" : "shake") << " click: " << text << "\n";
  }
  std::cout << "answer box last black +" << Ms(shake, lastBlack) << " ms, first light +"
            << Ms(shake, firstLight) << " ms after the shake click\n";
  EXPECT_EQ(listener_->AlsoAnnounced(), std::vector<std::string>{}) << listener_->Transcript();
  ASSERT_EQ(said.size(), 2u) << listener_->Transcript();
  EXPECT_NE(std::find(AnswerTexts.begin(), AnswerTexts.end(), said[0].text), AnswerTexts.end())
      << "not one of the answers: " << said[0].text;
  // GTK paints the new colour at its next frame, after the event has gone
  // out: on a busy machine the last look at a black box can come a little
  // after it. One for the still black text comes a whole fade step (100 ms)
  // before the light; half a step tells the two apart.
  EXPECT_GT(said[0].when, lastBlack - 50ms) << "read out while the text was still black";
  EXPECT_LT(said[0].when, firstLight + 1s) << "read out long after the answer showed";
  EXPECT_EQ(said[1].text, kParting);
  EXPECT_GT(said[1].when, exit);
}

ON_TARGETS(ReaderTest, Targets());

}  // namespace
}  // namespace omenglobe_e2e
