// A three-component Legendre series of degree 20 evaluated at many parameters: ours (BSpocurvlgd, Clenshaw's
// recurrence) beside sums over GSL's gsl_sf_legendre_Pl_array. Every contender's values are checked against a
// long double sum before it is timed.
#include <gsl/gsl_sf_legendre.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/legendre.h"

namespace {

constexpr int kCount = 1000000;  // parameters drawn; a size takes the first of them
constexpr int kDegree = 20;
constexpr int kDim = 3;

struct Data {
  std::vector<double> coef, t;
  double scale = 0;  // sum of |coefficients|: |P_k| <= 1 bounds every term
};

const Data &data() {
  static const Data d = [] {
    Data r;
    std::mt19937 rng(40);
    std::uniform_real_distribution<double> u(-1, 1);
    r.coef.resize(kDim * (kDegree + 1));
    for (double &c : r.coef) {
      c = u(rng);
      r.scale += std::fabs(c);
    }
    r.t.resize(kCount);
    for (double &t : r.t) t = u(rng);
    return r;
  }();
  return d;
}

using EvalFn = void (*)(double t, double *out);

void eval_ours(double t, double *out) {
  int rc = 0;
  BSpocurvlgd(kDegree, kDim, data().coef.data(), t, out, &rc);
  if (rc != 0)
    for (int c = 0; c < kDim; ++c) out[c] = NAN;
}

void eval_gsl(double t, double *out) {
  double P[kDegree + 1];
  gsl_sf_legendre_Pl_array(kDegree, t, P);
  const double *coef = data().coef.data();
  for (int c = 0; c < kDim; ++c) {
    double s = 0;
    for (int k = 0; k <= kDegree; ++k) s += coef[c * (kDegree + 1) + k] * P[k];
    out[c] = s;
  }
}

// The largest error of a contender over the first `count` parameters, relative to the sum of |coefficients|.
double Error(EvalFn fn, int count) {
  const Data &d = data();
  double worst = 0;
  for (int i = 0; i < count; ++i) {
    long double P[kDegree + 1];
    const long double t = d.t[i];
    P[0] = 1;
    P[1] = t;
    for (int k = 1; k < kDegree; ++k) P[k + 1] = ((2 * k + 1) * t * P[k] - k * P[k - 1]) / (k + 1);
    double out[kDim];
    fn(d.t[i], out);
    for (int c = 0; c < kDim; ++c) {
      long double want = 0;
      for (int k = 0; k <= kDegree; ++k) want += d.coef[c * (kDegree + 1) + k] * P[k];
      const double e = std::fabs(out[c] - static_cast<double>(want)) / d.scale;
      worst = std::isnan(e) || e > worst ? e : worst;
    }
  }
  return std::isnan(worst) ? INFINITY : worst;
}

void Register(const char *contender, EvalFn fn) {
  bench::Contender("legendre_series", "degree20_three_coordinates", contender, bench::Sizes({10000, 100000, 1000000}),
                   "parameters", [fn](int count) {
                     return bench::Checked(Error(fn, count), 1e-13, [fn, count] {
                       const Data &d = data();
                       double out[kDim];
                       for (int i = 0; i < count; ++i) {
                         fn(d.t[i], out);
                         benchmark::DoNotOptimize(out);
                       }
                     }, "a value is off");
                   });
}

const bool registered = [] {
  bench::Describe("legendre_series",
                  "A three-component Legendre series of degree 20 at random parameters in [-1, 1]; size: "
                  "parameters. Every value is checked against a long double sum to 1e-13 of the sum of the "
                  "coefficients' magnitudes.");
  Register("ours", eval_ours);
  Register("gsl_sf_legendre_Pl_array_sums", eval_gsl);
  return true;
}();

}  // namespace
