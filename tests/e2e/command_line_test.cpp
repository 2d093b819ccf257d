// The program's command line, without any display: what it answers on its
// own, and what it refuses.
#include <algorithm>

#include "program_test.h"

namespace omenglobe_e2e {
namespace {

class CommandLineTest : public ProgramTest {
 protected:
  // No X11 display anywhere: whatever the program prints, it did without one.
  std::unique_ptr<e2e::Process> Run(std::vector<std::string> arguments) {
    return Launch({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}}, arguments);
  }
};

constexpr e2e::ExitStatus kNormalEnd{.exited = true, .code = 0};

TEST_P(CommandLineTest, HelpAndVersionAnswerOnStandardOutputWithoutADisplay) {
  for (const std::string option : {"--help", "-h"}) {
    SCOPED_TRACE(option);
    auto app = Run({option});
    const auto status = app->WaitExit(e2e::In(StartUp()));
    ASSERT_TRUE(status) << "still running";
    EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status) << app->Stderr();
    const std::string out = app->Stdout();
    EXPECT_EQ(out.rfind("Usage:", 0), 0u) << out;
    // Ours and GTK's, in one list.
    for (const char* listed : {"--version", "--help", "--display=DISPLAY", "--class="}) {
      EXPECT_NE(out.find(listed), std::string::npos) << listed << " missing from:\n" << out;
    }
    EXPECT_EQ(app->Stderr(), "");
  }

  auto app = Run({"--version"});
  const auto status = app->WaitExit(e2e::In(StartUp()));
  ASSERT_TRUE(status) << "still running";
  EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status) << app->Stderr();
  EXPECT_EQ(app->Stdout(), "omenglobe " OMENGLOBE_VERSION "\n");
  EXPECT_EQ(app->Stderr(), "");
}

// What it does not know it names, instead of starting the ball regardless.
TEST_P(CommandLineTest, AnUnknownOptionOrAStrayArgumentIsOneLineNamingItAndNoWindow) {
  StartServer();
  const struct {
    std::vector<std::string> arguments;
    const char* named;
  } cases[] = {
      {{"--frobnicate"}, "--frobnicate"},
      {{"-z"}, "-z"},
      {{"question.txt"}, "question.txt"},
      {{"--", "--version"}, "--version"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    // On a display that works: the line must come instead of a window.
    auto app = Launch({}, c.arguments);
    const auto status = app->WaitExit(e2e::In(StartUp()));
    ASSERT_TRUE(status) << "still running";
    EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 1})) << e2e::Describe(*status);
    const std::string err = app->Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("omenglobe: ", 0), 0u) << err;
    EXPECT_NE(err.find(c.named), std::string::npos) << err;
    EXPECT_NE(err.find("--help"), std::string::npos) << err;
    EXPECT_EQ(app->Stdout(), "");
    EXPECT_TRUE(x_->FindWindows(kTitle, false).empty());
  }
}

// A Wayland session without Xwayland hears what is missing, not only that
// DISPLAY is unset.
TEST_P(CommandLineTest, ALoneWaylandDisplayIsToldTheProgramNeedsXwayland) {
  auto app = Launch({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", "wayland-7"}});
  const auto status = app->WaitExit(e2e::In(StartUp()));
  ASSERT_TRUE(status) << "still running";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 1})) << e2e::Describe(*status);
  const std::string err = app->Stderr();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  for (const char* said : {"needs X11", "Xwayland", "WAYLAND_DISPLAY=wayland-7"}) {
    EXPECT_NE(err.find(said), std::string::npos) << said << " missing from: " << err;
  }
}

ON_TARGETS(CommandLineTest, Targets({Feature::CommandLine}));

}  // namespace
}  // namespace omenglobe_e2e
