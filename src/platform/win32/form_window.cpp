#include "platform/win32/form_window.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/backend.h"
#include "platform/runtime.h"
#include "platform/win32/accessibility.h"
#include "resources/resources.h"

namespace platform::win32 {

using backend::Peer;

namespace {

constexpr wchar_t kPictureClass[] = L"OmenglobePicture";
constexpr int kFirstControlId = 100;
constexpr int kProgramIconGroup = 1;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

bool RegisterClasses(WNDPROC formProc, WNDPROC pictureProc) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = formProc;
  form.hInstance = Instance();
  form.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(kProgramIconGroup));
  form.hIconSm = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(kProgramIconGroup),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  form.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  form.lpszClassName = kFormClass;
  WNDCLASSEXW picture{};
  picture.cbSize = sizeof picture;
  picture.lpfnWndProc = pictureProc;
  picture.hInstance = Instance();
  picture.hCursor = form.hCursor;
  picture.lpszClassName = kPictureClass;
  registered = RegisterClassExW(&form) != 0 && RegisterClassExW(&picture) != 0;
  return registered;
}

// A system colour follows the user's scheme; anything else is fixed.
HBRUSH BrushFor(Colour colour, bool& owned) {
  if (IsSystemColour(colour)) {
    owned = false;
    return GetSysColorBrush(static_cast<int>(colour & 0xFFu));
  }
  owned = true;
  return CreateSolidBrush(ToColorRef(colour));
}

COLORREF ColorRefFor(Colour colour) {
  return IsSystemColour(colour) ? GetSysColor(static_cast<int>(colour & 0xFFu))
                                : ToColorRef(colour);
}

constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED, which older headers lack

