// The design table: a form and its controls as data. The program writes its
// layout here once; every backend builds its native window from it.
#pragma once

#include <span>
#include <string_view>

#include "platform/types.h"

namespace platform {

enum class ControlKind { PictureBox, TextBox, CommandButton, Timer };
enum class Alignment { Left = 0, Center = 2 };
enum class StartUpPosition { CenterScreen = 2 };
enum class Picture { None, Ball };
enum class MousePointer { Default = 0, Cross = 2 };

struct ControlDesign {
  std::string_view name = {};
  ControlKind kind = ControlKind::PictureBox;
  std::string_view container = {};  // name of the containing control; empty for the form itself
  Twips left = 0, top = 0, width = 0, height = 0;
  std::string_view caption = {};
  int tabIndex = -1;  // -1: takes no focus (timers)
  // What assistive technology reads out: an empty name falls back to the
  // caption, an empty description says nothing more.
  std::string_view accessibleName = {};
  std::string_view accessibleDescription = {};
  Colour backColor = 0;
  Colour foreColor = 0;
  // Text box.
  bool multiLine = false;
  Alignment alignment = Alignment::Left;
  bool locked = false;
  bool borderStyle = true;  // false: no frame
  MousePointer mousePointer = MousePointer::Default;
  // Command button: the window's Enter or Esc button.
  bool isDefault = false;
  bool isCancel = false;
  // Picture box.
  Picture picture = Picture::None;
  // Timer.
  int interval = 0;
  bool enabled = true;
};

struct FormDesign {
  std::string_view name = {};
  std::string_view caption = {};
  bool borderless = true;
  Twips clientLeft = 0, clientTop = 0, clientWidth = 0, clientHeight = 0;
  StartUpPosition startUpPosition = StartUpPosition::CenterScreen;
  Colour backColor = 0;
  bool hasIcon = true;
  bool controlBox = true;
  bool maxButton = true;
  bool minButton = true;
  bool showInTaskbar = true;
  std::span<const ControlDesign> controls =
      {};  // in design order; containers before their children
};

}  // namespace platform
