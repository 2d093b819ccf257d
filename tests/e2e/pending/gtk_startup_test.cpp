// Starting the program: one copy per display and user, and a clear end
// when there is no display to show it on or the screen is beyond X's sizes.
#include <signal.h>

#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

class StartupTest : public ProgramTest {};

constexpr e2e::ExitStatus kNormalEnd{.exited = true, .code = 0};

// The claim belongs to the display, not to the name it was reached by nor to
// the session's runtime directory.
TEST_F(StartupTest, ASecondCopyOnTheSameDisplayEndsQuietlyHoweverItWasStarted) {
  StartServer();
  const std::string number = server_->DisplayName().substr(1);
  for (const bool firstHasRuntimeDir : {true, false}) {
    SCOPED_TRACE(firstHasRuntimeDir ? "first with XDG_RUNTIME_DIR" : "first without");
    std::map<std::string, std::optional<std::string>> env;
    if (!firstHasRuntimeDir) env["XDG_RUNTIME_DIR"] = std::nullopt;
    auto first = Launch(env);
    ASSERT_TRUE(WaitForMainWindow()) << first->Stderr();

    for (const std::string& spelling :
         {":" + number, "unix:" + number, ":" + number + ".0", ":0" + number}) {
      for (const bool runtimeDir : {true, false}) {
        SCOPED_TRACE("DISPLAY=" + spelling + (runtimeDir ? "" : ", no XDG_RUNTIME_DIR"));
        std::map<std::string, std::optional<std::string>> second{{"DISPLAY", spelling}};
        if (!runtimeDir) second["XDG_RUNTIME_DIR"] = std::nullopt;
        auto copy = Launch(second);
        const auto status = copy->WaitExit(e2e::In(2s));
        ASSERT_TRUE(status) << "the second copy is still running";
        EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
        EXPECT_EQ(copy->Stderr(), "");
      }
    }
    EXPECT_EQ(x_->FindWindows(kTitle, false).size(), 1u);
    EXPECT_TRUE(first->Running());
    first.reset();  // killed by PID
    ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kTitle, false).empty(); }, e2e::In(2s),
                             "the first copy's window to go"));
  }
}

TEST_F(StartupTest, TwoDisplaysGiveTwoWindows) {
  StartServer();
  e2e::XServer other;
  e2e::XConnection otherX(other.DisplayName());
  auto here = Launch();
  auto there = Launch({{"DISPLAY", other.DisplayName()}});
  EXPECT_TRUE(WaitForMainWindow()) << here->Stderr();
  EXPECT_TRUE(otherX.WaitForWindow(kTitle, e2e::In(10s))) << there->Stderr();
}

// X carries sizes in 16 bits: at 10000 dpi the window would be 36458 pixels
// wide, which the server cut down (the shape request failed with BadMatch),
// and from 30000 on building the region took minutes.
TEST_F(StartupTest, AResolutionTooLargeForXEndsWithTheOverflowErrorBeforeAnyWindow) {
  for (const int dpi : {10000, 100000}) {
    SCOPED_TRACE(std::to_string(dpi) + " dpi");
    StartServer({.dpi = dpi});
    const auto started = e2e::Clock::now();
    auto app = Launch();
    const auto status = app->WaitExit(started + 1s);
    ASSERT_TRUE(status) << "still running after a second";
    EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 2})) << e2e::Describe(*status);
    EXPECT_EQ(app->Stderr(), "omenglobe: unhandled run-time error 6: overflow\n");
    EXPECT_TRUE(x_->FindWindows(kTitle, false).empty());
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

TEST_F(StartupTest, WithoutADisplayEndsAtOnceWithOneLineNamingWhatWasTried) {
  using Env = std::map<std::string, std::optional<std::string>>;
  const struct {
    const char* name;
    Env env;
    std::vector<std::string> arguments;
    const char* reason;
  } cases[] = {
      {"DISPLAY unset", {{"DISPLAY", std::nullopt}}, {}, "DISPLAY is not set"},
      {"no such display", {{"DISPLAY", ":99999"}}, {}, "DISPLAY=:99999"},
      {"--display", {{"DISPLAY", std::nullopt}}, {"--display", ":99998"}, "--display :99998"},
      {"empty GDK_BACKEND", {{"DISPLAY", ":99999"}, {"GDK_BACKEND", ""}}, {}, "GDK_BACKEND"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Env env = c.env;
    env["WAYLAND_DISPLAY"] = std::nullopt;
    const auto started = e2e::Clock::now();
    auto app = Launch(env, c.arguments);
    const auto status = app->WaitExit(started + 1s);
    ASSERT_TRUE(status) << "still running after a second";
    EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 1})) << e2e::Describe(*status);
    const std::string err = app->Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("omenglobe: ", 0), 0u) << err;
    EXPECT_NE(err.find(c.reason), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace omenglobe_e2e
