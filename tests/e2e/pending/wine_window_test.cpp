// The window as it first appears under Wine, and the running-copy rule.
#include <thread>

#include "wine_program.h"

namespace omenglobe_wine {
namespace {

class WindowTest : public WineTest {
 protected:
  void SetUp() override { StartServer({.windowManager = true}); }
};

TEST_F(WindowTest, MapsCentredAsAnEllipseShowingTheBallAndItsControls) {
  const auto started = e2e::Clock::now();
  auto app = Launch();
  const auto window = WaitForMainWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << app->Stderr();
  RecordProperty("startup_ms", static_cast<int>(e2e::MillisecondsSince(started)));
  ASSERT_TRUE(e2e::WaitFor([&] { return Geometry(*window) == kCentred; }, e2e::In(10s),
                           "the window centred at " + e2e::Describe(kCentred) + " (it is at " +
                               e2e::Describe(Geometry(*window)) + ")"));

  // Wine hands the window region to the X Shape extension: the ellipse in
  // the box 25, 15, 350, 319 keeps the middle and cuts the corners away.
  EXPECT_TRUE(x_->ShapeContains(*window, 188, 160));
  for (auto [cx, cy] : {std::pair{1, 1}, {348, 1}, {1, 317}, {348, 317}, {20, 160}, {188, 10}}) {
    EXPECT_FALSE(x_->ShapeContains(*window, cx, cy)) << cx << "," << cy;
  }
  const e2e::Rect extents = x_->ShapeExtents(*window);
  EXPECT_NEAR(extents.x, 25, 1);
  EXPECT_NEAR(extents.y, 15, 1);
  EXPECT_NEAR(extents.x + extents.width, 350, 1);
  EXPECT_NEAR(extents.y + extents.height, 319, 1);

  // The program's icon reaches the window system (Wine publishes it as
  // _NET_WM_ICON: width, height, pixels, for each size it offers).
  const std::vector<long> icon = x_->CardinalProperty(*window, "_NET_WM_ICON");
  bool has32 = false;
  for (std::size_t at = 0; at + 2 <= icon.size(); at += 2 + icon[at] * icon[at + 1]) {
    has32 = has32 || (icon[at] == 32 && icon[at + 1] == 32);
  }
  EXPECT_TRUE(has32) << "no 32 x 32 icon among " << icon.size() << " values";

  // Look once the picture is there: a window not yet painted is all white.
  ASSERT_TRUE(WaitForDrawnWindow(e2e::In(10s)));
  const std::string shot = SaveScreenshot(*window, "wine_startup");
  auto count = [&](const e2e::Rect& area, bool (*test)(e2e::Rgb)) {
    return CaptureOf(*window, area).Count({0, 0, area.width, area.height}, [&](e2e::Rgb c) {
      return test(c);
    });
  };
  auto area = [](const e2e::Rect& r) { return r.width * r.height; };
  auto light = [](e2e::Rgb c) { return c.Max() >= 150; };

  // The empty answer box is black; so is the ball around it.
  const e2e::Rect box = Inset(kAnswerBox, 3);
  EXPECT_EQ(count(box, Dark), area(box)) << shot;
  const e2e::Rect ball{60, 120, 30, 60};
  EXPECT_EQ(count(ball, Dark), area(ball)) << shot;
  // The white emblem between the answer box and the shake button.
  EXPECT_GT(count({158, 175, 62, 60}, light), 200) << shot;
  // Buttons are drawn on a light face.
  for (const e2e::Rect& button : {kShakeButton, kHelpButton, kExitButton}) {
    const e2e::Rect face = Inset(button, 2);
    EXPECT_GT(count(face, light), area(face) / 2) << e2e::Describe(button) << " " << shot;
  }
  // The shake button's caption is on its face: dark text on the light face.
  EXPECT_GT(count(Inset(kShakeButton, 3), Dark), 40) << shot;
  // The form's own strip below the picture (inside the ellipse there), in
  // the menu-text colour: black.
  EXPECT_EQ(count({170, 314, 36, 3}, Dark), 36 * 3) << shot;
  EXPECT_TRUE(app->Running()) << app->Stderr();
}

TEST_F(WindowTest, ASecondCopyEndsWithoutAWindowAndTheFirstRunsOn) {
  auto first = Launch();
  const auto window = WaitForMainWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << first->Stderr();

  auto second = Launch();
  const auto status = second->WaitExit(e2e::In(kStartUp));
  ASSERT_TRUE(status) << "the second copy is still running";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*status);
  EXPECT_EQ(x_->FindWindows(kTitle, false).size(), 1u);
  EXPECT_TRUE(first->Running());
  EXPECT_EQ(Geometry(*window), kCentred);
}

// Runs `wine reg` in the run's prefix, on the test's display (the Wine
// processes it starts serve the program too), and waits for it.
testing::AssertionResult Registry(const std::string& display,
                                  const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {WineCommand(), "reg"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  Env env = WinePrefix::Get().Environment();
  env["DISPLAY"] = display;
  e2e::Process reg({.argv = argv, .env = env});
  const auto status = reg.WaitExit(e2e::In(60s));
  if (status && status->exited && status->code == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure()
         << "wine reg " << arguments.front() << " failed: " << reg.Stderr();
}

constexpr char kDesktopKey[] = "HKCU\\Control Panel\\Desktop";

// The screen's resolution for the programs started while it lives, as the
// display settings set it; the prefix is back at its default afterwards.
class ScreenResolution {
 public:
  ScreenResolution(std::string display, int dpi) : display_(std::move(display)) {
    set_ = Registry(display_, {"add", kDesktopKey, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                               std::to_string(dpi), "/f"});
  }
  ~ScreenResolution() {
    EXPECT_TRUE(Registry(display_, {"delete", kDesktopKey, "/v", "LogPixels", "/f"}));
  }
  const testing::AssertionResult& Set() const { return set_; }

 private:
  std::string display_;
  testing::AssertionResult set_ = testing::AssertionFailure();
};

class ResolutionTest : public WindowTest, public testing::WithParamInterface<int> {};

TEST_P(ResolutionTest, TheBallIsTheSameOnlyLarger) {
  const int dpi = GetParam();
  ScreenResolution resolution(server_->DisplayName(), dpi);
  ASSERT_TRUE(resolution.Set());
  auto app = Launch();
  const auto window = WaitForMainWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << app->Stderr();
  const int width = ScaledLength(350, dpi), height = ScaledLength(319, dpi);
  const auto answer = Inset(ScaledRect(kAnswerBox, dpi), 3);
  const auto face = Inset(ScaledRect(kShakeButton, dpi), 3);
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        const auto g = Geometry(*window);
        if (g.width != width || g.height != height) return false;
        const auto shot = CaptureOf(*window, {0, 0, width, height});
        return shot.Count(answer, Dark) == answer.width * answer.height &&
               shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 150; }) >
                   face.width * face.height / 2;
      },
      e2e::In(20s),
      "the window drawn at " + std::to_string(width) + " x " + std::to_string(height) + " (it is " +
          e2e::Describe(Geometry(*window)) + ")"));
  const std::string shot = SaveScreenshot(*window, "wine_" + std::to_string(dpi) + "dpi");
  SCOPED_TRACE(shot);
  ExpectEmblemAsAt96Dpi(CaptureOf(*window, {0, 0, width, height}), dpi);
  const e2e::Rect extents = x_->ShapeExtents(*window);
  EXPECT_NEAR(extents.x, 25 * dpi / 96.0, 1);
  EXPECT_NEAR(extents.y, 15 * dpi / 96.0, 1);
  EXPECT_NEAR(extents.x + extents.width, width, 1);
  EXPECT_NEAR(extents.y + extents.height, height, 1);
}

