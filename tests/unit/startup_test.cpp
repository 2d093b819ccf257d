// Start-up: the single running copy, the order of the region calls, the
// ellipse box at different screen ratios, and the runtime's errors.
#include <cmath>
#include <limits>

#include "main_window/window_region.h"
#include "sim_fixture.h"

// MakeWindowRegion is private to the form.
struct frmMainInternals {
  static platform::HRGN MakeWindowRegion(frmMain& f, float xs, float ys, short xo, short yo) {
    return f.MakeWindowRegion(xs, ys, xo, yo);
  }
};

namespace {

bool IsRegionCall(const std::string& entry) {
  for (const char* name : {"CreateRectRgn", "CreateEllipticRgn", "CombineRgn", "DeleteObject",
                           "SetWindowRgn", "CreateForm", "ShowForm", "PrevInstance"}) {
    if (entry.rfind(name, 0) == 0) return true;
  }
  return false;
}

struct BoxCase {
  const char* name;
  float tx, ty, xScale, yScale;
  short xOffset, yOffset;
  EllipseBox box;
};

TEST(EllipseBox, FollowsTheScreenRatiosAndRoundsHalvesToEven) {
  const BoxCase cases[] = {
      {"96 dpi", 15, 15, 1, 1, 0, 0, {25, 15, 350, 319}},
      {"120 dpi: 31.25 18.75 437.5 398.75", 12, 12, 1, 1, 0, 0, {31, 19, 438, 399}},
      {"144 dpi: halves 37.5 22.5 478.5 go to even", 10, 10, 1, 1, 0, 0, {38, 22, 525, 478}},
      {"each axis keeps its own ratio", 15, 12, 1, 1, 0, 0, {25, 19, 350, 399}},
      {"scale and offsets: 15.5 5.5 178 157.5", 15, 15, 0.5f, 0.5f, 3, -2, {16, 6, 178, 158}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComputeEllipseBox(c.tx, c.ty, c.xScale, c.yScale, c.xOffset, c.yOffset), c.box)
        << c.name;
  }
}

TEST(EllipseBox, BadRatiosRaiseTheRuntimesErrorsInsteadOfConvertingGarbage) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float tiny = std::numeric_limits<float>::denorm_min();
  struct {
    const char* name;
    float tx, ty;
    platform::RuntimeError::Kind kind;
  } cases[] = {
      {"zero across", 0, 15, platform::RuntimeError::DivisionByZero},
      {"zero down", 15, 0, platform::RuntimeError::DivisionByZero},
      {"not a number", nan, 15, platform::RuntimeError::Overflow},
      {"box past 32 bits", tiny, 15, platform::RuntimeError::Overflow},
  };
  for (const auto& c : cases) {
    try {
      ComputeEllipseBox(c.tx, c.ty, 1, 1, 0, 0);
      ADD_FAILURE() << c.name << ": no error raised";
    } catch (const platform::RuntimeError& e) {
      EXPECT_EQ(e.kind(), c.kind) << c.name << ": " << e.what();
    }
  }
}

TEST(RoundToLong, RoundsHalfToEvenAndRefusesWhatDoesNotFit) {
  EXPECT_EQ(platform::RoundToLong(37.5), 38);
  EXPECT_EQ(platform::RoundToLong(22.5), 22);
  EXPECT_EQ(platform::RoundToLong(-2.5), -2);
  EXPECT_EQ(platform::RoundToLong(-0.4), 0);
  EXPECT_EQ(platform::RoundToLong(2147483647.4), 2147483647);
  EXPECT_EQ(platform::RoundToLong(-2147483648.5), -2147483648);  // halfway, to the even side
  EXPECT_THROW(platform::RoundToLong(2147483647.5), platform::RuntimeError);
  EXPECT_THROW(platform::RoundToLong(-2147483649.0), platform::RuntimeError);
  EXPECT_THROW(platform::RoundToLong(std::numeric_limits<double>::infinity()),
               platform::RuntimeError);
  EXPECT_THROW(platform::RoundToLong(std::nan("")), platform::RuntimeError);
}

