// The parting message, brought straight to full brightness, then the form
// unloads two seconds later. A running fade is left alone: its timers act on
// whatever colour they find.
#include "answering/grey_ramp.h"
#include "main_window/frm_main.h"
#include "platform/runtime.h"

void frmMain::cmdExit_Click() {
  txtMain.Text = "--Thanks for using the Omenglobe By Dorvanek--";
  tmrExit.Enabled = true;
}

void frmMain::tmrExit_Timer() {
  txtMain.ForeColor = GreyRamp[4];
  tmrExit.Enabled = false;
  tmrUnload.Enabled = true;
}

// Unloading the form ends its timers and, with no form left, the program.
void frmMain::tmrUnload_Timer() { platform::Unload(*this); }
