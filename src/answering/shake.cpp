// A press of the shake button: lock it, sweep the window, and put a fresh
// answer into the box in black, where the fade will bring it up.
#include "answering/answers.h"
#include "answering/grey_ramp.h"
#include "answering/module1.h"
#include "main_window/frm_main.h"
#include "platform/runtime.h"

using namespace platform;

void frmMain::cmdShake_Click() {
  cmdShake.Enabled = false;
  txtMain.Text = "";
  Module1::ShakeForm(*this);
  Module1::CenterFormHorizontally(*this);
  Randomize();
  const Single r = Rnd();
  // r < 1, so n runs from 1 to 71.
  const auto n = static_cast<int>(Int(static_cast<double>(r) * kAnswerCount + 1));
  if (n >= 1 && n <= kAnswerCount) {
    txtMain.Text = std::string(AnswerTexts[n - 1]);
    txtMain.ForeColor = GreyRamp[0];
    tmrFontColor.Enabled = true;
  }
}
