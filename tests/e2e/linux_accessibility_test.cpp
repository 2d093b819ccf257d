// The program as a screen reader meets it: on a D-Bus session and AT-SPI
// bus of the test's own, a probe (tests/e2e/a11y/atspi_probe.py) starts it,
// prints its accessible tree and every announcement and focus change it hears.
#include <signal.h>

#include <sstream>

#include "a11y/atspi_heard.h"
#include "program_test.h"

namespace omenglobe_e2e {
namespace {

using namespace atspi;

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
  void LaunchWatched() { probe_ = StartProbe(AccessibleEnvironment()); }

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
