// The form and its controls as the program sees them: design-time values,
// run-time properties and event slots. A property write is stored here (so a
// read returns exactly what was written) and then handed to the backend,
// which shows it.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/design.h"
#include "platform/types.h"

namespace platform {

class Form;

namespace backend {
struct Peer;  // each backend's native side of a form or control
}

// A value with a write hook: `box.ForeColor = 0x404040;`, `if (box.ForeColor == 0)`.
template <typename Owner, typename T>
class Property {
 public:
  using Notify = void (*)(Owner& owner, const T& previous);

  Property(Owner& owner, T initial, Notify notify)
      : owner_(owner), value_(std::move(initial)), notify_(notify) {}
  Property(const Property&) = delete;
  Property& operator=(const Property&) = delete;

  Property& operator=(T value) {
    T previous = std::exchange(value_, std::move(value));
    notify_(owner_, previous);
    return *this;
  }
  operator const T&() const { return value_; }
  const T& Get() const { return value_; }

 private:
  Owner& owner_;
  T value_;
  Notify notify_;
};

// MouseDown's Button: which button went down; Shift: the keys held.
constexpr Integer kLeftButton = 1;
constexpr Integer kRightButton = 2;
constexpr Integer kMiddleButton = 4;
constexpr Integer kShiftKey = 1;
constexpr Integer kCtrlKey = 2;
constexpr Integer kAltKey = 4;

using MouseDownHandler = std::function<void(Integer button, Integer shift, Single x, Single y)>;

class Control {
 public:
  Control(Form& form, std::string_view name);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  const ControlDesign& Design() const { return design_; }
  std::string_view Name() const { return design_.name; }
  Form& Parent() const { return form_; }

  MouseDownHandler OnMouseDown;
  backend::Peer* peer = nullptr;  // owned by the backend

 private:
  Form& form_;
  const ControlDesign& design_;
};

class PictureBox : public Control {
 public:
  using Control::Control;
};

class TextBox : public Control {
 public:
  TextBox(Form& form, std::string_view name);
  Property<TextBox, std::string> Text;
  Property<TextBox, Colour> ForeColor;

  // Whether a person can read the text now: there is one, and it is not in
  // the box's background colour.
  bool TextShows() const;

 private:
  // A text is read out once, when it first shows: the program may write it
  // in the background colour and bring it up later.
  void AnnounceIfShown();
  bool unannounced_ = false;
};

class CommandButton : public Control {
 public:
  CommandButton(Form& form, std::string_view name);
  Property<CommandButton, bool> Enabled;  // while false the button raises no Click
  std::function<void()> OnClick;
};

// The control that takes the focus from `button` as it is disabled, which
// can hold it no more: the first in tab order that can (a text box, or a
// button still enabled). A reader then tells where the user is, and keys
// go on working. Null when there is none.
Control* FocusHeir(const CommandButton& button);

// Ticks once per Interval while enabled, the first one Interval after being
// enabled. Enabling a timer that is already enabled leaves its phase alone.
class Timer : public Control {
 public:
  Timer(Form& form, std::string_view name);
  Property<Timer, bool> Enabled;
  int Interval() const { return Design().interval; }
  std::function<void()> OnTimer;
};

class Form {
 public:
  explicit Form(const FormDesign& design);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form() = default;

  const FormDesign& Design() const { return design_; }

  // Position and size in twips. Writing Left moves the window at once and
  // leaves its vertical position alone.
  Property<Form, Twips> Left;
  Twips Top = 0;
  const Twips Width;
  const Twips Height;

  // The native window handle, read as `form.hWnd`.
  class HandleReader {
   public:
    explicit HandleReader(const Form& form) : form_(form) {}
    operator HWND() const;

   private:
    const Form& form_;
  };
  const HandleReader hWnd{*this};

  std::function<void()> OnLoad;
  std::function<void(Integer& cancel)> OnUnload;
  MouseDownHandler OnMouseDown;

  // Every control, in design order.
  std::span<Control* const> Controls() const { return controls_; }
  Control& Find(std::string_view name) const;

  bool Loaded() const { return loaded_; }

  backend::Peer* peer = nullptr;  // owned by the backend

 private:
  friend class Control;
  friend class Runtime;
  void Register(Control& control);

  const FormDesign& design_;
  std::vector<Control*> controls_;
  bool loaded_ = false;
};

}  // namespace platform
