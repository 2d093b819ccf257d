// A picture decoded once from JPEG (or any format OLE reads) and drawn at its
// natural size.
#pragma once

#include <cstdint>
#include <span>

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
  // Natural size in pixels of the screen the picture is shown on.
  SIZE Size() const { return size_; }
  // Draws the picture with its top-left corner at the origin of `dc`.
  void Draw(HDC dc, const RECT& clip) const;
  void Reset();

 private:
  IPicture* picture_ = nullptr;
  long himetricWidth_ = 0;
  long himetricHeight_ = 0;
  SIZE size_{0, 0};
};

}  // namespace platform::win32
