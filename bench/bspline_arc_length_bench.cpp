// Arc length at an accuracy of 1e-8 of a cubic with 60 poles and of a full rational circle: ours beside SISL
// (s1240) and OpenCASCADE (GCPnts_AbscissaPoint::Length). Each contender's length is checked before it is timed
// (the circle against 2 pi r, the cubic against a brute-force quadrature); a wrong length fails its benchmark.
#include <benchmark/benchmark.h>

#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAdaptor_Curve.hxx>

#include <cmath>
#include <functional>
#include <memory>
#include <random>

#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

constexpr double kTol = 1e-8;
constexpr double kRadius = 7.5;

struct Case {
  std::unique_ptr<TestCurve> curve;
  double exact;
};

const Case &cubic() {
  static const Case c = [] {
    std::mt19937 rng(60);
    Case k{random_curve(rng, 4, 60, false, true), 0};
    k.exact = reference_length(k.curve->cv, k.curve->start(), k.curve->end(), 256);
    return k;
  }();
  return c;
}

const Case &circle() {
  static const Case c{circular_arc(kRadius, 0.3, 2 * M_PI, 4, 1, 2, 3), 2 * M_PI * kRadius};
  return c;
}

// Runs a contender once, checks its length against the reference within `slack` (relative), then times it.
void time_checked(benchmark::State &state, const Case &k, double slack, const std::function<double()> &run,
                  const char *wrong) {
  const double first = run();
  if (!(std::fabs(first - k.exact) <= slack * k.exact)) {
    state.SkipWithError(wrong);
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(run());
  state.counters["error"] = std::fabs(first - k.exact);
}

// Ours measures the whole curve with an absolute accuracy of kTol.
double ours(const Case &k) {
  double len = 0;
  int rc = 0;
  if (k.curve->cv.rational)
    BSarclg4ds(&k.curve->cv, kTol, &len, &rc);
  else
    BSarclg3ds(&k.curve->cv, kTol, &len, &rc);
  return rc == 0 ? len : -1;
}

void BM_Ours(benchmark::State &state, const Case *k) {
  time_checked(state, *k, kTol, [k] { return ours(*k); }, "ours is wrong");
}

void BM_Sisl(benchmark::State &state, const Case *k) {
  SislCurve sc(*k->curve);
  // s1240 refines the control polygon to a resolution; at 1e-8 it comes within a few 1e-8 of the length.
  time_checked(
      state, *k, 3 * kTol,
      [&sc] {
        double len = 0;
        int stat = 0;
        s1240(sc.cv, kTol, &len, &stat);
        return stat >= 0 ? len : -1;
      },
      "SISL s1240 is wrong");
}

void BM_OpenCascade(benchmark::State &state, const Case *k) {
  OcctCurve oc(*k->curve);
  GeomAdaptor_Curve ad(oc.cv);
  const double a = k->curve->start(), b = k->curve->end();
  time_checked(
      state, *k, kTol, [&] { return GCPnts_AbscissaPoint::Length(ad, a, b, kTol); },
      "GCPnts_AbscissaPoint::Length is wrong");
}

BENCHMARK_CAPTURE(BM_Ours, cubic60, &cubic())->Name("arclength_cubic60/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Sisl, cubic60, &cubic())->Name("arclength_cubic60/sisl_s1240")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OpenCascade, cubic60, &cubic())
    ->Name("arclength_cubic60/occt_GCPnts_AbscissaPoint")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ours, circle, &circle())->Name("arclength_circle/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Sisl, circle, &circle())->Name("arclength_circle/sisl_s1240")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OpenCascade, circle, &circle())
    ->Name("arclength_circle/occt_GCPnts_AbscissaPoint")
    ->Unit(benchmark::kMicrosecond);

}  // namespace
