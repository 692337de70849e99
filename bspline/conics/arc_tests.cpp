// Whether a curve is a circular arc (by its control legs and centres of curvature, or by its radii of curvature
// at the nodes), the circle through three points, the circle description of an arc that the polyline extension
// keeps, and their two small steps: the angle of a point in a frame, and the first run of distinct poles.
//
// The pole-based tests read the end poles as the curve's ends, so an unclamped curve is tested through a clamped
// copy of itself.
#include "bspline/conics.h"

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"
#include "bspline/numerics.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

using bsmeasure::cross3;
using bsmeasure::dot3;

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kThreeHalvesPi = 4.71238898038469;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kSnap = 2.220446049250313e-15;
constexpr int kKindEndAngle = 6;
constexpr int kRcTooFlat = -5;  // BSprepcarc: no room for a middle pole

bool finite3(const double *v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

double norm3(const double v[3]) { return std::sqrt(dot3(v, v)); }

// Three points that the shape test of BSptlnplan would surely find neither coincident nor collinear, told without
// its singular value decomposition. Centred on their mean, three points have the squared singular values s1^2 >=
// s2^2 (and 0) whose product is 4/3 of the triangle's squared area and whose sum is their squared spread S, so
// s2^2 >= (4/3) area^2 / S; the test calls them collinear when s2 / sqrt(3) < dist_tol. The bound is held at
// four times that, and the spread below 1e20 dist_tol^2, so that neither rounding here nor the decomposition's
// own (about 1e-15 s1 on s2) can reach it. Under a test hook the test itself runs, which must see every name.
bool surely_spread(const double P0[3], const double P1[3], const double P2[3]) {
  if (bstest::slow_roads()) return false;
  const double tol = BStoltab[bstol::dist_tol];
  double m[3], a[3], b[3], c[3], ab[3], ac[3], n[3];
  for (int k = 0; k < 3; ++k) {
    m[k] = (P0[k] + P1[k] + P2[k]) / 3;
    a[k] = P0[k] - m[k], b[k] = P1[k] - m[k], c[k] = P2[k] - m[k];
    ab[k] = P1[k] - P0[k], ac[k] = P2[k] - P0[k];
  }
  cross3(ab, ac, n);
  const double area2 = dot3(n, n) / 4, spread = dot3(a, a) + dot3(b, b) + dot3(c, c);
  if (!(spread > 0) || !(spread < 1e20 * tol * tol)) return false;
  return 4.0 / 3.0 * area2 / spread > 16 * 3 * tol * tol;
}

void diff3(const double a[3], const double b[3], double out[3]) {
  for (int k = 0; k < 3; ++k) out[k] = a[k] - b[k];
}

// rc for a curve the tests cannot read: 3 for a missing record or array, -2 for a malformed header or a pole,
// weight or knot that is not finite (every tolerance test below would pass on a NaN).
int unreadable(const VOQbsp_curve *cv) {
  if (!cv || !cv->poles || !cv->knots || (cv->rational && !cv->weights)) return BSRC_NULL_CURVE;
  const int k = cv->order, n = cv->num_poles;
  if (k < 2 || n < k || cv->num_knots != n + k) return BSRC_OUT_OF_RANGE;
  for (int i = 0; i < 3 * n; ++i)
    if (!std::isfinite(cv->poles[i])) return BSRC_OUT_OF_RANGE;
  for (int i = 0; i < n + k; ++i)
    if (!std::isfinite(cv->knots[i])) return BSRC_OUT_OF_RANGE;
  for (int i = 0; cv->rational && i < n; ++i)
    if (!std::isfinite(cv->weights[i]) || cv->weights[i] == 0) return BSRC_OUT_OF_RANGE;
  return 0;
}

// cv itself when both its ends are clamped, else a clamped copy of it in work; NULL with rc on failure.
const VOQbsp_curve *clamped(const VOQbsp_curve *cv, bsknots::ScratchCurve &work, int *rc) {
  const int k = cv->order, n = cv->num_poles;
  const double *t = cv->knots;
  bool ends = true;
  for (int j = 1; j < k; ++j) ends = ends && t[j] == t[0] && t[n + j] == t[n];
  if (ends) return cv;
  if (!work.take(k, n, cv->rational)) {
    *rc = BSRC_NO_SCRATCH;
    return nullptr;
  }
  if (!BScv_copy(rc, cv, &work.cv) || !BScnvtomkt(rc, &work.cv)) return nullptr;
  return &work.cv;
}

// The centre of the circular segment with on-curve ends a, e and corner b: where the normals to the two legs
// at a and e meet (the midpoint of their nearest points). False with rc when a leg or their plane is degenerate;
// *parallel and *gap tell how well the normals meet.
bool leg_centre(const double a[3], const double b[3], const double e[3], double centre[3], BSboolean *parallel,
                double *gap, int *rc) {
  double d1[3], d2[3], n[3], m1[3], m2[3], c1[3], c2[3];
  diff3(b, a, d1);
  diff3(e, b, d2);
  if (!BSnorvec(rc, d1) || !BSnorvec(rc, d2)) return false;
  cross3(d1, d2, n);
  if (!BSnorvec(rc, n)) return false;
  cross3(n, d1, m1);
  cross3(n, d2, m2);
  if (!BSnorvec(rc, m1) || !BSnorvec(rc, m2)) return false;
  if (!BSlldist(rc, a, e, m1, m2, parallel, gap, c1, c2) || *rc != 0) return false;
  for (int k = 0; k < 3; ++k) centre[k] = (c1[k] + c2[k]) / 2;
  return true;
}

// Centre and radius of a one-segment curve from its control legs; false (rc 0) when it is not an arc within tol.
bool segment_arc(const VOQbsp_curve &cv, double tol, double centre[3], double *radius, int *rc) {
  const double dtol = BStoltab[bstol::dist_tol];
  double P[3][3], l0[3], l1[3];
  for (int i = 0; i < 3; ++i) bsknots::cartesian_pole(cv, i, P[i]);
  diff3(P[1], P[0], l0);
  diff3(P[2], P[1], l1);
  // The two control legs of a circular segment are equal.
  if (!(std::fabs(norm3(l0) - norm3(l1)) <= dtol)) return false;
  // Legs of no length or on one line are a point or a line, not an arc.
  BSboolean parallel = BSFALSE;
  double gap = 0;
  int lrc = 0;
  if (!leg_centre(P[0], P[1], P[2], centre, &parallel, &gap, &lrc) || parallel || !(gap <= tol)) return false;
  double v[3], mid[3];
  diff3(P[0], centre, v);
  const double r0 = norm3(v);
  diff3(P[2], centre, v);
  const double r2 = norm3(v);
  if (!(std::fabs(r0 - r2) <= dtol)) return false;
  *radius = (r0 + r2) / 2;
  // The middle of the segment too: a parabola on equal legs has r0 = r2 but passes inside the circle there.
  BScveval_n(&cv, (cv.knots[2] + cv.knots[3]) / 2, 0, mid, rc);
  if (*rc != 0) return false;
  diff3(mid, centre, v);
  const double r1 = norm3(v);
  return std::fabs(r0 - *radius) <= tol && std::fabs(r1 - *radius) <= tol && std::fabs(r2 - *radius) <= tol;
}

// Centre and radius of a curve of several segments from its centres and radii of curvature at the nodes; false
// (rc 0) when it is not an arc within tol.
bool curvature_arc(const VOQbsp_curve &cv, double tol, double centre[3], double *radius, int *rc) {
  const int n = cv.num_poles;
  BSscratch<100> node_work, radius_work;
  BSscratch<300> centre_work;
  double *nodes = node_work.take(n), *radii = radius_work.take(n), *centres = centre_work.take(3 * n);
  if (!nodes || !radii || !centres) {
    *rc = BSRC_NO_SCRATCH;
    return false;
  }
  int m = 0;
  BSnodevals(cv.order, cv.num_knots, cv.knots, 0, &m, nodes, rc);
  if (*rc != 0) return false;
  const double tsq = tol * tol;
  double sum_r = 0, sum_c[3] = {0, 0, 0};
  for (int i = 0; i < m; ++i) {
    BSboolean two = BSFALSE;
    double kl, kr, rl, rr, cl[3], cr[3];
    if (!BSrdcencrcv(rc, &cv, nodes + i, &two, &kl, &kr, &rl, &rr, cl, cr)) {
      if (*rc == BSRC_NULL_VECTOR) *rc = 0;  // straight or degenerate there: not an arc
      return false;
    }
    if (two && (!(std::fabs(rl - rr) <= tol) || !(bsknots::squared_distance(cl, cr) <= tsq))) return false;
    radii[i] = rl;
    std::memcpy(centres + 3 * i, cl, sizeof cl);
    sum_r += rl;
    for (int k = 0; k < 3; ++k) sum_c[k] += cl[k];
  }
  *radius = sum_r / m;
  for (int k = 0; k < 3; ++k) centre[k] = sum_c[k] / m;
  for (int i = 0; i < m; ++i)
    if (!(bsknots::squared_distance(centres + 3 * i, centre) <= tsq) || !(std::fabs(radii[i] - *radius) <= tol))
      return false;
  return true;
}

}  // namespace

