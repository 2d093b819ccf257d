// The form as Microsoft Active Accessibility presents it to a screen reader:
// the system's own proxies for the windows and controls, with the names,
// descriptions and roles of the design table added by Direct Annotation.
#pragma once

#include "platform/controls.h"

namespace platform::win32 {

// Every WM_GETOBJECT that reaches one of the form's windows comes here first.
// The first one (an accessibility client has started looking) loads oleacc
// and annotates every control; a program nobody inspects never loads it.
void OnGetObject(const Form& form);

}  // namespace platform::win32
