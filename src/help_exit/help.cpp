#include "main_window/frm_main.h"
#include "platform/runtime.h"

void frmMain::cmdHelp_Click() {
  platform::MsgBox(
      "Think of a yes or no question and hit the shake button.  The omenglobe will show you the "
      "answer.",
      platform::kMsgBoxInformation, "Derirozuvi");
}