void BSangqdofpt(std::int16_t from_points, const double centre[3], const double x[3], const double y[3],
                 const double n[3], const double p[3], std::int16_t *quadrant, double *angle, int *rc) {
  *rc = 0;
  (void)n;  // the frame's third axis takes no part in an angle within the plane of x and y
  do {
    if (!centre || !x || !y || !p || !quadrant || !angle) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!finite3(centre) || !finite3(x) || !finite3(y) || !finite3(p)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double X[3], Y[3], v[3];
    std::memcpy(X, x, sizeof X);
    std::memcpy(Y, y, sizeof Y);
    if (from_points) {
      diff3(x, centre, X);
      diff3(y, centre, Y);
      if (!BSnorvec(rc, X) || !BSnorvec(rc, Y)) break;
    }
    diff3(p, centre, v);
    const double d = norm3(v);
    // Far from the centre a distance tolerance covers a smaller angle.
    const double t = d >= 1 ? BStoltab[bstol::dist_tol] / d : BStoltab[bstol::dist_tol];
    if (!BSnorvec(rc, v)) break;
    const double c = dot3(X, v), s = dot3(Y, v);
    // atan2 rather than acos(|c|): near an axis acos keeps only half the digits of the angle.
    double b = std::atan2(std::fabs(s), std::fabs(c));
    if (std::fabs(c) < kSnap) b = kHalfPi;
    else if (std::fabs(1 - std::fabs(c)) < kSnap) b = 0;
    std::int16_t q;
    double a;
    if (std::fabs(s) > t && std::fabs(c) > t) {
      if (c >= 0) q = s >= 0 ? 1 : 4, a = s >= 0 ? b : kTwoPi - b;
      else q = s >= 0 ? 2 : 3, a = s >= 0 ? kPi - b : b + kPi;
    } else if (std::fabs(s) > t) {
      q = s >= 0 ? 2 : 4, a = s >= 0 ? kHalfPi : kThreeHalvesPi;
    } else {
      q = c >= 0 ? 1 : 3, a = c >= 0 ? 0 : kPi;
    }
    *quadrant = q;
    *angle = a;
  } while (false);
  BSexit(rc, "BSangqdofpt", "bsangqdofpt");
}

