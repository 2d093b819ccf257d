#include "platform/gtk/cairo_region.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>

namespace {

using platform::Region;

struct Destroy {
  void operator()(cairo_region_t* region) const { cairo_region_destroy(region); }
};
using Owned = std::unique_ptr<cairo_region_t, Destroy>;

// Every pixel of the box and a one-pixel frame around it.
void ExpectSamePixels(const Region& region, const cairo_region_t* cairo, int left, int top,
                      int right, int bottom) {
  int mismatches = 0;
  for (int y = top - 1; y <= bottom; ++y) {
    for (int x = left - 1; x <= right; ++x) {
      if (region.Contains(x, y) != static_cast<bool>(cairo_region_contains_point(cairo, x, y))) {
        if (++mismatches <= 5) ADD_FAILURE() << "pixel " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(CairoRegion, CoversExactlyTheRegionsPixels) {
  // The window's ellipse at 96 dpi, a thin one and a single pixel.
  for (const auto& [l, t, r, b] :
       {std::array{25, 15, 350, 319}, std::array{0, 0, 3, 40}, std::array{7, 9, 8, 10}}) {
    const Region ellipse = Region::Ellipse(l, t, r, b);
    const Owned cairo(platform::gtk::NewCairoRegion(ellipse));
    ExpectSamePixels(ellipse, cairo.get(), l, t, r, b);
  }
  const Region rectangle = Region::Rectangle(2, 3, 40, 30);
  const Owned cairo(platform::gtk::NewCairoRegion(rectangle));
  EXPECT_EQ(cairo_region_num_rectangles(cairo.get()), 1);  // equal rows merge into one
  ExpectSamePixels(rectangle, cairo.get(), 2, 3, 40, 30);
}

TEST(CairoRegion, EmptyRegionGivesEmptyCairoRegion) {
  const Owned cairo(platform::gtk::NewCairoRegion(Region::Ellipse(5, 5, 5, 50)));
  EXPECT_TRUE(cairo_region_is_empty(cairo.get()));
}

// At a font resolution of 30000 dpi the window is about 100,000 pixels
// tall. Adding rows one at a time takes some 30 s for that (each union
// copies the region built so far); one call takes milliseconds.
TEST(CairoRegion, TallRegionBuildsInLinearTime) {
  const Region tall = Region::Ellipse(0, 0, 109375, 99687);
  const auto start = std::chrono::steady_clock::now();
  const Owned cairo(platform::gtk::NewCairoRegion(tall));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 3.0);
  cairo_rectangle_int_t extents;
  cairo_region_get_extents(cairo.get(), &extents);
  EXPECT_EQ(extents.y, tall.Rows().front().y);
  EXPECT_EQ(extents.y + extents.height, tall.Rows().back().y + 1);
  EXPECT_TRUE(cairo_region_contains_point(cairo.get(), 54687, 49843));
  EXPECT_FALSE(cairo_region_contains_point(cairo.get(), 10, 10));
}

}  // namespace
