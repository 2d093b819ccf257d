// The window as it first shows: size, place, shape, icon, controls and
// pixels, at the standard resolution and at larger ones.
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "program_test.h"

namespace omenglobe_e2e {
namespace {

constexpr e2e::ExitStatus kNormalEnd{.exited = true, .code = 0};

int Area(const e2e::Rect& r) { return r.width * r.height; }

// The icons of _NET_WM_ICON (width, height, pixels, for each size offered):
// each square and whole. `sizes` gets each one's size, `firsts` where its
// pixels start.
testing::AssertionResult WellFormedIcons(const std::vector<long>& icon, std::vector<long>* sizes,
                                         std::vector<std::size_t>* firsts = nullptr) {
  if (icon.empty()) return testing::AssertionFailure() << "no _NET_WM_ICON";
  for (std::size_t at = 0; at < icon.size();) {
    if (at + 2 > icon.size()) return testing::AssertionFailure() << "a stray value at " << at;
    if (icon[at] != icon[at + 1] || icon[at] <= 0) {
      return testing::AssertionFailure()
             << "an icon of " << icon[at] << " x " << icon[at + 1] << " at " << at;
    }
    sizes->push_back(icon[at]);
    if (firsts != nullptr) firsts->push_back(at + 2);
    at += 2 + static_cast<std::size_t>(icon[at] * icon[at]);
    if (at > icon.size()) return testing::AssertionFailure() << "the last icon is cut short";
  }
  return testing::AssertionSuccess();
}

class WindowTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    StartServer();
  }
};

TEST_P(WindowTest, ShowsTheBallCentredAndCutToTheEllipseAt96Dpi) {
  const auto started = e2e::Clock::now();
  auto app = Launch();
  const auto window = WaitForMainWindow();
  ASSERT_TRUE(window) << app->Stderr();
  RecordProperty("start_up_ms", static_cast<int>(e2e::MillisecondsSince(started)));

  // Centred on the 1024 x 768 screen, the half pixel down either way.
  ASSERT_EQ(Centred(), (e2e::Rect{337, 224, 350, 319}));
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        const auto g = Geometry(*window);
        return g.x == 337 && (g.y == 224 || g.y == 225) && g.width == 350 && g.height == 319;
      },
      e2e::In(10s), "the window centred (it is at " + e2e::Describe(Geometry(*window)) + ")"));

  // The ellipse in the box 25, 15, 350, 319 keeps the middle and cuts the
  // corners away, for drawing and, where the platform cuts it, for presses.
  for (const auto kind : {e2e::ShapeKind::Bounding, e2e::ShapeKind::Input}) {
    if (kind == e2e::ShapeKind::Input && !Has(Feature::InputShape)) continue;
    SCOPED_TRACE(kind == e2e::ShapeKind::Bounding ? "bounding shape" : "input shape");
    const int cut = EllipseShortfall();
    EXPECT_EQ(x_->ShapeExtents(*window, kind), (e2e::Rect{25, 15, 325 - cut, 304 - cut}));
    for (const auto& [px, py] : {std::pair{0, 0},
                                 {349, 0},
                                 {0, 318},
                                 {349, 318},
                                 {1, 1},
                                 {348, 1},
                                 {1, 317},
                                 {348, 317}}) {
      EXPECT_FALSE(x_->ShapeContains(*window, px, py, kind)) << "corner " << px << "," << py;
    }
    EXPECT_TRUE(x_->ShapeContains(*window, 187, 167, kind));
    EXPECT_TRUE(x_->ShapeContains(*window, 188, 160, kind));
    EXPECT_FALSE(x_->ShapeContains(*window, 24, 167, kind)) << "left of the ellipse";
    EXPECT_FALSE(x_->ShapeContains(*window, 20, 160, kind)) << "left of the ellipse";
    EXPECT_TRUE(x_->ShapeContains(*window, 27, 167, kind));
    EXPECT_FALSE(x_->ShapeContains(*window, 60, 40, kind)) << "just outside the upper left arc";
    EXPECT_FALSE(x_->ShapeContains(*window, 188, 10, kind)) << "above the ellipse";
  }

  // The program's icon reaches the window system, a 32 x 32 one among them.
  std::vector<long> sizes;
  EXPECT_TRUE(WellFormedIcons(x_->CardinalProperty(*window, "_NET_WM_ICON"), &sizes));
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), 32), sizes.end()) << "no 32 x 32 icon";

  // Look once the picture is there: a window not yet painted is all white.
  ASSERT_TRUE(
      e2e::WaitFor([&] { return Drawn(Shot(*window)); }, e2e::In(10s), "the window to be drawn"));
  const auto shot = Shot(*window);
  const std::string saved = Save(shot, "window");
  SCOPED_TRACE(saved);
  EXPECT_EQ(shot.Count(kAnswerBox, Dark), Area(kAnswerBox)) << "the empty answer box is black";
  for (const auto& button : {kShakeButton, kHelpButton, kExitButton}) {
    const auto face = Inset(button, 2);
    EXPECT_GT(shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 0xC0; }), Area(face) / 2)
        << "button at " << e2e::Describe(button) << " is not drawn";
  }
  // The shake caption: dark text on the light face, on two lines.
  const auto inked = [](e2e::Rgb c) { return c.Max() < 0x80; };
  EXPECT_GT(shot.Count(Inset(kShakeButton, 3), inked), 40) << "no caption on the shake button";
  const auto face = Inset(kShakeButton, 2);
  int inkRows = 0, inkRuns = 0;
  bool previous = false;
  for (int y = face.y; y < face.y + face.height; ++y) {
    const bool ink = shot.Count({face.x, y, face.width, 1}, inked) > 0;
    inkRows += ink;
    inkRuns += ink && !previous;
    previous = ink;
  }
  EXPECT_EQ(inkRuns, 2) << "the caption should stand on two lines";
  EXPECT_GE(inkRows, 12);
  // The white emblem on the centre line between the answer box and the
  // shake button, where and as large as it is drawn.
  EXPECT_GT(shot.Count({180, 175, 16, 60}, [](e2e::Rgb c) { return c.Max() >= 0xE0; }), 40);
  EXPECT_GT(shot.Count({158, 175, 62, 60}, [](e2e::Rgb c) { return c.Max() >= 150; }), 200);
  ExpectEmblemAsAt96Dpi(shot, 96);
  // The rest of the ball is black.
  EXPECT_EQ(shot.Count({60, 120, 30, 60}, Dark), 1800);
  EXPECT_EQ(shot.Count({300, 120, 30, 30}, Dark), 900);
  // The strip below the picture (inside the ellipse there) shows the form's
  // own surface, in the menu-text colour: black.
  const int rows = 5 - EllipseShortfall();
  EXPECT_EQ(shot.Count({180, 314, 15, rows}, Dark), 15 * rows);
  EXPECT_EQ(shot.Count({170, 314, 36, 3}, Dark), 36 * 3);
  EXPECT_TRUE(app->Running()) << app->Stderr();
}

