// The backend verbs on the Windows API: the running-copy mutex, the screen,
// the form window, timers, the message box and the message loop.
#include "platform/backend.h"

#include <objbase.h>

#include <memory>
#include <string>

#include "platform/random.h"
#include "platform/runtime.h"
#include "platform/win32/form_window.h"
#include "platform/win32/win32_handles.h"

namespace platform::backend {

namespace {

struct Process {
  bool initialised = false;
  std::string title;
  bool anotherCopy = false;
  HANDLE runningCopy = nullptr;  // held, never closed: the system frees it with the process
  Single twipsPerPixelX = 15;
  Single twipsPerPixelY = 15;
  std::unique_ptr<win32::FormWindow> window;
  Generator generator;
};

Process& P() {
  static Process process;
  return process;
}

// The executable's manifest declares the program DPI-aware (per monitor
// where the system knows how), so the screen reports its real resolution
// and nothing stretches the window's pixels.
void ReadResolution() {
  HDC screen = GetDC(nullptr);
  const int dpiX = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  const int dpiY = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  win32::UseResolution(dpiX, dpiY);
}

win32::FormWindow* WindowOf(const Form& form) { return win32::FormWindow::Of(form); }

// Under Wine another X client (a session tool, a crashing window manager)
// can destroy the X window of ours. Wine tells the program nothing: the
// window stays shown and alive to Windows, and only Wine's record of its X
// window, this property, goes. The copy would run on invisibly, holding the
// mutex, and keep every later start out. Each copy notes the X window it was
// shown in, so that a later start can tell a window that lost it from one
// that never had one (a Wine virtual desktop).
constexpr wchar_t kWineXWindow[] = L"__wine_x11_whole_window";
constexpr wchar_t kShownInXWindow[] = L"Omenglobe.ShownInXWindow";

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The form window of a running copy that Wine no longer shows anywhere.
::HWND WindowlessCopy() {
  if (!UnderWine()) return nullptr;
  ::HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, win32::kFormClass, nullptr)) != nullptr) {
    if (IsWindowVisible(window) && GetPropW(window, kShownInXWindow) != nullptr &&
        GetPropW(window, kWineXWindow) == nullptr) {
      return window;
    }
  }
  return nullptr;
}

// A copy whose window is gone is asked to close, as a window manager would
// ask it; once it has ended, the mutex is this start's alone (the copy that
// made it holds it only by its handle). Returns the reason this start
// cannot run when the copy does not end in time.
std::optional<std::string> ReplaceWindowlessCopy(bool& anotherCopy) {
  ::HWND gone = WindowlessCopy();
  if (gone == nullptr) return std::nullopt;
  DWORD id = 0;
  GetWindowThreadProcessId(gone, &id);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  PostMessageW(gone, WM_CLOSE, 0, 0);
  const bool ended = process != nullptr && WaitForSingleObject(process, 3000) == WAIT_OBJECT_0;
  if (process != nullptr) CloseHandle(process);
  if (ended) {
    anotherCopy = false;
    return std::nullopt;
  }
  return "a copy whose window is gone (process " + std::to_string(id) +
         ") holds the running-copy lock and does not end";
}

}  // namespace

}  // namespace platform::backend

namespace platform::win32 {

void UseResolution(int dpiX, int dpiY) {
  auto& p = backend::P();
  p.twipsPerPixelX = TwipsPerPixelAt(dpiX);
  p.twipsPerPixelY = TwipsPerPixelAt(dpiY);
}

}  // namespace platform::win32

namespace platform::backend {

std::optional<std::string> Init(std::string_view programTitle, int, char**) {
  auto& p = P();
  p.title = programTitle;
  // Local\: one copy per logon session, so other users on the same machine
  // each get their own.
  const std::wstring name = L"Local\\" + win32::Widen(programTitle) + L".RunningCopy";
  p.runningCopy = CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD error = GetLastError();
  if (p.runningCopy == nullptr) {
    // A mutex of that name we may not open still means a copy is running.
    if (error != ERROR_ACCESS_DENIED) {
      return "cannot create the running-copy lock (error " + std::to_string(error) + ")";
    }
    p.anotherCopy = true;
  } else {
    p.anotherCopy = error == ERROR_ALREADY_EXISTS;
    if (p.anotherCopy) {
      if (auto problem = ReplaceWindowlessCopy(p.anotherCopy)) return problem;
    }
  }
  ReadResolution();
  // The picture decoder may go through COM; without it the ball is simply not drawn.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  p.initialised = true;
  return std::nullopt;
}

bool PrevInstance() { return P().anotherCopy; }

ScreenMetrics Screen() {
  auto& p = P();
  if (!p.initialised) ReadResolution();
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), p.twipsPerPixelX,
          p.twipsPerPixelY};
}

