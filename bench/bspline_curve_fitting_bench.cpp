// A fit with span search of 1,000 points on a spiral at tolerance 1e-4: ours (the curve-fitting front end) beside
// OpenCASCADE's GeomAPI_PointsToBSpline at the same tolerance and degree 3. Each result's largest deviation from
// the points, measured by projection, is checked against the tolerance before it is timed.
#include <GeomAPI_PointsToBSpline.hxx>
#include <GeomAPI_ProjectPointOnCurve.hxx>
#include <Geom_BSplineCurve.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/fitting.h"

namespace {

constexpr int kPoints = 1000;
constexpr double kTol = 1e-4;

const std::vector<double> &spiral() {
  static const std::vector<double> p = [] {
    std::vector<double> v;
    for (int i = 0; i < kPoints; ++i) {
      const double s = static_cast<double>(i) / (kPoints - 1), a = 25 * s;
      v.insert(v.end(), {(1 + 4 * s) * std::cos(a), (1 + 4 * s) * std::sin(a), 0.5 * s});
    }
    return v;
  }();
  return p;
}

double worst_distance(const Handle(Geom_Curve) & cv) {
  const std::vector<double> &p = spiral();
  double worst = 0;
  for (int i = 0; i < kPoints; ++i) {
    GeomAPI_ProjectPointOnCurve proj(gp_Pnt(p[3 * i], p[3 * i + 1], p[3 * i + 2]), cv);
    worst = std::max(worst, proj.LowerDistance());
  }
  return worst;
}

// Our fit as an OpenCASCADE curve, for the common deviation measure; the pole count as the answer timed.
double ours(Handle(Geom_BSplineCurve) *out) {
  std::vector<double> p = spiral();
  VOQbsp_curve *cv = nullptr;
  double mean, maxd, maxp[3], v[3] = {0, 0, 0};
  int idx, rc = 0;
  BSfitratcv(kPoints, p.data(), nullptr, nullptr, nullptr, 4, 0, nullptr, 0, 2, 0, 0, v, v, 0, 0, 1, 1, 0, 0.0, 0, 0,
             kTol, &cv, &mean, &maxd, &idx, maxp, &rc);
  const double poles = rc == 0 && cv ? cv->num_poles : -1;
  if (out && rc == 0) {
    TColgp_Array1OfPnt P(1, cv->num_poles);
    for (int i = 0; i < cv->num_poles; ++i) P.SetValue(i + 1, gp_Pnt(cv->poles[3 * i], cv->poles[3 * i + 1], cv->poles[3 * i + 2]));
    std::vector<double> distinct;
    std::vector<int> mult;
    for (int i = 0; i < cv->num_knots; ++i)
      if (distinct.empty() || cv->knots[i] != distinct.back()) distinct.push_back(cv->knots[i]), mult.push_back(1);
      else ++mult.back();
    TColStd_Array1OfReal K(1, static_cast<int>(distinct.size()));
    TColStd_Array1OfInteger M(1, static_cast<int>(distinct.size()));
    for (std::size_t i = 0; i < distinct.size(); ++i) K.SetValue(static_cast<int>(i) + 1, distinct[i]), M.SetValue(static_cast<int>(i) + 1, mult[i]);
    *out = new Geom_BSplineCurve(P, K, M, 3);
  }
  if (cv) BSfreevoqcv(cv, &rc);
  return poles;
}

double occt(Handle(Geom_BSplineCurve) *out) {
  const std::vector<double> &p = spiral();
  TColgp_Array1OfPnt P(1, kPoints);
  for (int i = 0; i < kPoints; ++i) P.SetValue(i + 1, gp_Pnt(p[3 * i], p[3 * i + 1], p[3 * i + 2]));
  GeomAPI_PointsToBSpline fit(P, 3, 3, GeomAbs_C2, kTol);
  if (!fit.IsDone()) return -1;
  if (out) *out = fit.Curve();
  return fit.Curve()->NbPoles();
}

void BM_Ours(benchmark::State &state) {
  Handle(Geom_BSplineCurve) cv;
  if (ours(&cv) < 0 || cv.IsNull()) return state.SkipWithError("no fit");
  const double worst = worst_distance(cv);
  TimeChecked(state, 0.0, kTol, [worst] { return ours(nullptr) > 0 ? worst : 1.0; }, "deviation above tolerance");
}
BENCHMARK(BM_Ours)->Unit(benchmark::kMillisecond);

void BM_Occt(benchmark::State &state) {
  Handle(Geom_BSplineCurve) cv;
  if (occt(&cv) < 0 || cv.IsNull()) return state.SkipWithError("no fit");
  const double worst = worst_distance(cv);
  TimeChecked(state, 0.0, kTol, [worst] { return occt(nullptr) > 0 ? worst : 1.0; }, "deviation above tolerance");
}
BENCHMARK(BM_Occt)->Unit(benchmark::kMillisecond);

}  // namespace
