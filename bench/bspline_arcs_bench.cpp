// Building 10^5 circular arcs (centre, ends and normal) and 10^5 elliptical arcs (centre, axis ends, parametric
// angles) as rational quadratic B-splines, as the geometry layer does for every arc it draws: ours beside
// OpenCASCADE's GC_MakeArcOf* followed by GeomConvert. Every contender's every curve is checked once before the
// timing (its ends and its middle on the analytic arc, within 1e-9 of the size); a wrong curve fails its benchmark.
#include <benchmark/benchmark.h>

#include <ElCLib.hxx>
#include <GC_MakeArcOfCircle.hxx>
#include <GC_MakeArcOfEllipse.hxx>
#include <GeomConvert.hxx>
#include <Geom_BSplineCurve.hxx>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "tests/bspline/conic_fixtures.h"

namespace {

constexpr int kArcs = 100000;

struct ArcCase {
  gp_Ax2 axes;
  double r1, r2;      // r2 = r1 for a circular arc
  double start, sweep;  // parametric angles, counter-clockwise about the axes' normal
  // The analytic point at parametric angle t.
  void at(double t, double out[3]) const {
    const gp_Pnt p = ElCLib::EllipseValue(t, axes, r1, r2);
    out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z();
  }
};

// Random placements, radii 0.1 .. 50, sweeps 1 .. 359 degrees; ellipses with r1 >= r2 as the peer needs.
std::vector<ArcCase> make_cases(bool ellipse) {
  std::mt19937 rng(ellipse ? 2822 : 2821);
  std::uniform_real_distribution<double> d(-1, 1), o(-10, 10), r(0.1, 50), ratio(0.05, 1), ang(0, 2 * M_PI),
      sweep(M_PI / 180, 359 * M_PI / 180);
  std::vector<ArcCase> cases;
  while (static_cast<int>(cases.size()) < kArcs) {
    const gp_Vec vn(d(rng), d(rng), d(rng)), vx(d(rng), d(rng), d(rng));
    const gp_Vec perp = vx - vn.Normalized() * vx.Dot(vn.Normalized());
    if (vn.Magnitude() < 0.2 || perp.Magnitude() < 0.2) continue;
    const double r1 = r(rng);
    cases.push_back({gp_Ax2(gp_Pnt(o(rng), o(rng), o(rng)), gp_Dir(vn), gp_Dir(perp)), r1,
                     ellipse ? r1 * ratio(rng) : r1, ang(rng), sweep(rng)});
  }
  return cases;
}

const std::vector<ArcCase> &circle_cases() {
  static const std::vector<ArcCase> c = make_cases(false);
  return c;
}
const std::vector<ArcCase> &ellipse_cases() {
  static const std::vector<ArcCase> c = make_cases(true);
  return c;
}

// A contender builds case i and reports the points of its curve at the start, middle and end parameter
// (check = true) or only builds it. False when it failed.
using Contender = std::function<bool(const ArcCase &, bool check, double pts[9])>;

void time_checked(benchmark::State &state, const std::vector<ArcCase> &cases, const Contender &run,
                  const char *wrong) {
  for (const ArcCase &k : cases) {
    double pts[9], want[3];
    bool ok = run(k, true, pts);
    for (int j = 0; j < 3 && ok; ++j) {
      k.at(k.start + j * k.sweep / 2, want);
      for (int c = 0; c < 3; ++c) ok = ok && std::fabs(pts[3 * j + c] - want[c]) <= 1e-9 * (10 + k.r1);
    }
    if (!ok) {
      state.SkipWithError(wrong);
      return;
    }
  }
  double scratch[9];
  for (auto _ : state)
    for (const ArcCase &k : cases) benchmark::DoNotOptimize(run(k, false, scratch));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(cases.size()));
}

void xyz(const gp_XYZ &p, double out[3]) { out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z(); }