ON_TARGETS(WindowTest, Targets());

class ThemeIconTest : public WindowTest {};

// The icon at every size of the desktop icon theme, each the installed
// theme icon of its size, pixel for pixel.
TEST_P(ThemeIconTest, TheIconIsTheInstalledThemesAtEverySize) {
  auto app = Launch();
  const auto window = WaitForMainWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto icon = x_->CardinalProperty(*window, "_NET_WM_ICON");
  std::vector<long> sizes;
  std::vector<std::size_t> firsts;
  ASSERT_TRUE(WellFormedIcons(icon, &sizes, &firsts));
  EXPECT_EQ(sizes, (std::vector<long>{16, 22, 24, 32, 48, 64, 128, 256}));
  for (std::size_t n = 0; n < sizes.size(); ++n) {
    const long size = sizes[n];
    const std::string png = std::string(OMENGLOBE_ICON_DIR) + "/" + std::to_string(size) + "x" +
                            std::to_string(size) + "/apps/org.omenglobe.Omenglobe.png";
    int width = 0, height = 0;
    const auto theme = e2e::ReadPngArgb(png, &width, &height);
    ASSERT_TRUE(width == size && height == size) << png;
    int differing = 0;
    for (std::size_t i = 0; i < theme.size(); ++i) {
      const auto shown = static_cast<std::uint32_t>(icon[firsts[n] + i]);
      // Where a pixel is wholly clear, only its alpha counts.
      differing += (theme[i] >> 24) == 0 ? (shown >> 24) != 0 : shown != theme[i];
    }
    EXPECT_EQ(differing, 0) << "pixels of the " << size << " px icon unlike " << png;
  }
}

ON_TARGETS(ThemeIconTest, Targets({Feature::ThemeIcons}));

