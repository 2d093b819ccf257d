// The program as a screen reader meets it: on a D-Bus session and AT-SPI
// bus of the test's own, a probe (tests/e2e/a11y/atspi_probe.py) starts it,
// prints its accessible tree and every announcement and focus change it hears.
#include <signal.h>

#include <sstream>

#include "answering/answers.h"
#include "program_test.h"

namespace omenglobe_e2e {
namespace {

constexpr char kParting[] = "--Thanks for using the Omenglobe By Dorvanek--";
constexpr char kShakeCaption[] = "Think of a question then click here to shake the ball.";

struct Node {
  int depth = 0;
  std::string role, name, description, states;
};
struct Event {
  double t = 0;  // CLOCK_MONOTONIC seconds, as steady_clock counts them
  std::string type;
  int detail1 = 0;
  std::string role, name, data;
};

double Seconds(e2e::Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

// What the probe printed so far.
struct Heard {
  std::string app;
  std::vector<Node> tree;
  std::vector<Event> events;
  bool ready = false;
  std::vector<std::string> errors;

  explicit Heard(const std::string& output) {
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
      const auto f = Fields(line);
      if (f.empty()) continue;
      if (f[0] == "ready") ready = true;
      if (f[0] == "error") errors.push_back(line);
      if (f[0] == "app" && f.size() >= 2) app = f[1];
      if (f[0] == "node" && f.size() >= 6)
        tree.push_back({std::stoi(f[1]), f[2], f[3], f[4], f[5]});
      if (f[0] == "event" && f.size() >= 7) {
        events.push_back({std::stod(f[1]), f[2], std::stoi(f[3]), f[4], f[5], f[6]});
      }
    }
  }

  std::vector<Event> Announcements() const {
    std::vector<Event> out;
    for (const auto& e : events) {
      if (e.type == "object:announcement") out.push_back(e);
    }
    return out;
  }
  // What a reader reads out unasked, as (time, text): a notification that
  // starts to show, or the focus arriving in a text that holds something.
  std::vector<std::pair<double, std::string>> ReadOut() const {
    std::vector<std::pair<double, std::string>> out;
    for (const auto& e : events) {
      if (e.type == "object:state-changed:showing" && e.detail1 == 1 && e.role == "notification") {
        out.emplace_back(e.t, e.name);
      } else if (e.type == "object:state-changed:focused" && e.detail1 == 1 && e.role == "text" &&
                 !e.data.empty() && (out.empty() || out.back().second != e.data)) {
        out.emplace_back(e.t, e.data);  // GTK reports some gains twice
      }
    }
    return out;
  }
  std::vector<Event> FocusEvents() const {
    std::vector<Event> out;
    for (const auto& e : events) {
      if (e.type == "object:state-changed:focused" && e.detail1 == 1) out.push_back(e);
    }
    return out;
  }
  // Names of the controls that gained the focus, in order (GTK reports
  // some gains twice).
  std::vector<std::string> FocusGained() const {
    std::vector<std::string> out;
    for (const auto& e : events) {
      if (e.type == "object:state-changed:focused" && e.detail1 == 1 &&
          (out.empty() || out.back() != e.name)) {
        out.push_back(e.name);
      }
    }
    return out;
  }
  const Node* Find(const std::string& name) const {
    for (const auto& n : tree) {
      if (n.name == name) return &n;
    }
    return nullptr;
  }
};

class LinuxAccessibilityTest : public LinuxProgramTest {
 protected:
  void SetUp() override {
    LinuxProgramTest::SetUp();
    if (IsSkipped()) return;
    // The probe needs the AT-SPI bus and its Python bindings.
    if (auto missing = e2e::MissingOptionalPackages("a11y")) GTEST_SKIP() << *missing;
    StartServer();
  }

  // The program with GTK's accessibility bridge on, as a desktop starts it,
  // on a private session bus that ends with the probe.
  void LaunchWatched() {
    auto env = Environment();
    env["NO_AT_BRIDGE"] = std::nullopt;
    env["DBUS_SESSION_BUS_ADDRESS"] = std::nullopt;
    env["AT_SPI_BUS_ADDRESS"] = std::nullopt;
    probe_ = std::make_unique<e2e::Process>(
        e2e::Process::Options{.argv = {"dbus-run-session", "--", "/usr/bin/python3",
                                       OMENGLOBE_ATSPI_PROBE, "--deadline", "60", OMENGLOBE_BINARY},
                              .env = env});
  }

