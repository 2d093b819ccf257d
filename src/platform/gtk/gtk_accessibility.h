// The window as assistive technology sees it (ATK, and AT-SPI through GTK's
// bridge). The announcement of a text is backend::Announce.
#pragma once

#include "platform/controls.h"

namespace platform::gtk {

// Gives the widgets of the form's controls the names, descriptions and roles
// of the design table, and the application the program's own name.
void DescribeForAssistiveTechnology(const Form& form);

}  // namespace platform::gtk
