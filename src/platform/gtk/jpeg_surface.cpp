#include "platform/gtk/jpeg_surface.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
// clang-format off
#include <jpeglib.h>
// clang-format on

namespace platform::gtk {

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf escape;
};

[[noreturn]] void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1);
}

void Silent(j_common_ptr, int) {}

}  // namespace

// Only plain C objects live in this frame, so leaving it by longjmp skips
// no destructor.
cairo_surface_t* DecodeJpeg(std::span<const std::uint8_t> bytes) {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.emit_message = Silent;
  cairo_surface_t* volatile surface = nullptr;
  if (setjmp(errors.escape) != 0) {
    jpeg_destroy_decompress(&info);
    if (surface != nullptr) cairo_surface_destroy(surface);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  // Cairo's RGB24 is one native-endian 32-bit word per pixel, 0x00RRGGBB.
  info.out_color_space = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? JCS_EXT_BGRX : JCS_EXT_XRGB;
  // Plain upsampling and no block smoothing: the picture's hard white
  // edges on black stay hard, pixel for pixel the same as GDK's own loader.
  info.do_fancy_upsampling = FALSE;
  info.do_block_smoothing = FALSE;
  jpeg_start_decompress(&info);
  surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(info.output_width),
                                       static_cast<int>(info.output_height));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) OnError(j_common_ptr(&info));
  unsigned char* const pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels + static_cast<std::ptrdiff_t>(info.output_scanline) * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace platform::gtk
