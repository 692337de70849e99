// A fit with span search of points on a spiral at tolerance 1e-4: ours (the curve-fitting front end) beside
// OpenCASCADE's GeomAPI_PointsToBSpline at the same tolerance and degree 3. Each result's largest deviation from
// the points, measured by projection, is checked against the tolerance before it is timed.
#include <GeomAPI_PointsToBSpline.hxx>
#include <GeomAPI_ProjectPointOnCurve.hxx>
#include <Geom_BSplineCurve.hxx>
#include <TColgp_Array1OfPnt.hxx>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/fitting.h"

namespace {

constexpr double kTol = 1e-4;

// n points on a spiral of n / 40 radians (as curved per point at every size), radius 1 to 5, rising by 0.5.
std::shared_ptr<const std::vector<double>> Spiral(int n) {
  return bench::Once(n, [n] {
    auto v = std::make_shared<std::vector<double>>();
    for (int i = 0; i < n; ++i) {
      const double s = static_cast<double>(i) / (n - 1), a = n / 40.0 * s;
      v->insert(v->end(), {(1 + 4 * s) * std::cos(a), (1 + 4 * s) * std::sin(a), 0.5 * s});
    }
    return std::shared_ptr<const std::vector<double>>(v);
  });
}

// The farthest point from the curve, by projection.
double WorstDistance(const std::vector<double> &p, const Handle(Geom_Curve) & cv) {
  double worst = 0;
  for (std::size_t i = 0; i < p.size(); i += 3) {
    GeomAPI_ProjectPointOnCurve proj(gp_Pnt(p[i], p[i + 1], p[i + 2]), cv);
    worst = proj.NbPoints() > 0 ? std::max(worst, proj.LowerDistance()) : INFINITY;
  }
  return worst;
}

// Our fit; with `out`, as an OpenCASCADE curve for the common deviation measure. The pole count, -1 on failure.
double Ours(const std::vector<double> &points, Handle(Geom_BSplineCurve) *out) {
  std::vector<double> p = points;
  const int n = static_cast<int>(p.size() / 3);
  VOQbsp_curve *cv = nullptr;
  double mean, maxd, maxp[3], v[3] = {0, 0, 0};
  int idx, rc = 0;
  BSfitratcv(n, p.data(), nullptr, nullptr, nullptr, 4, 0, nullptr, 0, 2, 0, 0, v, v, 0, 0, 1, 1, 0, 0.0, 0, 0, kTol,
             &cv, &mean, &maxd, &idx, maxp, &rc);
  const double poles = rc == 0 && cv ? cv->num_poles : -1;
  if (out && rc == 0) {
    TColgp_Array1OfPnt P(1, cv->num_poles);
    for (int i = 0; i < cv->num_poles; ++i)
      P.SetValue(i + 1, gp_Pnt(cv->poles[3 * i], cv->poles[3 * i + 1], cv->poles[3 * i + 2]));
    std::vector<double> distinct;
    std::vector<int> mult;
    for (int i = 0; i < cv->num_knots; ++i) {
      if (distinct.empty() || cv->knots[i] != distinct.back()) {
        distinct.push_back(cv->knots[i]);
        mult.push_back(1);
      } else {
        ++mult.back();
      }
    }
    TColStd_Array1OfReal K(1, static_cast<int>(distinct.size()));
    TColStd_Array1OfInteger M(1, static_cast<int>(distinct.size()));
    for (std::size_t i = 0; i < distinct.size(); ++i) {
      K.SetValue(static_cast<int>(i) + 1, distinct[i]);
      M.SetValue(static_cast<int>(i) + 1, mult[i]);
    }
    *out = new Geom_BSplineCurve(P, K, M, 3);
  }
  if (cv) BSfreevoqcv(cv, &rc);
  return poles;
}

double Occt(const std::vector<double> &p, Handle(Geom_BSplineCurve) *out) {
  const int n = static_cast<int>(p.size() / 3);
  TColgp_Array1OfPnt P(1, n);
  for (int i = 0; i < n; ++i) P.SetValue(i + 1, gp_Pnt(p[3 * i], p[3 * i + 1], p[3 * i + 2]));
  GeomAPI_PointsToBSpline fit(P, 3, 3, GeomAbs_C2, kTol);
  if (!fit.IsDone()) return -1;
  if (out) *out = fit.Curve();
  return fit.Curve()->NbPoles();
}

void Register(const char *contender, double (*fit)(const std::vector<double> &, Handle(Geom_BSplineCurve) *)) {
  bench::Contender("curve_fitting", "spiral_to_1e-4", contender, bench::Sizes({10, 100, 1000}), "points",
                   [fit](int n) {
                     const auto p = Spiral(n);
                     Handle(Geom_BSplineCurve) cv;
                     const double poles = fit(*p, &cv);
                     bench::Ready r = bench::Checked(poles > 0 ? WorstDistance(*p, cv) : INFINITY, kTol,
                                                     [p, fit] { benchmark::DoNotOptimize(fit(*p, nullptr)); },
                                                     "a point lies farther from the curve than the tolerance");
                     r.counters["poles"] = poles;
                     return r;
                   });
}

const bool registered = [] {
  bench::Describe("curve_fitting",
                  "A cubic fit with span search of points on a spiral of n/40 radians at tolerance 1e-4; size: "
                  "points. Checked by projecting every point onto each result (at most the tolerance away); the "
                  "counter \"poles\" holds each result's pole count.");
  Register("ours", Ours);
  Register("occt_GeomAPI_PointsToBSpline", Occt);
  return true;
}();

}  // namespace
