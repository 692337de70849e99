// Curve against curve: a wavy cubic against a gently wavy cubic, and the wavy cubic against a line string of eight
// points per pole, both crossing it twice per wave; ours beside OpenCASCADE's curve intersection and SISL's. Each
// answer, the number of crossings plus the sum of their parameters on both curves, is checked before it is timed
// against crossings found without either peer (the peers lose crossings on long curves). Ours runs at a distance
// tolerance of 1e-10, as the peers' precision needs.
#include <algorithm>
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

// n poles on y(x), x over [0, n / 6), clamped uniform knots: six poles per unit of x (a wave of Waves) at every
// size.
std::unique_ptr<TestCurve> Along(int order, int n, double (*y)(double)) {
  std::vector<double> poles, knots(order, 0.0);
  for (int i = 0; i < n; ++i) {
    const double x = i / 6.0;
    poles.insert(poles.end(), {x, y(x), 0});
  }
  for (int i = 1; i <= n - order; ++i) knots.push_back(i);
  knots.insert(knots.end(), order, n - order + 1.0);
  return std::make_unique<TestCurve>(order, poles, knots);
}

double Waves(double x) { return 5 + 2 * std::sin(2 * kPi * x); }

struct Case {
  std::unique_ptr<TestCurve> a, b;
  SISLCurve *sa = nullptr, *sb = nullptr;
  Handle(Geom2d_BSplineCurve) oa, ob;
  double reference = 0;  // the number of crossings plus the sum of their parameters
  int crossings = 0;
  Case(std::unique_ptr<TestCurve> first, std::unique_ptr<TestCurve> second) : a(std::move(first)), b(std::move(second)) {
    sa = cvpairs::Sisl(*a), sb = cvpairs::Sisl(*b);
    oa = cvpairs::Occt(*a), ob = cvpairs::Occt(*b);
  }
  ~Case() {
    freeCurve(sa);
    freeCurve(sb);
  }
  Case(const Case &) = delete;
  Case &operator=(const Case &) = delete;
};

double Sum(const std::vector<cvpairs::Crossing> &xs) {
  double s = 0;
  for (const cvpairs::Crossing &c : xs) s += 1 + c.t1 + c.t2;
  return s;
}

double Sisl(const Case &c) {
  bool segments = false;
  return Sum(cvpairs::SislCrossings(c.sa, c.sb, &segments));
}

double Occt(const Case &c) {
  bool segments = false;
  return Sum(cvpairs::OcctCrossings(c.oa, c.ob, &segments));
}

double Ours(const Case &c) {
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  CallResults r(0, 0);
  r.cvcv(&c.a->cv, &c.b->cv, BSFALSE);
  double s = 0;
  for (int k = 0; k < r.n_int; ++k) s += 1 + r.par1()[k] + r.par2()[k];
  return r.rc == 0 ? s : NAN;
}

// Both curves run left to right, x rising with the parameter: a crossing is a sign change of y_a - y_b at the same
// x. Curve a is sampled 40 times a span, each change refined by bisection; b's parameter at an x by bisection too.
// Evaluation only, by OpenCASCADE: no contender's intersection takes part.
void FindCrossings(Case &c) {
  const double s0 = c.ob->FirstParameter(), s1 = c.ob->LastParameter();
  auto on_b = [&](double x, double lo) {  // b's parameter at x, at least lo
    double hi = s1;
    for (int i = 0; i < 60 && hi - lo > 1e-15 * (1 + std::fabs(hi)); ++i) {
      const double mid = 0.5 * (lo + hi);
      (c.ob->Value(mid).X() < x ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
  };
  double floor_b = s0;  // b's parameter only rises along a
  auto gap = [&](double t, double *s) {
    const gp_Pnt2d p = c.oa->Value(t);
    *s = on_b(p.X(), floor_b);
    return p.Y() - c.ob->Value(*s).Y();
  };
  const double t0 = c.oa->FirstParameter(), t1 = c.oa->LastParameter();
  const int samples = 40 * (c.a->n() - 3);
  double s = 0, previous_t = t0, previous = gap(t0, &s);
  for (int i = 1; i <= samples; ++i) {
    const double t = t0 + (t1 - t0) * i / samples, g = gap(t, &s);
    if ((g > 0) != (previous > 0)) {
      double lo = previous_t, hi = t, glo = previous, sm = s;
      for (int k = 0; k < 60 && hi - lo > 1e-15 * (1 + std::fabs(hi)); ++k) {
        const double mid = 0.5 * (lo + hi), gm = gap(mid, &sm);
        if ((gm > 0) == (glo > 0))
          lo = mid, glo = gm;
        else
          hi = mid;
      }
      const double tc = 0.5 * (lo + hi);
      gap(tc, &sm);
      c.reference += 1 + tc + sm;
      ++c.crossings;
    }
    floor_b = std::max(s0, s - 1.0);
    previous_t = t, previous = g;
  }
}

// The wavy cubic against a gently wavy cubic or a line string of eight points per pole.
std::shared_ptr<const Case> Make(bool string, int poles) {
  return bench::Once(std::pair(string, poles), [string, poles] {
    auto c = string ? std::make_shared<Case>(Along(4, poles, Waves), Along(2, 8 * poles, [](double x) {
                        return 4 + 0.5 * std::sin(0.3 * x) + 0.1 * std::sin(3 * x);
                      }))
                    : std::make_shared<Case>(Along(4, poles, Waves), Along(4, poles, [](double x) {
                        return 4.9 + 0.3 * std::sin(0.2 * x) + 0.05 * std::sin(x);
                      }));
    FindCrossings(*c);
    return std::shared_ptr<const Case>(c);
  });
}

void Register(const char *row, bool string, const char *contender, double (*run)(const Case &)) {
  bench::Contender("curve_intersection", row, contender, bench::Sizes({6, 60, 600}), "poles", [string, run](int poles) {
    const auto c = Make(string, poles);
    bench::Ready r = bench::CheckedValue(c->reference, 1e-6, [c, run] { return run(*c); }, "the crossings are wrong");
    r.counters["crossings"] = c->crossings;
    return r;
  }, benchmark::kMicrosecond);
}

const bool registered = [] {
  bench::Describe("curve_intersection",
                  "A cubic of ten waves per 60 poles against a gently wavy cubic of as many poles, and against a line "
                  "string of eight points per pole, each crossing it twice per wave; size: poles of the wavy cubic. "
                  "Each answer, the number of crossings plus the sum of their parameters, is checked to 1e-6 against "
                  "the sign changes of the height between the curves (both run left to right), found by bisection "
                  "without either peer. Ours runs at a distance tolerance of 1e-10, as the peers' precision needs.");
  for (const bool string : {false, true}) {
    const char *row = string ? "cubic_x_line_string" : "cubic_x_cubic";
    Register(row, string, "ours_at_dist_tol_1e-10", Ours);
    Register(row, string, "occt_Geom2dAPI_InterCurveCurve", Occt);
    Register(row, string, "sisl_s1857", Sisl);
  }
  return true;
}();

}  // namespace
