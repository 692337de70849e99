// The polygon intersector's span memo, for callers that pair many spans in one call, and its test of two meetings
// found apart. Not for callers outside bspline/.
#pragma once

#include "bspline/bspline.h"

namespace bsxbz {

// Whether the meetings x (point, parameter x1 on cv1, x2 on cv2) and y of two spans are one touch, as the
// intersector merges two touching candidates: within near_sq of each other, each span's point at the middle of the
// two parameters within near_sq of the middle of the two points, and there within dist_tol of the other span.
bool one_touch(const VOQbsp_curve *cv1, const VOQbsp_curve *cv2, const double x_point[3], double x1, double x2,
               const double y_point[3], double y1, double y2, double near_sq, int *rc);

// While one lives on a thread, the polygon intersector keeps what it derives from each span alone (its node
// polygon, knot tolerance and longest leg) for the spans that follow, as long as the span, the tolerance table
// and the knot tolerance mode are the same. What one call kept is not used by the next: the memo serves the span
// pairs of one intersection. Scopes nest; an inner one starts afresh and the outer one resumes after it.
class SpanMemoScope {
 public:
  // shared: the scopes opened inside this one (each intersection of a span with the rest of its curve in a
  // self-intersection) keep its entries rather than starting afresh, so that a span derived for one pair is
  // found again when it meets the spans after it.
  explicit SpanMemoScope(bool shared = false);
  ~SpanMemoScope();
  SpanMemoScope(const SpanMemoScope &) = delete;
  SpanMemoScope &operator=(const SpanMemoScope &) = delete;

 private:
  unsigned outer_;
  bool outer_shared_;
};

}  // namespace bsxbz
