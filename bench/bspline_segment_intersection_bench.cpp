// Segment against segment on 10^6 random planar pairs in general position: ours beside GEOS's segment
// intersection. Each answer, the number of crossings plus the sum of their coordinates, is checked against the
// crossings solved in long double before it is timed.
#include <benchmark/benchmark.h>

#include "bench/bench_checks.h"
#include "bspline/intersect.h"
#include "tests/bspline/oracle/segment_pairs.h"

namespace {

const std::vector<segpairs::Pair>& ThePairs() {
  static const std::vector<segpairs::Pair> pairs = segpairs::MakePairs(227, 1000000, false);
  return pairs;
}

// The pairs are well posed: a crossing lies inside both segments or clearly outside one.
double Reference() {
  long double sum = 0;
  for (const segpairs::Pair& q : ThePairs()) {
    const long double ax = q.a[3] - q.a[0], ay = q.a[4] - q.a[1], bx = q.b[3] - q.b[0], by = q.b[4] - q.b[1];
    const long double wx = q.b[0] - q.a[0], wy = q.b[1] - q.a[1], det = ax * by - ay * bx;
    const long double s = (wx * by - wy * bx) / det, t = (wx * ay - wy * ax) / det;
    if (s >= 0 && s <= 1 && t >= 0 && t <= 1) sum += 1 + (q.a[0] + s * ax) + (q.a[1] + s * ay);
  }
  return static_cast<double>(sum);
}

double Ours() {
  double sum = 0;
  for (segpairs::Pair q : ThePairs()) {
    double pts[6], t1[2], t2[2];
    int n = 0, rc = 0;
    BSxlnln(q.a, q.b, &n, pts, t1, t2, &rc);
    for (int k = 0; k < n; ++k) sum += 1 + pts[3 * k] + pts[3 * k + 1];
  }
  return sum;
}

double Geos(GEOSContextHandle_t ctx) {
  double sum = 0;
  for (const segpairs::Pair& q : ThePairs()) {
    double x, y;
    if (GEOSSegmentIntersection_r(ctx, q.a[0], q.a[1], q.a[3], q.a[4], q.b[0], q.b[1], q.b[3], q.b[4], &x, &y) == 1)
      sum += 1 + x + y;
  }
  return sum;
}

void BM_OursSegmentPairs(benchmark::State& state) {
  static const double expected = Reference();
  TimeChecked(state, expected, 1e-6, Ours, "ours is wrong");
  state.counters["pairs"] = static_cast<double>(ThePairs().size());
}

void BM_GeosSegmentPairs(benchmark::State& state) {
  static const double expected = Reference();
  GEOSContextHandle_t ctx = GEOS_init_r();
  TimeChecked(state, expected, 1e-6, [ctx] { return Geos(ctx); }, "GEOS is wrong");
  GEOS_finish_r(ctx);
}

}  // namespace

BENCHMARK(BM_OursSegmentPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeosSegmentPairs)->Unit(benchmark::kMillisecond);
