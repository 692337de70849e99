// Curve against curve: two cubics of 60 poles crossing 20 times, and a cubic against a line string of 500 points, ours
// beside OpenCASCADE's curve intersection and SISL's. Each answer, the number of crossings plus the sum of their
// parameters on both curves, is checked against SISL's before it is timed (SISL's against OpenCASCADE's).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/intersect.h"
#include "tests/bspline/intersection_call.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/curve_pairs.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// n poles over x in [0, 10] on y(x), clamped uniform knots.
std::unique_ptr<TestCurve> Along(int order, int n, double (*y)(double)) {
  std::vector<double> poles, knots(order, 0.0);
  for (int i = 0; i < n; ++i) {
    const double x = 10.0 * i / (n - 1);
    poles.insert(poles.end(), {x, y(x), 0});
  }
  for (int i = 1; i <= n - order; ++i) knots.push_back(i);
  knots.insert(knots.end(), order, n - order + 1.0);
  return std::make_unique<TestCurve>(order, poles, knots);
}

struct Case {
  std::unique_ptr<TestCurve> a, b;
};

// Ten waves against a gentle slope: twenty crossings; the same against a slightly wavy string.
const Case &Cubics() {
  static const Case c{Along(4, 60, [](double x) { return 5 + 2 * std::sin(2 * kPi * x); }),
                      Along(4, 60, [](double x) { return 4.9 + 0.02 * x + 0.05 * std::sin(x); })};
  return c;
}
const Case &CubicString() {
  static const Case c{Along(4, 60, [](double x) { return 5 + 2 * std::sin(2 * kPi * x); }),
                      Along(2, 500, [](double x) { return 4 + 0.2 * x + 0.1 * std::sin(3 * x); })};
  return c;
}

double Sum(const std::vector<cvpairs::Crossing> &xs) {
  double s = 0;
  for (const cvpairs::Crossing &c : xs) s += 1 + c.t1 + c.t2;
  return s;
}

double Ours(const Case &c) {
  CallResults r(0, 0);
  r.cvcv(&c.a->cv, &c.b->cv, BSFALSE);
  double s = 0;
  for (int k = 0; k < r.n_int; ++k) s += 1 + r.par1()[k] + r.par2()[k];
  return r.rc == 0 ? s : -1;
}

void Run(benchmark::State &state, const Case &c, int contender) {
  SISLCurve *s1 = cvpairs::Sisl(*c.a), *s2 = cvpairs::Sisl(*c.b);
  const Handle(Geom2d_BSplineCurve) o1 = cvpairs::Occt(*c.a), o2 = cvpairs::Occt(*c.b);
  bool segments = false;
  const std::vector<cvpairs::Crossing> found = cvpairs::SislCrossings(s1, s2, &segments);
  const double sisl = Sum(found), occt = Sum(cvpairs::OcctCrossings(o1, o2, &segments));
  state.counters["crossings"] = static_cast<double>(found.size());
  if (contender == 0) {
    // The peers' precision needs finer tolerances than the defaults.
    const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
    TimeChecked(
        state, sisl, 1e-6, [&c] { return Ours(c); }, "ours is wrong");
  } else if (contender == 1) {
    TimeChecked(
        state, sisl, 1e-6,
        [&] {
          bool seg = false;
          return Sum(cvpairs::OcctCrossings(o1, o2, &seg));
        },
        "OpenCASCADE is wrong");
  } else {
    TimeChecked(
        state, occt, 1e-6,
        [&] {
          bool seg = false;
          return Sum(cvpairs::SislCrossings(s1, s2, &seg));
        },
        "SISL is wrong");
  }
  freeCurve(s1);
  freeCurve(s2);
}

void BM_OursCubics(benchmark::State &state) { Run(state, Cubics(), 0); }
void BM_OcctCubics(benchmark::State &state) { Run(state, Cubics(), 1); }
void BM_SislCubics(benchmark::State &state) { Run(state, Cubics(), 2); }
void BM_OursCubicString(benchmark::State &state) { Run(state, CubicString(), 0); }
void BM_OcctCubicString(benchmark::State &state) { Run(state, CubicString(), 1); }
void BM_SislCubicString(benchmark::State &state) { Run(state, CubicString(), 2); }

}  // namespace

BENCHMARK(BM_OursCubics)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OcctCubics)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SislCubics)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursCubicString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OcctCubicString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SislCubicString)->Unit(benchmark::kMicrosecond);
