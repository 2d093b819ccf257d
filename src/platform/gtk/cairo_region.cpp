#include "platform/gtk/cairo_region.h"

#include <vector>

namespace platform::gtk {

cairo_region_t* NewCairoRegion(const Region& region) {
  std::vector<cairo_rectangle_int_t> rows;
  rows.reserve(region.Rows().size());
  for (const Region::Row& row : region.Rows()) {
    rows.push_back({row.left, row.y, row.right - row.left, 1});
  }
  // Rows top to bottom, one span each, are already in the banded order
  // cairo keeps, so nothing is sorted or merged pairwise.
  return cairo_region_create_rectangles(rows.data(), static_cast<int>(rows.size()));
}

}  // namespace platform::gtk
