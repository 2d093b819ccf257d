// What both programs show, wherever they run: the window's title, the help
// box's title, and where the controls stand in the window.
#pragma once

#include "harness.h"

namespace ball {

inline constexpr char kTitle[] = "Kelvra";
inline constexpr char kHelpTitle[] = "Derirozuvi";

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

inline int CentreX(const e2e::Rect& r) { return r.x + r.width / 2; }
inline int CentreY(const e2e::Rect& r) { return r.y + r.height / 2; }
inline e2e::Rect Inset(const e2e::Rect& r, int by) {
  return {r.x + by, r.y + by, r.width - 2 * by, r.height - 2 * by};
}
inline bool Dark(e2e::Rgb c) { return c.Max() <= 40; }

}  // namespace ball
