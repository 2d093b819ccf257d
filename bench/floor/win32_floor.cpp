// The smallest Win32 window that looks like ours from outside: a 350 x 319
// popup cut to the same ellipse with SetWindowRgn, holding a button and an
// edit box. It is the yardstick for start-up time and memory under Wine.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == 2) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = "KelvraFloor";
  if (!RegisterClassA(&wc)) return 1;

  const int width = 350, height = 319;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND window = CreateWindowExA(0, wc.lpszClassName, "Kelvra-floor", WS_POPUP, left, top,
                                width, height, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_CENTER, 104, 88, 169,
                  73, window, reinterpret_cast<HMENU>(1), instance, nullptr);
  CreateWindowExA(0, "BUTTON", "X", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 192, 288, 17, 25,
                  window, reinterpret_cast<HMENU>(2), instance, nullptr);
  // The system owns the region once it is set; it goes with the window.
  SetWindowRgn(window, CreateEllipticRgn(25, 15, 350, 319), FALSE);
  ShowWindow(window, show);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
