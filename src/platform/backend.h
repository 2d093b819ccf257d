// What each backend (sim, gtk, win32) implements, and the calls it makes
// back into the runtime when the user or a timer does something. Exactly
// one backend is linked into a program. Not for the program code.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/controls.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace platform::backend {

struct ScreenMetrics {
  int widthPixels = 0;
  int heightPixels = 0;
  Single twipsPerPixelX = 15;
  Single twipsPerPixelY = 15;
};

// Opens the display and decides whether another copy runs. Returns a
// one-line reason when the environment cannot run the program.
std::optional<std::string> Init(std::string_view programTitle, int argc, char** argv);
bool PrevInstance();
ScreenMetrics Screen();
// The part of the screen that windows may use (less panels and task bars),
// in pixels from the corner that form positions count from; empty for the
// whole screen.
PixelRect WorkArea();

// The form's native window and controls, built from the design table and
// left hidden; shown at (ScaleX(Left), ScaleY(Top)). Returns a one-line
// reason when the window system refuses the window or anything else it
// needs, having released what it got; raises Overflow for a size the window
// system cannot represent, before any window exists.
std::optional<std::string> CreateForm(Form& form);
// Shows the reason a start failed where the desktop can (the line has gone
// to stderr already); nothing where stderr is the place.
void AlertStartFailure(std::string_view reason);
void ShowForm(Form& form);
// Destroys the native window with everything it owns (its timers, open message boxes
// included). The C++ form and its controls outlive it.
void DestroyForm(Form& form);
HWND FormHandle(const Form& form);

// Moves the shown window to (Left, Top) at once.
void MoveForm(Form& form);

// Property writes, after the new value is stored.
void FormLeftChanged(Form& form);
void TextChanged(TextBox& box);
void ForeColorChanged(TextBox& box);
void ButtonEnabledChanged(CommandButton& button);
void TimerEnabledChanged(Timer& timer, bool wasEnabled);

// Has assistive technology read out the box's text, which has just become
// visible: the runtime calls it once per new text.
void Announce(TextBox& box);

int ShowMessageBox(Form* owner, std::string_view prompt, int buttons, std::string_view title);

// Runs events until QuitLoop.
void RunLoop();
void QuitLoop();

void Randomize();
Single Rnd();

}  // namespace platform::backend

// The runtime's side, called by a backend as events arrive. Each one runs
// its handler to completion; none runs once the form has unloaded.
namespace platform::events {

void Click(CommandButton& button);  // ignored while the button is disabled
// `control` is null for a press on the form's own surface.
void MouseDown(Form& form, Control* control, Integer button, Integer shift, Single x, Single y);
void Tick(Timer& timer);
void CloseRequested(Form& form);  // the window system asks the window to close
// The screen, its usable area or its resolution changed; the window now
// stands at (x, y), in pixels as form positions count them, with the size
// of the current resolution. Moves the window back where it can be reached.
void ScreenChanged(Form& form, int x, int y);
// The window is gone without an unload of ours (another program destroyed
// it, the session ended): the form unloads with it, no cancel possible. The
// backend has let go of the window and its controls' native objects first.
void WindowDestroyed(Form& form);

}  // namespace platform::events