TEST(EllipseRegion, CutsTheCornersAndKeepsTheMiddleWithRightAndBottomEdgesExclusive) {
  const auto ellipse = platform::Region::Ellipse(25, 15, 350, 319);
  EXPECT_TRUE(ellipse.Contains(187, 167));
  for (auto [x, y] : {std::pair{0, 0}, {349, 0}, {0, 318}, {349, 318}}) {
    EXPECT_FALSE(ellipse.Contains(x, y)) << x << "," << y;
  }
  // The widest row reaches the last column but not the box's right edge.
  EXPECT_TRUE(ellipse.Contains(349, 167));
  EXPECT_FALSE(ellipse.Contains(350, 167));
  EXPECT_TRUE(ellipse.Contains(25, 167));
  EXPECT_FALSE(ellipse.Contains(24, 167));
  EXPECT_TRUE(ellipse.Contains(187, 318));
  EXPECT_FALSE(ellipse.Contains(187, 319));
  EXPECT_FALSE(ellipse.Contains(187, 14));
  // At the foot of the help and exit buttons the ellipse is still wider than the pair.
  EXPECT_TRUE(ellipse.Contains(168, 312));
  EXPECT_TRUE(ellipse.Contains(208, 312));
  EXPECT_FALSE(ellipse.Contains(135, 313));
}

TEST(EllipseRegion, IsSymmetricAboutItsCentre) {
  const auto ellipse = platform::Region::Ellipse(25, 15, 350, 319);
  for (const auto& row : ellipse.Rows()) {
    EXPECT_EQ(row.left - 25, 350 - row.right) << "row " << row.y;
    const auto mirror = 15 + 318 - row.y;
    EXPECT_TRUE(ellipse.Contains(row.left, mirror) && !ellipse.Contains(row.left - 1, mirror))
        << "row " << row.y;
  }
}

class Startup : public SimProgram {};

TEST_F(Startup, BuildsTheRegionInOrderAndHandsItToTheWindowBeforeShowingIt) {
  const auto hwnd = std::to_string(form().hWnd);
  EXPECT_TRUE(SequenceIs(LogFrom(0, IsRegionCall), {
                                                       "CreateForm 350x319",
                                                       "PrevInstance = False",
                                                       "CreateRectRgn(0, 0, 0, 0) = 1",
                                                       "CreateEllipticRgn(25, 15, 350, 319) = 2",
                                                       "CombineRgn(1, 2, 2, 5) = 3",
                                                       "DeleteObject(2) = 1",
                                                       "SetWindowRgn(" + hwnd + ", 1, -1) = 1",
                                                       "ShowForm at 337,224",
                                                   }));
  EXPECT_EQ(form().hWindowRegion, 1);
  EXPECT_EQ(sim::LiveRegions(), 0u) << "the ellipse is freed and the window owns the copy";
  const auto& window = sim::TheWindow();
  ASSERT_TRUE(window.shape.has_value());
  EXPECT_FALSE(window.shape->Contains(0, 0));
  EXPECT_TRUE(window.shape->Contains(175, 160));
}

