// The window has no title bar, so a press on the ball or the strip below it
// hands the window to the system's own move loop, as a press on a caption
// would.
#include "main_window/frm_main.h"
#include "platform/winapi.h"

using namespace platform;

namespace {
void MoveWithMouse(frmMain& form) {
  ReleaseCapture();
  // The caption press carries the pointer's screen position, as the system
  // expects of this message.
  SendMessageA(form.hWnd, WM_NCLBUTTONDOWN, HTCAPTION, GetMessagePos());
}
}  // namespace

void frmMain::Form_MouseDown(Integer, Integer, Single, Single) { MoveWithMouse(*this); }
void frmMain::Picture1_MouseDown(Integer, Integer, Single, Single) { MoveWithMouse(*this); }

// Presses on the buttons keep their own behaviour.
void frmMain::cmdShake_MouseDown(Integer, Integer, Single, Single) {}
void frmMain::cmdExit_MouseDown(Integer, Integer, Single, Single) {}