HFONT CreateControlFont() {
  // One 8-point face for every control, at the screen's real resolution:
  // the pixels of an inch, 1440 twips, down the screen.
  const int dpiY = ScaleY(1440);
  LOGFONTW font{};
  font.lfHeight = -MulDiv(8, dpiY, 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  lstrcpynW(font.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
  HFONT created = CreateFontIndirectW(&font);
  return created != nullptr ? created : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// The window's region scaled about its corner: the system keeps it in
// pixels, and the program made it once, for the resolution of the start.
void ScaleWindowRegion(::HWND hwnd, double scaleX, double scaleY) {
  ::HRGN current = ::CreateRectRgn(0, 0, 0, 0);
  if (current == nullptr) return;
  if (::GetWindowRgn(hwnd, current) == ERROR) {
    ::DeleteObject(current);
    return;
  }
  const DWORD bytes = ::GetRegionData(current, 0, nullptr);
  std::vector<char> data(bytes);
  auto* region = reinterpret_cast<RGNDATA*>(data.data());
  ::HRGN scaled = nullptr;
  if (bytes != 0 && ::GetRegionData(current, bytes, region) == bytes) {
    const XFORM scale{static_cast<FLOAT>(scaleX), 0, 0, static_cast<FLOAT>(scaleY), 0, 0};
    scaled = ::ExtCreateRegion(&scale, bytes, region);
  }
  ::DeleteObject(current);
  // From a successful call on the window owns the new region and frees the old.
  if (scaled != nullptr && ::SetWindowRgn(hwnd, scaled, TRUE) == 0) ::DeleteObject(scaled);
}

Integer MouseButton(UINT message) {
  switch (message) {
    case WM_RBUTTONDOWN:
      return kRightButton;
    case WM_MBUTTONDOWN:
      return kMiddleButton;
    default:
      return kLeftButton;
  }
}

Integer ShiftState(WPARAM keys) {
  Integer shift = 0;
  if (keys & MK_SHIFT) shift |= kShiftKey;
  if (keys & MK_CONTROL) shift |= kCtrlKey;
  if (GetKeyState(VK_MENU) < 0) shift |= kAltKey;
  return shift;
}

bool IsButtonDown(UINT message) {
  return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
}

}  // namespace

FormWindow::FormWindow(Form& form) : form_(form) {
  self_.owner = this;
  form.peer = &self_;
}

FormWindow::~FormWindow() { Destroy(); }

FormWindow* FormWindow::Of(const Form& form) {
  return form.peer != nullptr ? form.peer->owner : nullptr;
}

FormWindow* FormWindow::Of(const Control& control) {
  return control.peer != nullptr ? control.peer->owner : nullptr;
}

::HWND FormWindow::ControlWindow(const Control& control) const {
  return control.peer != nullptr ? control.peer->hwnd : nullptr;
}

namespace {
std::string SystemError(const char* what) {
  // Wine without a display refuses windows without saying why.
  const DWORD error = GetLastError();
  return std::string("cannot create ") + what +
         (error != 0 ? " (system error " + std::to_string(error) + ")"
                     : ": the window system refused it");
}
}  // namespace

std::optional<std::string> FormWindow::Create() {
  if (!RegisterClasses(FormProc, PictureProc)) return SystemError("the window classes");
  const FormDesign& design = form_.Design();
  font_ = CreateControlFont();
  self_.background = BrushFor(design.backColor, self_.ownsBackground);
  if (self_.background == nullptr) return SystemError("the window's background brush");

  DWORD style = WS_CLIPCHILDREN;
  style |= design.borderless ? WS_POPUP : (WS_OVERLAPPED | WS_CAPTION);
  if (design.controlBox) style |= WS_SYSMENU;
  if (design.minButton) style |= WS_MINIMIZEBOX;
  if (design.maxButton) style |= WS_MAXIMIZEBOX;
  const DWORD exStyle = design.showInTaskbar ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
  RECT frame{0, 0, ScaleX(form_.Width), ScaleY(form_.Height)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);

  const std::wstring caption = Widen(design.caption);
  SetLastError(0);
  CreateWindowExW(exStyle, kFormClass, caption.c_str(), style, ScaleX(form_.Left),
                  ScaleY(form_.Top), frame.right - frame.left, frame.bottom - frame.top, nullptr,
                  nullptr, Instance(), this);
  // A program that went on without its window would wait in its message
  // loop for ever, holding the running-copy mutex.
  if (self_.hwnd == nullptr) return SystemError("the window");
  if (!design.hasIcon) {
    SendMessageW(self_.hwnd, WM_SETICON, ICON_BIG, 0);
    SendMessageW(self_.hwnd, WM_SETICON, ICON_SMALL, 0);
  }

  if (!CreateChildren(self_.hwnd, {})) return SystemError("the window's controls");
  for (Control* control : form_.Controls()) {
    if (control == nullptr || control->Design().kind != ControlKind::Timer) continue;
    auto& timer = static_cast<Timer&>(*control);
    if (timer.Enabled) ArmTimer(timer);
  }
  return std::nullopt;
}

bool FormWindow::CreateChildren(::HWND parent, std::string_view container) {
  // Creation order is the z-order, and the z-order is the tab order.
  std::vector<Control*> children;
  for (Control* control : form_.Controls()) {
    if (control != nullptr && control->Design().container == container) {
      children.push_back(control);
    }
  }
  std::stable_sort(children.begin(), children.end(), [](const Control* a, const Control* b) {
    const int ta = a->Design().tabIndex, tb = b->Design().tabIndex;
    return (ta < 0 ? INT_MAX : ta) < (tb < 0 ? INT_MAX : tb);
  });
  for (Control* control : children) {
    if (!CreateChild(*control, parent)) return false;
  }
  return true;
}

Peer& FormWindow::NewPeer(Control* control) {
  auto peer = std::make_unique<Peer>();
  peer->owner = this;
  peer->control = control;
  peer->id = kFirstControlId + static_cast<int>(peers_.size());
  peers_.push_back(std::move(peer));
  if (control != nullptr) control->peer = peers_.back().get();
  return *peers_.back();
}

namespace {

// The window a control is made of: its class, styles and first text.
struct ChildWindow {
  const wchar_t* windowClass = nullptr;
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD exStyle = 0;
  std::wstring text = {};
};

ChildWindow PictureWindow(Peer& peer) {
  const ControlDesign& design = peer.control->Design();
  ChildWindow window{.windowClass = kPictureClass};
  window.style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  window.exStyle |= WS_EX_CONTROLPARENT;  // Tab walks into its children
  if (design.borderStyle) window.style |= WS_BORDER;
  peer.background = BrushFor(design.backColor, peer.ownsBackground);
  if (design.picture == Picture::Ball) {
    peer.picture.Decode(resources::BallPicture());
    peer.picture.ShowAtFormScale();
  }
  return window;
}

ChildWindow TextBoxWindow(Peer& peer) {
  const ControlDesign& design = peer.control->Design();
  ChildWindow window{.windowClass = L"EDIT"};
  window.style |= WS_TABSTOP;
  window.style |= design.multiLine ? ES_MULTILINE | ES_AUTOVSCROLL : ES_AUTOHSCROLL;
  if (design.alignment == Alignment::Center) window.style |= ES_CENTER;
  if (design.locked) window.style |= ES_READONLY;
  if (design.borderStyle) window.exStyle |= WS_EX_CLIENTEDGE;
  peer.background = BrushFor(design.backColor, peer.ownsBackground);
  window.text = Widen(static_cast<TextBox&>(*peer.control).Text.Get());
  return window;
}

ChildWindow ButtonWindow(Peer& peer) {
  const ControlDesign& design = peer.control->Design();
  ChildWindow window{.windowClass = L"BUTTON"};
  window.style |= WS_TABSTOP | BS_MULTILINE | BS_CENTER | BS_VCENTER;
  window.style |= design.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  if (!static_cast<CommandButton&>(*peer.control).Enabled) window.style |= WS_DISABLED;
  // The dialog keys name these two ids; the loop maps them back to the buttons.
  if (design.isCancel) peer.id = IDCANCEL;
  if (design.isDefault) peer.id = IDOK;
  window.text = Widen(design.caption);
  return window;
}

}  // namespace

bool FormWindow::CreateChild(Control& control, ::HWND parent) {
  const ControlDesign& design = control.Design();
  Peer& peer = NewPeer(&control);
  if (design.kind == ControlKind::Timer) return true;

  const int x = ScaleX(design.left), y = ScaleY(design.top);
  const int width = ScaleX(design.width), height = ScaleY(design.height);
  ChildWindow window;
  switch (design.kind) {
    case ControlKind::Timer:
      return true;
    case ControlKind::PictureBox:
      window = PictureWindow(peer);
      break;
    case ControlKind::TextBox:
      window = TextBoxWindow(peer);
      break;
    case ControlKind::CommandButton:
      window = ButtonWindow(peer);
      break;
  }
  if (design.kind != ControlKind::CommandButton && peer.background == nullptr) return false;

  SetLastError(0);
  const ::HWND created = CreateWindowExW(
      window.exStyle, window.windowClass, window.text.c_str(), window.style, x, y, width, height,
      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(peer.id)), Instance(), &peer);
  if (created == nullptr) return false;
  peer.hwnd = created;
  if (design.kind != ControlKind::PictureBox) {
    // Presses on system controls are raised before the control handles them.
    SetWindowLongPtrW(created, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&peer));
    peer.classProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(created, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
  }
  SendMessageW(peer.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  if (design.kind == ControlKind::PictureBox) return CreateChildren(peer.hwnd, design.name);
  return true;
}

void FormWindow::Show() {
  if (self_.hwnd == nullptr) return;
  SetWindowPos(self_.hwnd, nullptr, ScaleX(form_.Left), ScaleY(form_.Top), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(self_.hwnd, SW_SHOW);
  UpdateWindow(self_.hwnd);
  if (Control* first = FirstInTabOrder()) {
    if (::HWND focus = ControlWindow(*first)) SetFocus(focus);
  }
}

void FormWindow::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  for (auto& peer : peers_) {
    if (peer->control != nullptr && peer->control->Design().kind == ControlKind::Timer &&
        static_cast<Timer*>(peer->control)->Enabled && self_.hwnd != nullptr) {
      KillTimer(self_.hwnd, static_cast<UINT_PTR>(peer->id));
    }
  }
  // Destroying the window takes its children and any message box it owns.
  if (self_.hwnd != nullptr && !windowGone_) DestroyWindow(self_.hwnd);
  for (auto& peer : peers_) {
    peer->hwnd = nullptr;
    if (peer->ownsBackground && peer->background != nullptr) DeleteObject(peer->background);
    peer->background = nullptr;
    peer->picture.Reset();
    if (peer->control != nullptr) peer->control->peer = nullptr;
  }
  if (self_.ownsBackground && self_.background != nullptr) DeleteObject(self_.background);
  self_.background = nullptr;
  if (font_ != nullptr && font_ != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font_);
  font_ = nullptr;
  form_.peer = nullptr;
}

void FormWindow::MoveToLeft() {
  if (self_.hwnd == nullptr) return;
  RECT now{};
  GetWindowRect(self_.hwnd, &now);
  SetWindowPos(self_.hwnd, nullptr, ScaleX(form_.Left), now.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::MoveToLeftTop() {
  if (self_.hwnd == nullptr) return;
  SetWindowPos(self_.hwnd, nullptr, ScaleX(form_.Left), ScaleY(form_.Top), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::ArmTimer(Timer& timer) {
  // An interval of 0 means the timer never ticks.
  if (self_.hwnd == nullptr || timer.peer == nullptr || timer.Interval() <= 0) return;
  SetTimer(self_.hwnd, static_cast<UINT_PTR>(timer.peer->id), static_cast<UINT>(timer.Interval()),
           nullptr);
}

void FormWindow::DisarmTimer(Timer& timer) {
  if (self_.hwnd == nullptr || timer.peer == nullptr) return;
  KillTimer(self_.hwnd, static_cast<UINT_PTR>(timer.peer->id));
}

bool FormWindow::TranslateDialogKeys(MSG& msg) {
  if (self_.hwnd == nullptr) return false;
  if (msg.hwnd != self_.hwnd && !IsChild(self_.hwnd, msg.hwnd)) return false;
  // Esc belongs to the cancel button whichever control has the focus, even
  // a multi-line text box that would otherwise keep every key.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    if (CommandButton* cancel = CancelButton()) {
      events::Click(*cancel);
      return true;
    }
  }
  // Enter presses the focused button, as it does in a dialog box.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
    const Peer* focused = PeerByWindow(GetFocus());
    if (focused != nullptr && focused->control != nullptr &&
        focused->control->Design().kind == ControlKind::CommandButton) {
      events::Click(static_cast<CommandButton&>(*focused->control));
      return true;
    }
  }
  return IsDialogMessageW(self_.hwnd, &msg) != FALSE;
}

CommandButton* FormWindow::CancelButton() const {
  for (Control* control : form_.Controls()) {
    if (control != nullptr && control->Design().kind == ControlKind::CommandButton &&
        control->Design().isCancel) {
      return static_cast<CommandButton*>(control);
    }
  }
  return nullptr;
}

Control* FormWindow::FirstInTabOrder() const {
  Control* first = nullptr;
  for (Control* control : form_.Controls()) {
    if (control == nullptr || control->Design().tabIndex < 0) continue;
    if (first == nullptr || control->Design().tabIndex < first->Design().tabIndex) first = control;
  }
  return first;
}

Peer* FormWindow::PeerById(int id) {
  for (auto& peer : peers_) {
    if (peer->id == id) return peer.get();
  }
  return nullptr;
}

Peer* FormWindow::PeerByWindow(::HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  if (hwnd == self_.hwnd) return &self_;
  for (auto& peer : peers_) {
    if (peer->hwnd == hwnd) return peer.get();
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Window procedures: recover the object, then one function per message.

LRESULT CALLBACK FormWindow::FormProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->self_.hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->HandleFormMessage(message, wParam, lParam);
}

LRESULT CALLBACK FormWindow::PictureProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* peer = static_cast<Peer*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    peer->hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
  }
  auto* peer = reinterpret_cast<Peer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (peer == nullptr || peer->owner == nullptr)
    return DefWindowProcW(hwnd, message, wParam, lParam);
  return peer->owner->HandlePictureMessage(*peer, message, wParam, lParam);
}

LRESULT CALLBACK FormWindow::ControlProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* peer = reinterpret_cast<Peer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (peer == nullptr || peer->classProc == nullptr)
    return DefWindowProcW(hwnd, message, wParam, lParam);
  const WNDPROC classProc = peer->classProc;
  if (IsButtonDown(message)) {
    peer->owner->OnMouseDown(*peer, message, wParam, lParam);
    // The handler may have closed the window; the control then has no press left to handle.
    if (!IsWindow(hwnd)) return 0;
  } else if (message == WM_SETCURSOR && peer->owner->OnSetCursor(*peer, lParam)) {
    return TRUE;
  } else if (message == WM_GETOBJECT) {
    OnGetObject(peer->owner->form_);
  } else if (message == WM_GETDLGCODE && peer->control != nullptr &&
             peer->control->Design().kind == ControlKind::TextBox) {
    // Tab leaves a text box for the next control; a multi-line edit would
    // keep it, and a keyboard user could never get out of the answer box.
    LRESULT code = CallWindowProcW(classProc, hwnd, message, wParam, lParam);
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB) {
      code &= ~static_cast<LRESULT>(DLGC_WANTMESSAGE);
    }
    return code & ~static_cast<LRESULT>(DLGC_WANTTAB);
  } else if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(classProc));
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
  return CallWindowProcW(classProc, hwnd, message, wParam, lParam);
}