void BSgetndgpts(int n, const double *poles, const double *weights, int m, double *out, int *first, int *rc) {
  *rc = 0;
  BSscratch<300> work;
  do {
    if (m < 1 || !poles || !out || !first) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (n < 2) {
      *rc = BSRC_NULL_VECTOR;
      break;
    }
    const double *P = poles;
    if (weights) {
      double *u = work.take(3 * static_cast<std::size_t>(n));
      if (!u) {
        *rc = BSRC_NO_SCRATCH;
        break;
      }
      const int np = n;
      BSunwght_p(rc, poles, weights, &np, u);
      P = u;
    }
    bool finite = true;
    for (int i = 0; i < n && finite; ++i) finite = finite3(P + 3 * i);
    if (!finite) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double tol = BStoltab[bstol::dist_sqtol];
    auto close = [&](int i, int j) { return bsknots::squared_distance(P + 3 * i, P + 3 * j) <= tol; };
    int start = 0, len = 1;
    for (int i = 1; i < n && len < m; ++i) {
      bool restart = close(i, start);
      for (int j = start + 1; j < start + len && !restart; ++j) restart = close(i, j);
      if (restart) start = i, len = 1;
      else ++len;
    }
    if (len < m) {
      *rc = BSRC_NULL_VECTOR;
      break;
    }
    std::memcpy(out, P + 3 * start, 3 * static_cast<std::size_t>(m) * sizeof(double));
    *first = start;
  } while (false);
  BSexit(rc, "BSgetndgpts", "bsgetndgpts");
}

