// Nearest points of many points to a curve: to a random cubic (points that follow it) and to a rational full circle
// (points scattered around it). Ours one point at a time (the global branch-and-bound, each call on its own, the
// points in random order so that their order cannot help), and, on points in curve order, span by span (each point
// bounding the next) and through the curve-record service; beside OpenCASCADE's projection, SISL's extremal points
// (s1953) polished by s1774, both one point at a time with the curve's ends and knots added where their own answer
// may miss them, and SISL's s1957. Every contender's distance at every point is checked before it is timed.
#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "bench/bench_checks.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/peer_distance.h"

namespace {

// The curve and its points, in curve order (as made) and in random order (`shuffled`, a permutation of them).
struct Setup {
  std::unique_ptr<TestCurve> curve;
  std::unique_ptr<OcctCurve> occt;
  std::unique_ptr<SislCurve> sisl;
  std::vector<double> cm, pts, shuffled_pts;
  std::vector<int> shuffled;
  std::vector<double> reference;  // the nearest distance of each point (curve order)
  int np() const { return static_cast<int>(pts.size() / 3); }
};

// The distance from q to the curve sampled 64 times a span, the best sample polished by Newton steps (OpenCASCADE's
// evaluation), and both ends: the brute-force third opinion beside the two peers.
double BruteForce(const Setup &s, const double q[3]) {
  const Handle(Geom_BSplineCurve) &cv = s.occt->cv;
  const double a = cv->FirstParameter(), b = cv->LastParameter();
  const int samples = 64 * (s.curve->n() - s.curve->order() + 1);
  const gp_Pnt p(q[0], q[1], q[2]);
  double best_u = a, best = p.SquareDistance(cv->Value(a));
  for (int i = 1; i <= samples; ++i) {
    const double u = a + (b - a) * i / samples, d = p.SquareDistance(cv->Value(u));
    if (d < best) best = d, best_u = u;
  }
  const double u = bench::NewtonFoot<gp_Pnt, gp_Vec>(*cv, p, best_u, a, b);
  return std::sqrt(std::min({best, p.SquareDistance(cv->Value(u)), p.SquareDistance(cv->Value(b))}));
}

std::shared_ptr<const Setup> Make(bool circle, int size) {
  return bench::Once(std::pair(circle, size), [circle, size] {
    auto s = std::make_shared<Setup>();
    std::mt19937 rng(2333);
    int np = size;
    if (circle) {
      const double r = std::sqrt(0.5);
      s->curve = std::make_unique<TestCurve>(
          3, std::vector<double>{1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, -1, 0, 0, -1, -1, 0, 0, -1, 0, 1, -1, 0, 1, 0, 0},
          std::vector<double>{0, 0, 0, .25, .25, .5, .5, .75, .75, 1, 1, 1},
          std::vector<double>{1, r, 1, r, 1, r, 1, r, 1});
      std::uniform_real_distribution<double> c(-3, 3);
      for (int i = 0; i < 3 * np; ++i) s->pts.push_back(c(rng));
    } else {
      np = 200;
      s->curve = random_curve(rng, 4, size, false, true);
      std::uniform_real_distribution<double> off(-0.5, 0.5);
      const TestCurve &c = *s->curve;
      for (int i = 0; i < np; ++i) {
        double q[3];
        ref_point(c, std::fmin(c.end(), c.start() + (c.end() - c.start()) * i / (np - 1)), q);
        for (double &v : q) v += off(rng);
        s->pts.insert(s->pts.end(), q, q + 3);
      }
    }
    s->cm = component_major(*s->curve);
    s->occt = std::make_unique<OcctCurve>(*s->curve);
    s->sisl = std::make_unique<SislCurve>(*s->curve);
    s->shuffled.resize(np);
    std::iota(s->shuffled.begin(), s->shuffled.end(), 0);
    std::shuffle(s->shuffled.begin(), s->shuffled.end(), rng);
    for (int i : s->shuffled) s->shuffled_pts.insert(s->shuffled_pts.end(), &s->pts[3 * i], &s->pts[3 * i + 3]);
    for (int i = 0; i < np; ++i) {
      const double *q = &s->pts[3 * i];
      s->reference.push_back(std::min({occt_nearest(*s->occt, q).dist, sisl_nearest(s->sisl->cv, q).dist,
                                       BruteForce(*s, q)}));
    }
    return std::shared_ptr<const Setup>(s);
  });
}

// A contender writes the distance of every point (curve order) into its vector.
using Nearest = void (*)(const Setup &, std::vector<double> &);

// Each point in random order, one call each.
template <class One>
void EachShuffled(const Setup &s, std::vector<double> &out, One one) {
  for (int k = 0; k < s.np(); ++k) out[s.shuffled[k]] = one(&s.shuffled_pts[3 * k]);
}

void OursOnePoint(const Setup &s, std::vector<double> &out) {
  const TestCurve &c = *s.curve;
  EachShuffled(s, out, [&](const double *q) {
    double bound = DBL_MAX, dist = DBL_MAX, par = 0, pt[3];
    int rc = 0;
    BSmdptbscv(c.order() - 1, c.n(), 3, c.cv.rational, s.cm.data(), c.knots.data(), 1, q, 1e-10, &bound, &dist,
               &bound, &dist, &par, pt, &rc);
    return rc == 0 ? dist : NAN;
  });
}

void OursSpanBySpan(const Setup &s, std::vector<double> &out) {
  const TestCurve &c = *s.curve;
  std::vector<double> pt(3 * s.np()), par(s.np());
  int rc = 0;
  BSmdptsbscv(c.order() - 1, c.n(), 3, c.cv.rational, s.cm.data(), c.knots.data(), s.np(), s.pts.data(), 1e-10,
              out.data(), pt.data(), par.data(), &rc);
  if (rc != 0) out.assign(out.size(), NAN);
}

// At the distance tolerance the peers' answers need (at its default of 1e-6 it strays by up to 4e-7).
void OursRecord(const Setup &s, std::vector<double> &out) {
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  std::vector<double> base(3 * s.np()), par(s.np());
  BSboolean on = 0;
  int rc = 0;
  BSmdstptscv(s.np(), s.pts.data(), &s.curve->cv, par.data(), base.data(), out.data(), &on, &rc);
  if (rc != 0) out.assign(out.size(), NAN);
}

void Occt(const Setup &s, std::vector<double> &out) {
  EachShuffled(s, out, [&](const double *q) { return occt_nearest(*s.occt, q).dist; });
}

void SislExtremal(const Setup &s, std::vector<double> &out) {
  EachShuffled(s, out, [&](const double *q) { return sisl_nearest(s.sisl->cv, q).dist; });
}

void SislS1957(const Setup &s, std::vector<double> &out) {
  EachShuffled(s, out, [&](const double *q) {
    double par = 0, dist = 0;
    int stat = 0;
    s1957(s.sisl->cv, const_cast<double *>(q), 3, 1e-12, 1e-12, &par, &dist, &stat);
    return stat < 0 ? NAN : dist;
  });
}

void Register(const char *row, bool circle, const char *contender, Nearest run) {
  const std::vector<int> sizes = circle ? bench::Sizes({100, 1000, 10000}) : bench::Sizes({10, 100, 1000});
  bench::Contender("point_distance", row, contender, sizes, circle ? "points" : "poles", [circle, run](int size) {
    const auto s = Make(circle, size);
    auto out = std::make_shared<std::vector<double>>(s->np());
    run(*s, *out);
    double worst = 0;
    for (int i = 0; i < s->np(); ++i) {
      const double e = std::fabs((*out)[i] - s->reference[i]);
      worst = std::isnan(e) || e > worst ? e : worst;
    }
    bench::Ready r = bench::Checked(std::isnan(worst) ? INFINITY : worst, 1e-8, [s, run, out] {
      run(*s, *out);
      benchmark::DoNotOptimize(out->data());
    }, "a distance differs from the nearest known");
    r.counters["points"] = s->np();
    return r;
  });
}

const bool registered = [] {
  bench::Describe("point_distance",
                  "Nearest points: 200 points within 0.5 of a random cubic (size: poles), and points scattered "
                  "around a rational full circle (size: points). `ours_one_point_at_a_time` makes one call per "
                  "point, the points in random order; the span-by-span and record-service rows take them in curve "
                  "order, each point bounding the next. Ours is asked for a distance tolerance of 1e-10 (the record "
                  "service, at its default of 1e-6, strays by up to 4e-7). The peers go one point at a time in random order, "
                  "OpenCASCADE's projection and SISL's s1953 + s1774 with the curve's ends and knots added. Every "
                  "distance is checked to 1e-8 against the nearest that OpenCASCADE, SISL or a dense sampling "
                  "polished by Newton steps finds; SISL's s1957, a local search, misses most of them, and "
                  "OpenCASCADE's projection misses the nearest foot of a point on the 10-pole cubic.");
  for (const bool circle : {false, true}) {
    const char *row = circle ? "circle" : "cubic";
    Register(row, circle, "ours_one_point_at_a_time", OursOnePoint);
    if (!circle) Register(row, circle, "ours_span_by_span_points_in_curve_order", OursSpanBySpan);
    Register(row, circle,
             circle ? "ours_record_service_at_dist_tol_1e-10" : "ours_record_service_at_dist_tol_1e-10_points_in_curve_order",
             OursRecord);
    Register(row, circle, "occt_GeomAPI_ProjectPointOnCurve", Occt);
    Register(row, circle, "sisl_s1953_s1774", SislExtremal);
    Register(row, circle, "sisl_s1957", SislS1957);
  }
  return true;
}();

}  // namespace
