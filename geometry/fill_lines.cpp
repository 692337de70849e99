// Stepping one family of parallel pattern lines across a range (horizontal and vertical lines by their y or x,
// lines of any other direction by their intercept, each line cut to the range grown by one spacing), and the
// ranges of a boundary's first loop.
#include <algorithm>
#include <cmath>

#include "geometry/fill_internal.h"

namespace {

bool UsableStep(double step) { return step != 0 && std::isfinite(step); }

}  // namespace

void FillLineState::ClassifyAngle() {
  const double e = kFillAngleEpsilon;
  if (std::fabs(angle) < e || std::fabs(angle - kFillPi) < e) {
    mode = kHorizontal;
    slope = 0;
    stepX = -shift;
    stepY = spacing;
    return;
  }
  if (std::fabs(angle - kFillHalfPi) < e || std::fabs(angle - kFillThreeHalfPi) < e) {
    mode = kVertical;
    slope = 0;
    stepX = spacing;
    stepY = shift;
    return;
  }
  const double c = std::cos(kFillTwoPi - angle);
  const double s = std::sin(kFillTwoPi - angle);
  if (c == 0) {
    mode = kVertical;
    slope = 0;
    stepX = spacing;
    stepY = shift;
    return;
  }
  mode = kGeneral;
  slope = s / c;
  // The lines step to higher intercepts; the pattern reference point steps with them when its motion across the
  // lines follows the sign of the cosine. Within (0, 2pi) that is the angle's quadrant; taking the sign itself
  // keeps the reference point on its line for 2pi, negative angles and angles past 2pi as well.
  if (c > 0) {
    stepX = -(s * spacing) - c * shift;
    stepY = c * spacing - s * shift;
  } else {
    stepX = c * shift + s * spacing;
    stepY = s * shift - c * spacing;
  }
}

void FillLineState::FirstLine() {
  const double S = spacing;
  grownXMin = xMin - S;
  grownYMin = yMin - S;
  grownXMax = xMax + S;
  grownYMax = yMax + S;
  // Line numbers and the count stay doubles until they are known to fit.
  double k = 0;
  double count = 0;
  bool usable = false;
  switch (mode) {
    case kHorizontal:
    case kVertical: {
      const bool horizontal = mode == kHorizontal;
      const double origin = horizontal ? originY : originX;
      const double low = horizontal ? yMin : xMin;
      const double grownHigh = horizontal ? grownYMax : grownXMax;
      usable = UsableStep(S);
      k = std::trunc((low - origin) / S);
      position = k * S + origin;
      count = std::trunc(std::fabs((grownHigh - position) / S) + 1);
      previousPosition = position - S;
      break;
    }
    case kGeneral: {
      const double c0 = originY - originX * slope;
      const double corners[4] = {grownYMin - slope * grownXMin, grownYMin - slope * grownXMax,
                                 grownYMax - slope * grownXMax, grownYMax - slope * grownXMin};
      const double cMin = *std::min_element(corners, corners + 4);
      const double cMax = *std::max_element(corners, corners + 4);
      // The intercepts step by the slope's own cosine. With another one the lines lie the spacing apart only
      // to the two cosines' relative difference, which just past an axis class is the rounding of 2pi - angle
      // over a cosine near the angle epsilon, and a line far from the origin drifts off its place by that much
      // times its distance.
      const double c = std::cos(kFillTwoPi - angle);
      positionStep = std::fabs(S / c);
      // Past some 1e8 radians the remainder by 2pi names another direction than 2pi - angle does: rounding has
      // left so large an angle no direction of its own, and the family is refused.
      const double remainder = std::cos(std::fmod(angle, kFillTwoPi));
      usable = UsableStep(positionStep) && std::fabs(remainder - c) <= 1e-6 * std::fabs(remainder);
      const double d = cMin - c0;
      k = std::trunc(d / positionStep);
      const double rest = d - k * positionStep;
      if (rest > 0) k += 1;
      if (rest < 0) k -= 1;
      position = k * positionStep + c0;
      count = std::trunc(std::fabs((cMax - cMin) / positionStep) + 1);
      previousPosition = position - positionStep;
      break;
    }
    default:
      break;
  }
  referenceX = (k - 1) * stepX + originX;
  referenceY = (k - 1) * stepY + originY;
  usable = usable && std::isfinite(position) && std::isfinite(count) && count <= 4294967295.0;
  lineCount = usable ? static_cast<std::uint32_t>(count) : 0;
}

