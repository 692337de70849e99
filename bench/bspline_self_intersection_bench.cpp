// Self-intersection of a cubic of 200 poles with nine loops (an interpolated offset of a wavy curve), ours
// beside OpenCASCADE's. Each answer, the number of crossings, is checked against OpenCASCADE's before it is timed.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/intersect.h"
#include "tests/bspline/oracle/looping_curves.h"

namespace {

TestCurve &Looping() {
  static const std::unique_ptr<TestCurve> c = [] {
    std::mt19937 rng(12);
    return loops::LoopingCubic(rng, 18, 198, 2.0);
  }();
  return *c;
}

double Ours() {
  TestCurve &c = Looping();
  int rc = 0, n_int = 0, n_over = 0;
  double *first = nullptr, *second = nullptr, *o[4] = {nullptr, nullptr, nullptr, nullptr};
  BScv_slfint(&rc, &c.cv, &n_int, &first, &second, &n_over, &o[0], &o[1], &o[2], &o[3]);
  for (double *p : {first, second, o[0], o[1], o[2], o[3]}) BSdbgfree(p);
  return rc == 0 ? n_int : -1;
}

double Occt() {
  bool segments = false;
  return static_cast<double>(loops::OcctSelfCrossings(Looping(), &segments).size() / 2);
}

void BM_OursLoops(benchmark::State &state) {
  state.counters["poles"] = Looping().n();
  state.counters["crossings"] = Occt();
  TimeChecked(state, Occt(), 0, Ours, "ours is wrong");
}
void BM_OcctLoops(benchmark::State &state) { TimeChecked(state, Ours(), 0, Occt, "OpenCASCADE is wrong"); }

}  // namespace

BENCHMARK(BM_OursLoops)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OcctLoops)->Unit(benchmark::kMicrosecond);
