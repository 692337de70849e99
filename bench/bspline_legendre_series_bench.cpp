// A three-component Legendre series of degree 20 evaluated at 10^6 parameters: ours (BSpocurvlgd, Clenshaw's
// recurrence) beside sums over GSL's gsl_sf_legendre_Pl_array. Every contender's values are checked against a
// long double sum before it is timed; a wrong contender is reported, not timed.
#include <benchmark/benchmark.h>
#include <gsl/gsl_sf_legendre.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bspline/legendre.h"

namespace {

constexpr int kCount = 1000000;
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

bool values_ok(EvalFn fn, std::string *why) {
  const Data &d = data();
  for (int i = 0; i < kCount; ++i) {
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
      if (!(std::fabs(out[c] - static_cast<double>(want)) <= 1e-13 * d.scale)) {
        *why = "parameter " + std::to_string(i) + " component " + std::to_string(c) + " is off";
        return false;
      }
    }
  }
  return true;
}

void run(benchmark::State &state, EvalFn fn) {
  std::string why;
  if (!values_ok(fn, &why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  const Data &d = data();
  double out[kDim];
  for (auto _ : state)
    for (int i = 0; i < kCount; ++i) {
      fn(d.t[i], out);
      benchmark::DoNotOptimize(out);
    }
  state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_LegendreSeries_Degree20_Dim3_Ours(benchmark::State &state) { run(state, eval_ours); }
void BM_LegendreSeries_Degree20_Dim3_GSL(benchmark::State &state) { run(state, eval_gsl); }

}  // namespace

BENCHMARK(BM_LegendreSeries_Degree20_Dim3_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LegendreSeries_Degree20_Dim3_GSL)->Unit(benchmark::kMillisecond);
