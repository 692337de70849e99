// Points and first derivatives of curves with 60 poles at 10^5 random parameters: ours beside SISL, OpenCASCADE
// and a plain de Boor triangle written here as the reference for what the plain algorithm costs. One row per
// order (2, 3, 4, 6) and one for a rational cubic. Each contender's answers are checked against ours before it is
// timed (a disagreement fails its benchmark); its largest deviation from ours is reported beside its rate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/bspline/oracle/peer_curves.h"

namespace {

constexpr int kParams = 100000;

struct Row {
  const char *name;
  int order;
  bool rational;
};
constexpr Row kRows[] = {
    {"order2", 2, false}, {"order3", 3, false}, {"order4", 4, false}, {"order6", 6, false}, {"rational_order4", 4, true},
};
constexpr int kRowCount = sizeof kRows / sizeof kRows[0];

struct Fixture {
  std::unique_ptr<TestCurve> curve;
  std::vector<double> params;
  std::vector<double> ours;  // 6 per parameter
  explicit Fixture(const Row &row) {
    std::mt19937 rng(60 + row.order + (row.rational ? 100 : 0));
    curve = random_curve(rng, row.order, 60, row.rational, true);
    std::uniform_real_distribution<double> ud(curve->start(), curve->end());
    params.resize(kParams);
    for (double &u : params) u = ud(rng);
    ours.resize(6 * kParams);
    // The answers of the general road (every call takes it while a fault handler is installed), so that the
    // row of ours shows how far its shortcut strays from them.
    BSsetfaulthook([](const char *, int *) {});
    for (int i = 0; i < kParams; ++i) {
      int rc = 0;
      BScveval_n(&curve->cv, params[i], 1, &ours[6 * i], &rc);
      if (rc != 0) ours[6 * i] = NAN;
    }
    BSsetfaulthook(nullptr);
  }
};

const Fixture &fixture(int row) {
  static std::unique_ptr<Fixture> fixtures[kRowCount];
  if (!fixtures[row]) fixtures[row] = std::make_unique<Fixture>(kRows[row]);
  return *fixtures[row];
}

// The largest deviation from ours, each value relative to the largest magnitude (at least 1) of its row.
double deviation(int row, const std::vector<double> &theirs) {
  const auto &ours = fixture(row).ours;
  double worst = 0.0;
  for (int i = 0; i < kParams; ++i)
    for (int r = 0; r < 2; ++r) {
      double scale = 1;
      for (int k = 0; k < 3; ++k) scale = std::max(scale, std::fabs(ours[6 * i + 3 * r + k]));
      for (int k = 0; k < 3; ++k) {
        const double d = std::fabs(theirs[6 * i + 3 * r + k] - ours[6 * i + 3 * r + k]) / scale;
        worst = d > worst || std::isnan(d) ? d : worst;
      }
    }
  return worst;
}

// Runs a contender once, checks its answers, then times it.
template <class Run>
void time_checked(benchmark::State &state, int row, std::vector<double> &out, Run run) {
  run();
  const double worst = deviation(row, out);
  if (!(worst <= 1e-12)) {
    state.SkipWithError(("disagrees with ours by " + std::to_string(worst)).c_str());
    return;
  }
  for (auto _ : state) {
    run();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["evaluations/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kParams, benchmark::Counter::kIsRate);
  state.counters["max_deviation"] = worst;
}

// The plain de Boor triangle: the span by binary search (t[s] <= u < t[s+1]), the homogeneous poles of the span
// raised to level p-1, whose two points give the derivative, and one more level the point; a rational curve
// then by the quotient rule.
void deboor_d1(const TestCurve &c, double u, double out[6]) {
  const int k = c.order(), p = k - 1, n = c.n(), dim = c.weights.empty() ? 3 : 4;
  const double *t = c.knots.data();
  const int s = static_cast<int>(std::upper_bound(t + k, t + n, u) - t) - 1;
  double q[16][4];
  for (int i = 0; i <= p; ++i) {
    const int P = s - p + i;
    for (int d = 0; d < 3; ++d) q[i][d] = c.poles[3 * P + d];
    if (dim == 4) q[i][3] = c.weights[P];
  }
  for (int r = 1; r < p; ++r)
    for (int i = p; i >= r; --i) {
      const int P = s - p + i;
      const double a = (u - t[P]) / (t[P + k - r] - t[P]);
      for (int d = 0; d < dim; ++d) q[i][d] = (1.0 - a) * q[i - 1][d] + a * q[i][d];
    }
  const double h = t[s + 1] - t[s], a = (u - t[s]) / h;
  double A[4], D[4];
  for (int d = 0; d < dim; ++d) {
    D[d] = p * (q[p][d] - q[p - 1][d]) / h;
    A[d] = (1.0 - a) * q[p - 1][d] + a * q[p][d];
  }
  const double w = dim == 4 ? A[3] : 1.0, w1 = dim == 4 ? D[3] : 0.0;
  for (int d = 0; d < 3; ++d) {
    out[d] = A[d] / w;
    out[3 + d] = (D[d] - out[d] * w1) / w;
  }
}

void run_ours(benchmark::State &state, int row) {
  const Fixture &f = fixture(row);
  std::vector<double> out(6 * kParams);
  time_checked(state, row, out, [&] {
    int rc = 0;
    for (int i = 0; i < kParams; ++i) BScveval_n(&f.curve->cv, f.params[i], 1, &out[6 * i], &rc);
  });
}

void run_deboor(benchmark::State &state, int row) {
  const Fixture &f = fixture(row);
  std::vector<double> out(6 * kParams);
  time_checked(state, row, out, [&] {
    for (int i = 0; i < kParams; ++i) deboor_d1(*f.curve, f.params[i], &out[6 * i]);
  });
}

void run_sisl(benchmark::State &state, int row) {
  const Fixture &f = fixture(row);
  SislCurve sc(*f.curve);
  std::vector<double> out(6 * kParams);
  time_checked(state, row, out, [&] {
    int ileft = 0, stat = 0;
    for (int i = 0; i < kParams; ++i) s1221(sc.cv, 1, f.params[i], &ileft, &out[6 * i], &stat);
  });
}

void run_occt(benchmark::State &state, int row) {
  const Fixture &f = fixture(row);
  OcctCurve oc(*f.curve);
  std::vector<double> out(6 * kParams);
  time_checked(state, row, out, [&] {
    gp_Pnt P;
    gp_Vec V;
    for (int i = 0; i < kParams; ++i) {
      oc.cv->D1(f.params[i], P, V);
      double *o = &out[6 * i];
      o[0] = P.X(), o[1] = P.Y(), o[2] = P.Z(), o[3] = V.X(), o[4] = V.Y(), o[5] = V.Z();
    }
  });
}

const bool registered = [] {
  for (int row = 0; row < kRowCount; ++row) {
    const std::string name = std::string(kRows[row].name) + "_60poles_point_d1/";
    benchmark::RegisterBenchmark((name + "ours").c_str(), run_ours, row)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "deboor_reference").c_str(), run_deboor, row)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "sisl_s1221").c_str(), run_sisl, row)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "occt_Geom_BSplineCurve_D1").c_str(), run_occt, row)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