void BStstcvarct(const VOQbsp_curve *cv, double tol, std::uint16_t *is_arc, double centre[3], double *radius,
                 VOQbsp_curve *arc, int *rc) {
  *rc = 0;
  bsknots::ScratchCurve work;
  do {
    if (!is_arc || !centre || !radius || !arc || !cv) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *is_arc = 0;
    *radius = 0;
    centre[0] = centre[1] = centre[2] = 0;
    if (!cv->rational || cv->order == 2) break;
    if ((*rc = unreadable(cv)) != 0) break;
    if (!(tol >= 0) || !std::isfinite(tol)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const VOQbsp_curve *c = clamped(cv, work, rc);
    if (!c) break;
    const int n = c->num_poles;
    double C[3], R = 0;
    if (!(n == 3 ? segment_arc(*c, tol, C, &R, rc) : curvature_arc(*c, tol, C, &R, rc))) break;
    // The sense of the arc: from the start towards the first corner.
    double P0[3], Q[3], E[3], a[3], b[3], N[3];
    bsknots::cartesian_pole(*c, 0, P0);
    bsknots::cartesian_pole(*c, n == 3 ? 2 : 1, Q);
    bsknots::cartesian_pole(*c, n - 1, E);
    diff3(P0, C, a);
    diff3(Q, C, b);
    cross3(a, b, N);
    if (!BSnorvec(rc, N)) break;
    // Closed by its ends, whatever the flag says: an arc cannot be built between two coincident ends.
    int lrc = 0;
    std::uint16_t answer = 1;
    if (!BSdistnct2(&lrc, P0, E)) {
      if (!BSprepcircp(rc, C, P0, N, arc, nullptr, nullptr)) break;
      answer = 2;
    } else if (!BSprepcarc(rc, P0, C, E, N, arc, nullptr, nullptr)) {
      // An arc too flat to carry a middle pole, or with parallel end tangents, is no arc of the standard form.
      if (*rc == BSRC_OUT_OF_RANGE || *rc == kRcTooFlat) *rc = 0;
      break;
    }
    *is_arc = answer;
    *radius = R;
    std::memcpy(centre, C, sizeof C);
  } while (false);
  BSexit(rc, "BStstcvarct", "bststcvarct");
}

void BStstcvfarc(const VOQbsp_curve *cv, std::uint16_t *is_arc, double centre[3], double *radius, VOQbsp_curve *arc,
                 int *rc) {
  BStstcvarct(cv, BStoltab[bstol::dist_tol], is_arc, centre, radius, arc, rc);
  BSexit(rc, "BStstcvfarc", "bststcvfarc");
}

void BStstdrkarc(const VOQbsp_curve *cv, int *answer, double *radius, int *rc) {
  *rc = 0;
  bsknots::ScratchCurve work;
  do {
    if (!answer || !radius) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *answer = 0;
    if (!cv) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (cv->order != 3 || !cv->rational) break;
    if ((*rc = unreadable(cv)) != 0) break;
    const VOQbsp_curve *c = clamped(cv, work, rc);
    if (!c) break;
    const int n = c->num_poles;
    const double chord = BStoltab[bstol::chrdht_tol];
    const double u0 = c->knots[2], u1 = c->phy_closed ? (u0 + c->knots[n]) / 2 : c->knots[n];
    const double ends[2] = {u0, u1};
    double curv[2], r[2], marks[12];
    BScvarrevc(c, 2, ends, DBL_MAX, curv, r, marks, rc);
    if (*rc != 0) break;
    // A straight piece has no radius (-1): never an arc.
    if (!(r[0] > 0 && r[1] > 0 && std::fabs(r[0] - r[1]) <= chord)) break;
    BSscratch<10> node_work, kappa_work, radius_work;
    BSscratch<60> mark_work;
    double *nodes = node_work.take(n), *kappa = kappa_work.take(n), *radii = radius_work.take(n);
    double *rmarks = mark_work.take(6 * static_cast<std::size_t>(n));
    if (!nodes || !radii || !rmarks || !kappa) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    int m = 0;
    BSnodevals(c->order, c->num_knots, c->knots, 0, &m, nodes, rc);
    if (*rc == 0) BScvarrevc(c, m, nodes, DBL_MAX, kappa, radii, rmarks, rc);
    if (*rc != 0) break;
    double sum = 0;
    bool near = true;
    for (int i = 0; i < m && near; ++i) {
      near = radii[i] > 0 && (i == 0 || i == m - 1 || std::fabs(radii[i] - radii[0]) <= chord);
      sum += radii[i];
    }
    if (!near) break;
    const double mean = sum / m;
    int a = 2;
    for (int i = 0; i < m; ++i)
      if (std::fabs(mean - radii[i]) > 0.1 * BStoltab[bstol::dist_tol]) a = 1;
    *answer = a;
    *radius = mean;
  } while (false);
  BSexit(rc, "BStstdrkarc", "bststdrkarc");
}

BSboolean BScircprop(int *rc, const double P0[3], const double P1[3], const double P2[3], double centre[3],
                     double *radius, double normal[3]) {
  *rc = 0;
  BSboolean found = BSFALSE;
  do {
    if (!P0 || !P1 || !P2 || !centre || !radius || !normal) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!finite3(P0) || !finite3(P1) || !finite3(P2)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!surely_spread(P0, P1, P2)) {
      double pts[9], vec[3];
      std::memcpy(pts, P0, 3 * sizeof(double));
      std::memcpy(pts + 3, P1, 3 * sizeof(double));
      std::memcpy(pts + 6, P2, 3 * sizeof(double));
      int kind = 0;
      BSptlnplan(3, 0, pts, nullptr, &kind, vec, rc);
      if (*rc != 0) break;
      if (kind == BSKIND_POINT || kind == BSKIND_LINE) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
    }
    double a[3], b[3], C[3], N[3];
    diff3(P0, P1, a);
    diff3(P2, P1, b);
    const double aa = dot3(a, a), bb = dot3(b, b), ab = dot3(a, b), D = 2 * (aa * bb - ab * ab);
    const double sa = bb * (aa - ab) / D, sb = aa * (bb - ab) / D;
    for (int k = 0; k < 3; ++k) C[k] = P1[k] + sa * a[k] + sb * b[k];
    cross3(b, a, N);
    if (!BSnorvec(rc, N)) break;
    double v[3];
    diff3(C, P0, v);
    std::memcpy(centre, C, sizeof C);
    std::memcpy(normal, N, sizeof N);
    *radius = norm3(v);
    found = BSTRUE;
  } while (false);
  BSexit(rc, "BScircprop", "bscircprop");
  return found;
}

