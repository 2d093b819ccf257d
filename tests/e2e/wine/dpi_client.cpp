// Tells the program's window that its monitor's resolution changed, as
// Windows does when the window moves to a monitor of another scale or the
// user changes the scale: WM_DPICHANGED with the new resolution and the
// rectangle the window should take. Wine sends no such message itself.
//
// Usage: dpi_client DPI LEFT TOP RIGHT BOTTOM
// The rectangle is placed at one address in both processes, so the message
// carries a valid pointer whether or not the system copies it across.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: dpi_client DPI LEFT TOP RIGHT BOTTOM\n");
    return 2;
  }
  const int dpi = std::atoi(argv[1]);
  const RECT rect{std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
  HWND window = FindWindowW(L"OmenglobeForm", nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "no window of class OmenglobeForm\n");
    return 1;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) {
    std::fprintf(stderr, "cannot open process %lu\n", pid);
    return 1;
  }
  void* remote =
      VirtualAllocEx(process, nullptr, sizeof rect, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  void* local = remote != nullptr
                    ? VirtualAlloc(remote, sizeof rect, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                    : nullptr;
  SIZE_T written = 0;
  if (local != remote || !WriteProcessMemory(process, remote, &rect, sizeof rect, &written)) {
    std::fprintf(stderr, "cannot place the rectangle at one address in both processes\n");
    return 1;
  }
  *static_cast<RECT*>(local) = rect;
  constexpr UINT kDpiChanged = 0x02E0;
  SendMessageW(window, kDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote));
  std::printf("sent\n");
  return 0;
}
