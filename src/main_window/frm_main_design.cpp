// frmMain as designed: the window, every control with its design-time
// values, and which events have handlers. Positions and sizes in twips.
#include <array>

#include "main_window/frm_main.h"

using platform::Alignment;
using platform::ControlDesign;
using platform::ControlKind;

namespace {

ControlDesign MakeTimer(std::string_view name, int interval) {
  return {.name = name,
          .kind = ControlKind::Timer,
          .container = "Picture1",
          .interval = interval,
          .enabled = false};
}

ControlDesign MakeButton(std::string_view name, std::string_view caption, platform::Twips left,
                         platform::Twips top, platform::Twips width, platform::Twips height,
                         int tabIndex) {
  return {.name = name,
          .kind = ControlKind::CommandButton,
          .container = "Picture1",
          .left = left,
          .top = top,
          .width = width,
          .height = height,
          .caption = caption,
          .tabIndex = tabIndex};
}

const std::array<ControlDesign, 10>& DesignControls() {
  static const std::array<ControlDesign, 10> controls = [] {
    ControlDesign help = MakeButton("cmdHelp", "?", 2280, 4320, 255, 375, 4);
    help.isCancel = true;  // Esc asks for help
    // "?" and "X" say nothing when read out.
    help.accessibleName = "Help";
    help.accessibleDescription = "Explains how to ask the ball a question.";
    ControlDesign exit = MakeButton("cmdExit", "X", 2640, 4320, 255, 375, 2);
    exit.accessibleName = "Exit";
    exit.accessibleDescription = "Says goodbye, then closes Omenglobe two seconds later.";
    return std::array<ControlDesign, 10>{
        ControlDesign{.name = "Picture1",
                      .kind = ControlKind::PictureBox,
                      .left = 240,
                      .top = 0,
                      .width = 6255,
                      .height = 4695,
                      .tabIndex = 0,
                      .accessibleName = "Answer ball",
                      .borderStyle = false,
                      .picture = platform::Picture::Ball},
        MakeTimer("tmrPause", 3000),
        MakeTimer("tmrDisplay", 100),
        MakeTimer("tmrUnload", 2000),
        MakeTimer("tmrExit", 100),
        help,
        MakeTimer("tmrFontColor", 100),
        MakeButton("cmdShake", "Think of a question then click here to shake the ball.", 1200, 3720,
                   2775, 495, 3),
        exit,
        ControlDesign{.name = "txtMain",
                      .kind = ControlKind::TextBox,
                      .container = "Picture1",
                      .left = 1320,
                      .top = 1320,
                      .width = 2535,
                      .height = 1095,
                      .caption = "",
                      .tabIndex = 1,
                      .accessibleName = "Answer",
                      .accessibleDescription = "The ball's answer appears here.",
                      .backColor = 0x000000,
                      .foreColor = 0x000000,
                      .multiLine = true,
                      .alignment = Alignment::Center,
                      .locked = true,
                      .borderStyle = false,
                      .mousePointer = platform::MousePointer::Cross},
    };
  }();
  return controls;
}

}  // namespace

const platform::FormDesign& frmMain::DesignTable() {
  static const platform::FormDesign design{
      .name = "frmMain",
      .caption = "Kelvra",
      .borderless = true,
      .clientLeft = 3375,
      .clientTop = 2100,
      .clientWidth = 5250,
      .clientHeight = 4785,
      .startUpPosition = platform::StartUpPosition::CenterScreen,
      .backColor = platform::SystemColour(7),
      .hasIcon = true,
      .controlBox = true,
      .maxButton = false,
      .minButton = false,
      .showInTaskbar = true,
      .controls = DesignControls(),
  };
  return design;
}

frmMain::frmMain()
    : Form(DesignTable()),
      Picture1(*this, "Picture1"),
      tmrPause(*this, "tmrPause"),
      tmrDisplay(*this, "tmrDisplay"),
      tmrUnload(*this, "tmrUnload"),
      tmrExit(*this, "tmrExit"),
      cmdHelp(*this, "cmdHelp"),
      tmrFontColor(*this, "tmrFontColor"),
      cmdShake(*this, "cmdShake"),
      cmdExit(*this, "cmdExit"),
      txtMain(*this, "txtMain") {
  BindEvents();
}

// Every event that has a handler; all others are ignored.
void frmMain::BindEvents() {
  OnLoad = [this] { Form_Load(); };
  OnUnload = [this](Integer& cancel) { Form_Unload(cancel); };
  OnMouseDown = [this](Integer b, Integer s, Single x, Single y) { Form_MouseDown(b, s, x, y); };
  Picture1.OnMouseDown = [this](Integer b, Integer s, Single x, Single y) {
    Picture1_MouseDown(b, s, x, y);
  };
  cmdShake.OnClick = [this] { cmdShake_Click(); };
  cmdShake.OnMouseDown = [this](Integer b, Integer s, Single x, Single y) {
    cmdShake_MouseDown(b, s, x, y);
  };
  cmdHelp.OnClick = [this] { cmdHelp_Click(); };
  cmdExit.OnClick = [this] { cmdExit_Click(); };
  cmdExit.OnMouseDown = [this](Integer b, Integer s, Single x, Single y) {
    cmdExit_MouseDown(b, s, x, y);
  };
  tmrFontColor.OnTimer = [this] { tmrFontColor_Timer(); };
  tmrPause.OnTimer = [this] { tmrPause_Timer(); };
  tmrDisplay.OnTimer = [this] { tmrDisplay_Timer(); };
  tmrExit.OnTimer = [this] { tmrExit_Timer(); };
  tmrUnload.OnTimer = [this] { tmrUnload_Timer(); };
}