// The window on a scaled desktop: at a higher resolution (Xft.dpi on Linux,
// the display settings under Wine) and, where the platform has one, at a
// device scale of 2 or 3 (GDK_SCALE). Every control answers where it is
// drawn, the ball drags from its picture and the emblem stands where it
// stands at 96 dpi, only larger.
using Scale = std::tuple<Target, int, int>;  // target, dpi, device scale

class ScaledWindowTest : public ProgramFixture, public testing::WithParamInterface<Scale> {
 protected:
  ScaledWindowTest() : ProgramFixture(std::get<0>(GetParam())) {}
  static int DpiOf() { return std::get<1>(GetParam()); }
  static int DeviceScale() { return std::get<2>(GetParam()); }

  // Device pixels per pixel of the 96-dpi layout.
  static double Factor() { return DeviceScale() * DpiOf() / 96.0; }
  // A design length in 96-dpi pixels as the window shows it: converted to
  // the desktop's pixels (rounded, halves to even) and then to the device's.
  static int Length(int pixelsAt96) { return ScaledLength(pixelsAt96, DpiOf(), DeviceScale()); }
  static e2e::Rect Scaled(const e2e::Rect& r) { return ScaledRect(r, DpiOf(), DeviceScale()); }
  static std::pair<int, int> Centre(const e2e::Rect& r) {
    const auto s = Scaled(r);
    return {CentreX(s), CentreY(s)};
  }

  // How late a platform's timers and moves may run on a busy machine.
  e2e::Clock::duration Slack() const { return OnWine() ? 5s : 0s; }

  // The black answer box and the shake button's light face where they stand.
  bool DrawnScaled(const e2e::Image& shot) const {
    const auto answer = Inset(Scaled(kAnswerBox), DeviceScale() == 1 ? 0 : 2);
    const auto face = Inset(Scaled(kShakeButton), DeviceScale() == 1 ? 3 : 4);
    if (shot.Width() < answer.x + answer.width || shot.Height() < face.y + face.height) {
      return false;
    }
    return shot.Count(answer, Dark) == Area(answer) &&
           shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 0xC0; }) > Area(face) / 2;
  }

  static constexpr int kScreenWidth = 1600, kScreenHeight = 1200;
};

