// Starts that cannot show a window. Wine without an X display refuses every
// window: the program used to wait in its message loop for ever, invisible,
// holding the running-copy mutex, so that every later start ended at once as
// a "second copy".
#include <filesystem>

#include "wine_program.h"

namespace omenglobe_wine {
namespace {

class StartupTest : public WineTest {
 protected:
  // Runs `exe` with no display in the prefix `env` describes: it must end
  // with status 1 and its reason. Twice: the session's first program also
  // waits for Wine's own services to start, which on a busy machine takes
  // seconds; the second start, in a running session, must end within a
  // second and a half.
  void ExpectACleanFailureWithoutADisplay(const std::string& exe, Env env) {
    env["DISPLAY"] = std::nullopt;
    for (const bool timed : {false, true}) {
      SCOPED_TRACE(timed ? "in a running session" : "the session's first program");
      const auto started = e2e::Clock::now();
      e2e::Process app({.argv = {WineCommandFor(exe), exe}, .env = env});
      const auto status = app.WaitExit(started + (timed ? 1500ms : kStartUp));
      const double took = e2e::MillisecondsSince(started);
      ASSERT_TRUE(status) << exe << " still runs " << took << " ms after its start";
      EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 1})) << e2e::Describe(*status);
      EXPECT_NE(app.Stderr().find("omenglobe: cannot create the window"), std::string::npos)
          << app.Stderr();
      if (timed) {
        RecordProperty(Is64Bit(exe) ? "no_display_64_ms" : "no_display_ms", static_cast<int>(took));
      }
      std::printf("%s without a display (%s): %s after %.0f ms, stderr: %s", exe.c_str(),
                  timed ? "running session" : "first in the session",
                  e2e::Describe(*status).c_str(), took, app.Stderr().c_str());
    }
  }
};

TEST_F(StartupTest, WithoutADisplayEndsWithStatusOneAndTheNextStartShowsTheWindow) {
  auto& prefix = WinePrefix::Get();
  ASSERT_FALSE(prefix.Problem()) << *prefix.Problem();
  prefix.StartServer();  // the session lasts from one start to the next
  ExpectACleanFailureWithoutADisplay(RunExePath(), prefix.Environment());

  // The mutex went with the failed copy. Wine's session keeps the display it
  // started with (none) until its server ends, which it does by itself a few
  // seconds after its last program; the next start with a display is then a
  // new session, as at a person's next login.
  prefix.StopServer();
  StartServer({.windowManager = true});
  auto app = Launch();
  EXPECT_TRUE(WaitForMainWindow(e2e::In(kStartUp))) << app->Stderr();
}

// The 64-bit build, where the tests run the 32-bit one: it needs a 64-bit
// prefix of its own.
TEST_F(StartupTest, The64BitBuildWithoutADisplayEndsWithStatusOneToo) {
  if (ExeIs64Bit()) GTEST_SKIP() << "the 64-bit build is the one every Wine test runs here";
  if (!std::filesystem::exists(Exe64Path())) GTEST_SKIP() << Exe64Path() << " is not built";
  std::string path = "/tmp/omenglobe-wine64-XXXXXX";
  ASSERT_NE(mkdtemp(path.data()), nullptr);
  const Env env = WinePrefix::EnvironmentFor(path, true);
  e2e::Process boot({.argv = {WineCommandFor(Exe64Path()), "wineboot", "--init"}, .env = env});
  const auto booted = boot.WaitExit(e2e::In(std::chrono::minutes(10)));
  if (booted && *booted == e2e::ExitStatus{.exited = true, .code = 0}) {
    ExpectACleanFailureWithoutADisplay(Exe64Path(), env);
  } else {
    ADD_FAILURE() << "wineboot of a 64-bit prefix failed: " << boot.Stderr();
  }
  WinePrefix::Discard(path);
}

}  // namespace
}  // namespace omenglobe_wine
