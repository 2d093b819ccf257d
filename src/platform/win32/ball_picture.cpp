#include "platform/win32/ball_picture.h"

#include <ole2.h>
#include <olectl.h>

#include <cstring>

namespace platform::win32 {

namespace {
constexpr long kHimetricPerInch = 2540;
}

DecodedPicture::~DecodedPicture() { Reset(); }

void DecodedPicture::Reset() {
  if (picture_ != nullptr) picture_->Release();
  picture_ = nullptr;
  size_ = {0, 0};
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
}

void DecodedPicture::Draw(HDC dc, const RECT& clip) const {
  if (picture_ == nullptr) return;
  // Himetric runs upwards, so the source starts at the bottom edge.
  picture_->Render(dc, 0, 0, size_.cx, size_.cy, 0, himetricHeight_, himetricWidth_,
                   -himetricHeight_, &clip);
}

}  // namespace platform::win32
