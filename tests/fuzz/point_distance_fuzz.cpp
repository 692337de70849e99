// Nearest points of any record to a few points: the one-point and several-point services, the loose-array
// search and the list of every nearest point. On a well-formed curve an answer of rc 0 gives, for each point, a
// parameter in the range whose curve point is the base point given, at the distance given, and no curve point
// nearer than that (judged against a sampled bound); the on-curve flag says whether every point lies within twice
// the chord-height tolerance.
#include <cfloat>

#include "bspline/core/test_support.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

struct Judge {
  const TestCurve &c;
  double tol;  // the distance accuracy owed
  double scale;

  // One answer for point p: parameter, base point (may be null: then the curve's point at par) and distance.
  void nearest(const double *p, double par, const double *base, double dist) const {
    FUZZ_CHECK(par >= c.start() && par <= c.end());
    double q[3];
    FUZZ_CHECK(fuzz::point_at(c.cv, par, q));
    // At a jump the base point may be either side's.
    if (base) FUZZ_CHECK(fuzz::gap_at(c.cv, par, base) <= tol);
    FUZZ_CHECK(std::fabs(fuzz::dist3(p, base ? base : q) - dist) <= tol);
    const double bound = fuzz::sampled_distance(c.cv, p);
    if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "  %.17g at %.17g; sampled %.17g\n", dist, par, bound);
    FUZZ_CHECK(dist <= bound + tol);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const auto c = fuzz::read_curve(in, 24);
  const int npts = in.byte() % 4 + 1;
  std::vector<double> pts(3 * static_cast<std::size_t>(npts));
  for (double &x : pts) x = in.number();
  const bool sane = fuzz::sound(*c) && fuzz::finite(pts.data(), pts.size());
  double scale = fuzz::scale_of(*c);
  for (double x : pts) scale = std::fmax(scale, std::fabs(x));
  const bool judged = sane && scale <= 1e6;
  if (std::getenv("FUZZ_DUMP"))
    for (int i = 0; i < npts; ++i)
      std::fprintf(stderr, "point %d: %.17g %.17g %.17g\n", i, pts[3 * i], pts[3 * i + 1], pts[3 * i + 2]);
  const Judge judge{*c, 10 * BStoltab[bstol::dist_tol] + 1e-9 * scale, scale};
  BStraceclear();
  const fuzz::BlockCount blocks;
  const VOQbsp_curve &cv = c->cv;

  // One point.
  double par = -777, base[3], dist = -1;
  int rc = 0;
  BSmdstptcv(&cv, pts.data(), &par, base, &dist, &rc);
  if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "one point: rc %d\n", rc);
  if (rc == 0 && judged) judge.nearest(pts.data(), par, base, dist);

  // Several at once, by the one-point or the span-by-span body.
  std::vector<double> pars(npts, -777), bases(3 * static_cast<std::size_t>(npts)), dists(npts, -1);
  BSboolean on_curve = 7;
  BSmdstptscv(npts, pts.data(), &cv, pars.data(), bases.data(), dists.data(), &on_curve, &rc);
  if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "several: rc %d\n", rc);
  if (rc == 0 && judged) {
    bool all_on = true;
    for (int i = 0; i < npts; ++i) {
      judge.nearest(&pts[3 * i], pars[i], &bases[3 * i], dists[i]);
      all_on = all_on && dists[i] <= 2 * BStoltab[bstol::chrdht_tol];
    }
    FUZZ_CHECK(on_curve == (all_on ? BSTRUE : BSFALSE));
  }

  // The loose arrays, component by component, with no bound.
  if (c->order() >= 2 && c->n() >= c->order()) {
    const int n = c->n(), deg = c->order() - 1;
    std::vector<double> loose(static_cast<std::size_t>(n) * (3 + cv.rational));
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < 3; ++j) loose[j * n + i] = cv.poles[3 * i + j];
      if (cv.rational) loose[3 * n + i] = cv.weights[i];
    }
    std::vector<double> bound_in(npts, DBL_MAX), bound_out(npts), dist_in(npts, DBL_MAX), dist_out(npts),
        par_out(npts, -777), point_out(3 * static_cast<std::size_t>(npts));
    BSmdptbscv(deg, n, 3, cv.rational, loose.data(), c->knots.data(), npts, pts.data(), BStoltab[bstol::dist_tol],
               bound_in.data(), dist_in.data(), bound_out.data(), dist_out.data(), par_out.data(), point_out.data(),
               &rc);
    if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "loose: rc %d\n", rc);
    if (rc == 0 && judged)
      for (int i = 0; i < npts; ++i) {
        judge.nearest(&pts[3 * i], par_out[i], &point_out[3 * i], dist_out[i]);
        FUZZ_CHECK(bound_out[i] == std::fmin(bound_in[i], dist_out[i]));
      }
  }

  // Every nearest point of the first point: each listed parameter and interval at the least distance.
  {
    std::int16_t n_int = -1, n_par = -1;
    double *params = nullptr, *intervals = nullptr, min_dist = -1;
    VOQbsp_curve copy = cv;
    BSmdistptcv(&copy, pts.data(), &n_int, &n_par, &params, &min_dist, &intervals, &rc);
    const fuzz::HeapArray<double> own_params(params), own_intervals(intervals);
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "every nearest to (%.17g, %.17g, %.17g): rc %d, %.17g away, %d points, %d intervals, at", pts[0],
                   pts[1], pts[2], rc, min_dist, n_par, n_int);
      for (int i = 0; i < n_par; ++i) std::fprintf(stderr, " %.17g", params[i]);
      std::fprintf(stderr, "\n");
    }
    FUZZ_CHECK(n_par >= 0 && n_int >= 0);
    FUZZ_CHECK((n_par > 0) == (params != nullptr) && (n_int > 0) == (intervals != nullptr));
    if (rc != 0) FUZZ_CHECK(n_par == 0 && n_int == 0);
    if (rc == 0 && judged) {
      FUZZ_CHECK(n_par + n_int > 0);
      const double tol = judge.tol + BStoltab[bstol::dist_tol];
      FUZZ_CHECK(min_dist <= fuzz::sampled_distance(cv, pts.data()) + judge.tol);
      for (int i = 0; i < n_par; ++i) {
        FUZZ_CHECK(params[i] >= c->start() && params[i] <= c->end());
        if (i > 0) FUZZ_CHECK(params[i] > params[i - 1]);
        FUZZ_CHECK(std::fabs(fuzz::gap_at(cv, params[i], pts.data()) - min_dist) <= tol);
      }
      for (int i = 0; i < n_int; ++i) {
        FUZZ_CHECK(intervals[2 * i] <= intervals[2 * i + 1]);
        for (double f : {0.0, 0.5, 1.0}) {
          const double u = intervals[2 * i] + f * (intervals[2 * i + 1] - intervals[2 * i]);
          FUZZ_CHECK(std::fabs(fuzz::gap_at(cv, u, pts.data()) - min_dist) <= tol);
        }
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