// Wine sends no WM_DPICHANGED (its resolution is read once per process), so
// a client sends it as Windows would.
TEST_F(WindowTest, ANewMonitorResolutionLaysTheFormOutAgainInTheSuggestedPlace) {
  auto app = Launch();
  const auto window = WaitForDrawnWindow(e2e::In(kStartUp));
  ASSERT_TRUE(window) << app->Stderr();
  const auto before = Geometry(*window);
  const e2e::Rect suggested{before.x - 80, before.y - 60, 525, 478};
  Env env = WinePrefix::Get().Environment();
  env["DISPLAY"] = server_->DisplayName();
  e2e::Process client(
      {.argv = {WineCommand(), ExeIs64Bit() ? OMENGLOBE_DPI_CLIENT_64 : OMENGLOBE_DPI_CLIENT_32,
                "144", std::to_string(suggested.x), std::to_string(suggested.y),
                std::to_string(suggested.x + suggested.width),
                std::to_string(suggested.y + suggested.height)},
       .env = env});
  const auto status = client.WaitExit(e2e::In(60s));
  ASSERT_TRUE(status && status->exited && status->code == 0) << client.Stderr();

  const auto answer = Inset(ScaledRect(kAnswerBox, 144), 3);
  const auto face = Inset(ScaledRect(kShakeButton, 144), 3);
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        if (Geometry(*window) != suggested) return false;
        const auto shot = CaptureOf(*window, {0, 0, suggested.width, suggested.height});
        return shot.Count(answer, Dark) == answer.width * answer.height &&
               shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 150; }) >
                   face.width * face.height / 2;
      },
      e2e::In(10s),
      "the window laid out at 144 dpi in " + e2e::Describe(suggested) + " (it is " +
          e2e::Describe(Geometry(*window)) + ")"));
  const std::string shot = SaveScreenshot(*window, "wine_dpi_changed");
  SCOPED_TRACE(shot);
  ExpectEmblemAsAt96Dpi(CaptureOf(*window, {0, 0, suggested.width, suggested.height}), 144);
  const e2e::Rect extents = x_->ShapeExtents(*window);
  EXPECT_NEAR(extents.x, 38, 1);
  EXPECT_NEAR(extents.y, 22, 1);
  EXPECT_NEAR(extents.x + extents.width, 525, 1);
  EXPECT_NEAR(extents.y + extents.height, 478, 1);
  // The help button answers where it now stands.
  const auto help = ScaledRect(kHelpButton, 144);
  ClickAt(*window, CentreX(help), CentreY(help));
  EXPECT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(20s))) << "\"?\" did not answer";
}

INSTANTIATE_TEST_SUITE_P(, ResolutionTest, testing::Values(144, 192), [](const auto& info) {
  return "At" + std::to_string(info.param) + "Dpi";
});

}  // namespace
}  // namespace omenglobe_wine
