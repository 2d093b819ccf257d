#include "platform/gtk/jpeg_surface.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "resources/resources.h"

namespace {

struct Destroy {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, Destroy>;

// The picture as GDK's image loader decodes it, which is how the program
// decoded it before and what it must keep showing.
GdkPixbuf* LoaderPixbuf(std::span<const std::uint8_t> bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("jpeg", nullptr);
  EXPECT_TRUE(gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), nullptr));
  EXPECT_TRUE(gdk_pixbuf_loader_close(loader, nullptr));
  GdkPixbuf* pixbuf = GDK_PIXBUF(g_object_ref(gdk_pixbuf_loader_get_pixbuf(loader)));
  g_object_unref(loader);
  return pixbuf;
}

TEST(JpegSurface, BallPictureHasTheLoadersPixelsInCairosFormat) {
  const auto bytes = resources::BallPicture();
  const Surface surface(platform::gtk::DecodeJpeg(bytes));
  ASSERT_NE(surface, nullptr);
  GdkPixbuf* pixbuf = LoaderPixbuf(bytes);
  const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
  ASSERT_EQ(cairo_image_surface_get_format(surface.get()), CAIRO_FORMAT_RGB24);
  ASSERT_EQ(cairo_image_surface_get_width(surface.get()), width);
  ASSERT_EQ(cairo_image_surface_get_height(surface.get()), height);

  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int rowstride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* expected = gdk_pixbuf_read_pixels(pixbuf);
  const unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  int mismatches = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const guchar* e = expected + y * rowstride + x * channels;
      std::uint32_t word;
      std::memcpy(&word, data + y * stride + x * 4, sizeof word);
      const std::uint32_t want = (std::uint32_t{e[0]} << 16) | (e[1] << 8) | e[2];
      if ((word & 0xFFFFFF) != want && ++mismatches <= 5) {
        ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << (word & 0xFFFFFF)
                      << " instead of " << want;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  g_object_unref(pixbuf);
}

TEST(JpegSurface, BytesThatAreNoJpegGiveNoSurface) {
  const std::vector<std::uint8_t> garbage(600, 0x5A);
  EXPECT_EQ(platform::gtk::DecodeJpeg(garbage), nullptr);
  EXPECT_EQ(platform::gtk::DecodeJpeg({}), nullptr);
  // A picture cut off inside its header.
  const auto bytes = resources::BallPicture();
  EXPECT_EQ(platform::gtk::DecodeJpeg(bytes.first(40)), nullptr);
}

}  // namespace