TEST_P(ScaledWindowTest, EveryControlAnswersWhereItIsDrawnAndTheBallDragsFromItsPicture) {
  StartServer({.width = kScreenWidth, .height = kScreenHeight, .dpi = DpiOf()});
  Env scale;
  if (DeviceScale() != 1) scale["GDK_SCALE"] = std::to_string(DeviceScale());
  auto app = Launch(scale);
  const auto window = WaitForMainWindow();
  ASSERT_TRUE(window) << app->Stderr();

  // Centred on the screen at its scaled size. The window stands on whole
  // pixels of the desktop, each `grain` device pixels: the half pixel of
  // the centring may go either way.
  const int grain = DeviceScale();
  const int width = Length(350), height = Length(319);
  const int centreX = (kScreenWidth - width) / 2, centreY = (kScreenHeight - height) / 2;
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        const auto g = Geometry(*window);
        return g.width == width && g.height == height && std::abs(g.x - centreX) <= grain &&
               std::abs(g.y - centreY) <= grain;
      },
      e2e::In(10s),
      "the window centred at " + std::to_string(width) + " x " + std::to_string(height) +
          " (it is " + e2e::Describe(Geometry(*window)) + ")"));
  const auto start = Geometry(*window);
  ASSERT_TRUE(e2e::WaitFor([&] { return DrawnScaled(Shot(*window)); }, e2e::In(10s),
                           "the window to be drawn"));
  const auto shot = Shot(*window);
  const std::string saved = Save(shot, "window");
  SCOPED_TRACE(saved);
  ExpectEmblemAsAt96Dpi(shot, DpiOf(), DeviceScale());

  // The ellipse in device pixels; presses land where the drawing is.
  const auto drawn = x_->ShapeExtents(*window, e2e::ShapeKind::Bounding);
  const auto kind = Has(Feature::InputShape) ? e2e::ShapeKind::Input : e2e::ShapeKind::Bounding;
  EXPECT_EQ(x_->ShapeExtents(*window, kind), drawn);
  if (DeviceScale() == 1) {
    const int cut = EllipseShortfall();
    EXPECT_EQ(drawn, (e2e::Rect{Length(25), Length(15), width - cut - Length(25),
                                height - cut - Length(15)}));
  }
  EXPECT_NEAR(drawn.x, 25 * Factor(), DeviceScale() + 1);
  EXPECT_NEAR(drawn.y, 15 * Factor(), DeviceScale() + 1);
  EXPECT_NEAR(drawn.x + drawn.width, width, DeviceScale());
  EXPECT_NEAR(drawn.y + drawn.height, height, DeviceScale());
  for (const auto& control : {kShakeButton, kHelpButton, kExitButton}) {
    const auto [cx, cy] = Centre(control);
    EXPECT_TRUE(x_->ShapeContains(*window, cx, cy, kind)) << e2e::Describe(Scaled(control));
  }

  // Dragged from the picture above the answer box.
  ASSERT_TRUE(WaitForFocus(*window));
  const auto [px, py] = At(*window, Length(188), Length(50));
  ASSERT_TRUE(x_->DragFollowed(
      px, py, px + 60, py + 42, 1, 10,
      [&](int dx, int dy) {
        const auto g = Geometry(*window);
        return std::abs(g.x - start.x - dx) < grain && std::abs(g.y - start.y - dy) < grain;
      },
      e2e::In(5s) + Slack()));
  ASSERT_TRUE(e2e::WaitFor(
      [&] { return Geometry(*window).y == start.y + 42; }, e2e::In(2s),
      "the window to rest 42 pixels lower (it is at " + e2e::Describe(Geometry(*window)) + ")"));
  const int draggedY = Geometry(*window).y;

  // The shake sweeps the window and brings it back to the middle across, at
  // the dragged height.
  const auto [sx, sy] = Centre(kShakeButton);
  ClickAt(*window, sx, sy);
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        const auto g = Geometry(*window);
        return std::abs(g.x - centreX) <= grain && g.y == draggedY;
      },
      e2e::In(5s) + Slack(),
      "the shake to re-centre the window (it is at " + e2e::Describe(Geometry(*window)) + ")"));

  const auto [hx, hy] = Centre(kHelpButton);
  ClickAt(*window, hx, hy);
  ASSERT_TRUE(x_->WaitForWindow(kHelpTitle, e2e::In(Effect()))) << "\"?\" did not answer";
  x_->Key("Return");
  ASSERT_TRUE(e2e::WaitFor([&] { return x_->FindWindows(kHelpTitle).empty(); },
                           e2e::In(3s) + Slack(), "the help box to close"));

  const auto [ex, ey] = Centre(kExitButton);
  ClickAt(*window, ex, ey);
  const auto status = app->WaitExit(e2e::In(6s) + Slack());
  ASSERT_TRUE(status) << "\"X\" did not end the program";
  EXPECT_EQ(*status, kNormalEnd) << e2e::Describe(*status);
  EXPECT_EQ(Complaints(app->Stderr()), "");
}

std::string ScaleName(const testing::TestParamInfo<Scale>& info) {
  const auto& [target, dpi, deviceScale] = info.param;
  if (deviceScale != 1) return target.Name() + "DeviceScale" + std::to_string(deviceScale);
  return target.Name() + "At" + std::to_string(dpi) + "Dpi";
}

INSTANTIATE_TEST_SUITE_P(Resolution, ScaledWindowTest,
                         testing::Combine(testing::ValuesIn(Targets()),
                                          testing::Values(120, 144, 192), testing::Values(1)),
                         ScaleName);
INSTANTIATE_TEST_SUITE_P(DeviceScale, ScaledWindowTest,
                         testing::Combine(testing::ValuesIn(Targets({Feature::DeviceScale})),
                                          testing::Values(96), testing::Values(2, 3)),
                         ScaleName);

class LiveResolutionTest : public ProgramTest {
 protected:
  // Xft/DPI in the settings daemon's file, in 1024ths of a dot per inch.
  void WriteSettings(int dpi) { std::ofstream(settingsFile_) << "Xft/DPI " << dpi * 1024 << "\n"; }
  std::string settingsFile_ = RuntimeDir() + "/xsettingsd.conf";
};

TEST_P(LiveResolutionTest, TheWindowFollowsTheDesktopsNewResolutionWithoutARestart) {
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
  ASSERT_TRUE(e2e::WaitFor([&] { return Shot(*window).Count(answer, Dark) == Area(answer); },
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

ON_TARGETS(LiveResolutionTest, Targets({Feature::LiveResolution}));

class ShrinkingScreenTest : public ProgramTest {};

TEST_P(ShrinkingScreenTest, TheWindowComesBackOnIt) {
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

ON_TARGETS(ShrinkingScreenTest, Targets({Feature::ShrinkingScreen}));

}  // namespace
}  // namespace omenglobe_e2e
