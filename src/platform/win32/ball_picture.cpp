#include "platform/win32/ball_picture.h"

#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/runtime.h"

namespace platform::win32 {

namespace {

constexpr long kHimetricPerInch = 2540;

// A top-down 32-bit DIB section of the given size, its pixels in `bits`.
HBITMAP NewBitmap(int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Bilinear resampling of 0x00RRGGBB pixels, each target pixel's centre
// mapped onto the source and the four nearest source pixels weighed.
void ScaleBilinear(const std::vector<std::uint32_t>& from, SIZE fromSize, std::uint32_t* to,
                   SIZE toSize) {
  const auto axis = [](int i, int fromLength, int toLength, int& first, int& second) {
    const double at = std::clamp((i + 0.5) * fromLength / toLength - 0.5, 0.0, fromLength - 1.0);
    first = static_cast<int>(at);
    second = std::min(first + 1, fromLength - 1);
    return at - first;
  };
  for (int y = 0; y < toSize.cy; ++y) {
    int y0 = 0, y1 = 0;
    const double wy = axis(y, fromSize.cy, toSize.cy, y0, y1);
    for (int x = 0; x < toSize.cx; ++x) {
      int x0 = 0, x1 = 0;
      const double wx = axis(x, fromSize.cx, toSize.cx, x0, x1);
      const auto at = [&](int px, int py) { return from[py * fromSize.cx + px]; };
      std::uint32_t pixel = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const auto c = [&](std::uint32_t p) { return static_cast<double>((p >> shift) & 0xFF); };
        const double top = c(at(x0, y0)) * (1 - wx) + c(at(x1, y0)) * wx;
        const double bottom = c(at(x0, y1)) * (1 - wx) + c(at(x1, y1)) * wx;
        pixel |= static_cast<std::uint32_t>(std::lround(top * (1 - wy) + bottom * wy)) << shift;
      }
      to[y * toSize.cx + x] = pixel;
    }
  }
}

}  // namespace

DecodedPicture::~DecodedPicture() { Reset(); }

void DecodedPicture::Reset() {
  if (picture_ != nullptr) picture_->Release();
  picture_ = nullptr;
  if (scaled_ != nullptr) DeleteObject(scaled_);
  scaled_ = nullptr;
  size_ = shown_ = {0, 0};
}

std::vector<std::uint32_t> DecodedPicture::NaturalPixels() const {
  std::vector<std::uint32_t> pixels;
  void* bits = nullptr;
  HBITMAP bitmap = NewBitmap(size_.cx, size_.cy, &bits);
  if (bitmap == nullptr) return pixels;
  HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  picture_->Render(dc, 0, 0, size_.cx, size_.cy, 0, himetricHeight_, himetricWidth_,
                   -himetricHeight_, nullptr);
  GdiFlush();
  const auto* first = static_cast<const std::uint32_t*>(bits);
  pixels.assign(first, first + static_cast<std::size_t>(size_.cx) * size_.cy);
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(bitmap);
  return pixels;
}

void DecodedPicture::ShowAtFormScale() {
  if (picture_ == nullptr) return;
  const SIZE shown{ScaleNaturalX(size_.cx), ScaleNaturalY(size_.cy)};
  if (shown.cx == shown_.cx && shown.cy == shown_.cy) return;
  if (scaled_ != nullptr) DeleteObject(scaled_);
  scaled_ = nullptr;
  shown_ = shown;
  if ((shown.cx == size_.cx && shown.cy == size_.cy) || shown.cx <= 0 || shown.cy <= 0) return;
  const auto natural = NaturalPixels();
  void* bits = nullptr;
  scaled_ = NewBitmap(shown.cx, shown.cy, &bits);
  if (scaled_ == nullptr || natural.empty()) return;
  ScaleBilinear(natural, size_, static_cast<std::uint32_t*>(bits), shown);
}

void DecodedPicture::Decode(std::span<const std::uint8_t> bytes) {
  Reset();
  if (bytes.empty()) return;
  // OleLoadPicture reads from a stream; the stream owns and frees the copy.
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (memory == nullptr) return;
  void* target = GlobalLock(memory);
  if (target == nullptr) {
    GlobalFree(memory);
    return;
  }
  std::memcpy(target, bytes.data(), bytes.size());
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    GlobalFree(memory);
    return;
  }
  void* loaded = nullptr;
  const HRESULT hr =
      OleLoadPicture(stream, static_cast<LONG>(bytes.size()), FALSE, IID_IPicture, &loaded);
  stream->Release();
  if (FAILED(hr) || loaded == nullptr) return;
  picture_ = static_cast<IPicture*>(loaded);
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  picture_->get_Width(&width);
  picture_->get_Height(&height);
  himetricWidth_ = width;
  himetricHeight_ = height;
  // OLE derives the himetric size from the screen's logical resolution, so
  // converting back with the same resolution gives the picture's own pixels.
  HDC screen = GetDC(nullptr);
  size_.cx = MulDiv(width, GetDeviceCaps(screen, LOGPIXELSX), kHimetricPerInch);
  size_.cy = MulDiv(height, GetDeviceCaps(screen, LOGPIXELSY), kHimetricPerInch);
  ReleaseDC(nullptr, screen);
  shown_ = size_;
}

void DecodedPicture::Draw(HDC dc, const RECT& clip) const {
  if (picture_ == nullptr) return;
  if (scaled_ != nullptr) {
    HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ previous = SelectObject(source, scaled_);
    BitBlt(dc, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, source,
           clip.left, clip.top, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    return;
  }
  // Himetric runs upwards, so the source starts at the bottom edge.
  picture_->Render(dc, 0, 0, size_.cx, size_.cy, 0, himetricHeight_, himetricWidth_,
                   -himetricHeight_, &clip);
}

}  // namespace platform::win32
