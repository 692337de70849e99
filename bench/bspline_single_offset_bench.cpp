// The offset of one curve in its own plane, side chosen by a point and loops removed: smooth cubics of 20 and 200
// poles beside SISL's offset approximation (s1360) and OpenCASCADE's approximation of its exact offset curve
// (Geom2dConvert_ApproxCurve) at the offset tolerance, and zig-zag polylines of 100 and 1,000 points with mitred
// corners beside GEOS's offset curve. Each contender's answer is checked before it is timed: cubic offsets by 50
// samples whose distance from the base may miss the offset distance by at most twice the tolerance, polyline
// offsets by the midpoints of their legs, at the distance to within 1e-9.
#include <benchmark/benchmark.h>

#include <Geom2dAPI_ProjectPointOnCurve.hxx>
#include <Geom2dConvert_ApproxCurve.hxx>
#include <Geom2d_OffsetCurve.hxx>
#include <sisl.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/offset.h"
#include "tests/bspline/oracle/curve_pairs.h"
#include "tests/bspline/oracle/peer_geos.h"

namespace {

const double kTol = BStoltab[bstol::offset_tol];

// A cubic heading within 45 degrees of +x (so it never meets itself) offset by 0.4 of its least radius of
// curvature to its right, where a side point just off its middle lies.
struct Cubic {
  std::unique_ptr<TestCurve> curve;
  Handle(Geom2d_BSplineCurve) base;
  double dist = INFINITY, side[3] = {0, 0, 0};
  explicit Cubic(int n) {
    std::mt19937 rng(9103 + n);
    std::uniform_real_distribution<double> step(1, 3), heading(-M_PI / 4, M_PI / 4);
    std::vector<double> poles{0, 0, 0}, knots(4, 0);
    for (int i = 1; i < n; ++i) {
      const double a = heading(rng), s = step(rng);
      poles.insert(poles.end(), {poles[3 * i - 3] + s * std::cos(a), poles[3 * i - 2] + s * std::sin(a), 0});
    }
    for (int i = 4; i < n; ++i) knots.push_back(i - 3);
    knots.insert(knots.end(), 4, n - 3);
    curve = std::make_unique<TestCurve>(4, poles, knots);
    curve->cv.planar = 1;
    base = cvpairs::Occt(*curve);
    for (int i = 0; i <= 40 * n; ++i) {
      gp_Pnt2d q;
      gp_Vec2d v1, v2;
      base->D2((n - 3.0) * i / (40 * n), q, v1, v2);
      dist = std::fmin(dist, 0.4 * std::pow(v1.Magnitude(), 3) / std::fabs(v1.Crossed(v2)));
    }
    gp_Pnt2d m;
    gp_Vec2d t;
    base->D1((n - 3) / 2.0, m, t);
    t.Normalize();
    side[0] = m.X() + 0.1 * t.Y(), side[1] = m.Y() - 0.1 * t.X();
  }
  // The farthest that 50 samples of a contender's curve on [a, b] lie from the offset distance.
  double deviation(const std::function<gp_Pnt2d(double)> &at, double a, double b) const {
    double worst = 0;
    for (int i = 0; i <= 50; ++i) {
      const gp_Pnt2d p = at(a + (b - a) * i / 50);
      double d = std::fmin(p.Distance(base->Value(base->FirstParameter())), p.Distance(base->Value(base->LastParameter())));
      Geom2dAPI_ProjectPointOnCurve foot(p, base);
      if (foot.NbPoints() > 0) d = std::fmin(d, foot.LowerDistance());
      worst = std::fmax(worst, std::fabs(d - dist));
    }
    return worst;
  }
};

const Cubic &CubicOf(int n) {
  static std::map<int, std::unique_ptr<Cubic>> made;
  auto &c = made[n];
  if (!c) c = std::make_unique<Cubic>(n);
  return *c;
}

// The zig-zag of n points.
const TestCurve &ZigZag(int n) {
  static std::map<int, std::unique_ptr<TestCurve>> made;
  auto &c = made[n];
  if (!c) {
    c = zigzag(n, 9104 + n);
    c->cv.planar = 1;
  }
  return *c;
}
const double kZigDist = 0.4;

// The farthest that the midpoints of an offset polyline's legs (x, y pairs) lie from the zig-zag's distance.
double LegDeviation(const TestCurve &c, const std::vector<double> &xy) {
  double worst = 0;
  for (size_t i = 0; i + 3 < xy.size(); i += 2) {
    const double x = (xy[i] + xy[i + 2]) / 2, y = (xy[i + 1] + xy[i + 3]) / 2;
    double best = INFINITY;
    for (int j = 0; j + 1 < c.n(); ++j) {
      const double ax = c.pole(j, 0), ay = c.pole(j, 1), bx = c.pole(j + 1, 0) - ax, by = c.pole(j + 1, 1) - ay;
      const double t = std::fmax(0, std::fmin(1, ((x - ax) * bx + (y - ay) * by) / (bx * bx + by * by)));
      best = std::fmin(best, std::hypot(x - ax - t * bx, y - ay - t * by));
    }
    worst = std::fmax(worst, std::fabs(best - kZigDist));
  }
  return worst;
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

gp_Pnt2d OursAt(const VOQbsp_curve *cv, double u) {
  double p[3];
  int rc = 0;
  BScveval_n(cv, u, 0, p, &rc);
  return gp_Pnt2d(p[0], p[1]);
}

void BM_CubicOffset_Ours(benchmark::State &state) {
  const Cubic &c = CubicOf(static_cast<int>(state.range(0)));
  VOQbsp_curve *out = Ours(&c.curve->cv, c.dist, c.side);
  if (!out) return state.SkipWithError("our offset failed");
  const double err = c.deviation([&](double u) { return OursAt(out, u); }, out->knots[3], out->knots[out->num_poles]);
  state.counters["poles"] = out->num_poles;
  int rc = 0;
  BSfreevoqcv(out, &rc);
  TimeAfterCheck(state, err, 2 * kTol, [&] {
    VOQbsp_curve *o = Ours(&c.curve->cv, c.dist, c.side);
    benchmark::DoNotOptimize(o->num_poles);
    BSfreevoqcv(o, &rc);
  }, "our offset strays from the distance");
}

SISLCurve *Sisl(const Cubic &c) {
  SISLCurve *base = cvpairs::Sisl(*c.curve), *out = nullptr;
  double norm[3] = {0, 0, 1};
  int stat = 0;
  s1360(base, -c.dist, kTol, norm, 0, 2, &out, &stat);  // SISL's positive offset lies to the left
  freeCurve(base);
  return stat < 0 ? nullptr : out;
}

void BM_CubicOffset_SislS1360(benchmark::State &state) {
  const Cubic &c = CubicOf(static_cast<int>(state.range(0)));
  SISLCurve *out = Sisl(c);
  if (!out) return state.SkipWithError("s1360 failed");
  const auto at = [&](double u) {
    double q[2];
    int left = 0, st = 0;
    s1221(out, 0, u, &left, q, &st);
    return gp_Pnt2d(q[0], q[1]);
  };
  const double err = c.deviation(at, out->et[3], out->et[out->in]);
  state.counters["poles"] = out->in;
  freeCurve(out);
  TimeAfterCheck(state, err, 2 * kTol, [&] { freeCurve(Sisl(c)); }, "s1360 strays from the distance");
}

void BM_CubicOffset_OcctApproxCurve(benchmark::State &state) {
  const Cubic &c = CubicOf(static_cast<int>(state.range(0)));
  Handle(Geom2d_OffsetCurve) exact = new Geom2d_OffsetCurve(c.base, c.dist);  // to the right
  const auto approx = [&] {
    Geom2dConvert_ApproxCurve a(exact, kTol, GeomAbs_C2, 1000, 3);
    return a.HasResult() ? a.Curve() : Handle(Geom2d_BSplineCurve)();
  };
  Handle(Geom2d_BSplineCurve) out = approx();
  if (out.IsNull()) return state.SkipWithError("Geom2dConvert_ApproxCurve failed");
  const double err = c.deviation([&](double u) { return out->Value(u); }, out->FirstParameter(), out->LastParameter());
  state.counters["poles"] = out->NbPoles();
  TimeAfterCheck(state, err, 2 * kTol, [&] { benchmark::DoNotOptimize(approx()); },
                "Geom2dConvert_ApproxCurve strays from the distance");
}

// The side point just off the first leg, to its right as GEOS's negative distance.
void BM_PolylineOffset_Ours(benchmark::State &state) {
  const TestCurve &c = ZigZag(static_cast<int>(state.range(0)));
  const double dx = c.pole(1, 0) - c.pole(0, 0), dy = c.pole(1, 1) - c.pole(0, 1), len = std::hypot(dx, dy);
  const double side[3] = {c.pole(0, 0) + dx / 2 + 0.1 * dy / len, c.pole(0, 1) + dy / 2 - 0.1 * dx / len, 0};
  VOQbsp_curve *out = Ours(&c.cv, kZigDist, side);
  if (!out) return state.SkipWithError("our offset failed");
  std::vector<double> xy;
  for (int i = 0; i < out->num_poles; ++i) xy.insert(xy.end(), {out->poles[3 * i], out->poles[3 * i + 1]});
  int rc = 0;
  BSfreevoqcv(out, &rc);
  TimeAfterCheck(state, LegDeviation(c, xy), 1e-9, [&] {
    VOQbsp_curve *o = Ours(&c.cv, kZigDist, side);
    benchmark::DoNotOptimize(o->num_poles);
    BSfreevoqcv(o, &rc);
  }, "our offset strays from the distance");
}

void BM_PolylineOffset_Geos(benchmark::State &state) {
  const TestCurve &c = ZigZag(static_cast<int>(state.range(0)));
  TimeAfterCheck(state, LegDeviation(c, geos_offset(c, -kZigDist, false)), 1e-9,
                [&] { benchmark::DoNotOptimize(geos_offset(c, -kZigDist, false)); }, "GEOS strays from the distance");
}

}  // namespace

BENCHMARK(BM_CubicOffset_Ours)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CubicOffset_SislS1360)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CubicOffset_OcctApproxCurve)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolylineOffset_Ours)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PolylineOffset_Geos)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
