// The ball picture straight from its JPEG bytes into the pixel format cairo
// paints from, with no image loader in between.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <span>

namespace platform::gtk {

// A new opaque image surface (CAIRO_FORMAT_RGB24) holding the decoded
// picture, or null when the bytes are not a JPEG libjpeg can decode. The
// pixels are those GDK's incremental JPEG loader gives for the same bytes.
cairo_surface_t* DecodeJpeg(std::span<const std::uint8_t> bytes);

}  // namespace platform::gtk
