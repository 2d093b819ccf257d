// The window as assistive technology sees it (ATK, and AT-SPI through GTK's
// bridge). A text that comes into view is read out by backend::Announce.
#pragma once

#include <gtk/gtk.h>

#include <string_view>

#include "platform/controls.h"

namespace platform::gtk {

// Gives the widgets of the form's controls the names, descriptions and roles
// of the design table, and the application the program's own name.
void DescribeForAssistiveTechnology(const Form& form);

// The text a reader was last told of has gone out of view: the object that
// told it stops showing.
void WithdrawAnnouncement();

// A message box is read under its title, as a sighted user reads it.
void NameMessageBox(GtkWidget* box, std::string_view title);

}  // namespace platform::gtk