void BScirc_prop(BScircdesc *d, int *rc) {
  *rc = 0;
  bsknots::ScratchCurve work;
  do {
    if (!d) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    d->done = 1;
    if ((*rc = unreadable(d->curve)) != 0) break;
    const VOQbsp_curve *c = clamped(d->curve, work, rc);
    if (!c) break;
    double pts[9];
    int first = 0;
    BSgetndgpts(c->num_poles, c->poles, c->rational ? c->weights : nullptr, 3, pts, &first, rc);
    if (*rc != 0) break;
    const double *A = pts, *B = pts + 3, *E = pts + 6;
    BSboolean parallel = BSFALSE;
    double gap = 0, C[3], s[3], b[3], N[3];
    if (!leg_centre(A, B, E, C, &parallel, &gap, rc)) break;
    std::memcpy(d->centre, C, sizeof C);
    std::memcpy(d->start, A, 3 * sizeof(double));
    diff3(A, C, s);
    diff3(B, C, b);
    if (!BSnorvec(rc, b)) break;
    cross3(s, b, N);
    if (!BSnorvec(rc, N)) break;
    std::memcpy(d->normal, N, sizeof N);
    d->radius = norm3(s);
    if (!BSnorvec(rc, s)) break;
    std::memcpy(d->start_dir, s, sizeof s);
    if (d->kind != kKindEndAngle) break;
    double e[3], y[3];
    bsknots::cartesian_pole(*c, c->num_poles - 1, d->end);
    diff3(d->end, C, e);
    if (!BSnorvec(rc, e)) break;
    std::memcpy(d->end_dir, e, sizeof e);
    cross3(N, s, y);
    if (!BSnorvec(rc, y)) break;
    std::int16_t quadrant = 0;
    double angle = 0;
    BSangqdofpt(0, C, s, y, N, d->end, &quadrant, &angle, rc);
    if (*rc == 0) d->end_angle = angle;
  } while (false);
  BSexit(rc, "BScirc_prop", "bscirc_prop");
}
