// The simulated platform: a virtual clock, a window that exists only as
// numbers, regions as geometry, and a log of every platform call, so that
// tests can drive the program and compare what it did with a table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/layout.h"
#include "platform/region.h"
#include "platform/runtime.h"

namespace platform::sim {

struct Settings {
  int screenWidthPixels = 1024;
  int screenHeightPixels = 768;
  Single twipsPerPixelX = 15;
  Single twipsPerPixelY = 15;
  std::optional<PixelRect> workArea;  // the usable part of the screen; the whole screen if unset
  bool anotherCopyRunning = false;
  std::optional<std::string> environmentProblem;  // Init fails with this reason
  std::optional<std::string> windowProblem;       // the system refuses the form's window
};

// Starts a fresh project on a fresh simulated machine. Returns the exit
// status if the program ended during start-up.
std::optional<int> Start(const ProjectDescription& project, const Settings& settings = {});

template <typename FormType>
std::optional<int> Start(const Settings& settings = {}) {
  const ProjectDescription project{
      "Omenglobe", []() -> std::unique_ptr<Form> { return std::make_unique<FormType>(); }};
  return Start(project, settings);
}

// --- The log of platform calls, property writes and ticks, in order.
const std::vector<std::string>& Log();
void ClearLog();

// --- The virtual clock, in milliseconds since the start.
std::int64_t Now();
// Delivers every tick that falls due up to Now() + ms, one at a time, in
// order of time; then leaves the clock at Now() + ms.
void Advance(std::int64_t ms);
// Picks which of several ticks due at the same moment comes first; it gets
// the number of candidates and returns an index. By default the timer that
// was enabled earliest goes first.
void SetTieBreaker(std::function<std::size_t(std::size_t candidates)> pick);

// --- The user.
// A click on a button: ignored while the button is disabled, as is any
// event once the program has ended.
void Click(CommandButton& button);
// A mouse press at a point of the window, in window pixels: reaches the
// control under it, the form's own surface, or nothing outside the window's shape.
void Press(int x, int y, Integer button = 1, Integer shift = 0);
// Where the system's move loop leaves the window after the next move request.
void SetDragDelta(int dx, int dy);
// The screen changes under the running program, as a new monitor, a
// resized screen or a changed display setting would: its size, usable area
// and resolution become those of `screen` (the other settings are
// ignored). At a new resolution the window is laid out again: its size and
// its shape scale with the pixels.
void ChangeScreen(const Settings& screen);
// Asks the window to close, as a window manager would.
void RequestClose();
// Destroys the window without asking, as another program or the end of the
// session may.
void DestroyWindowFromOutside();

// --- The message box: the handler runs while the box is open (the clock can
// be advanced inside it) and returns the button that closes it.
struct MessageBoxCall {
  std::string prompt;
  std::string title;
  int buttons = 0;
  HWND owner = 0;
  bool closedByOwner = false;  // the box went away with its window
};
void SetMessageBoxHandler(std::function<int(const MessageBoxCall&)> handler);
const std::vector<MessageBoxCall>& MessageBoxes();
bool MessageBoxOpen();

// --- What assistive technology was asked to read out, with the time, in order.
struct Announcement {
  std::int64_t at = 0;
  std::string control;
  std::string text;
  bool operator==(const Announcement&) const = default;
};
const std::vector<Announcement>& Announcements();

// --- Random numbers: scripted values for Rnd, taken in order; when none
// are left the generator is used, seeded by Randomize from the clock.
void ScriptRnd(std::vector<Single> values);

// --- The window as the system would show it.
struct Window {
  bool created = false;
  bool shown = false;
  bool destroyed = false;
  HWND handle = 0;
  int x = 0, y = 0;  // pixels on the screen
  int width = 0, height = 0;
  std::optional<Region> shape;  // set by SetWindowRgn
  int moves = 0;                // position changes while shown
};
const Window& TheWindow();
// Start failures shown on the desktop, beside the line on stderr.
const std::vector<std::string>& Alerts();
// Regions still held by the program (created and neither deleted nor given to a window).
std::size_t LiveRegions();
const Region* FindRegion(HRGN handle);

bool Ended();
int ExitStatus();

}  // namespace platform::sim
