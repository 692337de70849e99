// Crossings of two planar cubic Bezier spans on the random pairs of the oracle test (transversal crossings well
// apart): ours beside OpenCASCADE's curve intersection and SISL's. Each answer, the number of crossings plus the
// sum of their parameters on both spans, is checked against the peers' agreed crossings before it is timed.
// Likewise the whole intersection of two spans (cubics, segments and arcs, sharing ends or overlapping, as in its
// oracle test) beside OpenCASCADE's.
#include <benchmark/benchmark.h>

#include "bench/bench_checks.h"
#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/bezier_pairs.h"
#include "tests/bspline/oracle/span_pairs.h"

namespace {

const std::vector<bzpairs::Pair>& ThePairs() {
  static const std::vector<bzpairs::Pair> pairs = bzpairs::MakePairs(240, 10000);
  return pairs;
}

double Reference() {
  double sum = 0;
  for (const bzpairs::Pair& q : ThePairs())
    for (const bzpairs::Crossing& c : q.want) sum += 1 + c.t1 + c.t2;
  return sum;
}

struct Spans {
  std::vector<std::unique_ptr<TestCurve>> a, b;
  Spans() {
    const std::vector<double> knots = {0, 0, 0, 0, 1, 1, 1, 1};
    for (const bzpairs::Pair& q : ThePairs()) {
      std::vector<double> pa, pb;
      for (int i = 0; i < 4; ++i) {
        pa.insert(pa.end(), {q.a[2 * i], q.a[2 * i + 1], 0});
        pb.insert(pb.end(), {q.b[2 * i], q.b[2 * i + 1], 0});
      }
      a.push_back(std::make_unique<TestCurve>(4, pa, knots));
      b.push_back(std::make_unique<TestCurve>(4, pb, knots));
    }
  }
};

double Ours(Spans& spans) {
  double sum = 0, pts[3 * BSXBZ_MAX_RESULTS], t1[BSXBZ_MAX_RESULTS], t2[BSXBZ_MAX_RESULTS];
  for (size_t i = 0; i < spans.a.size(); ++i) {
    std::int32_t n = 0;
    BSboolean tangent = 0;
    int rc = 0;
    BSxbzs4(&spans.a[i]->cv, &spans.b[i]->cv, &n, pts, t1, t2, &tangent, &rc);
    for (int k = 0; k < n; ++k) sum += 1 + t1[k] + t2[k];
  }
  return sum;
}

double Occt(const std::vector<Handle(Geom2d_BezierCurve)>& curves) {
  double sum = 0;
  bool segments = false;
  for (size_t i = 0; i + 1 < curves.size(); i += 2)
    for (const bzpairs::Crossing& c : bzpairs::Occt(curves[i], curves[i + 1], &segments))
      sum += 1 + c.t1 + c.t2;
  return sum;
}

double Sisl(const std::vector<SISLCurve*>& curves) {
  double sum = 0;
  bool segments = false;
  for (size_t i = 0; i + 1 < curves.size(); i += 2)
    for (const bzpairs::Crossing& c : bzpairs::Sisl(curves[i], curves[i + 1], &segments))
      sum += 1 + c.t1 + c.t2;
  return sum;
}

void BM_OursBezierPairs(benchmark::State& state) {
  static const double expected = Reference();
  static Spans spans;
  // At the default tolerances the crossing parameters are good to about 1e-6 (see the oracle test); the
  // peers' agreement is asked at finer ones.
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  TimeChecked(state, expected, 1e-6, [] { return Ours(spans); }, "ours is wrong");
  state.counters["pairs"] = static_cast<double>(ThePairs().size());
}

void BM_OcctBezierPairs(benchmark::State& state) {
  static const double expected = Reference();
  std::vector<Handle(Geom2d_BezierCurve)> curves;
  for (const bzpairs::Pair& q : ThePairs()) {
    curves.push_back(bzpairs::OcctBezier(q.a));
    curves.push_back(bzpairs::OcctBezier(q.b));
  }
  TimeChecked(state, expected, 1e-6, [&curves] { return Occt(curves); }, "OpenCASCADE is wrong");
}

void BM_SislBezierPairs(benchmark::State& state) {
  static const double expected = Reference();
  std::vector<SISLCurve*> curves;
  for (const bzpairs::Pair& q : ThePairs()) {
    curves.push_back(bzpairs::SislBezier(q.a));
    curves.push_back(bzpairs::SislBezier(q.b));
  }
  TimeChecked(state, expected, 1e-6, [&curves] { return Sisl(curves); }, "SISL is wrong");
  for (SISLCurve* c : curves) freeCurve(c);
}

const std::vector<spanpairs::Pair>& TheSpanPairs() {
  static const std::vector<spanpairs::Pair> pairs = spanpairs::MakePairs(82, 4000);
  return pairs;
}

double SpanReference() {
  double sum = 0;
  for (const spanpairs::Pair& q : TheSpanPairs())
    for (const spanpairs::Meeting& m : q.want) sum += 1 + m.t1 + m.t2;
  return sum;
}

void BM_OursSpanPairs(benchmark::State& state) {
  static const double expected = SpanReference();
  std::vector<std::unique_ptr<TestCurve>> a, b;
  for (const spanpairs::Pair& q : TheSpanPairs()) {
    a.push_back(spanpairs::OurSpan(q.a));
    b.push_back(spanpairs::OurSpan(q.b));
  }
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  auto run = [&] {
    double sum = 0, pts[3 * BSSPAN_RESULTS], t1[BSSPAN_RESULTS], t2[BSSPAN_RESULTS];
    for (size_t i = 0; i < a.size(); ++i) {
      int n = 0, rc = 0;
      BSboolean overlap = 0;
      BSbzbz_int(&a[i]->cv, &b[i]->cv, &n, pts, t1, t2, &overlap, &rc);
      for (int k = 0; k < n; ++k) sum += 1 + t1[k] + t2[k];
    }
    return sum;
  };
  TimeChecked(state, expected, 1e-6, run, "ours is wrong");
  state.counters["pairs"] = static_cast<double>(a.size());
}

void BM_OcctSpanPairs(benchmark::State& state) {
  static const double expected = SpanReference();
  std::vector<Handle(Geom2d_Curve)> curves;
  for (const spanpairs::Pair& q : TheSpanPairs()) {
    curves.push_back(spanpairs::OcctSpan(q.a));
    curves.push_back(spanpairs::OcctSpan(q.b));
  }
  auto run = [&curves] {
    double sum = 0;
    int segments = 0;
    for (size_t i = 0; i + 1 < curves.size(); i += 2)
      for (const spanpairs::Meeting& m : spanpairs::Occt(curves[i], curves[i + 1], &segments)) sum += 1 + m.t1 + m.t2;
    return sum;
  };
  TimeChecked(state, expected, 1e-6, run, "OpenCASCADE is wrong");
}

}  // namespace

BENCHMARK(BM_OursBezierPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OcctBezierPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SislBezierPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursSpanPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OcctSpanPairs)->Unit(benchmark::kMillisecond);
