// The side point that the offset line style hands the curve offset for a polyline: one unit off the middle of
// the first segment, on its right for a positive offset and on its left otherwise. A first segment without
// length in the plane counts as one along +x. The middle lies in the plane z = 0.
#pragma once

#include "geometry/geometry.h"

inline GPosition OffsetSidePoint(const GPosition& first, const GPosition& second, double offset) {
  GVector d(second.x - first.x, second.y - first.y, 0.0);
  if (d.IsNull()) d = GVector(1.0, 0.0, 0.0);
  const GVector right = GUnitVector(d.y, -d.x, 0.0);
  const GPosition middle((first.x + second.x) / 2, (first.y + second.y) / 2, 0.0);
  return offset > 0 ? middle + right : middle - right;
}
