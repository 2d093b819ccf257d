#include "answering/module1.h"

#include <array>

#include "platform/runtime.h"

namespace Module1 {

namespace {
// Three passes from the screen's left edge out to 5000 twips; the first two
// come back down to 400, the last stops at the top. Absolute positions, so
// every shake looks the same wherever the window stood.
constexpr std::array<platform::Twips, 39> kShakePositions = {
    1,    5,    400, 700, 1000, 2000, 3000, 4000, 5000, 4000, 3000, 2000, 1000,
    700,  400,  1,   5,   400,  700,  1000, 2000, 3000, 4000, 5000, 4000, 3000,
    2000, 1000, 700, 400, 1,    5,    400,  700,  1000, 2000, 3000, 4000, 5000};
}  // namespace

void ShakeForm(platform::Form& frm) {
  for (const platform::Twips left : kShakePositions) frm.Left = left;
}

// Not clamped: a window wider than the screen ends with a negative Left.
void CenterFormHorizontally(platform::Form& frm) {
  const platform::Twips W = frm.Width;
  const platform::Twips S = platform::Screen.Width;
  frm.Left = static_cast<platform::Twips>((static_cast<double>(S) - W) / 2);
}

}  // namespace Module1
