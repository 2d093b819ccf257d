#include "platform/runtime.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/application.h"
#include "platform/backend.h"
#include "platform/layout.h"

namespace platform {

namespace {

// Thrown by End; caught where the runtime took control.
struct EndStatement {};

struct ProjectState {
  std::unique_ptr<Form> form;
  std::string_view title;
  bool ended = false;
  int exitStatus = kExitNormal;
};
ProjectState& State() {
  static ProjectState state;
  return state;
}

const char* Describe(RuntimeError::Kind kind) {
  switch (kind) {
    case RuntimeError::Overflow:
      return "overflow";
    case RuntimeError::DivisionByZero:
      return "division by zero";
  }
  return "error";
}

void Report(std::string_view message) {
  std::fprintf(stderr, "omenglobe: %.*s\n", static_cast<int>(message.size()), message.data());
}

Twips ScreenWidth() { return TwipsX(backend::Screen().widthPixels); }
Twips ScreenHeight() { return TwipsY(backend::Screen().heightPixels); }
Single TwipsPerPixelX() { return backend::Screen().twipsPerPixelX; }
Single TwipsPerPixelY() { return backend::Screen().twipsPerPixelY; }

constexpr Twips kTwipsPerNaturalPixel = 15;
bool PrevInstance() { return backend::PrevInstance(); }

}  // namespace

const ScreenObject Screen{Reader<Twips>(ScreenWidth), Reader<Twips>(ScreenHeight),
                          Reader<Single>(TwipsPerPixelX), Reader<Single>(TwipsPerPixelY)};
const AppObject App{Reader<bool>(PrevInstance), "Omenglobe"};

RuntimeError::RuntimeError(Kind kind)
    : std::runtime_error(std::string("unhandled run-time error ") + std::to_string(kind) + ": " +
                         Describe(kind)),
      kind_(kind) {}

void End() { throw EndStatement{}; }

double Int(double x) { return std::floor(x); }

void Randomize() { backend::Randomize(); }
Single Rnd() { return backend::Rnd(); }

double Divide(double dividend, double divisor) {
  if (divisor == 0) throw RuntimeError(RuntimeError::DivisionByZero);
  return dividend / divisor;
}

Long RoundToLong(double value) {
  // The range check comes before any conversion: a conversion of a value
  // that does not fit is undefined behaviour.
  if (!(value >= std::numeric_limits<Long>::min() - 0.5 &&
        value <= std::numeric_limits<Long>::max() + 0.5)) {
    throw RuntimeError(RuntimeError::Overflow);
  }
  const double rounded = std::nearbyint(value);  // the default mode: halfway to even
  if (rounded < std::numeric_limits<Long>::min() || rounded > std::numeric_limits<Long>::max()) {
    throw RuntimeError(RuntimeError::Overflow);
  }
  return static_cast<Long>(rounded);
}

Long ScaleX(Twips twips) { return RoundToLong(Divide(twips, TwipsPerPixelX())); }
Long ScaleY(Twips twips) { return RoundToLong(Divide(twips, TwipsPerPixelY())); }
Twips TwipsX(double pixels) { return static_cast<Twips>(pixels * double{TwipsPerPixelX()}); }
Twips TwipsY(double pixels) { return static_cast<Twips>(pixels * double{TwipsPerPixelY()}); }

Long ScaleNaturalX(Long pixels) { return ScaleX(pixels * kTwipsPerNaturalPixel); }
Long ScaleNaturalY(Long pixels) { return ScaleY(pixels * kTwipsPerNaturalPixel); }

double RescaleX(Single previousTwipsPerPixel) {
  return double{previousTwipsPerPixel} / TwipsPerPixelX();
}
double RescaleY(Single previousTwipsPerPixel) {
  return double{previousTwipsPerPixel} / TwipsPerPixelY();
}

Single TwipsPerPixelAt(double dotsPerInch) {
  return dotsPerInch > 0 ? static_cast<Single>(1440.0 / dotsPerInch) : kTwipsPerNaturalPixel;
}

namespace {

PixelRect UsableArea() {
  const PixelRect work = backend::WorkArea();
  if (work.width > 0 && work.height > 0) return work;
  const auto m = backend::Screen();
  return {0, 0, m.widthPixels, m.heightPixels};
}

// Where the form's window, standing at (x, y) pixels, can be reached: the
// position it must move to, or nothing when it may stay.
std::optional<PixelRect> ReachablePlace(const Form& form, int x, int y) {
  const PixelRect window{x, y, ScaleX(form.Width), ScaleY(form.Height)};
  const PixelRect placed = PlaceOnArea(window, UsableArea(), ButtonsArea(form));
  if (placed.x == x && placed.y == y) return std::nullopt;
  return placed;
}

// The program ends before its event loop runs, with `status`.
int EndStart(int status) {
  auto& state = State();
  state.ended = true;
  state.exitStatus = status;
  return status;
}

}  // namespace

int MsgBox(std::string_view prompt, int buttons, std::string_view title) {
  Form* owner = Runtime::LoadedForm();
  if (title.empty()) title = State().title;
  return backend::ShowMessageBox(owner, prompt, buttons, title);
}

void Unload(Form& form) {
  if (!form.Loaded()) return;
  Integer cancel = 0;
  if (form.OnUnload) form.OnUnload(cancel);
  if (cancel != 0) return;
  Runtime::Finish(form, kExitNormal);
}

Form* Runtime::LoadedForm() {
  Form* form = State().form.get();
  return form != nullptr && form->Loaded() ? form : nullptr;
}

Form* Runtime::StartupForm() { return State().form.get(); }

bool Runtime::Ended() { return State().ended; }
int Runtime::ExitStatus() { return State().exitStatus; }

void Runtime::Reset() { State() = ProjectState{}; }

void Runtime::Finish(Form& form, int status) {
  auto& state = State();
  if (state.ended) return;
  state.ended = true;
  state.exitStatus = status;
  SetLoaded(form, false);
  // The window takes its timers with it; their Enabled flags stay as they were.
  if (form.peer != nullptr) backend::DestroyForm(form);
  backend::QuitLoop();
}

void Runtime::HandleEscape(Form& form) {
  try {
    throw;
  } catch (const EndStatement&) {
    Finish(form, kExitNormal);
  } catch (const RuntimeError& error) {
    Report(error.what());
    Finish(form, kExitRuntimeError);
  }
}

std::optional<int> Runtime::Start(const ProjectDescription& project, int argc, char** argv) {
  Reset();
  auto& state = State();
  state.title = project.title;
  if (auto problem = backend::Init(project.title, argc, argv)) {
    Report(*problem);
    return EndStart(kExitBadEnvironment);
  }
  state.form = project.createStartupForm();
  Form& form = *state.form;
  try {
    if (auto problem = backend::CreateForm(form)) {
      // Without its window the program cannot run: say so and end, which
      // lets the next copy start.
      Report(*problem);
      backend::AlertStartFailure(*problem);
      return EndStart(kExitBadEnvironment);
    }
  } catch (const RuntimeError& error) {
    // The window's size comes from the screen's ratios too.
    Report(error.what());
    return EndStart(kExitRuntimeError);
  }
  SetLoaded(form, true);
  Dispatch(form, [&] {
    if (form.OnLoad) form.OnLoad();
  });
  if (state.ended) return state.exitStatus;
  Dispatch(form, [&] {
    if (form.Design().startUpPosition == StartUpPosition::CenterScreen) {
      form.Top = (Screen.Height - form.Height) / 2;
      form.Left = (Screen.Width - form.Width) / 2;
    }
    // A window larger than the screen keeps its buttons on it.
    if (const auto placed = ReachablePlace(form, ScaleX(form.Left), ScaleY(form.Top))) {
      form.Top = TwipsY(placed->y);
      form.Left = TwipsX(placed->x);
    }
    backend::ShowForm(form);
  });
  if (state.ended) return state.exitStatus;
  return std::nullopt;
}

int Run(const ProjectDescription& project, int argc, char** argv) {
  if (auto status = Runtime::Start(project, argc, argv)) return *status;
  backend::RunLoop();
  return Runtime::ExitStatus();
}

namespace events {

void Click(CommandButton& button) {
  if (!button.Enabled) return;
  Runtime::Dispatch(button.Parent(), [&] {
    if (button.OnClick) button.OnClick();
  });
}

void MouseDown(Form& form, Control* control, Integer button, Integer shift, Single x, Single y) {
  Runtime::Dispatch(form, [&] {
    const auto& handler = control != nullptr ? control->OnMouseDown : form.OnMouseDown;
    if (handler) handler(button, shift, x, y);
  });
}

void Tick(Timer& timer) {
  if (!timer.Enabled) return;
  Runtime::Dispatch(timer.Parent(), [&] {
    if (timer.OnTimer) timer.OnTimer();
  });
}

void CloseRequested(Form& form) {
  Runtime::Dispatch(form, [&] { Unload(form); });
}

void ScreenChanged(Form& form, int x, int y) {
  if (!form.Loaded()) return;
  Runtime::Dispatch(form, [&] {
    const auto placed = ReachablePlace(form, x, y);
    if (!placed) return;
    form.Top = TwipsY(placed->y);
    form.Left = TwipsX(placed->x);
    backend::MoveForm(form);
  });
}

void WindowDestroyed(Form& form) {
  if (!form.Loaded()) return;
  // The window cannot be kept, so Cancel is not asked for.
  Runtime::Dispatch(form, [&] {
    Integer cancel = 0;
    if (form.OnUnload) form.OnUnload(cancel);
  });
  Runtime::Finish(form, kExitNormal);
}

}  // namespace events

Colour StandardSchemeColour(unsigned index) {
  // The classic Windows scheme, indices 0 to 24.
  static constexpr Colour kScheme[] = {
      0xC8D0D4, 0x6E3A0A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000, 0x000000,
      0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080,
      0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000, 0xE1FFFF};
  return index < std::size(kScheme) ? kScheme[index] : 0;
}

}  // namespace platform
