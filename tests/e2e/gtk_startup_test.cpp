// Starting the program: one copy per display and user, and a clear end
// when there is no display to show it on.
#include <signal.h>

#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

class StartupTest : public ProgramTest {};

constexpr e2e::ExitStatus kNormalEnd{.exited = true, .code = 0};

TEST_F(StartupTest, ASecondCopyEndsQuietlyWithoutAWindow) {
  StartServer();
  // Once with the lock in the session's runtime directory, once in the
  // private fallback directory under /tmp.
  for (const bool runtimeDir : {true, false}) {
    SCOPED_TRACE(runtimeDir ? "XDG_RUNTIME_DIR" : "no XDG_RUNTIME_DIR");
    std::map<std::string, std::optional<std::string>> env;
    if (!runtimeDir) env["XDG_RUNTIME_DIR"] = std::nullopt;
    auto first = Launch(env);
    const auto window = WaitForMainWindow();
    ASSERT_TRUE(window) << first->Stderr();

    auto second = Launch(env);
    const auto status = second->WaitExit(e2e::In(2s));
    ASSERT_TRUE(status) << "the second copy is still running";
    EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
    EXPECT_EQ(second->Stderr(), "");
    EXPECT_EQ(x_->FindWindows(kTitle, false).size(), 1u);
    EXPECT_TRUE(first->Running());
    first.reset();  // killed by PID
    ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); }, e2e::In(2s),
                             "the first copy's window to go"));
  }
}

TEST_F(StartupTest, TwoCopiesStartedTogetherLeaveExactlyOneWindow) {
  StartServer();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto a = Launch();
    auto b = Launch();
    ASSERT_TRUE(e2e::WaitFor([&] { return !a->Running() || !b->Running(); }, e2e::In(2s),
                             "one of the two copies to end"));
    auto& ended = a->Running() ? b : a;
    auto& running = a->Running() ? a : b;
    EXPECT_EQ(ended->WaitExit(e2e::In(0s)), kNormalEnd);
    ASSERT_TRUE(WaitForMainWindow()) << running->Stderr();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(x_->FindWindows(kTitle, false).size(), 1u);
    EXPECT_TRUE(running->Running());
    running.reset();
    ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); }, e2e::In(2s),
                             "the window to go"));
  }
}

// A copy that was killed leaves no lock behind.
TEST_F(StartupTest, StartsAfterTheRunningCopyWasKilled) {
  StartServer();
  auto first = Launch();
  ASSERT_TRUE(WaitForMainWindow()) << first->Stderr();
  first->Signal(SIGKILL);
  ASSERT_TRUE(first->WaitExit(e2e::In(2s)));
  ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); }, e2e::In(2s),
                           "the killed copy's window to go"));

  auto next = Launch();
  EXPECT_TRUE(WaitForMainWindow()) << next->Stderr();
}

TEST_F(StartupTest, WithoutADisplayEndsAtOnceWithOneLineOfReason) {
  for (const std::optional<std::string>& display : {std::optional<std::string>{}, {":99999"}}) {
    SCOPED_TRACE(display ? "DISPLAY=" + *display : "DISPLAY unset");
    const auto started = e2e::Clock::now();
    auto app = Launch({{"DISPLAY", display}, {"WAYLAND_DISPLAY", std::nullopt}});
    const auto status = app->WaitExit(started + 1s);
    ASSERT_TRUE(status) << "still running after a second";
    EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 1})) << e2e::Describe(*status);
    const std::string err = app->Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("omenglobe: ", 0), 0u) << err;
    EXPECT_NE(err.find(display ? "DISPLAY=" + *display : "DISPLAY is not set"), std::string::npos)
        << err;
  }
}

}  // namespace
}  // namespace omenglobe_e2e
