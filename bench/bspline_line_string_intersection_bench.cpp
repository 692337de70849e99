// Line string against line string: a slow wave of n segments against a noisy string of 10 n segments along its
// axis, crossing it about once per three segments; ours beside GEOS's intersection of the two. Each answer, the number
// of meetings, is checked against a count of the crossing segment pairs by exact orientation tests before it is
// timed. A meeting is a crossing point or a stretch where two steep segments run within the distance tolerance of
// each other (ours reports such a stretch round a crossing as an overlap). Both strings are built beforehand.
#include <geos_c.h>

#include <cmath>
#include <random>
#include <type_traits>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/intersect.h"

namespace {

struct Strings {
  std::vector<double> a, b, ka, kb;
  VOQbsp_curve ca{}, cb{};
};

// An x-monotone string over [0, 1000]: a wave of the amplitude and frequency with noise.
void Fill(std::mt19937 &rng, int segments, double amplitude, double frequency, double noise, std::vector<double> &p,
          std::vector<double> &k, VOQbsp_curve &cv) {
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i <= segments; ++i) {
    const double x = 1000.0 * i / segments;
    p.insert(p.end(), {x, amplitude * std::sin(x * frequency) + noise * u(rng), 0});
    k.push_back(i);
  }
  k.insert(k.begin(), 0);
  k.push_back(segments);
  cv.order = 2, cv.num_poles = segments + 1, cv.poles = p.data(), cv.num_knots = segments + 3, cv.knots = k.data();
}

long double Orient(const double *o, const double *a, const double *b) {
  return (static_cast<long double>(a[0]) - o[0]) * (static_cast<long double>(b[1]) - o[1]) -
         (static_cast<long double>(a[1]) - o[1]) * (static_cast<long double>(b[0]) - o[0]);
}

// The crossing segment pairs, by a sweep along x (both strings run left to right). Random coordinates: no
// crossing falls on a vertex.
double Count(const Strings &s) {
  long count = 0;
  std::size_t first = 0;  // b's first segment that may still reach the current segment of a
  for (std::size_t i = 0; i + 3 < s.a.size(); i += 3) {
    const double *p = &s.a[i];
    while (first + 3 < s.b.size() && s.b[first + 3] < p[0]) first += 3;
    for (std::size_t j = first; j + 3 < s.b.size() && s.b[j] <= p[3]; j += 3) {
      const double *q = &s.b[j];
      if ((Orient(p, p + 3, q) > 0) != (Orient(p, p + 3, q + 3) > 0) &&
          (Orient(q, q + 3, p) > 0) != (Orient(q, q + 3, p + 3) > 0))
        ++count;
    }
  }
  return static_cast<double>(count);
}

std::shared_ptr<const Strings> Make(int segments) {
  return bench::Once(segments, [segments] {
    auto t = std::make_shared<Strings>();
    std::mt19937 rng(111);
    // As many waves as segments / 3.5, so that the crossings grow with the size.
    Fill(rng, segments, 10, 0.0009 * segments, 0.1, t->a, t->ka, t->ca);
    Fill(rng, 10 * segments, 0, 0, 0.5, t->b, t->kb, t->cb);
    return std::shared_ptr<const Strings>(t);
  });
}

double Ours(const Strings &s) {
  int n_int = 0, n_over = 0, rc = 0;
  BSboolean int_alloc = 0, over_alloc = 0;
  double *a[6] = {};
  BSlsls_int(&s.ca, &s.cb, BSFALSE, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &n_int, &n_over,
             &int_alloc, &over_alloc, &a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &rc);
  for (double *p : a)
    if (p) BSdbgfree(p);
  return rc == 0 ? n_int + n_over : NAN;
}

struct GeosStrings {
  std::shared_ptr<std::remove_pointer_t<GEOSContextHandle_t>> ctx{GEOS_init_r(), GEOS_finish_r};
  GEOSGeometry *a = nullptr, *b = nullptr;
  explicit GeosStrings(const Strings &s) {
    auto line = [this](const std::vector<double> &p) {
      const unsigned n = static_cast<unsigned>(p.size() / 3);
      GEOSCoordSequence *seq = GEOSCoordSeq_create_r(ctx.get(), n, 2);
      for (unsigned i = 0; i < n; ++i) GEOSCoordSeq_setXY_r(ctx.get(), seq, i, p[3 * i], p[3 * i + 1]);
      return GEOSGeom_createLineString_r(ctx.get(), seq);
    };
    a = line(s.a), b = line(s.b);
  }
  ~GeosStrings() {
    GEOSGeom_destroy_r(ctx.get(), a);
    GEOSGeom_destroy_r(ctx.get(), b);
  }
  GeosStrings(const GeosStrings &) = delete;
  GeosStrings &operator=(const GeosStrings &) = delete;
  double Crossings() const {
    GEOSGeometry *x = GEOSIntersection_r(ctx.get(), a, b);
    const double count = x ? GEOSGetNumGeometries_r(ctx.get(), x) : NAN;
    if (x) GEOSGeom_destroy_r(ctx.get(), x);
    return count;
  }
};

const std::vector<int> kSizes = bench::Sizes({100, 1000, 10000});
const char *const kRow = "wave_x_noisy_axis", *const kUnit = "segments_against_ten_times_as_many";

const bool registered = [] {
  bench::Describe("line_string_intersection",
                  "A slow wave of n segments against a noisy string of 10 n segments along its axis, both over the "
                  "same stretch; size: n. Each answer, the number of meetings (crossing points, and stretches where two "
                  "steep segments run within the distance tolerance, which ours reports as overlaps), is checked "
                  "exactly against the crossing segment pairs counted by orientation tests. Both strings are built "
                  "beforehand.");
  bench::Contender("line_string_intersection", kRow, "ours", kSizes, kUnit, [](int n) {
    const auto s = Make(n);
    bench::Ready r = bench::CheckedValue(Count(*s), 0, [s] { return Ours(*s); }, "the meeting count is wrong");
    r.counters["crossings"] = Count(*s);
    return r;
  });
  bench::Contender("line_string_intersection", kRow, "geos_GEOSIntersection", kSizes, kUnit, [](int n) {
    const auto s = Make(n);
    auto g = std::make_shared<GeosStrings>(*s);
    return bench::CheckedValue(Count(*s), 0, [g] { return g->Crossings(); }, "the meeting count is wrong");
  });
  return true;
}();

}  // namespace
