// A Windows accessibility client in miniature, run under Wine beside the
// program: reads what Microsoft Active Accessibility says about the window
// "Kelvra" and its controls, and reports the live-region events it raises.
//
//   a11y_client.exe tree             one line per window, then "done"
//   a11y_client.exe watch SECONDS    "ready", then one line per event
//   a11y_client.exe annotation       whether this system keeps Direct Annotation
//   a11y_client.exe dialog TITLE     the top-level window TITLE as a reader names it
//
// Lines are tab-separated and flushed at once:
//   window CLASS TEXT ROLE NAME DESCRIPTION
//   event  EVENT TEXT-OF-THE-WINDOW
//   annotation HRESULT NAME-READ-BACK
//   dialog OBJECT ROLE NAME          (OBJECT: window or client)
//   error  TEXT
#include <windows.h>
// clang-format off
#include <initguid.h>
#include <oleacc.h>
// clang-format on

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
  return out;
}

std::string WindowText(HWND hwnd) {
  wchar_t buffer[512] = {};
  GetWindowTextW(hwnd, buffer, 511);
  return Narrow(buffer);
}

std::string ClassOf(HWND hwnd) {
  wchar_t buffer[128] = {};
  GetClassNameW(hwnd, buffer, 127);
  return Narrow(buffer);
}

VARIANT Self() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = CHILDID_SELF;
  return v;
}

std::string Take(BSTR text) {
  std::string out = Narrow(text);
  SysFreeString(text);
  return out;
}

void Describe(HWND hwnd) {
  IAccessible* object = nullptr;
  const HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                                IID_IAccessible, reinterpret_cast<void**>(&object));
  if (FAILED(hr) || object == nullptr) {
    std::printf("error\tno accessible object for %s (0x%08lx)\n", ClassOf(hwnd).c_str(),
                static_cast<unsigned long>(hr));
    return;
  }
  BSTR name = nullptr, description = nullptr;
  VARIANT role;
  VariantInit(&role);
  object->get_accName(Self(), &name);
  object->get_accDescription(Self(), &description);
  object->get_accRole(Self(), &role);
  std::printf("window\t%s\t%s\t%ld\t%s\t%s\n", ClassOf(hwnd).c_str(), WindowText(hwnd).c_str(),
              role.vt == VT_I4 ? role.lVal : -1L, Take(name).c_str(), Take(description).c_str());
  object->Release();
}

BOOL CALLBACK EachChild(HWND hwnd, LPARAM) {
  Describe(hwnd);
  return TRUE;
}

HWND FindBall() {
  for (int i = 0; i < 200; ++i) {
    if (HWND found = FindWindowW(nullptr, L"Kelvra")) return found;
    Sleep(50);
  }
  return nullptr;
}

DWORD watched = 0;  // the program's process

// Another process's control answers WM_GETTEXT; GetWindowText would only
// give the text it was created with.
std::string TextOf(HWND hwnd) {
  wchar_t buffer[512] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 511, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      2000, &copied);
  return Narrow(buffer);
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG, LONG, DWORD, DWORD) {
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process != watched) return;
  std::printf("event\t0x%04lx\t%s\n", static_cast<unsigned long>(event), TextOf(hwnd).c_str());
  std::fflush(stdout);
}

// Annotates a window of our own and reads the name back through the
// system's proxy, as a screen reader would.
void ProbeAnnotation() {
  HWND probe = CreateWindowW(L"STATIC", L"unannotated", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             nullptr, nullptr);
  IAccPropServices* services = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services));
  if (SUCCEEDED(hr)) {
    hr = services->SetHwndPropStr(probe, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                  PROPID_ACC_NAME, L"annotated");
  }
  std::string read;
  IAccessible* object = nullptr;
  if (SUCCEEDED(AccessibleObjectFromWindow(probe, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                           reinterpret_cast<void**>(&object)))) {
    BSTR name = nullptr;
    object->get_accName(Self(), &name);
    read = Take(name);
    object->Release();
  }
  std::printf("annotation\t0x%08lx\t%s\n", static_cast<unsigned long>(hr), read.c_str());
  if (services != nullptr) services->Release();
  DestroyWindow(probe);
}

// What a reader says of a top-level window when it comes up: the name and
// role of its window object and of its client area.
int DescribeDialog(const std::wstring& title) {
  HWND dialog = nullptr;
  for (int i = 0; i < 200 && dialog == nullptr; ++i) {
    dialog = FindWindowW(nullptr, title.c_str());
    if (dialog == nullptr) Sleep(50);
  }
  if (dialog == nullptr) {
    std::printf("error\tno window with that title\n");
    return 1;
  }
  for (const auto& [id, label] : {std::pair{OBJID_WINDOW, "window"}, {OBJID_CLIENT, "client"}}) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(dialog, static_cast<DWORD>(id), IID_IAccessible,
                                          reinterpret_cast<void**>(&object)))) {
      std::printf("error\tno accessible %s object\n", label);
      continue;
    }
    BSTR name = nullptr;
    VARIANT role;
    VariantInit(&role);
    object->get_accName(Self(), &name);
    object->get_accRole(Self(), &role);
    std::printf("dialog\t%s\t%ld\t%s\n", label, role.vt == VT_I4 ? role.lVal : -1L,
                Take(name).c_str());
    object->Release();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string mode = argc > 1 ? argv[1] : "tree";
  if (mode == "annotation") {
    ProbeAnnotation();
    return 0;
  }
  if (mode == "dialog" && argc > 2) {
    const std::string title = argv[2];
    return DescribeDialog(std::wstring(title.begin(), title.end()));
  }
  HWND ball = FindBall();
  if (ball == nullptr) {
    std::printf("error\tno window titled Kelvra\n");
    return 1;
  }
  if (mode == "tree") {
    Describe(ball);
    EnumChildWindows(ball, EachChild, 0);
    std::printf("done\n");
    return 0;
  }
  GetWindowThreadProcessId(ball, &watched);
  // Every process: Wine 8 delivers nothing to a hook narrowed to one
  // process; the callback picks the program's own events.
  HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                      OnEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
  if (hook == nullptr) {
    std::printf("error\tSetWinEventHook failed (%lu)\n", GetLastError());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  const DWORD end = GetTickCount() + 1000u * static_cast<DWORD>(argc > 2 ? std::atoi(argv[2]) : 30);
  while (GetTickCount() < end && IsWindow(ball)) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  UnhookWinEvent(hook);
  std::printf("done\n");
  return 0;
}
