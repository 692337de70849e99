// The offset of one curve in its own plane, side chosen by a point and loops removed: smooth cubics beside SISL's
// offset approximation (s1360) and OpenCASCADE's approximation of its exact offset curve (Geom2dConvert_ApproxCurve)
// at the offset tolerance, and zig-zag polylines with mitred corners beside GEOS's offset curve. Each contender's
// answer is checked before it is timed: cubic offsets by samples (twenty per pole of the curve) whose distance from
// the curve may miss the offset distance by at most twice the tolerance, polyline offsets by the midpoints of their
// legs, at the distance to within 1e-9. GEOS's line is built beforehand, as ours is.
#include <cmath>
#include <memory>
#include <vector>

#include "bench/bench_checks.h"
#include "bench/offset_checks.h"
#include "bspline/offset.h"
#include "tests/bspline/oracle/peer_chains.h"

namespace {

const double kTol = BStoltab[bstol::offset_tol];

std::shared_ptr<const offsets::Cubic> CubicOf(int n) {
  return bench::Once(n, [n] { return std::make_shared<const offsets::Cubic>(n, 9103 + n, false); });
}

// Our offset (loop mode 2, corners sharp); NULL on failure.
VOQbsp_curve *Ours(const VOQbsp_curve *cv, double d, const double side[3]) {
  const double zero[3] = {0, 0, 0};
  VOQbsp_curve *out = nullptr, **pieces = nullptr;
  int count = 0, rc = 0;
  BSboolean flag = BSFALSE;
  BScvoffsetd(cv, d, side, BSFALSE, 0, 2, &flag, zero, &out, &count, &pieces, &rc);
  return rc == 0 ? out : nullptr;
}

VOQbsp_curve *OursCubic(const offsets::Cubic &c) { return Ours(&c.curve->cv, c.dist, c.side); }

void Free(VOQbsp_curve *cv) {
  int rc = 0;
  if (cv) BSfreevoqcv(cv, &rc);
}

// The zig-zag of n points and its path, for the distances of the offsets' legs.
struct ZigZag {
  std::unique_ptr<TestCurve> curve;
  std::vector<double> xy;
  chains::Path path;
  std::unique_ptr<offsets::GeosOffsetter> geos;
  double side[3] = {0, 0, 0};  // just off the first leg, to its right as GEOS's negative distance
  explicit ZigZag(int n) : curve(zigzag(n, 9104 + n)) {
    curve->cv.planar = 1;
    for (int i = 0; i < n; ++i) xy.insert(xy.end(), {curve->pole(i, 0), curve->pole(i, 1)});
    path = chains::polyline_path(xy, false);
    geos = std::make_unique<offsets::GeosOffsetter>(xy);
    const TestCurve &c = *curve;
    const double dx = c.pole(1, 0) - c.pole(0, 0), dy = c.pole(1, 1) - c.pole(0, 1), len = std::hypot(dx, dy);
    side[0] = c.pole(0, 0) + dx / 2 + 0.1 * dy / len, side[1] = c.pole(0, 1) + dy / 2 - 0.1 * dx / len;
  }
  // The farthest that the midpoints of an offset polyline's legs (x, y pairs) lie from the distance.
  double LegDeviation(const std::vector<double> &offset, double d) const {
    if (offset.size() < 4) return INFINITY;
    double worst = 0;
    for (size_t i = 0; i + 3 < offset.size(); i += 2) {
      const double e =
          std::fabs(path.distance((offset[i] + offset[i + 2]) / 2, (offset[i + 1] + offset[i + 3]) / 2) - d);
      worst = std::isnan(e) || e > worst ? e : worst;
    }
    return std::isnan(worst) ? INFINITY : worst;
  }
};
const double kZigDist = 0.4;

std::shared_ptr<const ZigZag> ZigZagOf(int n) {
  return bench::Once(n, [n] { return std::make_shared<const ZigZag>(n); });
}

bench::Ready PolylineOurs(int n) {
  const auto z = ZigZagOf(n);
  VOQbsp_curve *out = Ours(&z->curve->cv, kZigDist, z->side);
  std::vector<double> xy;
  for (int i = 0; out && i < out->num_poles; ++i) xy.insert(xy.end(), {out->poles[3 * i], out->poles[3 * i + 1]});
  Free(out);
  return bench::Checked(z->LegDeviation(xy, kZigDist), 1e-9,
                        [z] { Free(Ours(&z->curve->cv, kZigDist, z->side)); }, "our offset strays from the distance");
}

bench::Ready PolylineGeos(int n) {
  const auto z = ZigZagOf(n);
  return bench::Checked(z->LegDeviation(geos_offset(*z->curve, -kZigDist, false), kZigDist), 1e-9,
                        [z] { z->geos->Offset(-kZigDist, false); }, "GEOS strays from the distance");
}

const bool registered = [] {
  bench::Describe("single_curve_offset",
                  "The offset of one curve, loops removed: a smooth cubic heading within 45 degrees of +x, offset "
                  "by 0.4 of its least radius of curvature (size: poles), checked by twenty samples per pole of "
                  "the curve, none farther than twice the offset tolerance from the distance; and a zig-zag "
                  "polyline with mitred corners (size: points), checked by the midpoints of the offset's legs, at "
                  "the distance within 1e-9. The counter \"poles\" holds each cubic offset's pole count. SISL's s1360 "
                  "is given a maximal step of 0.25: at its default step its offset strays from the distance by up to "
                  "13 times the tolerance here (by up to 96 times on the span-offset curves), whatever the tolerance "
                  "asked; GEOS's line is built beforehand, as ours is.");
  const std::vector<int> cubic = bench::Sizes({20, 200, 2000}), polyline = bench::Sizes({100, 1000, 10000});
  bench::Contender("single_curve_offset", "cubic", "ours", cubic, "poles",
                   [](int n) { return offsets::OursOffset(CubicOf(n), kTol, OursCubic); }, benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "cubic", offsets::kSislOffset, cubic, "poles",
                   [](int n) { return offsets::SislOffsetChecked(CubicOf(n), kTol); }, benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "cubic", "occt_Geom2dConvert_ApproxCurve", cubic, "poles",
                   [](int n) { return offsets::OcctOffsetChecked(CubicOf(n), kTol); }, benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "zigzag_polyline_mitred", "ours", polyline, "points", PolylineOurs,
                   benchmark::kMicrosecond);
  bench::Contender("single_curve_offset", "zigzag_polyline_mitred", "geos_OffsetCurve_mitre", polyline, "points",
                   PolylineGeos, benchmark::kMicrosecond);
  return true;
}();

}  // namespace
