// Self-intersection of a looping cubic (an interpolated offset of a wavy curve, one loop per two waves): ours beside
// OpenCASCADE's. Each answer, the number of crossings, is checked before it is timed against the crossings GEOS's
// noding finds in a dense polyline of the curve (64 chords a span), which shares nothing with either contender.
#include <geos_c.h>

#include <algorithm>
#include <memory>
#include <random>
#include <type_traits>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/intersect.h"
#include "tests/bspline/oracle/looping_curves.h"

namespace {

struct Case {
  std::unique_ptr<TestCurve> curve;
  double crossings = 0;  // GEOS's count in the dense polyline
};

// The points of cv (z = 0) at `chords` + 1 even steps of its parameter, each by the definition (as ref_point) over
// the knots that bear on the span holding it: the same points, without a pass over the whole knot vector for each
// (which made the largest size's reference take minutes).
std::vector<double> DensePolyline(const TestCurve &cv, int chords) {
  const int k = cv.order(), n = cv.n();
  std::vector<double> xyz;
  int span = k - 1;
  for (int i = 0; i <= chords; ++i) {
    const double u = cv.start() + (cv.end() - cv.start()) * i / chords;
    while (span < n - 1 && !(u < cv.knots[span + 1])) ++span;
    const std::vector<double> local(cv.knots.begin() + (span - k + 1), cv.knots.begin() + (span + k + 1));
    const std::vector<double> basis = ref_basis_all(local, k, u, cv.end());
    double a[3] = {0, 0, 0}, w = 0;
    for (int j = 0; j < k; ++j) {
      const int pole = span - k + 1 + j;
      for (int c = 0; c < 3; ++c) a[c] += basis[j] * cv.poles[3 * pole + c];
      w += basis[j] * (cv.weights.empty() ? 1.0 : cv.weights[pole]);
    }
    xyz.insert(xyz.end(), {a[0] / w, a[1] / w, 0});
  }
  return xyz;
}

// About `poles` poles: poles - 2 samples through poles / 11 waves.
std::shared_ptr<const Case> Looping(int poles) {
  return bench::Once(poles, [poles] {
    auto c = std::make_shared<Case>();
    std::mt19937 rng(12);
    c->curve = loops::LoopingCubic(rng, std::max(1, (poles + 5) / 11), poles - 2, 2.0);
    const TestCurve &cv = *c->curve;
    std::shared_ptr<std::remove_pointer_t<GEOSContextHandle_t>> ctx(GEOS_init_r(), GEOS_finish_r);
    c->crossings = loops::GeosSelfCrossings(ctx.get(), *polyline_xyz(DensePolyline(cv, 64 * (cv.n() - cv.order() + 1))));
    return std::shared_ptr<const Case>(c);
  });
}

double Ours(const Case &c) {
  int rc = 0, n_int = 0, n_over = 0;
  double *first = nullptr, *second = nullptr, *o[4] = {nullptr, nullptr, nullptr, nullptr};
  BScv_slfint(&rc, &c.curve->cv, &n_int, &first, &second, &n_over, &o[0], &o[1], &o[2], &o[3]);
  for (double *p : {first, second, o[0], o[1], o[2], o[3]}) BSdbgfree(p);
  return rc == 0 ? n_int : NAN;
}

double Occt(const Case &c) {
  bool segments = false;
  return static_cast<double>(loops::OcctSelfCrossings(*c.curve, &segments).size() / 2);
}

void Register(const char *contender, double (*run)(const Case &)) {
  bench::Contender("self_intersection", "looping_cubic", contender, bench::Sizes({20, 200, 2000, 20000}), "poles",
                   [run](int poles) {
                     const auto c = Looping(poles);
                     bench::Ready r = bench::CheckedValue(c->crossings, 0, [c, run] { return run(*c); },
                                                          "the crossing count is wrong");
                     r.counters["crossings"] = c->crossings;
                     r.counters["poles"] = c->curve->n();
                     return r;
                   }, benchmark::kMicrosecond);
}

const bool registered = [] {
  bench::Describe("self_intersection",
                  "Self-crossings of a cubic interpolated through an offset of a wavy curve that loops once per two "
                  "waves; size: poles. Each answer, the number of crossings, is checked exactly against GEOS's "
                  "noding of a dense polyline of the curve (64 chords a span).");
  Register("ours", Ours);
  Register("occt_Geom2dAPI_InterCurveCurve", Occt);
  return true;
}();

}  // namespace
