// What both programs show, wherever they run: the window's title, the help
// box's title, the shake button's caption, the parting message, and where
// the controls stand in the window.
#pragma once

#include <algorithm>
#include <cmath>

#include "harness.h"

namespace ball {

inline constexpr char kTitle[] = "Kelvra";
inline constexpr char kHelpTitle[] = "Derirozuvi";
inline constexpr char kShakeCaption[] = "Think of a question then click here to shake the ball.";
inline constexpr char kParting[] = "--Thanks for using the Omenglobe By Dorvanek--";

// Window-relative rectangles of the controls at 96 dpi.
inline constexpr e2e::Rect kAnswerBox{104, 88, 169, 73};
inline constexpr e2e::Rect kShakeButton{96, 248, 185, 33};
inline constexpr e2e::Rect kHelpButton{168, 288, 17, 25};
inline constexpr e2e::Rect kExitButton{192, 288, 17, 25};

// The ball picture's white emblem at 96 dpi, window-relative: the box its
// light pixels (each channel at least 0xE0) fill, their centre and count.
inline constexpr e2e::Rect kEmblem{159, 175, 60, 59};
inline constexpr double kEmblemCentreX = 188.4, kEmblemCentreY = 203.9;
inline constexpr int kEmblemLightPixels = 1114;

// A length of the 96-dpi layout as a window at `dpi` shows it, in device
// pixels: converted to the screen's pixels (halves to even) and then
// multiplied by the device scale.
inline int ScaledLength(int pixelsAt96, int dpi, int deviceScale = 1) {
  return static_cast<int>(std::nearbyint(pixelsAt96 * dpi / 96.0)) * deviceScale;
}
inline e2e::Rect ScaledRect(const e2e::Rect& r, int dpi, int deviceScale = 1) {
  return {ScaledLength(r.x, dpi, deviceScale), ScaledLength(r.y, dpi, deviceScale),
          ScaledLength(r.width, dpi, deviceScale), ScaledLength(r.height, dpi, deviceScale)};
}

// The emblem in a picture of the window at `dpi` (and device scale) stands
// where it stands at 96 dpi, only larger: its light pixels' box, centre
// and count, measured back in 96-dpi pixels; and none lies under the
// answer box.
inline void ExpectEmblemAsAt96Dpi(const e2e::Image& shot, int dpi, int deviceScale = 1) {
  const double f = deviceScale * dpi / 96.0;
  // Across, well beyond the emblem; down, from the answer box to the shake button.
  const int below = kAnswerBox.y + kAnswerBox.height;
  const e2e::Rect search = ScaledRect(
      {kEmblem.x - 20, below, kEmblem.width + 40, kShakeButton.y - below}, dpi, deviceScale);
  double sumX = 0, sumY = 0;
  int count = 0, left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
  const auto light = [](e2e::Rgb c) { return std::min({c.r, c.g, c.b}) >= 0xE0; };
  for (int y = search.y; y < search.y + search.height; ++y) {
    for (int x = search.x; x < search.x + search.width; ++x) {
      if (!light(shot.At(x, y))) continue;
      sumX += x, sumY += y, ++count;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  ASSERT_GT(count, 0) << "no emblem";
  EXPECT_NEAR(sumX / count / f, kEmblemCentreX, 1.5);
  EXPECT_NEAR(sumY / count / f, kEmblemCentreY, 1.5);
  EXPECT_NEAR(left / f, kEmblem.x, 1.5);
  EXPECT_NEAR(top / f, kEmblem.y, 1.5);
  EXPECT_NEAR((right + 1) / f, kEmblem.x + kEmblem.width, 1.5);
  EXPECT_NEAR((bottom + 1) / f, kEmblem.y + kEmblem.height, 1.5);
  // Smoothing softens the edge a little; an unscaled or doubly scaled
  // picture would be far off.
  EXPECT_NEAR(count / (f * f), kEmblemLightPixels, kEmblemLightPixels * 0.2);
  const auto answer = ScaledRect(kAnswerBox, dpi, deviceScale);
  EXPECT_EQ(shot.Count(answer,
                       [](e2e::Rgb c) {
                         return std::min({c.r, c.g, c.b}) >= 0xC0;
                       }),
            0)
      << "light pixels under the answer box";
}

inline int CentreX(const e2e::Rect& r) { return r.x + r.width / 2; }
inline int CentreY(const e2e::Rect& r) { return r.y + r.height / 2; }
inline e2e::Rect Inset(const e2e::Rect& r, int by) {
  return {r.x + by, r.y + by, r.width - 2 * by, r.height - 2 * by};
}
inline bool Dark(e2e::Rgb c) { return c.Max() <= 40; }

}  // namespace ball
