#include "platform/region.h"

#include <algorithm>
#include <cmath>

#include "platform/winapi.h"

namespace platform {

Region Region::Rectangle(Long left, Long top, Long right, Long bottom) {
  Region region;
  if (left >= right || top >= bottom) return region;
  for (Long y = top; y < bottom; ++y) region.rows_.push_back({y, left, right});
  return region;
}

Region Region::Ellipse(Long left, Long top, Long right, Long bottom) {
  Region region;
  if (left >= right || top >= bottom) return region;
  const double cx = (static_cast<double>(left) + right) / 2;
  const double cy = (static_cast<double>(top) + bottom) / 2;
  const double rx = (static_cast<double>(right) - left) / 2;
  const double ry = (static_cast<double>(bottom) - top) / 2;
  for (Long y = top; y < bottom; ++y) {
    const double dy = (y + 0.5 - cy) / ry;
    if (dy * dy >= 1) continue;
    const double half = rx * std::sqrt(1 - dy * dy);
    // Pixel x is inside when |x + 0.5 - cx| < half.
    const auto first = static_cast<Long>(std::floor(cx - half - 0.5)) + 1;
    const auto past = static_cast<Long>(std::ceil(cx + half - 0.5));
    const Long l = std::max(first, left);
    const Long r = std::min(past, right);
    if (l < r) region.rows_.push_back({y, l, r});
  }
  return region;
}

Region Region::Scaled(double sx, double sy) const {
  Region region;
  if (rows_.empty() || !(sx > 0) || !(sy > 0)) return region;
  const auto scaled = [](Long v, double by) { return static_cast<Long>(std::nearbyint(v * by)); };
  const Long first = scaled(rows_.front().y, sy);
  const Long past = scaled(rows_.back().y + 1, sy);
  for (Long y = first; y < past; ++y) {
    const auto from = static_cast<Long>(std::floor((y + 0.5) / sy));
    const auto row = std::lower_bound(rows_.begin(), rows_.end(), from,
                                      [](const Row& r, Long value) { return r.y < value; });
    if (row == rows_.end() || row->y != from) continue;
    const Long left = scaled(row->left, sx), right = scaled(row->right, sx);
    if (left < right) region.rows_.push_back({y, left, right});
  }
  return region;
}

bool Region::Contains(Long x, Long y) const {
  const auto row = std::lower_bound(rows_.begin(), rows_.end(), y,
                                    [](const Row& r, Long value) { return r.y < value; });
  return row != rows_.end() && row->y == y && x >= row->left && x < row->right;
}

HRGN RegionTable::Add(Region region) {
  const HRGN handle = next_++;
  regions_.emplace(handle, std::move(region));
  return handle;
}

const Region* RegionTable::Find(HRGN handle) const {
  const auto it = regions_.find(handle);
  return it == regions_.end() ? nullptr : &it->second;
}

Region* RegionTable::Find(HRGN handle) {
  const auto it = regions_.find(handle);
  return it == regions_.end() ? nullptr : &it->second;
}

bool RegionTable::Remove(HRGN handle) { return regions_.erase(handle) == 1; }

Long CombineRegions(RegionTable& table, HRGN destination, HRGN source1, HRGN /*source2*/,
                    Long mode) {
  Region* target = table.Find(destination);
  const Region* from = table.Find(source1);
  if (mode != RGN_COPY || target == nullptr || from == nullptr) return kRegionError;
  *target = *from;
  if (target->Empty()) return kNullRegion;
  // One span a row: a rectangle when every row has the same span.
  const auto& rows = target->Rows();
  const bool rectangular = std::all_of(rows.begin(), rows.end(), [&](const Region::Row& r) {
    return r.left == rows.front().left && r.right == rows.front().right;
  });
  return rectangular ? kSimpleRegion : kComplexRegion;
}

}  // namespace platform
