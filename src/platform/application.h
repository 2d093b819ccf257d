// The runtime's own bookkeeping of the running project: for the entry point
// and for the simulated platform's test harness, not for the program code.
#pragma once

#include <optional>

#include "platform/controls.h"
#include "platform/runtime.h"

namespace platform {

class Runtime {
 public:
  // Everything up to the event loop: the environment, the start-up form,
  // Load, and showing the form. Returns the exit status if the program has
  // already ended (a second copy, a bad environment, an error during Load).
  static std::optional<int> Start(const ProjectDescription& project, int argc, char** argv);

  // The loaded form, or null once it has gone.
  static Form* LoadedForm();
  // The start-up form's C++ object, which outlives its window.
  static Form* StartupForm();
  static bool Ended();
  static int ExitStatus();

  // Forgets the last project (the simulated platform starts many in one process).
  static void Reset();

  // Ends the program: disarms the timers, destroys the window, leaves the loop.
  static void Finish(Form& form, int status);

  // Runs one event handler of the form, unless it has unloaded; an End or an
  // untrapped error inside the handler ends the program.
  template <typename Handler>
  static void Dispatch(Form& form, Handler&& handler) {
    if (!form.Loaded()) return;
    try {
      handler();
    } catch (...) {
      HandleEscape(form);
    }
  }

 private:
  static void HandleEscape(Form& form);
  friend void Unload(Form& form);
  static void SetLoaded(Form& form, bool loaded) { form.loaded_ = loaded; }
};

}  // namespace platform
