// Perpendicular feet from a point to any record: the nearest foot, and every foot with the intervals of feet. On
// a well-formed curve an answer of rc 0 gives feet where the curve's tangent is perpendicular to the way to the
// point (or the point on an end, for the nearest foot); the nearest foot is no farther than any other foot, is
// found whenever a foot exists, and every foot that sampling shows is listed. Nothing leaks.
#include "bspline/core/test_support.h"
#include "bspline/distance.h"
#include "tests/fuzz/fuzz_oracles.h"

namespace {

// The perpendicular equation (C(u) - p) . C'(u) at u.
double equation(const VOQbsp_curve &cv, double u, const double p[3]) {
  double q[3], d[3];
  if (!fuzz::point_and_tangent(cv, u, q, d)) return std::numeric_limits<double>::quiet_NaN();
  return (q[0] - p[0]) * d[0] + (q[1] - p[1]) * d[1] + (q[2] - p[2]) * d[2];
}

// The largest speed of cv at samples of its range.
double top_speed(const VOQbsp_curve &cv) {
  double top = 0, q[3], d[3];
  for (int s = 0; s <= 32; ++s)
    if (fuzz::point_and_tangent(cv, fuzz::range_start(cv) + (fuzz::range_end(cv) - fuzz::range_start(cv)) * s / 32, q, d))
      top = std::fmax(top, std::hypot(d[0], d[1], d[2]));
  return top;
}

// Whether u is a foot from p: the point is at u within tol; or the perpendicular equation vanishes at u to the
// tolerance at the curve's top speed (where the curve slows to a stop a multiple root spreads, the equation small
// all over); or a root of it lies beside u (a change of sign across a bracket about u, up to the whole range)
// whose curve point is within tol of u's (where the curve turns back along its tangent a simple root is found
// only to a few digits, and where it crawls to a stop it barely moves between u and the root).
bool is_foot(const VOQbsp_curve &cv, double u, const double p[3], double tol) {
  if (fuzz::gap_at(cv, u, p) <= tol) return true;
  const double a = fuzz::range_start(cv), b = fuzz::range_end(cv), top = top_speed(cv);
  double q[3];
  if (!fuzz::point_at(cv, u, q)) return true;
  // A root between the hairs beside u (where the curve is smooth across u).
  const double hair = 1e-12 * (b - a + std::fabs(u));
  const double g_lo = equation(cv, std::fmax(u - hair, a), p), g_hi = equation(cv, std::fmin(u + hair, b), p);
  if (!fuzz::at_corner(cv, u) && (g_lo > 0) != (g_hi > 0)) return true;
  // One side at a time: at a corner each side has its own tangent, which a hair beside u gives.
  for (double side : {-1.0, 1.0}) {
    const double beside = std::clamp(u + side * hair, a, b), g = equation(cv, beside, p);
    // At the speed there too: the samples of top_speed can miss a short fast stretch (a span over a small knot
    // interval), and the equation a hair from a foot grows with the speed.
    double q_side[3], d_side[3], speed = 0;
    if (fuzz::point_and_tangent(cv, beside, q_side, d_side)) speed = std::hypot(d_side[0], d_side[1], d_side[2]);
    if (std::isnan(g) || std::fabs(g) <= tol * std::fmax(top, speed)) return true;
    // Or in the limit: where a side's tangent dies at a corner (two poles coincide past a multiple knot) the
    // equation goes to nought there but can still be large a hair away.
    const double ulp_beside = std::clamp(std::nextafter(u, side * HUGE_VAL), a, b), g_ulp = equation(cv, ulp_beside, p);
    if (std::isnan(g_ulp) || std::fabs(g_ulp) <= tol * std::fmax(top, speed)) return true;
    for (double h = b - a; h > 1e-15 * (b - a + std::fabs(u)); h /= 2) {
      double lo = beside, hi = std::clamp(u + side * h, a, b);
      double glo = g, ghi = equation(cv, hi, p);
      if (std::isnan(ghi) || (ghi > 0) == (glo > 0)) continue;
      for (int it = 0; it < 200 && lo != hi; ++it) {
        const double mid = 0.5 * (lo + hi), gm = equation(cv, mid, p);
        if (mid == lo || mid == hi || std::isnan(gm)) break;
        if ((gm > 0) == (glo > 0))
          lo = mid, glo = gm;
        else
          hi = mid;
      }
      // Within a few times tol: a high-order curve's foot comes to a few digits of its knot tolerance.
      if (fuzz::gap_at(cv, lo, q) <= 4 * tol) return true;
    }
  }
  // Or the curve crawls to a stop at an end within tol of u's point, and the equation is within the tolerance
  // there (it need not change sign on the way).
  for (double e : {a, b}) {
    const double g = equation(cv, e, p);
    if (fuzz::gap_at(cv, e, q) <= tol && (std::isnan(g) || std::fabs(g) <= tol * top)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::uint8_t opts = in.byte();
  const auto c = fuzz::read_curve(in, 24);
  double p[3];
  fuzz::read_point(in, p);
  if (!(opts & 0x20)) fuzz::flatten(*c), p[2] = 0;
  const bool sane = fuzz::sound(*c) && fuzz::finite(p, 3);
  const double scale = std::fmax(fuzz::scale_of(*c), std::fmax(std::fabs(p[0]), std::fmax(std::fabs(p[1]), std::fabs(p[2]))));
  const double tol = 10 * BStoltab[bstol::dist_tol] + 1e-9 * scale;
  // A curve that stays within the tolerance of one point over its range (its poles elsewhere) has no direction
  // to be perpendicular to: every parameter is as good a foot as any.
  const bool judged = sane && scale <= 1e6 && top_speed(c->cv) * (c->end() - c->start()) > tol;
  BStraceclear();
  const fuzz::BlockCount blocks;
  const double entry8 = BStoltab[8];
  const VOQbsp_curve &cv = c->cv;
  const std::vector<fuzz::Crossing> feet =
      judged ? fuzz::perpendicular_feet(cv, p, scale, 1e-3 * scale) : std::vector<fuzz::Crossing>{};
  if (std::getenv("FUZZ_DUMP"))
    for (const fuzz::Crossing &f : feet) std::fprintf(stderr, "  reference foot %.17g\n", f.s);

  BSboolean found = 7;
  double u = -777;
  int position = 99, rc = 0;
  BSperpa(&rc, &cv, p, p, &found, &u, &position);
  if (std::getenv("FUZZ_DUMP")) std::fprintf(stderr, "nearest: rc %d, found %d at %.17g (%d)\n", rc, found, u, position);
  FUZZ_CHECK(BStoltab[8] == entry8);
  if (rc == 0 && judged) {
    FUZZ_CHECK(found == BSTRUE || feet.empty());
    if (found) {
      FUZZ_CHECK(u >= c->start() && u <= c->end() && position >= -1 && position <= 1);
      FUZZ_CHECK(is_foot(cv, u, p, tol));
      const double d = fuzz::gap_at(cv, u, p);
      for (const fuzz::Crossing &f : feet) FUZZ_CHECK(d <= fuzz::dist3(f.p, p) + tol);
    }
  }

  {
    VOQbsp_curve copy = cv;
    std::int16_t n_par = -1, n_int = -1;
    double *params = nullptr, *intervals = nullptr;
    const BSboolean ok = BSnormals(&rc, &copy, p, &n_par, &params, &n_int, &intervals);
    const fuzz::HeapArray<double> own_params(params), own_intervals(intervals);
    if (std::getenv("FUZZ_DUMP")) {
      std::fprintf(stderr, "every foot: rc %d, %d feet, %d intervals\n", rc, n_par, n_int);
      for (int i = 0; i < n_par; ++i) std::fprintf(stderr, "  foot %.17g\n", params[i]);
    }
    FUZZ_CHECK(BStoltab[8] == entry8);
    FUZZ_CHECK((ok == BSTRUE) == (rc == 0));
    FUZZ_CHECK((n_par > 0) == (params != nullptr) && (n_int > 0) == (intervals != nullptr));
    if (rc == 0 && judged) {
      for (int i = 0; i < n_par; ++i) {
        FUZZ_CHECK(params[i] >= c->start() && params[i] <= c->end());
        if (std::getenv("FUZZ_DUMP") && !is_foot(cv, params[i], p, tol))
          std::fprintf(stderr, "  not a foot: %.17g, equation %g\n", params[i], equation(cv, params[i], p));
        FUZZ_CHECK(is_foot(cv, params[i], p, tol));
      }
      for (int i = 0; i < n_int; ++i) {
        FUZZ_CHECK(intervals[2 * i] <= intervals[2 * i + 1]);
        for (double f : {0.0, 0.5, 1.0})
          FUZZ_CHECK(is_foot(cv, intervals[2 * i] + f * (intervals[2 * i + 1] - intervals[2 * i]), p, tol));
      }
      for (const fuzz::Crossing &f : feet) {
        bool listed = false;
        for (int i = 0; i < n_par && !listed; ++i) listed = fuzz::gap_at(cv, params[i], f.p) <= 1e3 * tol;
        // A foot just past an interval's end (where the curve leaves a place it stood still at) is that end.
        for (int i = 0; i < n_int && !listed; ++i)
          listed = (f.s >= intervals[2 * i] && f.s <= intervals[2 * i + 1]) ||
                   fuzz::gap_at(cv, intervals[2 * i], f.p) <= 1e3 * tol ||
                   fuzz::gap_at(cv, intervals[2 * i + 1], f.p) <= 1e3 * tol;
        FUZZ_CHECK(listed);
      }
    }
  }
  FUZZ_CHECK(blocks.clean());
  return 0;
}
