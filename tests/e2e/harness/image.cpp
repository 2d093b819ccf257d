// Screenshots as files a human can open.
#include <png.h>

#include <cstdio>
#include <memory>

#include "harness.h"

namespace e2e {

int Image::Count(const Rect& area, const std::function<bool(Rgb)>& test) const {
  int count = 0;
  for (int y = std::max(area.y, 0); y < std::min(area.y + area.height, height_); ++y) {
    for (int x = std::max(area.x, 0); x < std::min(area.x + area.width, width_); ++x) {
      if (test(At(x, y))) ++count;
    }
  }
  return count;
}

bool Image::SavePpm(const std::string& path) const {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) return false;
  std::fprintf(file.get(), "P6\n%d %d\n255\n", width_, height_);
  for (const Rgb& p : pixels_) {
    const unsigned char bytes[3] = {p.r, p.g, p.b};
    if (std::fwrite(bytes, 1, 3, file.get()) != 3) return false;
  }
  return true;
}

bool Image::SavePng(const std::string& path) const {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(width_);
  png.height = static_cast<png_uint_32>(height_);
  png.format = PNG_FORMAT_RGB;
  static_assert(sizeof(Rgb) == 3, "pixels are packed RGB triples");
  const bool ok = png_image_write_to_file(&png, path.c_str(), 0, pixels_.data(), 0, nullptr) != 0;
  png_image_free(&png);
  return ok;
}

std::vector<std::uint32_t> ReadPngArgb(const std::string& path, int* width, int* height) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) return {};
  // BGRA bytes are one little-endian 0xAARRGGBB word each.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
  png.format = PNG_FORMAT_BGRA;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(png.width) * png.height);
  if (png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr) == 0) {
    png_image_free(&png);
    return {};
  }
  *width = static_cast<int>(png.width);
  *height = static_cast<int>(png.height);
  return pixels;
}

}  // namespace e2e
