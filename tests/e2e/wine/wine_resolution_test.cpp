// A monitor's new resolution while the Windows program runs. Wine sends no
// WM_DPICHANGED (its resolution is read once per process), so a client
// sends it as Windows would.
#include "program_test.h"
#include "wine_program.h"

namespace omenglobe_e2e {
namespace {

class WineResolutionTest : public WineProgramTest {};

TEST_F(WineResolutionTest, ANewMonitorResolutionLaysTheFormOutAgainInTheSuggestedPlace) {
  StartServer();
  auto app = Launch();
  const auto window = WaitForDrawnWindow();
  ASSERT_TRUE(window) << app->Stderr();
  const auto before = Geometry(*window);
  const e2e::Rect suggested{before.x - 80, before.y - 60, 525, 478};
  e2e::Process client(
      {.argv = {omenglobe_wine::WineCommand(),
                omenglobe_wine::ExeIs64Bit() ? OMENGLOBE_DPI_CLIENT_64 : OMENGLOBE_DPI_CLIENT_32,
                "144", std::to_string(suggested.x), std::to_string(suggested.y),
                std::to_string(suggested.x + suggested.width),
                std::to_string(suggested.y + suggested.height)},
       .env = Environment()});
  const auto status = client.WaitExit(e2e::In(60s));
  ASSERT_TRUE(status && status->exited && status->code == 0) << client.Stderr();

  const auto answer = Inset(ScaledRect(kAnswerBox, 144), 3);
  const auto face = Inset(ScaledRect(kShakeButton, 144), 3);
  ASSERT_TRUE(e2e::WaitFor(
      [&] {
        if (Geometry(*window) != suggested) return false;
        const auto shot = Shot(*window);
        return shot.Count(answer, Dark) == answer.width * answer.height &&
               shot.Count(face, [](e2e::Rgb c) { return c.Max() >= 150; }) >
                   face.width * face.height / 2;
      },
      e2e::In(10s),
      "the window laid out at 144 dpi in " + e2e::Describe(suggested) + " (it is " +
          e2e::Describe(Geometry(*window)) + ")"));
  const auto shot = Shot(*window);
  SCOPED_TRACE(Save(shot, "dpi-changed"));
  ExpectEmblemAsAt96Dpi(shot, 144);
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

}  // namespace
}  // namespace omenglobe_e2e
