// The boundary's system calls are the system's own functions; only the
// handle types differ.
#include "platform/winapi.h"

#include "platform/win32/win32_handles.h"

namespace platform {

using win32::FromLong;
using win32::ToLong;

HRGN CreateRectRgn(Long left, Long top, Long right, Long bottom) {
  return ToLong(::CreateRectRgn(left, top, right, bottom));
}

HRGN CreateEllipticRgn(Long left, Long top, Long right, Long bottom) {
  return ToLong(::CreateEllipticRgn(left, top, right, bottom));
}

Long CombineRgn(HRGN destination, HRGN source1, HRGN source2, Long mode) {
  return ::CombineRgn(FromLong<::HRGN>(destination), FromLong<::HRGN>(source1),
                      FromLong<::HRGN>(source2), mode);
}

Long DeleteObject(HRGN object) { return ::DeleteObject(FromLong<::HRGN>(object)); }

Long SetWindowRgn(HWND window, HRGN region, Long redraw) {
  return ::SetWindowRgn(FromLong<::HWND>(window), FromLong<::HRGN>(region), redraw);
}

Long ReleaseCapture() { return ::ReleaseCapture(); }

Long SendMessageA(HWND window, Long message, Long wParam, Long lParam) {
  // wParam is unsigned on the system's side, lParam signed.
  return static_cast<Long>(::SendMessageA(FromLong<::HWND>(window), static_cast<UINT>(message),
                                          static_cast<WPARAM>(static_cast<std::uint32_t>(wParam)),
                                          static_cast<LPARAM>(lParam)));
}

Long GetMessagePos() { return static_cast<Long>(::GetMessagePos()); }

}  // namespace platform
