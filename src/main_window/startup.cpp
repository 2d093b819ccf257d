// Start-up: one running copy, and the window cut to its ellipse before it is
// first shown.
#include "main_window/frm_main.h"
#include "main_window/window_region.h"
#include "platform/runtime.h"
#include "platform/winapi.h"

using namespace platform;

void frmMain::Form_Load() {
  if (App.PrevInstance) End();
  const HWND window = hWnd;
  const HRGN region = MakeWindowRegion(1, 1, 0, 0);
  SetWindowRgn(window, region, -1);
}

HRGN frmMain::MakeWindowRegion(Single XScale, Single YScale, Integer XOffset, Integer YOffset) {
  hWindowRegion = CreateRectRgn(0, 0, 0, 0);
  const Single tx = Screen.TwipsPerPixelX;
  const Single ty = Screen.TwipsPerPixelY;
  const EllipseBox box = ComputeEllipseBox(tx, ty, XScale, YScale, XOffset, YOffset);
  const HRGN ellipse = CreateEllipticRgn(box.left, box.top, box.right, box.bottom);
  CombineRgn(hWindowRegion, ellipse, ellipse, RGN_COPY);
  DeleteObject(ellipse);
  return hWindowRegion;
}

// The unload always goes ahead; the window frees its region itself.
void frmMain::Form_Unload(Integer& /*Cancel*/) {}
