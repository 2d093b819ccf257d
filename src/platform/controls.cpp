#include "platform/controls.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/backend.h"

namespace platform {

namespace {
const ControlDesign& FindDesign(const FormDesign& form, std::string_view name) {
  const auto it = std::find_if(form.controls.begin(), form.controls.end(),
                               [&](const ControlDesign& c) { return c.name == name; });
  if (it == form.controls.end()) {
    throw std::logic_error("control not in the design table: " + std::string(name));
  }
  return *it;
}
}  // namespace

Control::Control(Form& form, std::string_view name)
    : form_(form), design_(FindDesign(form.Design(), name)) {
  form.Register(*this);
}

TextBox::TextBox(Form& form, std::string_view name)
    : Control(form, name),
      Text(*this, std::string(Design().caption),
           [](TextBox& box, const std::string& previous) {
             backend::TextChanged(box);
             if (box.Text.Get() != previous) box.unannounced_ = !box.Text.Get().empty();
             box.AnnounceIfShown();
           }),
      ForeColor(*this, Design().foreColor, [](TextBox& box, const Colour&) {
        backend::ForeColorChanged(box);
        box.AnnounceIfShown();
      }) {}

bool TextBox::TextShows() const {
  return !Text.Get().empty() && ResolveColour(ForeColor) != ResolveColour(Design().backColor);
}

void TextBox::AnnounceIfShown() {
  if (!unannounced_ || !TextShows()) return;
  unannounced_ = false;
  backend::Announce(*this);
}

CommandButton::CommandButton(Form& form, std::string_view name)
    : Control(form, name), Enabled(*this, Design().enabled, [](CommandButton& button, const bool&) {
        backend::ButtonEnabledChanged(button);
      }) {}

Control* FocusHeir(const CommandButton& button) {
  Control* heir = nullptr;
  for (Control* control : button.Parent().Controls()) {
    if (control == nullptr || control == &button || control->Design().tabIndex < 0) continue;
    const ControlKind kind = control->Design().kind;
    const bool canHold =
        kind == ControlKind::TextBox ||
        (kind == ControlKind::CommandButton && static_cast<CommandButton*>(control)->Enabled);
    if (canHold && (heir == nullptr || control->Design().tabIndex < heir->Design().tabIndex)) {
      heir = control;
    }
  }
  return heir;
}

Timer::Timer(Form& form, std::string_view name)
    : Control(form, name), Enabled(*this, Design().enabled, [](Timer& timer, const bool& was) {
        backend::TimerEnabledChanged(timer, was);
      }) {}

Form::Form(const FormDesign& design)
    : Left(*this, design.clientLeft,
           [](Form& form, const Twips&) { backend::FormLeftChanged(form); }),
      Top(design.clientTop),
      Width(design.clientWidth),
      Height(design.clientHeight),
      design_(design),
      controls_(design.controls.size(), nullptr) {}

Form::HandleReader::operator HWND() const { return backend::FormHandle(form_); }

void Form::Register(Control& control) {
  const auto index = static_cast<std::size_t>(&control.Design() - design_.controls.data());
  controls_[index] = &control;
}

Control& Form::Find(std::string_view name) const {
  for (Control* c : controls_) {
    if (c != nullptr && c->Name() == name) return *c;
  }
  throw std::logic_error("no control named " + std::string(name));
}

}  // namespace platform
