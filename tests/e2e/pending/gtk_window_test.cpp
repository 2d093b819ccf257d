// The window as it first shows: size, place, shape, controls and pixels,
// at the standard resolution and at a larger one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gtk_program.h"

namespace omenglobe_e2e {
namespace {

class WindowTest : public ProgramTest {};

TEST_F(WindowTest, ShowsTheBallCentredAndCutToTheEllipseAt96Dpi) {
  StartServer();
  const auto started = e2e::Clock::now();
  auto app = Launch();
  const auto window = WaitForMainWindow();
  ASSERT_TRUE(window) << app->Stderr();
  RecordProperty("start_up_ms", static_cast<int>(e2e::MillisecondsSince(started)));

  const auto g = Geometry(*window);
  EXPECT_EQ(g.width, 350);
  EXPECT_EQ(g.height, 319);
  EXPECT_EQ(g.x, 337);
  EXPECT_TRUE(g.y == 224 || g.y == 225) << "y = " << g.y;

  // The ellipse in the box 25, 15, 350, 319, for drawing and for presses.
  for (const auto kind : {e2e::ShapeKind::Bounding, e2e::ShapeKind::Input}) {
    SCOPED_TRACE(kind == e2e::ShapeKind::Bounding ? "bounding shape" : "input shape");
    EXPECT_EQ(x_->ShapeExtents(*window, kind), (e2e::Rect{25, 15, 325, 304}));
    for (const auto& [px, py] : {std::pair{0, 0}, {349, 0}, {0, 318}, {349, 318}}) {
      EXPECT_FALSE(x_->ShapeContains(*window, px, py, kind)) << "corner " << px << "," << py;
    }
    EXPECT_TRUE(x_->ShapeContains(*window, 187, 167, kind));
    EXPECT_FALSE(x_->ShapeContains(*window, 24, 167, kind)) << "left of the ellipse";
    EXPECT_TRUE(x_->ShapeContains(*window, 27, 167, kind));
    EXPECT_FALSE(x_->ShapeContains(*window, 60, 40, kind)) << "just outside the upper left arc";
  }

  // The icon at every size of the desktop icon theme, each whole and each
  // the installed theme icon of its size, pixel for pixel.
  const auto icon = x_->CardinalProperty(*window, "_NET_WM_ICON");
  std::vector<long> sizes;
  for (std::size_t at = 0; at + 2 <= icon.size();) {
    ASSERT_EQ(icon[at], icon[at + 1]) << "a square icon at " << at;
    const long size = icon[at];
    sizes.push_back(size);
    const std::size_t first = at + 2;
    at = first + static_cast<std::size_t>(size * size);
    ASSERT_LE(at, icon.size()) << "the last icon is cut short";
    const std::string png = std::string(OMENGLOBE_ICON_DIR) + "/" + std::to_string(size) + "x" +
                            std::to_string(size) + "/apps/org.omenglobe.Omenglobe.png";
    int width = 0, height = 0;
    const auto theme = e2e::ReadPngArgb(png, &width, &height);
    ASSERT_TRUE(width == size && height == size) << png;
    int differing = 0;
    for (std::size_t i = 0; i < theme.size(); ++i) {
      const auto shown = static_cast<std::uint32_t>(icon[first + i]);
      // Where a pixel is wholly clear, only its alpha counts.
      differing += (theme[i] >> 24) == 0 ? (shown >> 24) != 0 : shown != theme[i];
    }
    EXPECT_EQ(differing, 0) << "pixels of the " << size << " px icon unlike " << png;
  }
  EXPECT_EQ(sizes, (std::vector<long>{16, 22, 24, 32, 48, 64, 128, 256}));

  ASSERT_TRUE(
      e2e::WaitFor([&] { return Drawn(Shot(*window)); }, e2e::In(3s), "the window to be drawn"));
  const auto shot = Shot(*window);
  Save(shot, "window");
  const auto area = [](const e2e::Rect& r) { return r.width * r.height; };
  EXPECT_EQ(shot.Count(kAnswerBox, Dark), area(kAnswerBox)) << "the empty answer box is black";
  for (const auto& button : {kShakeButton, kHelpButton, kExitButton}) {
    const auto face = Inset(button, 3);
    EXPECT_GT(shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 0xC0; }), area(face) / 2)
        << "button at " << e2e::Describe(button) << " is not drawn";
  }
  // The shake caption: dark text on the light face, on two lines.
  const auto face = Inset(kShakeButton, 2);
  int inkRows = 0, inkRuns = 0;
  bool previous = false;
  for (int y = face.y; y < face.y + face.height; ++y) {
    const bool ink =
        shot.Count({face.x, y, face.width, 1}, [](e2e::Rgb c) { return c.Max() < 0x80; }) > 0;
    inkRows += ink;
    inkRuns += ink && !previous;
    previous = ink;
  }
  EXPECT_EQ(inkRuns, 2) << "the caption should stand on two lines";
  EXPECT_GE(inkRows, 12);
  // The emblem: white on the centre line between the answer box and the shake button.
  EXPECT_GT(shot.Count({180, 175, 16, 60}, [](e2e::Rgb c) { return c.Max() >= 0xE0; }), 40);
  // The rest of the ball is black.
  EXPECT_EQ(shot.Count({60, 120, 30, 30}, Dark), 900);
  EXPECT_EQ(shot.Count({300, 120, 30, 30}, Dark), 900);
  // The strip below the picture shows the form's black surface.
  EXPECT_EQ(shot.Count({180, 314, 15, 5}, Dark), 75);
}

TEST_F(WindowTest, ScalesWithTheDesktopResolutionAt120Dpi) {
  StartServer({.dpi = 120});
  auto app = Launch();
  const auto window = WaitForMainWindow();
  ASSERT_TRUE(window) << app->Stderr();

  const auto g = Geometry(*window);
  EXPECT_EQ(g.width, 438);
  EXPECT_EQ(g.height, 399);
  EXPECT_EQ(g.x, 293);
  EXPECT_TRUE(g.y == 184 || g.y == 185) << "y = " << g.y;
  EXPECT_EQ(x_->ShapeExtents(*window), (e2e::Rect{31, 19, 438 - 31, 399 - 19}));

  // At 12 twips per pixel the shake button stands at 120, 310, 231 x 41 and
  // the answer box at 130, 110, 211 x 91. Drawn means the ball's black is
  // there too: a window not yet painted is white all over.
  const e2e::Rect shake{120, 310, 231, 41};
  const e2e::Rect answer{130, 110, 211, 91};
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        const auto shot = Shot(*window);
        return shot.Count(answer, Dark) == answer.width * answer.height &&
               shot.Count(Inset(shake, 3), [](e2e::Rgb c) { return c.Max() >= 0xC0; }) > 0;
      },
      e2e::In(3s), "the window to be drawn"));
  const auto shot = Shot(*window);
  Save(shot, "window");
  const auto faceArea = (shake.width - 6) * (shake.height - 6);
  EXPECT_GT(shot.Count(Inset(shake, 3), [](e2e::Rgb c) { return c.Max() >= 0xC0; }), faceArea / 2);
  EXPECT_EQ(shot.Count(answer, Dark), answer.width * answer.height);
}

}  // namespace
}  // namespace omenglobe_e2e
