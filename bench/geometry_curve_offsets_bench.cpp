// The offset-line style's road: a line string offset with sharp corners towards a side point (IMTCOff, corner
// flag 0) on zig-zags of 10, 100 and 1,000 points, beside GEOS's mitred offset curve. Each contender's answer is
// checked before it is timed: one offset point per input point, each leg on the parallel of its input leg at the
// distance to within 1e-9. The check is linear in the points and stays in the timed call, for both alike.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "bench/bench_checks.h"
#include "geometry/typed_curves.h"
#include "tests/bspline/oracle/peer_geos.h"

namespace {

const double kDist = 0.4;

// The zig-zag as the library's curve (for GEOS) and as a typed line string.
struct Polyline {
  std::unique_ptr<TestCurve> curve;
  GLineString ls{};
  GTypedCurve tc{};
  GPosition side;  // just off the first leg's middle, to its right
  explicit Polyline(int n) : curve(zigzag(n, 9111 + n)) {
    int rc = 0;
    IMGLSAlloc(static_cast<std::uint32_t>(n), &ls, &rc);
    for (int i = 0; i < n; ++i) ls.pPoints[i] = GPosition(curve->pole(i, 0), curve->pole(i, 1), 0);
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
  // the right; infinite when the count differs.
  double Deviation(const std::vector<double>& xy) const {
    const int n = curve->n();
    if (static_cast<int>(xy.size()) != 2 * n) return INFINITY;
    double worst = 0;
    for (int i = 0; i + 1 < n; ++i) {
      const double ax = curve->pole(i, 0), ay = curve->pole(i, 1);
      const double bx = curve->pole(i + 1, 0) - ax, by = curve->pole(i + 1, 1) - ay, len = std::hypot(bx, by);
      for (int j = i; j <= i + 1; ++j) {
        const double left = (bx * (xy[2 * j + 1] - ay) - by * (xy[2 * j] - ax)) / len;
        worst = std::fmax(worst, std::fabs(left + kDist));
      }
    }
    return worst;
  }
};

const Polyline& PolylineOf(int n) {
  static std::map<int, std::unique_ptr<Polyline>> made;
  auto& p = made[n];
  if (!p) p = std::make_unique<Polyline>(n);
  return *p;
}

void BM_LineStringOffset_Ours(benchmark::State& state) {
  const Polyline& p = PolylineOf(static_cast<int>(state.range(0)));
  const int corner = 0;
  TimeChecked(state, 0.0, 1e-9, [&] {
    GTypedCurve out{};
    int rc = 0;
    IMTCOff(&p.tc, &p.side, &kDist, &corner, &out, &rc);
    std::vector<double> xy;
    if (rc == 0 && out.type == kCurveLineString) {
      const GLineString& ls = *static_cast<const GLineString*>(out.pCurve);
      for (std::uint32_t i = 0; i < ls.numPoints; ++i) xy.insert(xy.end(), {ls.pPoints[i].x, ls.pPoints[i].y});
    }
    IMGTCFree(&out, &rc);
    return p.Deviation(xy);
  }, "IMTCOff strays from the distance");
}

void BM_LineStringOffset_Geos(benchmark::State& state) {
  const Polyline& p = PolylineOf(static_cast<int>(state.range(0)));
  TimeChecked(state, 0.0, 1e-9, [&] { return p.Deviation(geos_offset(*p.curve, -kDist, false)); },
              "GEOS strays from the distance");
}

}  // namespace

BENCHMARK(BM_LineStringOffset_Ours)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineStringOffset_Geos)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
