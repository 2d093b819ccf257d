// The 64-bit build of the Windows program, where the tests run the 32-bit
// one: without a display it too ends with status 1 and its reason, in a
// 64-bit prefix of its own.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>

#include "program_test.h"
#include "wine_program.h"

namespace omenglobe_e2e {
namespace {

using omenglobe_wine::Exe64Path;
using omenglobe_wine::WinePrefix;

class WineStartupTest : public WineProgramTest {};

TEST_F(WineStartupTest, The64BitBuildWithoutADisplayEndsWithStatusOneToo) {
  if (omenglobe_wine::ExeIs64Bit()) {
    GTEST_SKIP() << "the 64-bit build is the one every Wine test runs here";
  }
  if (!std::filesystem::exists(Exe64Path())) GTEST_SKIP() << Exe64Path() << " is not built";
  std::string path = "/tmp/omenglobe-wine64-XXXXXX";
  ASSERT_NE(mkdtemp(path.data()), nullptr);
  Env env = WinePrefix::EnvironmentFor(path, true);
  const std::string wine = omenglobe_wine::WineCommandFor(Exe64Path());
  e2e::Process boot({.argv = {wine, "wineboot", "--init"}, .env = env});
  const auto booted = boot.WaitExit(e2e::In(std::chrono::minutes(10)));
  if (!booted || *booted != e2e::ExitStatus{.exited = true, .code = 0}) {
    ADD_FAILURE() << "wineboot of a 64-bit prefix failed: " << boot.Stderr();
    WinePrefix::Discard(path);
    return;
  }
  // Twice: the session's first program also waits for Wine's own services;
  // the second start, in a running session, must end at once.
  env["DISPLAY"] = std::nullopt;
  for (const bool timed : {false, true}) {
    SCOPED_TRACE(timed ? "in a running session" : "the session's first program");
    const auto started = e2e::Clock::now();
    e2e::Process app({.argv = {wine, Exe64Path()}, .env = env});
    const auto status = app.WaitExit(started + (timed ? 1500ms : StartUp()));
    const double took = e2e::MillisecondsSince(started);
    EXPECT_TRUE(status) << Exe64Path() << " still runs " << took << " ms after its start";
    if (!status) break;
    EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 1})) << e2e::Describe(*status);
    EXPECT_NE(app.Stderr().find("omenglobe: cannot create the window"), std::string::npos)
        << app.Stderr();
    if (timed) RecordProperty("no_display_64_ms", static_cast<int>(took));
  }
  WinePrefix::Discard(path);
}

}  // namespace
}  // namespace omenglobe_e2e
