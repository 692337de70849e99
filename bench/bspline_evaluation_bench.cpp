// Points and first derivatives of a cubic with 60 poles at 10^5 parameters: ours beside SISL and OpenCASCADE.
// Each contender's answers are checked against ours before it is timed; a disagreement fails its benchmark.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/oracle/peer_curves.h"

namespace {

constexpr int kParams = 100000;

struct Fixture {
  std::unique_ptr<TestCurve> curve;
  std::vector<double> params;
  std::vector<double> ours;  // 6 per parameter
  Fixture() {
    std::mt19937 rng(60);
    curve = random_curve(rng, 4, 60, false, true);
    std::uniform_real_distribution<double> ud(curve->start(), curve->end());
    params.resize(kParams);
    for (double &u : params) u = ud(rng);
    ours.resize(6 * kParams);
    for (int i = 0; i < kParams; ++i) {
      int rc = 0;
      BScveval_n(&curve->cv, params[i], 1, &ours[6 * i], &rc);
    }
  }
};

const Fixture &fixture() {
  static const Fixture f;
  return f;
}

// True when every value agrees with ours to 1e-12 relative to its row.
bool agrees(const std::vector<double> &theirs) {
  const auto &ours = fixture().ours;
  for (int i = 0; i < kParams; ++i)
    for (int row = 0; row < 2; ++row) {
      double scale = 1;
      for (int k = 0; k < 3; ++k) scale = std::max(scale, std::fabs(ours[6 * i + 3 * row + k]));
      for (int k = 0; k < 3; ++k)
        if (std::fabs(theirs[6 * i + 3 * row + k] - ours[6 * i + 3 * row + k]) > 1e-12 * scale) return false;
    }
  return true;
}

// Runs a contender once, checks its answers, then times it.
template <class Run>
void time_checked(benchmark::State &state, std::vector<double> &out, Run run, const char *disagreement) {
  run();
  if (!agrees(out)) {
    state.SkipWithError(disagreement);
    return;
  }
  for (auto _ : state) {
    run();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["evaluations/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kParams, benchmark::Counter::kIsRate);
}

void sisl_points(const SislCurve &sc, std::vector<double> &out) {
  int ileft = 0, stat = 0;
  for (int i = 0; i < kParams; ++i) s1221(sc.cv, 1, fixture().params[i], &ileft, &out[6 * i], &stat);
}

void BM_Ours(benchmark::State &state) {
  const Fixture &f = fixture();
  // Ours against SISL first: every other contender is checked against ours.
  SislCurve sc(*f.curve);
  std::vector<double> out(6 * kParams);
  sisl_points(sc, out);
  if (!agrees(out)) {
    state.SkipWithError("ours disagrees with SISL");
    return;
  }
  time_checked(
      state, out,
      [&] {
        int rc = 0;
        for (int i = 0; i < kParams; ++i) BScveval_n(&f.curve->cv, f.params[i], 1, &out[6 * i], &rc);
      },
      "ours is not repeatable");
}

void BM_Sisl(benchmark::State &state) {
  SislCurve sc(*fixture().curve);
  std::vector<double> out(6 * kParams);
  time_checked(state, out, [&] { sisl_points(sc, out); }, "SISL s1221 disagrees with ours");
}

void BM_OpenCascade(benchmark::State &state) {
  const Fixture &f = fixture();
  OcctCurve oc(*f.curve);
  std::vector<double> out(6 * kParams);
  time_checked(
      state, out,
      [&] {
        gp_Pnt P;
        gp_Vec V;
        for (int i = 0; i < kParams; ++i) {
          oc.cv->D1(f.params[i], P, V);
          double *o = &out[6 * i];
          o[0] = P.X(), o[1] = P.Y(), o[2] = P.Z(), o[3] = V.X(), o[4] = V.Y(), o[5] = V.Z();
        }
      },
      "Geom_BSplineCurve::D1 disagrees with ours");
}

BENCHMARK(BM_Ours)->Name("cubic60_point_d1/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sisl)->Name("cubic60_point_d1/sisl_s1221")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCascade)->Name("cubic60_point_d1/occt_Geom_BSplineCurve_D1")->Unit(benchmark::kMillisecond);

}  // namespace
