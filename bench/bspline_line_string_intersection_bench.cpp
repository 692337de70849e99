// Line string against line string: 1,000 segments against 10,000 with a few hundred crossings, ours beside GEOS's
// intersection of the two. Each answer, the number of crossing points, is checked against a count of the
// crossing segment pairs by exact orientation tests before it is timed.
#include <benchmark/benchmark.h>
#include <geos_c.h>

#include <cmath>
#include <random>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/intersect.h"

namespace {

struct Strings {
  std::vector<double> a, b, ka, kb;
  VOQbsp_curve ca{}, cb{};
};

// x-monotone strings over [0, 1000]: a slow wave of amplitude 10 and a noisy one within 0.5 of the axis.
void Fill(std::mt19937 &rng, int segments, double amplitude, double noise, std::vector<double> &p,
          std::vector<double> &k, VOQbsp_curve &cv) {
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i <= segments; ++i) {
    const double x = 1000.0 * i / segments;
    p.insert(p.end(), {x, amplitude * std::sin(x * 0.9) + noise * u(rng), 0});
    k.push_back(i);
  }
  k.insert(k.begin(), 0);
  k.push_back(segments);
  cv.order = 2, cv.num_poles = segments + 1, cv.poles = p.data(), cv.num_knots = segments + 3, cv.knots = k.data();
}

const Strings &TheStrings() {
  static const Strings *s = [] {
    auto *t = new Strings;
    std::mt19937 rng(111);
    Fill(rng, 1000, 10, 0.1, t->a, t->ka, t->ca);
    Fill(rng, 10000, 0, 0.5, t->b, t->kb, t->cb);
    return t;
  }();
  return *s;
}

long double Orient(const double *o, const double *a, const double *b) {
  return (static_cast<long double>(a[0]) - o[0]) * (static_cast<long double>(b[1]) - o[1]) -
         (static_cast<long double>(a[1]) - o[1]) * (static_cast<long double>(b[0]) - o[0]);
}

// Random coordinates: no crossing falls on a vertex.
double Reference() {
  const Strings &s = TheStrings();
  long count = 0;
  for (std::size_t i = 0; i + 3 < s.a.size(); i += 3)
    for (std::size_t j = 0; j + 3 < s.b.size(); j += 3) {
      const double *p = &s.a[i], *q = &s.b[j];
      if (std::fmax(p[0], p[3]) < std::fmin(q[0], q[3]) || std::fmax(q[0], q[3]) < std::fmin(p[0], p[3])) continue;
      if ((Orient(p, p + 3, q) > 0) != (Orient(p, p + 3, q + 3) > 0) &&
          (Orient(q, q + 3, p) > 0) != (Orient(q, q + 3, p + 3) > 0))
        ++count;
    }
  return static_cast<double>(count);
}

double Ours() {
  const Strings &s = TheStrings();
  int n_int = 0, n_over = 0, rc = 0;
  BSboolean int_alloc = 0, over_alloc = 0;
  double *a[6] = {};
  BSlsls_int(&s.ca, &s.cb, BSFALSE, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &n_int, &n_over,
             &int_alloc, &over_alloc, &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &rc);
  for (double *p : a)
    if (p) BSdbgfree(p);
  return rc == 0 ? n_int : -1;
}

double Geos(GEOSContextHandle_t ctx) {
  const Strings &s = TheStrings();
  auto line = [ctx](const std::vector<double> &p) {
    const unsigned n = static_cast<unsigned>(p.size() / 3);
    GEOSCoordSequence *seq = GEOSCoordSeq_create_r(ctx, n, 2);
    for (unsigned i = 0; i < n; ++i) GEOSCoordSeq_setXY_r(ctx, seq, i, p[3 * i], p[3 * i + 1]);
    return GEOSGeom_createLineString_r(ctx, seq);
  };
  GEOSGeometry *a = line(s.a), *b = line(s.b), *x = GEOSIntersection_r(ctx, a, b);
  const double count = x ? GEOSGetNumGeometries_r(ctx, x) : -1;
  GEOSGeom_destroy_r(ctx, a);
  GEOSGeom_destroy_r(ctx, b);
  if (x) GEOSGeom_destroy_r(ctx, x);
  return count;
}

void BM_OursLineStrings(benchmark::State &state) {
  static const double expected = Reference();
  TimeChecked(state, expected, 0, Ours, "ours is wrong");
  state.counters["crossings"] = expected;
}

void BM_GeosLineStrings(benchmark::State &state) {
  static const double expected = Reference();
  GEOSContextHandle_t ctx = GEOS_init_r();
  TimeChecked(state, expected, 0, [ctx] { return Geos(ctx); }, "GEOS is wrong");
  GEOS_finish_r(ctx);
}

}  // namespace

BENCHMARK(BM_OursLineStrings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeosLineStrings)->Unit(benchmark::kMillisecond);