TEST_F(Startup, LeavesEveryTimerOffAndTheAnswerBoxEmptyAndBlack) {
  for (const platform::Timer* t : {&form().tmrPause, &form().tmrDisplay, &form().tmrUnload,
                                   &form().tmrExit, &form().tmrFontColor}) {
    EXPECT_FALSE(t->Enabled) << t->Name();
  }
  EXPECT_EQ(form().txtMain.Text.Get(), "");
  EXPECT_EQ(form().txtMain.ForeColor, 0u);
  EXPECT_TRUE(form().cmdShake.Enabled && form().cmdHelp.Enabled && form().cmdExit.Enabled);
  const auto before = sim::Log().size();
  sim::Advance(60'000);
  EXPECT_EQ(sim::Log().size(), before) << "nothing ticks before a button is pressed";
}

TEST_F(Startup, AScaleThatOverflowsRaisesOverflowBeforeAnyEllipseIsMade) {
  const auto before = sim::Log().size();
  EXPECT_THROW(frmMainInternals::MakeWindowRegion(form(), 1e30f, 1, 0, 0), platform::RuntimeError);
  EXPECT_TRUE(SequenceIs(LogFrom(before), {"CreateRectRgn(0, 0, 0, 0) = 3"}));
}

TEST_F(Startup, ReturnsTheHandleItKeepsInHWindowRegion) {
  const platform::HRGN handle = frmMainInternals::MakeWindowRegion(form(), 0.5f, 0.5f, 3, -2);
  EXPECT_EQ(handle, form().hWindowRegion);
  const platform::Region* region = sim::FindRegion(handle);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(region->Rows().front().y, 6);
  EXPECT_EQ(region->Rows().back().y, 157);
}

TEST(StartupOnOtherScreens, ScalesTheWindowAndItsEllipseAt120Dpi) {
  sim::Settings settings;
  settings.twipsPerPixelX = settings.twipsPerPixelY = 12;
  ASSERT_FALSE(sim::Start<frmMain>(settings).has_value());
  EXPECT_EQ(sim::TheWindow().width, 438);
  EXPECT_EQ(sim::TheWindow().height, 399);
  EXPECT_TRUE(SequenceIs(
      LogFrom(0, [](const std::string& e) { return e.rfind("CreateEllipticRgn", 0) == 0; }),
      {"CreateEllipticRgn(31, 19, 438, 399) = 2"}));
}

TEST(StartupOnOtherScreens, ASecondCopyEndsBeforeAnyRegionOrWindow) {
  sim::Settings settings;
  settings.anotherCopyRunning = true;
  EXPECT_EQ(sim::Start<frmMain>(settings), platform::kExitNormal);
  EXPECT_TRUE(SequenceIs(LogFrom(0, IsRegionCall), {"CreateForm 350x319", "PrevInstance = True"}));
  EXPECT_FALSE(sim::TheWindow().shown);
  EXPECT_EQ(sim::LiveRegions(), 0u);
}

TEST(StartupOnOtherScreens, AZeroRatioEndsWithTheRuntimeErrorAndNoRegionOnTheWindow) {
  for (float bad : {0.0f, std::numeric_limits<float>::quiet_NaN()}) {
    sim::Settings settings;
    settings.twipsPerPixelY = bad;
    testing::internal::CaptureStderr();
    EXPECT_EQ(sim::Start<frmMain>(settings), platform::kExitRuntimeError);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find(bad == 0 ? "division by zero" : "overflow"), std::string::npos)
        << message;
    EXPECT_FALSE(sim::TheWindow().shown);
    EXPECT_FALSE(sim::TheWindow().shape.has_value());
  }
}

TEST(StartupOnOtherScreens, ABadEnvironmentEndsWithItsReasonAndStatusOne) {
  sim::Settings settings;
  settings.environmentProblem = "cannot open an X11 display (DISPLAY is not set)";
  testing::internal::CaptureStderr();
  EXPECT_EQ(sim::Start<frmMain>(settings), platform::kExitBadEnvironment);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "omenglobe: cannot open an X11 display (DISPLAY is not set)\n");
  EXPECT_FALSE(sim::TheWindow().created);
}

TEST(StartupOnOtherScreens, ARefusedWindowEndsWithItsReasonStatusOneAndNoLoad) {
  sim::Settings settings;
  settings.windowProblem = "cannot create the window (system error 1400)";
  testing::internal::CaptureStderr();
  EXPECT_EQ(sim::Start<frmMain>(settings), platform::kExitBadEnvironment);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "omenglobe: cannot create the window (system error 1400)\n");
  EXPECT_EQ(sim::Alerts(), std::vector<std::string>{*settings.windowProblem});
  EXPECT_TRUE(sim::Ended());
  // Load never ran: no running-copy question, no region.
  EXPECT_TRUE(SequenceIs(LogFrom(0, IsRegionCall), {"CreateForm refused"}));
  EXPECT_EQ(sim::LiveRegions(), 0u);
}

TEST_F(Startup, TheUnloadIsNeverCancelled) {
  platform::Integer cancel = 0;
  form().Form_Unload(cancel);
  EXPECT_EQ(cancel, 0);
  sim::RequestClose();
  EXPECT_TRUE(sim::Ended());
  EXPECT_EQ(sim::ExitStatus(), platform::kExitNormal);
  EXPECT_TRUE(sim::TheWindow().destroyed);
}

}  // namespace
