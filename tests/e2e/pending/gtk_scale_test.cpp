// The window on a scaled desktop: at a device scale of 2 or 3 (GDK_SCALE)
// and at a higher font resolution (Xft.dpi), every control answers where it
// is drawn, the ball drags from its picture and the emblem stands where it
// stands at 96 dpi, only larger.
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

struct ScaleCase {
  const char* name;
  int deviceScale;  // GDK_SCALE
  int dpi;          // Xft.dpi
};
void PrintTo(const ScaleCase& c, std::ostream* out) { *out << c.name; }

constexpr int kScreenWidth = 1600, kScreenHeight = 1200;

class ScaleTest : public ProgramTest, public testing::WithParamInterface<ScaleCase> {
 protected:
  void SetUp() override {
    StartServer({.width = kScreenWidth, .height = kScreenHeight, .dpi = GetParam().dpi});
  }

  // Device pixels per pixel of the 96-dpi layout.
  static double Factor() { return GetParam().deviceScale * GetParam().dpi / 96.0; }
  // A design length in 96-dpi pixels as the window shows it: converted to
  // the desktop's pixels (rounded, halves to even) and then to the device's.
  static int Length(int pixelsAt96) {
    return ScaledLength(pixelsAt96, GetParam().dpi, GetParam().deviceScale);
  }
  static e2e::Rect Scaled(const e2e::Rect& r) {
    return ScaledRect(r, GetParam().dpi, GetParam().deviceScale);
  }
  static std::pair<int, int> Centre(const e2e::Rect& r) {
    const auto s = Scaled(r);
    return {CentreX(s), CentreY(s)};
  }

  std::unique_ptr<e2e::Process> LaunchScaled() {
    return Launch({{"GDK_SCALE", std::to_string(GetParam().deviceScale)}});
  }

  bool DrawnScaled(const e2e::Image& shot) {
    const auto answer = Inset(Scaled(kAnswerBox), 2);
    const auto face = Inset(Scaled(kShakeButton), 4);
    if (shot.Width() < answer.x + answer.width || shot.Height() < face.y + face.height) {
      return false;
    }
    return shot.Count(answer, Dark) == answer.width * answer.height &&
           shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 0xC0; }) >
               face.width * face.height / 2;
  }
};

TEST_P(ScaleTest, EveryControlAnswersWhereItIsDrawnAndTheBallDragsFromItsPicture) {
  auto app = LaunchScaled();
  const auto window = WaitForMainWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto start = Geometry(*window);
  EXPECT_EQ(start.width, Length(350));
  EXPECT_EQ(start.height, Length(319));
  ASSERT_TRUE(e2e::WaitFor([&] { return DrawnScaled(Shot(*window)); }, e2e::In(5s),
                           "the window to be drawn"));
  const auto shot = Shot(*window);
  shot.SavePng(e2e::ArtifactsDir() + "/omenglobe-scale-" + GetParam().name + ".png");
  ExpectEmblemAsAt96Dpi(shot, GetParam().dpi, GetParam().deviceScale);

  // Presses land where the drawing is: the ellipse in device pixels.
  const auto drawn = x_->ShapeExtents(*window, e2e::ShapeKind::Bounding);
  EXPECT_EQ(x_->ShapeExtents(*window, e2e::ShapeKind::Input), drawn);
  EXPECT_NEAR(drawn.x, 25 * Factor(), GetParam().deviceScale + 1);
  EXPECT_NEAR(drawn.y, 15 * Factor(), GetParam().deviceScale + 1);
  EXPECT_NEAR(drawn.x + drawn.width, start.width, GetParam().deviceScale);
  EXPECT_NEAR(drawn.y + drawn.height, start.height, GetParam().deviceScale);
  for (const auto& control : {kShakeButton, kHelpButton, kExitButton}) {
    const auto [cx, cy] = Centre(control);
    EXPECT_TRUE(x_->ShapeContains(*window, cx, cy, e2e::ShapeKind::Input))
        << e2e::Describe(Scaled(control));
  }

  // Dragged from the picture above the answer box. The window moves in
  // whole pixels of the desktop, each `deviceScale` device pixels.
  const int grain = GetParam().deviceScale;
  const auto [px, py] = At(*window, Length(188), Length(50));
  ASSERT_TRUE(x_->DragFollowed(
      px, py, px + 60, py + 42, 1, 10,
      [&](int dx, int dy) {
        const auto g = Geometry(*window);
        return std::abs(g.x - start.x - dx) < grain && std::abs(g.y - start.y - dy) < grain;
      },
      e2e::In(5s)));
  const int draggedY = Geometry(*window).y;
  EXPECT_EQ(draggedY, start.y + 42);

  // The shake sweeps the window and brings it back to the middle across, at
  // the dragged height.
  const auto [sx, sy] = Centre(kShakeButton);
  ClickAt(*window, sx, sy);
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        const auto g = Geometry(*window);
        return std::abs(g.x - (kScreenWidth - start.width) / 2) <= grain && g.y == draggedY;
      },
      e2e::In(5s),
      "the shake to re-centre the window (it is at " + e2e::Describe(Geometry(*window)) + ")"));

  const auto [hx, hy] = Centre(kHelpButton);
  ClickAt(*window, hx, hy);
  ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(5s))) << "\"?\" did not answer";
  x_->Key("Return");
  ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle).empty(); }, e2e::In(3s),
                           "the help box to close"));

  const auto [ex, ey] = Centre(kExitButton);
  ClickAt(*window, ex, ey);
  const auto status = app->WaitExit(e2e::In(6s));
  ASSERT_TRUE(status) << "\"X\" did not end the program";
  EXPECT_EQ(*status, (e2e::ExitStatus{.exited = true, .code = 0})) << e2e::Describe(*status);
  EXPECT_EQ(Complaints(app->Stderr()), "");
}

