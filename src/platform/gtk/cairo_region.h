// The program's regions as cairo regions, for GTK and the X shape.
#pragma once

#include <cairo.h>

#include "platform/region.h"

namespace platform::gtk {

// A new cairo region covering the same pixels, made in one call from the
// region's rows (the caller destroys it): time linear in the number of rows,
// where adding the rows one by one would be quadratic.
cairo_region_t* NewCairoRegion(const Region& region);

}  // namespace platform::gtk
