// The answer fades in, holds and fades out, one ramp step per tick. Each tick
// looks only at the colour it finds; a colour off the ramp makes a tick do
// nothing, and late ticks stretch the cycle without changing it.
#include "answering/grey_ramp.h"
#include "main_window/frm_main.h"

void frmMain::tmrFontColor_Timer() {
  if (txtMain.ForeColor == GreyRamp[0]) {
    txtMain.ForeColor = GreyRamp[1];
  } else if (txtMain.ForeColor == GreyRamp[1]) {
    txtMain.ForeColor = GreyRamp[2];
  } else if (txtMain.ForeColor == GreyRamp[2]) {
    txtMain.ForeColor = GreyRamp[3];
  } else if (txtMain.ForeColor == GreyRamp[3]) {
    txtMain.ForeColor = GreyRamp[4];
  } else if (txtMain.ForeColor == GreyRamp[4]) {
    tmrFontColor.Enabled = false;
    tmrPause.Enabled = true;
  }
}

void frmMain::tmrPause_Timer() {
  tmrDisplay.Enabled = true;
  tmrPause.Enabled = false;
}

void frmMain::tmrDisplay_Timer() {
  if (txtMain.ForeColor == GreyRamp[4]) {
    txtMain.ForeColor = GreyRamp[3];
  } else if (txtMain.ForeColor == GreyRamp[3]) {
    txtMain.ForeColor = GreyRamp[2];
  } else if (txtMain.ForeColor == GreyRamp[2]) {
    txtMain.ForeColor = GreyRamp[1];
  } else if (txtMain.ForeColor == GreyRamp[1]) {
    txtMain.ForeColor = GreyRamp[0];
  } else if (txtMain.ForeColor == GreyRamp[0]) {
    tmrDisplay.Enabled = false;
    cmdShake.Enabled = true;
  }
}
