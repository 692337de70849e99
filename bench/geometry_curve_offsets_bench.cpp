// The offset-line style's road: a zig-zag line string offset with sharp corners towards a side point (IMTCOff,
// corner flag 0), beside GEOS's mitred offset curve. Each contender's answer is checked once before it is timed:
// one offset point per input point, each leg on the parallel of its input leg at the distance to within 1e-9.
#include <cmath>
#include <memory>
#include <vector>

#include "bench/bench_checks.h"
#include "bench/offset_checks.h"
#include "geometry/typed_curves.h"
#include "tests/bspline/oracle/peer_geos.h"

namespace {

const double kDist = 0.4;

// The zig-zag as the library's curve (for GEOS) and as a typed line string.
struct Polyline {
  std::unique_ptr<TestCurve> curve;
  std::vector<double> xy;  // the points, x, y pairs
  GLineString ls{};
  GTypedCurve tc{};
  GPosition side;  // just off the first leg's middle, to its right
  explicit Polyline(int n) : curve(zigzag(n, 9111 + n)) {
    int rc = 0;
    IMGLSAlloc(static_cast<std::uint32_t>(n), &ls, &rc);
    for (int i = 0; i < n; ++i) {
      ls.pPoints[i] = GPosition(curve->pole(i, 0), curve->pole(i, 1), 0);
      xy.insert(xy.end(), {curve->pole(i, 0), curve->pole(i, 1)});
    }
    tc = GTypedCurve{&ls, kCurveLineString};
    const double dx = curve->pole(1, 0) - curve->pole(0, 0), dy = curve->pole(1, 1) - curve->pole(0, 1);
    const double len = std::hypot(dx, dy);
    side = GPosition(curve->pole(0, 0) + dx / 2 + 0.1 * dy / len, curve->pole(0, 1) + dy / 2 - 0.1 * dx / len, 0);
  }
  ~Polyline() {
    int rc = 0;
    IMGLSFree(&ls, &rc);
  }
  Polyline(const Polyline&) = delete;
  Polyline& operator=(const Polyline&) = delete;

  // The farthest that the offset's points (x, y pairs) lie from the parallels of their legs at the distance to
  // the right; infinite when the count differs or a point is not a number.
  double Deviation(const std::vector<double>& offset) const {
    const int n = curve->n();
    if (static_cast<int>(offset.size()) != 2 * n) return INFINITY;
    double worst = 0;
    for (int i = 0; i + 1 < n; ++i) {
      const double ax = curve->pole(i, 0), ay = curve->pole(i, 1);
      const double bx = curve->pole(i + 1, 0) - ax, by = curve->pole(i + 1, 1) - ay, len = std::hypot(bx, by);
      for (int j = i; j <= i + 1; ++j) {
        const double left = (bx * (offset[2 * j + 1] - ay) - by * (offset[2 * j] - ax)) / len;
        const double e = std::fabs(left + kDist);
        worst = std::isnan(e) || e > worst ? e : worst;
      }
    }
    return std::isnan(worst) ? INFINITY : worst;
  }
};

std::shared_ptr<const Polyline> PolylineOf(int n) {
  return bench::Once(n, [n] { return std::make_shared<const Polyline>(n); });
}

// Our offset as x, y pairs (empty when it failed or is not a line string).
std::vector<double> Ours(const Polyline& p) {
  const int corner = 0;
  GTypedCurve out{};
  int rc = 0;
  IMTCOff(&p.tc, &p.side, &kDist, &corner, &out, &rc);
  std::vector<double> xy;
  if (rc == 0 && out.type == kCurveLineString) {
    const GLineString& ls = *static_cast<const GLineString*>(out.pCurve);
    for (std::uint32_t i = 0; i < ls.numPoints; ++i) xy.insert(xy.end(), {ls.pPoints[i].x, ls.pPoints[i].y});
  }
  IMGTCFree(&out, &rc);
  return xy;
}

void OursOnly(const Polyline& p) {
  const int corner = 0;
  GTypedCurve out{};
  int rc = 0;
  IMTCOff(&p.tc, &p.side, &kDist, &corner, &out, &rc);
  IMGTCFree(&out, &rc);
}

const bool registered = [] {
  bench::Describe("typed_curve_offset",
                  "The offset-line style's road: a zig-zag line string offset with sharp corners towards a side "
                  "point (IMTCOff, corner flag 0) beside GEOS's mitred offset curve; size: points. Each answer is "
                  "checked once before it is timed: one offset point per input point, each leg on the parallel of "
                  "its input leg at the distance within 1e-9. GEOS's line is built beforehand, as ours is.");
  const std::vector<int> sizes = bench::Sizes({100, 1000, 10000});
  bench::Contender("typed_curve_offset", "line_string_sharp_corners", "ours", sizes, "points", [](int n) {
    const auto p = PolylineOf(n);
    return bench::Checked(p->Deviation(Ours(*p)), 1e-9, [p] { OursOnly(*p); }, "IMTCOff strays from the distance");
  }, benchmark::kMicrosecond);
  bench::Contender("typed_curve_offset", "line_string_sharp_corners", "geos_OffsetCurve_mitre", sizes, "points",
                   [](int n) {
                     const auto p = PolylineOf(n);
                     auto geos = std::make_shared<offsets::GeosOffsetter>(p->xy);
                     return bench::Checked(p->Deviation(geos_offset(*p->curve, -kDist, false)), 1e-9,
                                           [geos] { geos->Offset(-kDist, false); }, "GEOS strays from the distance");
                   }, benchmark::kMicrosecond);
  return true;
}();

}  // namespace
