// The runtime services the program calls on: the screen, the running-copy
// check, ending and unloading, the message box, random numbers, the
// runtime's own arithmetic errors, and the entry point that runs a project.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/controls.h"
#include "platform/types.h"

namespace platform {

// Exit statuses of the program.
enum ExitStatus : int {
  kExitNormal = 0,          // the form unloaded, or a second copy ended itself
  kExitBadEnvironment = 1,  // no usable display, or nowhere to keep the running-copy lock
  kExitRuntimeError = 2,    // an error the program did not trap (overflow, division by zero)
};

// An error raised by the runtime's own operations. The program traps none;
// the runtime reports it and ends the program.
class RuntimeError : public std::runtime_error {
 public:
  enum Kind { Overflow = 6, DivisionByZero = 11 };
  explicit RuntimeError(Kind kind);
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// Read-only values that come from the platform, read as `Screen.Width`.
template <typename T>
class Reader {
 public:
  constexpr explicit Reader(T (*read)()) : read_(read) {}
  operator T() const { return read_(); }

 private:
  T (*read_)();
};

struct ScreenObject {
  Reader<Twips> Width;
  Reader<Twips> Height;
  Reader<Single> TwipsPerPixelX;
  Reader<Single> TwipsPerPixelY;
};
extern const ScreenObject Screen;

struct AppObject {
  Reader<bool> PrevInstance;  // another copy runs for this user and display
  std::string_view Title;
};
extern const AppObject App;

// Stops the program at once: no further event runs and no window is shown.
[[noreturn]] void End();

// Unloads the form: raises its Unload event and, unless cancelled, destroys
// its window (closing any message box it owns). The program ends when its
// last form is gone.
void Unload(Form& form);

// A modal message box owned by the loaded form. Returns the button pressed.
constexpr int kMsgBoxOkOnly = 0;
constexpr int kMsgBoxInformation = 64;
constexpr int kMsgBoxResultOk = 1;
int MsgBox(std::string_view prompt, int buttons = kMsgBoxOkOnly, std::string_view title = {});

// Re-seeds the generator from the clock.
void Randomize();
// The generator's next value r, 0 <= r < 1.
Single Rnd();
// The largest integer not greater than x.
double Int(double x);

// The runtime's arithmetic: a division that raises DivisionByZero for a zero
// divisor, and the conversion to a 32-bit integer that rounds to the nearest
// (halfway to even) and raises Overflow outside the range or for a non-number.
double Divide(double dividend, double divisor);
Long RoundToLong(double value);

// Twips to pixels of the current screen, rounded as RoundToLong rounds,
// and pixels (a pointer's may fall between two) back to twips.
Long ScaleX(Twips twips);
Long ScaleY(Twips twips);
Twips TwipsX(double pixels);
Twips TwipsY(double pixels);

// A length in pixels at 15 twips per pixel, a picture's natural size, in
// pixels of the current screen.
Long ScaleNaturalX(Long pixels);
Long ScaleNaturalY(Long pixels);

// The factor by which a length kept in pixels of a screen of
// `previousTwipsPerPixel` grows on the current screen.
double RescaleX(Single previousTwipsPerPixel);
double RescaleY(Single previousTwipsPerPixel);

// The twips per pixel of a screen of `dotsPerInch` (an inch is 1440
// twips); 15 when the resolution is unknown (not positive).
Single TwipsPerPixelAt(double dotsPerInch);

// What the entry point hands to the runtime.
struct ProjectDescription {
  std::string_view title;
  std::unique_ptr<Form> (*createStartupForm)();
};

// The runtime's main routine: creates the start-up form, raises Load, shows
// the form and runs the event loop until no form is left. Returns the exit
// status.
int Run(const ProjectDescription& project, int argc, char** argv);

}  // namespace platform
