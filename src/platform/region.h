// Window regions for platforms that have none of their own: a handle table of
// shapes held as one horizontal span per pixel row, with the same edges as on
// Windows (right and bottom exclusive).
#pragma once

#include <map>
#include <vector>

#include "platform/types.h"

namespace platform {

class Region {
 public:
  struct Row {
    Long y;
    Long left;   // first pixel inside
    Long right;  // first pixel past the row
  };

  static Region Rectangle(Long left, Long top, Long right, Long bottom);
  // A pixel belongs to the ellipse when its centre lies strictly inside the
  // ellipse that fills the box.
  static Region Ellipse(Long left, Long top, Long right, Long bottom);

  // The region with its pixels `sx` wide and `sy` high: each row of the
  // result takes the row its pixel centres fall in, its ends scaled and
  // rounded. For a shape made for one resolution, shown at another.
  Region Scaled(double sx, double sy) const;

  bool Contains(Long x, Long y) const;
  bool Empty() const { return rows_.empty(); }
  const std::vector<Row>& Rows() const { return rows_; }

 private:
  std::vector<Row> rows_;  // top to bottom, only rows with pixels
};

// Region handles as the system calls hand them out. Handle 0 is never used.
class RegionTable {
 public:
  HRGN Add(Region region);
  const Region* Find(HRGN handle) const;
  Region* Find(HRGN handle);
  bool Remove(HRGN handle);
  std::size_t Count() const { return regions_.size(); }

 private:
  std::map<HRGN, Region> regions_;
  HRGN next_ = 1;
};

// CombineRgn's results.
constexpr Long kRegionError = 0;
constexpr Long kNullRegion = 1;
constexpr Long kSimpleRegion = 2;
constexpr Long kComplexRegion = 3;

// CombineRgn on a table; only the copy mode is needed by the program.
Long CombineRegions(RegionTable& table, HRGN destination, HRGN source1, HRGN source2, Long mode);

}  // namespace platform