  Heard Now() const { return Heard(probe_->Stdout()); }

  testing::AssertionResult WaitReady() {
    return e2e::WaitFor([&] { return Now().ready || !probe_->Running(); }, e2e::In(30s),
                        "the probe to read the tree") &&
                   Now().ready
               ? testing::AssertionSuccess()
               : testing::AssertionFailure()
                     << "the probe ended: " << probe_->Stdout() << probe_->Stderr();
  }

  void TearDown() override {
    if (probe_ != nullptr) {
      EXPECT_TRUE(EndSession(*probe_, e2e::In(10s)));
    }
    probe_.reset();
    LinuxProgramTest::TearDown();
  }

  std::unique_ptr<e2e::Process> probe_;
};

TEST_F(LinuxAccessibilityTest, EveryControlHasANameThatSaysWhatItDoes) {
  LaunchWatched();
  ASSERT_TRUE(WaitReady());
  const Heard heard = Now();
  std::string tree;
  for (const auto& n : heard.tree) {
    tree += std::string(2 * n.depth, ' ') + n.role + " '" + n.name + "'" +
            (n.description.empty() ? "" : " (" + n.description + ")") + "\n";
  }
  std::cout << "application '" << heard.app << "'\n" << tree;

  EXPECT_EQ(heard.app, "Omenglobe");
  ASSERT_FALSE(heard.tree.empty());
  EXPECT_EQ(heard.tree[0].role, "frame");
  EXPECT_EQ(heard.tree[0].name, kTitle);
  const struct {
    const char* name;
    const char* role;
    bool described;
  } expected[] = {
      {"Help", "push button", true},         {"Exit", "push button", true},
      {kShakeCaption, "push button", false}, {"Answer", "text", true},
      {"Answer ball", "image", false},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    const Node* node = heard.Find(e.name);
    ASSERT_NE(node, nullptr) << tree;
    EXPECT_EQ(node->role, e.role);
    if (e.described) {
      EXPECT_GT(node->description.size(), 10u);
    }
  }
  // The answer box can be reached and read, not typed into.
  const Node* answer = heard.Find("Answer");
  ASSERT_NE(answer, nullptr);
  EXPECT_NE(answer->states.find("focusable"), std::string::npos) << answer->states;
  EXPECT_EQ(answer->states.find("editable"), std::string::npos) << answer->states;
  for (const auto& n : heard.tree) {
    EXPECT_NE(n.name, "?");
    EXPECT_NE(n.name, "X");
    EXPECT_NE(n.role, "drawing area") << "an anonymous drawing area";
  }
}

// Read out unasked, once each, as they come into view: the answer takes the
// focus the locked shake button gave up, so a reader reads it as it arrives
// in the answer box; the parting message, with the focus on "X", shows a
// notification named after it. Nothing goes out as an announcement as
// well, or a reader that presents both would say it twice. A faded answer
// is no longer in the answer box.
TEST_F(LinuxAccessibilityTest, TheAnswerAndThePartingMessageAreEachReadOutOnceWhenTheyShow) {
  LaunchWatched();
  ASSERT_TRUE(WaitReady());
  const auto window = WaitForMainWindow();
  ASSERT_TRUE(window);
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);
  const auto lit = [&] {
    return Shot(*window).Count(kAnswerBox, [](e2e::Rgb c) { return !Dark(c); }) > 0;
  };