bool FillLineState::NextLine() {
  bool valid = false;
  switch (mode) {
    case kHorizontal:
      position = previousPosition + spacing;
      startX = grownXMin;
      endX = grownXMax;
      startY = endY = position;
      valid = true;
      break;
    case kVertical:
      position = previousPosition + spacing;
      startX = endX = position;
      startY = grownYMin;
      endY = grownYMax;
      valid = true;
      break;
    case kGeneral: {
      position = previousPosition + positionStep;
      // Where y = slope x + position meets the bottom, top, left and right sides of the grown range.
      const double candidates[4][2] = {{(grownYMin - position) / slope, grownYMin},
                                       {(grownYMax - position) / slope, grownYMax},
                                       {grownXMin, slope * grownXMin + position},
                                       {grownXMax, slope * grownXMax + position}};
      int taken = 0;
      for (const auto& p : candidates) {
        const double x = p[0], y = p[1];
        if (!(x >= grownXMin && x <= grownXMax && y >= grownYMin && y <= grownYMax)) continue;
        if (taken == 1 && std::fabs(x - startX) < kFillJoinTolerance && std::fabs(y - startY) < kFillJoinTolerance) {
          continue;
        }
        if (taken == 0) {
          startX = x;
          startY = y;
        } else {
          endX = x;
          endY = y;
        }
        if (++taken == 2) break;
      }
      valid = taken == 2;
      break;
    }
    default:
      break;
  }
  referenceX += stepX;
  referenceY += stepY;
  previousPosition = position;
  return valid;
}

namespace {

// The range of the points before the first that `separates`; the all-zero box when there is none.
template <class Separates>
void RangeUntil(std::uint32_t count, const GPosition* points, GBox2d* range, Separates separates) {
  if (!range) return;
  if (count == 0 || !points || separates(points[0])) {
    *range = GBox2d(0, 0, 0, 0);
    return;
  }
  *range = GBox2d(points[0].x, points[0].y, points[0].x, points[0].y);
  for (std::uint32_t i = 1; i < count && !separates(points[i]); ++i) {
    range->low.x = std::min(range->low.x, points[i].x);
    range->low.y = std::min(range->low.y, points[i].y);
    range->high.x = std::max(range->high.x, points[i].x);
    range->high.y = std::max(range->high.y, points[i].y);
  }
}

}  // namespace

void FillTrapPointRange(std::uint32_t count, const GPosition* points, GBox2d* box) {
  RangeUntil(count, points, box, [](const GPosition& p) { return p.x == kFillLoopSeparatorX; });
}

void FillPointRange(std::uint32_t count, const GPosition* points, GBox2d* range) {
  RangeUntil(count, points, range, [](const GPosition& p) { return p.x == -DBL_MAX || p.x == DBL_MAX; });
}

void FillBoundaryRange(std::uint32_t count, const GPosition* points, GBox2d* range) {
  if (!range) return;
  bool any = false;
  for (std::uint32_t i = 0; points && i < count; ++i) {
    const GPosition& p = points[i];
    if (p.x == -DBL_MAX || p.x == DBL_MAX) continue;
    if (!any) {
      *range = GBox2d(p.x, p.y, p.x, p.y);
      any = true;
      continue;
    }
    range->low.x = std::min(range->low.x, p.x);
    range->low.y = std::min(range->low.y, p.y);
    range->high.x = std::max(range->high.x, p.x);
    range->high.y = std::max(range->high.y, p.y);
  }
  if (!any) *range = GBox2d(0, 0, 0, 0);
}
