// The few window-system calls the program makes by their system names. On
// Windows they are the system's own functions; elsewhere the backend
// provides them with the same arguments and effects.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

constexpr Long RGN_COPY = 5;
constexpr Long WM_NCLBUTTONDOWN = 0xA1;
constexpr Long HTCAPTION = 2;

HRGN CreateRectRgn(Long left, Long top, Long right, Long bottom);
// The ellipse filling the box; right and bottom edges are exclusive.
HRGN CreateEllipticRgn(Long left, Long top, Long right, Long bottom);
Long CombineRgn(HRGN destination, HRGN source1, HRGN source2, Long mode);
Long DeleteObject(HRGN object);
// From a successful call on, the window owns the region.
Long SetWindowRgn(HWND window, HRGN region, Long redraw);

Long ReleaseCapture();
Long SendMessageA(HWND window, Long message, Long wParam, Long lParam);
// Screen position of the event being handled: x in the low 16 bits, y in
// the high 16 bits, both signed.
Long GetMessagePos();

// The packing GetMessagePos and the caption message use.
constexpr Long PackPoint(int x, int y) {
  return static_cast<Long>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                           static_cast<std::uint32_t>(x & 0xFFFF));
}
constexpr int PointX(Long packed) { return static_cast<std::int16_t>(packed & 0xFFFF); }
constexpr int PointY(Long packed) {
  return static_cast<std::int16_t>((static_cast<std::uint32_t>(packed) >> 16) & 0xFFFF);
}

}  // namespace platform
