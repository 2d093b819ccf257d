// A picture decoded once from JPEG (or any format OLE reads) and drawn at the
// form's scale: its natural size at 15 twips per pixel, scaled by 15 over
// the screen's twips per pixel on each axis.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/win32/win32_handles.h"

struct IPicture;

namespace platform::win32 {

class DecodedPicture {
 public:
  DecodedPicture() = default;
  DecodedPicture(const DecodedPicture&) = delete;
  DecodedPicture& operator=(const DecodedPicture&) = delete;
  ~DecodedPicture();

  // Leaves the picture empty when the bytes cannot be decoded.
  void Decode(std::span<const std::uint8_t> bytes);
  bool Empty() const { return picture_ == nullptr; }
  // The size the picture is shown at, in pixels.
  SIZE Size() const { return shown_; }
  // Shows it at the form's scale from now on. Any other size than the
  // natural one is scaled once, here, with smooth (bilinear) filtering.
  void ShowAtFormScale();
  // Draws the picture with its top-left corner at the origin of `dc`.
  void Draw(HDC dc, const RECT& clip) const;
  void Reset();

 private:
  // The picture at its natural size in a 32-bit bitmap, for scaling.
  std::vector<std::uint32_t> NaturalPixels() const;

  IPicture* picture_ = nullptr;
  long himetricWidth_ = 0;
  long himetricHeight_ = 0;
  SIZE size_{0, 0};           // natural size
  SIZE shown_{0, 0};          // as shown
  HBITMAP scaled_ = nullptr;  // the picture at `shown_`, when that is not its natural size
};

}  // namespace platform::win32
