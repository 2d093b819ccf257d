// The program's only form: the ball window with its answer box, three
// buttons and five timers. The handlers are defined in the files of the
// parts of the program that own them.
#pragma once

#include "platform/controls.h"
#include "platform/types.h"

class frmMain : public platform::Form {
 public:
  using Integer = platform::Integer;
  using Single = platform::Single;

  frmMain();

  static const platform::FormDesign& DesignTable();

  // In design order.
  platform::PictureBox Picture1;
  platform::Timer tmrPause;
  platform::Timer tmrDisplay;
  platform::Timer tmrUnload;
  platform::Timer tmrExit;
  platform::CommandButton cmdHelp;
  platform::Timer tmrFontColor;
  platform::CommandButton cmdShake;
  platform::CommandButton cmdExit;
  platform::TextBox txtMain;

  // The window's region once start-up has built it; the window owns it then.
  platform::HRGN hWindowRegion = 0;

  // Start-up and window shape (main_window/startup.cpp).
  void Form_Load();
  void Form_Unload(Integer& Cancel);

  // Moving the window (main_window/dragging.cpp).
  void Form_MouseDown(Integer Button, Integer Shift, Single X, Single Y);
  void Picture1_MouseDown(Integer Button, Integer Shift, Single X, Single Y);
  void cmdShake_MouseDown(Integer Button, Integer Shift, Single X, Single Y);
  void cmdExit_MouseDown(Integer Button, Integer Shift, Single X, Single Y);

  // Answering (answering/shake.cpp, answering/fade.cpp).
  void cmdShake_Click();
  void tmrFontColor_Timer();
  void tmrPause_Timer();
  void tmrDisplay_Timer();

  // Help and exit (help_exit/help.cpp, help_exit/exit.cpp).
  void cmdHelp_Click();
  void cmdExit_Click();
  void tmrExit_Timer();
  void tmrUnload_Timer();

 private:
  friend struct frmMainInternals;  // lets the unit tests reach MakeWindowRegion

  platform::HRGN MakeWindowRegion(Single XScale, Single YScale, Integer XOffset, Integer YOffset);
  void BindEvents();
};
