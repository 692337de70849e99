// Segment against segment on random planar pairs in general position: ours beside GEOS's segment intersection.
// Each answer, the number of crossings plus the sum of their coordinates, is checked against the crossings solved
// in long double before it is timed.
#include <type_traits>

#include "bench/bench_checks.h"
#include "bspline/intersect.h"
#include "tests/bspline/oracle/segment_pairs.h"

namespace {

using Pairs = std::vector<segpairs::Pair>;

std::shared_ptr<const Pairs> ThePairs(int count) {
  return bench::Once(count, [count] { return std::make_shared<const Pairs>(segpairs::MakePairs(227, count, false)); });
}

// The pairs are well posed: a crossing lies inside both segments or clearly outside one.
double Reference(const Pairs &pairs) {
  long double sum = 0;
  for (const segpairs::Pair &q : pairs) {
    const long double ax = q.a[3] - q.a[0], ay = q.a[4] - q.a[1], bx = q.b[3] - q.b[0], by = q.b[4] - q.b[1];
    const long double wx = q.b[0] - q.a[0], wy = q.b[1] - q.a[1], det = ax * by - ay * bx;
    const long double s = (wx * by - wy * bx) / det, t = (wx * ay - wy * ax) / det;
    if (s >= 0 && s <= 1 && t >= 0 && t <= 1) sum += 1 + (q.a[0] + s * ax) + (q.a[1] + s * ay);
  }
  return static_cast<double>(sum);
}

double Ours(const Pairs &pairs) {
  double sum = 0;
  for (segpairs::Pair q : pairs) {
    double pts[6], t1[2], t2[2];
    int n = 0, rc = 0;
    BSxlnln(q.a, q.b, &n, pts, t1, t2, &rc);
    for (int k = 0; k < n; ++k) sum += 1 + pts[3 * k] + pts[3 * k + 1];
  }
  return sum;
}

double Geos(GEOSContextHandle_t ctx, const Pairs &pairs) {
  double sum = 0;
  for (const segpairs::Pair &q : pairs) {
    double x, y;
    if (GEOSSegmentIntersection_r(ctx, q.a[0], q.a[1], q.a[3], q.a[4], q.b[0], q.b[1], q.b[3], q.b[4], &x, &y) == 1)
      sum += 1 + x + y;
  }
  return sum;
}

const std::vector<int> kSizes = bench::Sizes({10000, 100000, 1000000});

const bool registered = [] {
  bench::Describe("segment_intersection",
                  "Crossings of random planar segment pairs in general position; size: pairs. Each answer, the "
                  "number of crossings plus the sum of their coordinates, is checked against the crossings solved "
                  "in long double, to 1e-6 in all.");
  bench::Contender("segment_intersection", "general_position", "ours", kSizes, "pairs", [](int count) {
    const auto pairs = ThePairs(count);
    return bench::CheckedValue(Reference(*pairs), 1e-6, [pairs] { return Ours(*pairs); }, "the crossings are wrong");
  });
  bench::Contender("segment_intersection", "general_position", "geos_GEOSSegmentIntersection", kSizes, "pairs",
                   [](int count) {
                     const auto pairs = ThePairs(count);
                     std::shared_ptr<std::remove_pointer_t<GEOSContextHandle_t>> ctx(GEOS_init_r(), GEOS_finish_r);
                     return bench::CheckedValue(Reference(*pairs), 1e-6, [pairs, ctx] { return Geos(ctx.get(), *pairs); },
                                                "the crossings are wrong");
                   });
  return true;
}();

}  // namespace
