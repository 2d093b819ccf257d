#include "platform/win32/accessibility.h"

// clang-format off
#include <initguid.h>  // first: oleacc.h's GUIDs are defined here
#include <oleacc.h>
// clang-format on

#include <string>

#include "platform/backend.h"
#include "platform/win32/form_window.h"
#include "platform/win32/win32_handles.h"

namespace platform::win32 {

namespace {

// UI Automation's live-region setting, which Direct Annotation carries for
// a window as it carries the MSAA properties; 1 is "polite": read when the
// reader has finished what it is saying.
DEFINE_GUID(kLiveSettingProperty, 0xc12bcd8e, 0x2a8e, 0x4950, 0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d,
            0x58, 0xeb);
constexpr LONG kLivePolite = 1;

bool annotated = false;
// Kept for the life of the process: the annotations live as long as it.
IAccPropServices* services = nullptr;

void SetInteger(::HWND hwnd, const MSAAPROPID& property, LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  services->SetHwndProp(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property, v);
}

void SetText(::HWND hwnd, const MSAAPROPID& property, std::string_view text) {
  if (text.empty()) return;
  const std::wstring wide = Widen(text);
  services->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property,
                           wide.c_str());
}

}  // namespace

void OnGetObject(const Form& form) {
  if (annotated) return;
  annotated = true;
  FormWindow* window = FormWindow::Of(form);
  if (window == nullptr) return;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
    services = nullptr;
    return;  // the controls keep the names the system gives them
  }
  for (const Control* control : form.Controls()) {
    const ::HWND hwnd = control != nullptr ? window->ControlWindow(*control) : nullptr;
    if (hwnd == nullptr) continue;
    const auto& d = control->Design();
    SetText(hwnd, PROPID_ACC_NAME, d.accessibleName);
    SetText(hwnd, PROPID_ACC_DESCRIPTION, d.accessibleDescription);
    // The picture box holds the controls, but what it shows is a picture.
    if (d.kind == ControlKind::PictureBox) SetInteger(hwnd, PROPID_ACC_ROLE, ROLE_SYSTEM_GRAPHIC);
    // A text box's text appears on its own, when the program makes it visible.
    if (d.kind == ControlKind::TextBox) SetInteger(hwnd, kLiveSettingProperty, kLivePolite);
  }
}

}  // namespace platform::win32

namespace platform::backend {

void Announce(TextBox& box) {
  auto* window = win32::FormWindow::Of(box);
  if (window == nullptr) return;
  // The live region's content changed: a reader reads the box's text now.
  // Costs nothing while no client listens for events.
  if (::HWND edit = window->ControlWindow(box)) {
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, edit, OBJID_CLIENT, CHILDID_SELF);
  }
}

}  // namespace platform::backend
