// The native side of a form: one top-level window, a child window per picture
// box, real BUTTON and EDIT controls, and the form's timers. Each message has
// its own OnXxx function; painting stays apart from WM_PAINT.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/win32/ball_picture.h"
#include "platform/win32/win32_handles.h"

namespace platform::win32 {
class FormWindow;
}

namespace platform::backend {

// What the window system knows of one control (or of the form itself).
struct Peer {
  win32::FormWindow* owner = nullptr;
  Control* control = nullptr;   // null for the form
  ::HWND hwnd = nullptr;        // null for timers and after the window is gone
  int id = 0;                   // control id, or timer id for timers
  WNDPROC classProc = nullptr;  // the system class's procedure of a subclassed control
  HBRUSH background = nullptr;
  bool ownsBackground = false;
  win32::DecodedPicture picture;
};

}  // namespace platform::backend

namespace platform::win32 {

// Sets the screen's twips per pixel from its resolution in dots per inch
// (15 for a resolution the system does not give).
void UseResolution(int dpiX, int dpiY);

// The window class of the form's top-level window, by which a starting copy
// finds the window of a running one.
inline constexpr wchar_t kFormClass[] = L"OmenglobeForm";

class FormWindow {
 public:
  explicit FormWindow(Form& form);
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;
  ~FormWindow();

  static FormWindow* Of(const Form& form);
  static FormWindow* Of(const Control& control);

  // A one-line reason when the system refuses the window or something it needs.
  std::optional<std::string> Create();
  void Show();
  void Destroy();

  ::HWND Handle() const { return self_.hwnd; }
  ::HWND ControlWindow(const Control& control) const;

  void MoveToLeft();
  void MoveToLeftTop();
  void ArmTimer(Timer& timer);
  void DisarmTimer(Timer& timer);

  // The keys a dialog would take (Tab, Esc); true when the message was used.
  bool TranslateDialogKeys(MSG& msg);

 private:
  static LRESULT CALLBACK FormProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PictureProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ControlProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::optional<LRESULT> HandleContainerMessage(backend::Peer& peer, UINT message, WPARAM wParam,
                                                LPARAM lParam);
  LRESULT HandleFormMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandlePictureMessage(backend::Peer& peer, UINT message, WPARAM wParam, LPARAM lParam);

  // Messages of the form window (and those its picture boxes pass up).
  void OnCommand(int id, int code);
  void OnTimer(UINT_PTR id);
  LRESULT OnCtlColor(HDC dc, ::HWND child);
  bool OnEraseBackground(const backend::Peer& peer, HDC dc);
  void OnClose();
  void OnDestroy();
  // The monitor's resolution changed, or the window went to a monitor of
  // another: everything in pixels at the new one, in the place suggested.
  void OnDpiChanged(int dpiX, int dpiY, const RECT& suggested);
  // The screen's size or the work area changed under the window.
  void OnScreenChanged();
  void LayOutAgain(double scaleX, double scaleY);
  // Any button press on the form, a picture box or a control.
  void OnMouseDown(backend::Peer& peer, UINT message, WPARAM wParam, LPARAM lParam);
  bool OnSetCursor(const backend::Peer& peer, LPARAM lParam);

  void OnPaint(backend::Peer& peer);
  void PaintContent(const backend::Peer& peer, HDC dc, const RECT& area);

  // False when the system refused the control's window or a brush for it.
  bool CreateChildren(::HWND parent, std::string_view container);
  bool CreateChild(Control& control, ::HWND parent);
  backend::Peer& NewPeer(Control* control);
  backend::Peer* PeerById(int id);
  backend::Peer* PeerByWindow(::HWND hwnd);
  CommandButton* CancelButton() const;
  Control* FirstInTabOrder() const;

  Form& form_;
  backend::Peer self_;
  std::vector<std::unique_ptr<backend::Peer>> peers_;
  HFONT font_ = nullptr;
  bool destroyed_ = false;
  bool windowGone_ = false;  // destroyed by the system, not by Destroy
};

}  // namespace platform::win32