PixelRect WorkArea() {
  // The monitor the window is on once it shows; the primary one before.
  auto* window = P().window.get();
  const ::HWND hwnd = window != nullptr ? window->Handle() : nullptr;
  const HMONITOR monitor = hwnd != nullptr && IsWindowVisible(hwnd)
                               ? MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST)
                               : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return {};
  const RECT& r = info.rcWork;
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::optional<std::string> CreateForm(Form& form) {
  auto& p = P();
  p.window = std::make_unique<win32::FormWindow>(form);
  std::optional<std::string> problem;
  try {
    problem = p.window->Create();
  } catch (...) {
    p.window.reset();
    throw;
  }
  // Whatever was made goes again; the form is left without a peer.
  if (problem) p.window.reset();
  return problem;
}

void AlertStartFailure(std::string_view reason) {
  // A box only where the desktop can show one: with no display (Wine
  // without an X server) any window, the box's included, is refused, and a
  // box that cannot appear must not keep the program waiting.
  const ::HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return;
  DestroyWindow(probe);
  const std::wstring text = win32::Widen(reason);
  const std::wstring title = win32::Widen(P().title);
  MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void ShowForm(Form& form) {
  auto* window = WindowOf(form);
  if (window == nullptr) return;
  window->Show();
  if (HANDLE shownIn = GetPropW(window->Handle(), kWineXWindow); shownIn != nullptr) {
    SetPropW(window->Handle(), kShownInXWindow, shownIn);
  }
}

void DestroyForm(Form& form) {
  // The object outlives its window: a handler still on the stack (the help
  // box's, say) returns through it after the unload.
  if (auto* window = WindowOf(form)) window->Destroy();
}

HWND FormHandle(const Form& form) {
  auto* window = WindowOf(form);
  return window != nullptr ? win32::ToLong(window->Handle()) : 0;
}

void MoveForm(Form& form) {
  if (auto* window = WindowOf(form)) window->MoveToLeftTop();
}

void FormLeftChanged(Form& form) {
  if (auto* window = WindowOf(form)) window->MoveToLeft();
}

void TextChanged(TextBox& box) {
  auto* window = win32::FormWindow::Of(box);
  if (window == nullptr) return;
  if (::HWND edit = window->ControlWindow(box)) SetWindowTextA(edit, box.Text.Get().c_str());
}

void ForeColorChanged(TextBox& box) {
  auto* window = win32::FormWindow::Of(box);
  if (window == nullptr) return;
  // The colour is handed out on WM_CTLCOLORSTATIC; a repaint asks for it.
  if (::HWND edit = window->ControlWindow(box)) InvalidateRect(edit, nullptr, TRUE);
}

void ButtonEnabledChanged(CommandButton& button) {
  auto* window = win32::FormWindow::Of(button);
  if (window == nullptr) return;
  if (::HWND hwnd = window->ControlWindow(button)) {
    // A disabled control loses the focus to nothing, and keys then reach no
    // window of ours at all, not Tab, not even Esc. The control that can hold
    // it takes it (the answer box), so a reader says where the user is, and
    // keeps it when the button comes back; with none, the form takes it.
    if (!button.Enabled && GetFocus() == hwnd) {
      Control* heir = FocusHeir(button);
      ::HWND to = heir != nullptr ? window->ControlWindow(*heir) : nullptr;
      SetFocus(to != nullptr ? to : window->Handle());
    }
    EnableWindow(hwnd, button.Enabled ? TRUE : FALSE);
  }
}

void TimerEnabledChanged(Timer& timer, bool wasEnabled) {
  // Re-enabling an enabled timer keeps its phase.
  if (timer.Enabled == wasEnabled) return;
  auto* window = win32::FormWindow::Of(timer);
  if (window == nullptr) return;
  if (timer.Enabled) {
    window->ArmTimer(timer);
  } else {
    window->DisarmTimer(timer);
  }
}

int ShowMessageBox(Form* owner, std::string_view prompt, int buttons, std::string_view title) {
  ::HWND ownerWindow = nullptr;
  if (owner != nullptr) {
    if (auto* window = WindowOf(*owner)) ownerWindow = window->Handle();
  }
  // The runtime's button values are the system's MB_ flags, and its results the IDs.
  const std::string text(prompt), caption(title);
  return MessageBoxA(ownerWindow, text.c_str(), caption.c_str(), static_cast<UINT>(buttons));
}

void RunLoop() {
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    auto* window = P().window.get();
    if (window != nullptr && window->TranslateDialogKeys(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void QuitLoop() { PostQuitMessage(0); }

void Randomize() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  P().generator.Seed(static_cast<std::uint64_t>(counter.QuadPart) ^ GetTickCount());
}

Single Rnd() { return P().generator.Next(); }

}  // namespace platform::backend
