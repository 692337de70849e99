// Random Legendre spans of degree 24 (three coordinates) turned into cubic B-splines within 1e-6: ours
// (breaks from the fourth derivative, truncation, continuity correction, assembly) beside OpenCASCADE's
// approximation of a function by Jacobi polynomials on adaptively cut intervals, which for cubic pieces reaches
// continuity 1 only. Every contender's spline is checked against the series at 200 parameters before it is timed.
#include <AdvApprox_ApproxAFunction.hxx>
#include <AdvApprox_EvaluatorFunction.hxx>
#include <Geom_BSplineCurve.hxx>
#include <TColStd_HArray1OfReal.hxx>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/legendre.h"

namespace {

constexpr int kCount = 500;  // spans drawn; a size takes the first of them
constexpr int kDegree = 24;
constexpr int kDim = 3;
constexpr double kTol = 1e-6;

// Coefficients decaying like those of a smooth curve's span.
const std::vector<double> &spans() {
  static const std::vector<double> c = [] {
    std::mt19937 rng(24);
    std::uniform_real_distribution<double> u(-1, 1), rate(0.6, 0.85);
    std::vector<double> out;
    for (int s = 0; s < kCount; ++s) {
      const double r = rate(rng);
      for (int q = 0; q < kDim; ++q)
        for (int j = 0; j <= kDegree; ++j) out.push_back(u(rng) * std::pow(r, j));
    }
    return out;
  }();
  return c;
}
const double *span(int s) { return &spans()[static_cast<std::size_t>(s) * kDim * (kDegree + 1)]; }

// The largest distance between a contender's curve (point at t in [-1, 1]) and the series.
template <typename Point>
double deviation(int s, Point point) {
  double worst = 0;
  for (int i = 0; i < 200; ++i) {
    const double t = -1 + 2.0 * i / 199;
    double want[kDim], got[kDim];
    int rc = 0;
    BSpocurvlgd(kDegree, kDim, span(s), t, want, &rc);
    point(t, got);
    for (int q = 0; q < kDim; ++q) worst = std::fmax(worst, std::fabs(got[q] - want[q]));
  }
  return worst;
}

// Ours; with check, the deviation of the result (infinite on failure).
double convert_ours(int s, bool check) {
  int np = 0, rc = 0;
  double *P = nullptr, *K = nullptr;
  BSlgdbspl1(kDegree, kDim, span(s), 4, 2, kTol, &np, &P, &K, &rc);
  benchmark::DoNotOptimize(P);
  double dev = 0;
  if (check)
    dev = rc != 0 ? INFINITY : deviation(s, [&](double t, double *p) {
      int erc = 0;
      BSevalbsp(3, np, kDim, 0, P, K, (t + 1) / 2, 0, p, &erc);
    });
  BSdbgfree(P);
  BSdbgfree(K);
  return dev;
}

class SeriesEvaluator : public AdvApprox_EvaluatorFunction {
 public:
  explicit SeriesEvaluator(int s) : s_(s) {}
  void Evaluate(Standard_Integer *, Standard_Real[2], Standard_Real *t, Standard_Integer *order, Standard_Real *out,
                Standard_Integer *error) override {
    int rc = 0;
    BSpocvlgder(kDegree, kDim, span(s_), *order, *t, out, &rc);
    *error = rc;
  }

 private:
  int s_;
};

double convert_occt(int s, bool check) {
  SeriesEvaluator f(s);
  Handle(TColStd_HArray1OfReal) none, tol3d = new TColStd_HArray1OfReal(1, 1, kTol);
  AdvApprox_ApproxAFunction approx(0, 0, 1, none, none, tol3d, -1, 1, GeomAbs_C1, 3, 10000, f);
  benchmark::DoNotOptimize(approx.HasResult());
  if (!check) return 0;
  if (!approx.HasResult()) return INFINITY;
  TColgp_Array1OfPnt poles(1, approx.NbPoles());
  approx.Poles(1, poles);
  Handle(Geom_BSplineCurve) cv =
      new Geom_BSplineCurve(poles, approx.Knots()->Array1(), approx.Multiplicities()->Array1(), approx.Degree());
  return deviation(s, [&](double t, double *p) {
    const gp_Pnt P = cv->Value(t);
    p[0] = P.X(), p[1] = P.Y(), p[2] = P.Z();
  });
}

void Register(const char *contender, double (*convert)(int, bool)) {
  bench::Contender("legendre_to_bspline", "degree24_to_cubic_within_1e-6", contender, bench::Sizes({5, 50, 500}),
                   "spans", [convert](int count) {
                     double worst = 0;
                     for (int s = 0; s < count; ++s) {
                       const double dev = convert(s, true);
                       worst = std::isnan(dev) || dev > worst ? dev : worst;
                     }
                     return bench::Checked(std::isnan(worst) ? INFINITY : worst, 2 * kTol, [convert, count] {
                       for (int s = 0; s < count; ++s) convert(s, false);
                     }, "a spline strays from its series");
                   });
}

const bool registered = [] {
  bench::Describe("legendre_to_bspline",
                  "Random Legendre spans of degree 24 in three coordinates, coefficients decaying as a smooth "
                  "curve's, turned into cubic B-splines within 1e-6; size: spans. OpenCASCADE approximates the "
                  "series as a function by Jacobi polynomials on adaptively cut intervals, reaching continuity 1 "
                  "only with cubic pieces. Every spline is checked against its series at 200 parameters, to twice "
                  "the tolerance.");
  Register("ours", convert_ours);
  Register("occt_AdvApprox_ApproxAFunction", convert_occt);
  return true;
}();

}  // namespace
