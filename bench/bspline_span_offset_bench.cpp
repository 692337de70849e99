// The offset of one smooth planar cubic on uneven knots at the offset tolerance: ours (offset polygon, checked and
// refined) beside SISL's offset approximation (s1360) and OpenCASCADE's approximation of its exact offset curve
// (Geom2dConvert_ApproxCurve). Each contender's curve is checked before it is timed: no sample (twenty per pole of
// the curve) may miss the offset distance by more than twice the tolerance; the pole count is kept as a counter.
#include <memory>

#include "bench/bench_checks.h"
#include "bench/offset_checks.h"
#include "bspline/offset.h"

namespace {

const double kTol = BStoltab[bstol::offset_tol];
const double kUp[3] = {0, 0, 1};

std::shared_ptr<const offsets::Cubic> CubicOf(int n) {
  return bench::Once(n, [n] { return std::make_shared<const offsets::Cubic>(n, 8585 + n, true); });
}

VOQbsp_curve *Ours(const offsets::Cubic &c) {
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSallocvoqcv(4, c.curve->n(), 0, 0, &out, &rc);
  BSspnoffset(&c.curve->cv, c.dist, kUp, 1, &out, &rc);
  if (rc != 0 && out) BSfreevoqcv(out, &rc);
  return rc == 0 ? out : nullptr;
}

const bool registered = [] {
  bench::Describe("span_offset",
                  "The offset of one smooth cubic on uneven knots, heading within 45 degrees of +x, by 0.4 of its "
                  "least radius of curvature, at the offset tolerance; size: poles. Checked by twenty samples per "
                  "pole of the curve, none farther than twice the tolerance from the distance; the counter "
                  "\"poles\" holds each result's pole count. SISL's s1360 is given a maximal step of 0.25: at its "
                  "default step its offset strays by up to 96 times the tolerance on these curves, whatever the "
                  "tolerance asked.");
  const std::vector<int> sizes = bench::Sizes({20, 200, 2000});
  bench::Contender("span_offset", "smooth_cubic", "ours", sizes, "poles",
                   [](int n) { return offsets::OursOffset(CubicOf(n), kTol, Ours); }, benchmark::kMicrosecond);
  bench::Contender("span_offset", "smooth_cubic", offsets::kSislOffset, sizes, "poles",
                   [](int n) { return offsets::SislOffsetChecked(CubicOf(n), kTol); }, benchmark::kMicrosecond);
  bench::Contender("span_offset", "smooth_cubic", "occt_Geom2dConvert_ApproxCurve", sizes, "poles",
                   [](int n) { return offsets::OcctOffsetChecked(CubicOf(n), kTol); }, benchmark::kMicrosecond);
  return true;
}();

}  // namespace