INSTANTIATE_TEST_SUITE_P(, ScaleTest,
                         testing::Values(ScaleCase{"DeviceScale2", 2, 96},
                                         ScaleCase{"DeviceScale3", 3, 96},
                                         ScaleCase{"At144Dpi", 1, 144},
                                         ScaleCase{"At192Dpi", 1, 192}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace omenglobe_e2e

namespace omenglobe_e2e {
namespace {

class LiveResolutionTest : public ProgramTest {
 protected:
  // Xft/DPI in the settings daemon's file, in 1024ths of a dot per inch.
  void WriteSettings(int dpi) { std::ofstream(settingsFile_) << "Xft/DPI " << dpi * 1024 << "\n"; }
  std::string settingsFile_ = RuntimeDir() + "/xsettingsd.conf";
};

TEST_F(LiveResolutionTest, TheWindowFollowsTheDesktopsNewResolutionWithoutARestart) {
  if (auto missing = e2e::MissingOptionalPackages("xsettings")) GTEST_SKIP() << *missing;
  if (system("command -v xsettingsd >/dev/null") != 0) {
    GTEST_SKIP() << "no settings daemon here (Debian's xsettingsd)";
  }
  StartServer();
  WriteSettings(96);
  e2e::Process daemon({.argv = {"xsettingsd", "-c", settingsFile_}, .env = server_->Environment()});
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  ASSERT_EQ(Geometry(*window).width, 350);

  WriteSettings(144);
  daemon.Signal(SIGHUP);  // the daemon reads its file again and tells every client
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        const auto g = Geometry(*window);
        return g.width == 525 && g.height == 478;
      },
      e2e::In(5s), "the window at 525 x 478 (it is " + e2e::Describe(Geometry(*window)) + ")"));
  // Cut again, to the ellipse the program makes at 144 dpi, for drawing and presses.
  for (const auto kind : {e2e::ShapeKind::Bounding, e2e::ShapeKind::Input}) {
    EXPECT_TRUE(e2e::WaitFor(
        [&] {
          return x_->ShapeExtents(*window, kind) == e2e::Rect{38, 22, 487, 456};
        },
        e2e::In(3s), "the ellipse 38, 22, 525, 478"));
  }
  const auto answer = Inset(ScaledRect(kAnswerBox, 144), 2);
  ASSERT_TRUE(e2e::WaitFor(
      [&] { return Shot(*window).Count(answer, Dark) == answer.width * answer.height; },
      e2e::In(3s), "the answer box where it stands at 144 dpi"));
  const auto shot = Shot(*window);
  Save(shot, "after");
  ExpectEmblemAsAt96Dpi(shot, 144);
  // The shake button answers where it now stands: the sweep starts.
  e2e::ConfigureRecorder moves(server_->DisplayName(), *window);
  const auto shake = ScaledRect(kShakeButton, 144);
  ClickAt(*window, CentreX(shake), CentreY(shake));
  EXPECT_TRUE(
      e2e::WaitFor([&] { return moves.Events().size() >= 9; }, e2e::In(3s), "the shake's sweep"));
  EXPECT_EQ(Complaints(app->Stderr()), "");
}

}  // namespace
}  // namespace omenglobe_e2e

namespace omenglobe_e2e {
namespace {

class ShrinkingScreenTest : public ProgramTest {};

TEST_F(ShrinkingScreenTest, TheWindowComesBackOnIt) {
  StartServer();
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  ASSERT_EQ(Geometry(*window), (e2e::Rect{337, 224, 350, 319}));
  // The screen shrinks to 640 x 480, as a resolution change would make it.
  // Xvfb's one output keeps its mode and xrandr complains of that, but the
  // screen takes the new size all the same.
  e2e::Process xrandr({.argv = {"xrandr", "--fb", "640x480"}, .env = server_->Environment()});
  ASSERT_TRUE(xrandr.WaitExit(e2e::In(10s)));
  // Moved as little as it takes to lie wholly on the screen again.
  EXPECT_TRUE(e2e::WaitFor(
      [&] {
        return Geometry(*window) == e2e::Rect{290, 161, 350, 319};
      },
      e2e::In(3s),
      "the window back on the screen (it is at " + e2e::Describe(Geometry(*window)) + ")"));
  EXPECT_EQ(Complaints(app->Stderr()), "");
}

}  // namespace
}  // namespace omenglobe_e2e