// The form and the picture box both hold controls, which report to their
// parent: the form answers for all of them, whichever parent they report
// to. Presses on either start a drag, and either may be asked for the
// window's accessible objects. Nothing for a message of another kind; the
// last two go on to the default handling.
std::optional<LRESULT> FormWindow::HandleContainerMessage(Peer& peer, UINT message, WPARAM wParam,
                                                          LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      return OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<::HWND>(lParam));
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      OnMouseDown(peer, message, wParam, lParam);
      return 0;
    case WM_GETOBJECT:
      OnGetObject(form_);
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(peer.hwnd, GWLP_USERDATA, 0);
      peer.hwnd = nullptr;
      break;
    default:
      break;
  }
  return std::nullopt;
}

LRESULT FormWindow::HandleFormMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const ::HWND hwnd = self_.hwnd;
  if (const auto handled = HandleContainerMessage(self_, message, wParam, lParam)) return *handled;
  switch (message) {
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_ERASEBKGND:
      if (OnEraseBackground(self_, reinterpret_cast<HDC>(wParam))) return 1;
      break;
    case WM_CLOSE:
      OnClose();
      return 0;
    case kDpiChanged:
      OnDpiChanged(LOWORD(wParam), HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DISPLAYCHANGE:
      OnScreenChanged();
      break;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETWORKAREA) OnScreenChanged();
      break;
    case WM_ENDSESSION:
      if (wParam) OnClose();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT FormWindow::HandlePictureMessage(Peer& peer, UINT message, WPARAM wParam, LPARAM lParam) {
  const ::HWND hwnd = peer.hwnd;
  if (const auto handled = HandleContainerMessage(peer, message, wParam, lParam)) return *handled;
  switch (message) {
    case WM_PAINT:
      OnPaint(peer);
      return 0;
    case WM_ERASEBKGND:
      // PaintContent covers every pixel, picture first and background after.
      return 1;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------------------------

void FormWindow::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  Peer* peer = PeerById(id);
  if (peer == nullptr || peer->control == nullptr ||
      peer->control->Design().kind != ControlKind::CommandButton) {
    return;
  }
  events::Click(static_cast<CommandButton&>(*peer->control));
}

void FormWindow::OnTimer(UINT_PTR id) {
  Peer* peer = PeerById(static_cast<int>(id));
  if (peer == nullptr || peer->control == nullptr ||
      peer->control->Design().kind != ControlKind::Timer) {
    return;
  }
  events::Tick(static_cast<Timer&>(*peer->control));
}

LRESULT FormWindow::OnCtlColor(HDC dc, ::HWND child) {
  Peer* peer = PeerByWindow(child);
  if (peer == nullptr || peer->control == nullptr ||
      peer->control->Design().kind != ControlKind::TextBox) {
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  const auto& box = static_cast<const TextBox&>(*peer->control);
  SetTextColor(dc, ColorRefFor(box.ForeColor));
  SetBkColor(dc, ColorRefFor(box.Design().backColor));
  return reinterpret_cast<LRESULT>(peer->background);
}

bool FormWindow::OnEraseBackground(const Peer& peer, HDC dc) {
  if (peer.background == nullptr) return false;
  RECT area{};
  GetClientRect(peer.hwnd, &area);
  FillRect(dc, &area, peer.background);
  return true;
}

void FormWindow::OnClose() { events::CloseRequested(form_); }

void FormWindow::OnDestroy() {
  if (!destroyed_) {
    // Not our unload: the session is ending, or the system took the window.
    // The form unloads with it; Destroy then only releases what we hold.
    windowGone_ = true;
    events::WindowDestroyed(form_);
    Destroy();
  }
  // However the window went, a program without its form has nothing left to do.
  PostQuitMessage(0);
}

void FormWindow::OnDpiChanged(int dpiX, int dpiY, const RECT& suggested) {
  const Single oldX = Screen.TwipsPerPixelX, oldY = Screen.TwipsPerPixelY;
  UseResolution(dpiX, dpiY);
  LayOutAgain(RescaleX(oldX), RescaleY(oldY));
  // The system's rectangle keeps the window where the user put it on the
  // new monitor; another would start the move between monitors over.
  SetWindowPos(self_.hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  // Every pixel changed, the picture box's and its controls' included.
  RedrawWindow(self_.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void FormWindow::OnScreenChanged() {
  RECT now{};
  if (self_.hwnd == nullptr || !IsWindowVisible(self_.hwnd) || !GetWindowRect(self_.hwnd, &now)) {
    return;
  }
  events::ScreenChanged(form_, now.left, now.top);
}

// Every control at its design rectangle in pixels of the current
// resolution, in the font of that resolution, the picture at the form's
// scale, and the window's region, which the system holds in pixels,
// scaled by the change.
void FormWindow::LayOutAgain(double scaleX, double scaleY) {
  HFONT previous = std::exchange(font_, CreateControlFont());
  for (auto& peer : peers_) {
    if (peer->hwnd == nullptr || peer->control == nullptr) continue;
    const ControlDesign& d = peer->control->Design();
    MoveWindow(peer->hwnd, ScaleX(d.left), ScaleY(d.top), ScaleX(d.width), ScaleY(d.height), TRUE);
    SendMessageW(peer->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    if (!peer->picture.Empty()) peer->picture.ShowAtFormScale();
  }
  if (previous != nullptr && previous != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(previous);
  ScaleWindowRegion(self_.hwnd, scaleX, scaleY);
}

void FormWindow::OnMouseDown(Peer& peer, UINT message, WPARAM wParam, LPARAM lParam) {
  events::MouseDown(form_, peer.control, MouseButton(message), ShiftState(wParam),
                    TwipsX(GET_X_LPARAM(lParam)), TwipsY(GET_Y_LPARAM(lParam)));
}

bool FormWindow::OnSetCursor(const Peer& peer, LPARAM lParam) {
  if (peer.control == nullptr || LOWORD(lParam) != HTCLIENT) return false;
  if (peer.control->Design().mousePointer != MousePointer::Cross) return false;
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32515)));  // IDC_CROSS
  return true;
}

void FormWindow::OnPaint(Peer& peer) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(peer.hwnd, &ps);
  if (dc != nullptr) PaintContent(peer, dc, ps.rcPaint);
  EndPaint(peer.hwnd, &ps);
}

void FormWindow::PaintContent(const Peer& peer, HDC dc, const RECT& area) {
  // The picture at the form's scale from the top-left corner; the box's own
  // colour wherever the picture does not reach.
  const SIZE size = peer.picture.Size();
  const int saved = SaveDC(dc);
  peer.picture.Draw(dc, area);
  ExcludeClipRect(dc, 0, 0, size.cx, size.cy);
  FillRect(dc, &area,
           peer.background != nullptr ? peer.background : GetSysColorBrush(COLOR_BTNFACE));
  RestoreDC(dc, saved);
}

}  // namespace platform::win32