// Our record's points at 0, 1/2 and 1 (weights 1, w, 1 symmetric: the middle parameter is the middle angle).
void our_points(const ArcRecord &rec, double pts[9]) {
  for (int j = 0; j < 3; ++j) rec.point(j / 2.0, pts + 3 * j);
}

// The peer's arc converted, and when asked its points at the start, middle and end parameter (its spans are
// equal in angle and symmetric: the middle parameter is the middle angle).
template <class Maker>
bool peer_converted(const Maker &arc, bool check, double pts[9]) {
  if (!arc.IsDone()) return false;
  const Handle(Geom_BSplineCurve) bs = GeomConvert::CurveToBSplineCurve(arc.Value());
  if (bs.IsNull()) return false;
  const double a = bs->FirstParameter(), b = bs->LastParameter();
  for (int j = 0; j < 3 && check; ++j) xyz(bs->Value(a + j * (b - a) / 2).XYZ(), pts + 3 * j);
  return true;
}

void BM_OursCircle(benchmark::State &state) {
  ArcRecord rec;
  time_checked(
      state, circle_cases(),
      [&rec](const ArcCase &k, bool check, double pts[9]) {
        double s[3], e[3], c[3], n[3], nout[3];
        k.at(k.start, s);
        k.at(k.start + k.sweep, e);
        xyz(k.axes.Location().XYZ(), c);
        xyz(k.axes.Direction().XYZ(), n);
        int rc = 0;
        if (!BSprepcarc(&rc, s, c, e, n, &rec.cv, nout, nullptr)) return false;
        if (check) our_points(rec, pts);
        return true;
      },
      "BSprepcarc is wrong");
}

void BM_PeerCircle(benchmark::State &state) {
  time_checked(
      state, circle_cases(),
      [](const ArcCase &k, bool check, double pts[9]) {
        const gp_Circ circ(k.axes, k.r1);
        return peer_converted(
            GC_MakeArcOfCircle(circ, ElCLib::Value(k.start, circ), ElCLib::Value(k.start + k.sweep, circ), true),
            check, pts);
      },
      "GC_MakeArcOfCircle + GeomConvert is wrong");
}

void BM_OursEllipse(benchmark::State &state) {
  ArcRecord rec;
  time_checked(
      state, ellipse_cases(),
      [&rec](const ArcCase &k, bool check, double pts[9]) {
        double c[3], p1[3], p2[3];
        const gp_XYZ o = k.axes.Location().XYZ();
        xyz(o, c);
        xyz(o + k.r1 * k.axes.XDirection().XYZ(), p1);
        xyz(o + k.r2 * k.axes.YDirection().XYZ(), p2);
        int rc = 0;
        std::uint16_t is_circle = 0;
        BSelarptang(c, p1, p2, k.start, k.sweep, 1, nullptr, nullptr, &rec, nullptr, nullptr, &is_circle, &rec.ptr,
                    &rc);
        if (rc != 0) return false;
        if (check) our_points(rec, pts);
        return true;
      },
      "BSelarptang is wrong");
}

void BM_PeerEllipse(benchmark::State &state) {
  time_checked(
      state, ellipse_cases(),
      [](const ArcCase &k, bool check, double pts[9]) {
        return peer_converted(GC_MakeArcOfEllipse(gp_Elips(k.axes, k.r1, k.r2), k.start, k.start + k.sweep, true),
                              check, pts);
      },
      "GC_MakeArcOfEllipse + GeomConvert is wrong");
}

BENCHMARK(BM_OursCircle)->Name("arcs_circle_1e5/ours_BSprepcarc")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerCircle)->Name("arcs_circle_1e5/occt_GC_MakeArcOfCircle_GeomConvert")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursEllipse)->Name("arcs_ellipse_1e5/ours_BSelarptang")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerEllipse)
    ->Name("arcs_ellipse_1e5/occt_GC_MakeArcOfEllipse_GeomConvert")
    ->Unit(benchmark::kMillisecond);

}  // namespace
