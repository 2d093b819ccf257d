// A window destroyed by another X client under Wine. Wine tells the program
// nothing (it only notes "destroyed from the outside" in its own log): the
// copy used to run on invisibly, holding the running-copy mutex, and every
// later start ended at once as a "second copy". The Linux program ends as
// soon as its window goes (ShutdownTest in the GTK suite).
#include "wine_program.h"

namespace omenglobe_wine {
namespace {

class WindowGoneTest : public WineTest {};

TEST_F(WindowGoneTest, AfterTheWindowWasDestroyedFromOutsideANewStartShowsItsWindow) {
  StartServer();
  auto first = Launch();
  const auto window = WaitForMainWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << first->Stderr();

  x_->DestroyWindow(*window);
  ASSERT_FALSE(x_->Exists(*window));
  ASSERT_TRUE(first->Running()) << "the copy ended by itself; this test is about one that does not";

  auto next = Launch();
  const auto shown = WaitForMainWindow(e2e::In(kStartUp));
  EXPECT_TRUE(shown) << "no window from the new start: " << next->Stderr();
  EXPECT_TRUE(next->Running()) << next->Stderr();
  // The windowless copy was asked to close, and did, as any unload ends.
  const auto status = first->WaitExit(e2e::In(10s));
  ASSERT_TRUE(status) << "the windowless copy still runs";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*status);

  // And the new copy is the running copy now: the one after it ends quietly.
  auto third = Launch();
  const auto ended = third->WaitExit(e2e::In(kStartUp));
  ASSERT_TRUE(ended) << "the third start still runs";
  EXPECT_EQ(*ended, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*ended);
  EXPECT_EQ(x_->FindWindows(kTitle).size(), 1u);
}

}  // namespace
}  // namespace omenglobe_wine
