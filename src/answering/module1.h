// Procedures that move a window; they take the form to move and own nothing.
#pragma once

#include "platform/controls.h"

namespace Module1 {

// Sweeps the window through fixed absolute positions, ending at 5000 twips.
void ShakeForm(platform::Form& frm);
// Centres the window across the screen; its vertical position stays.
void CenterFormHorizontally(platform::Form& frm);

}  // namespace Module1