  const auto shake = e2e::Clock::now();
  ClickAt(*window, CentreX(kShakeButton), CentreY(kShakeButton));
  ASSERT_TRUE(e2e::WaitFor([&] { return SweepEnded(moves); }, e2e::In(3s),
                           "the sweep to end in the centre"));
  // The last look that still found the box black, and the first that found light.
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
      shake + 3s, "the answer to show light"));
  ASSERT_TRUE(
      e2e::WaitFor([&] { return !Now().ReadOut().empty(); }, e2e::In(2s), "the answer read out"));
  // Through the hold and the fade out: nothing more to hear.
  ASSERT_TRUE(e2e::WaitFor([&] { return !lit(); }, shake + 7s, "the answer to fade out"));
  // The shake left the focus in the answer box; round the window with Tab
  // and back into it, a reader finds it empty, as it looks.
  for (int stop = 0; stop < 4; ++stop) {
    const auto before = Now().FocusGained().size();
    x_->Key("Tab");
    ASSERT_TRUE(e2e::WaitFor([&] { return Now().FocusGained().size() > before; }, e2e::In(3s),
                             "the focus to move"));
    if (stop > 0 && Now().FocusGained().back() == "Answer") break;
  }
  const auto focused = Now().FocusEvents();
  ASSERT_FALSE(focused.empty());
  EXPECT_EQ(focused.back().name, "Answer");
  EXPECT_EQ(focused.back().data, "") << "a faded answer still in the answer box";

  const auto exit = e2e::Clock::now();
  ClickAt(*window, CentreX(kExitButton), CentreY(kExitButton));
  const auto status = probe_->WaitExit(exit + 15s);
  ASSERT_TRUE(status) << "the probe did not end with the program";

  const Heard heard = Now();
  EXPECT_TRUE(heard.errors.empty()) << heard.errors.front();
  const auto said = heard.ReadOut();
  for (const auto& [t, text] : said) {
    std::cout << "read out +" << static_cast<int>((t - Seconds(shake)) * 1000)
              << " ms after the shake click";
    if (t > Seconds(exit)) {
      std::cout << " (+" << static_cast<int>((t - Seconds(exit)) * 1000)
                << " ms after the exit click)";
    }
    std::cout << ": " << text << "\n";
  }
  std::cout << "answer box last black +"
            << static_cast<int>((Seconds(lastBlack) - Seconds(shake)) * 1000)
            << " ms, first light +"
            << static_cast<int>((Seconds(firstLight) - Seconds(shake)) * 1000)
            << " ms after the shake click\n";
  EXPECT_TRUE(heard.Announcements().empty()) << "an announcement too: " << probe_->Stdout();
  ASSERT_EQ(said.size(), 2u) << probe_->Stdout();
  EXPECT_NE(std::find(AnswerTexts.begin(), AnswerTexts.end(), said[0].second), AnswerTexts.end())
      << "not one of the answers: " << said[0].second;
  // GTK paints the new colour at its next frame, after the event has gone
  // out: on a busy machine the last look at a black box can come a little
  // after it. One for the still black text comes a whole fade step (100 ms)
  // before the light; half a step tells the two apart.
  EXPECT_GT(said[0].first, Seconds(lastBlack) - 0.05) << "read out while the text was still black";
  EXPECT_LT(said[0].first, Seconds(firstLight) + 1.0) << "read out long after the answer showed";
  EXPECT_EQ(said[1].second, kParting);
  EXPECT_GT(said[1].first, Seconds(exit));
}

TEST_F(LinuxAccessibilityTest, TabWalksTheControlsInTheDesignsOrder) {
  LaunchWatched();
  ASSERT_TRUE(WaitReady());
  ASSERT_TRUE(WaitForMainWindow());
  for (int i = 0; i < 5; ++i) {
    const auto before = Now().FocusGained().size();
    x_->Key("Tab");
    ASSERT_TRUE(e2e::WaitFor([&] { return Now().FocusGained().size() > before; }, e2e::In(3s),
                             "the focus to move"));
  }
  // Answer 1, Exit 2, shake 3, Help 4, and round again; the picture takes no focus.
  const std::vector<std::string> cycle = {"Answer", "Exit", kShakeCaption, "Help"};
  const auto gained = Now().FocusGained();
  ASSERT_GE(gained.size(), 5u);
  const std::vector<std::string> last5(gained.end() - 5, gained.end());
  const auto start = std::find(cycle.begin(), cycle.end(), last5[0]);
  ASSERT_NE(start, cycle.end()) << "focus on " << last5[0];
  for (std::size_t i = 0; i < last5.size(); ++i) {
    EXPECT_EQ(last5[i], cycle[(start - cycle.begin() + i) % cycle.size()]) << "Tab " << i + 1;
  }
}

}  // namespace
}  // namespace omenglobe_e2e
