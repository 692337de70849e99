// Circular arcs and whole circles as rational quadratic curves, the radius and centre of curvature of a curve at a
// parameter, and the coincidence test over a flat point array.
//
// An arc of sweep a is cut into n = 1, 2 or 3 equal segments; each is the standard rational quadratic of a circle
// (end weights 1, middle weight cos h with h = a / 2n, middle pole where the end tangents meet, at r / cos h from
// the centre). One segment takes its middle pole from the tangent lines themselves; more segments place their
// on-curve poles by angle and push each chord midpoint out by 1 / cos^2 h.
#include "bspline/conics.h"

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"
#include "bspline/numerics.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

using bsmeasure::cross3;
using bsmeasure::dot3;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kFlat = 2.220446049250313e-14;
constexpr double kHalfSqrt3 = 0.8660254037844386;
constexpr int kRcTooFlat = -5;

bool finite3(const double *v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

double norm3(const double v[3]) { return std::sqrt(dot3(v, v)); }

// The fields every arc and circle shares; poles, knots and weights follow from the segment count.
void arc_header(VOQbsp_curve *cv) {
  cv->order = 3;
  cv->periodic = 0;
  cv->non_uniform = 1;
  cv->rational = 1;
}

void arc_knots(VOQbsp_curve *cv, int segments) {
  double *t = cv->knots;
  t[0] = t[1] = t[2] = 0;
  int j = 3;
  for (int s = 1; s < segments; ++s, j += 2) t[j] = t[j + 1] = static_cast<double>(s) / segments;
  t[j] = t[j + 1] = t[j + 2] = 1;
  cv->num_poles = 2 * segments + 1;
  cv->num_knots = 2 * segments + 4;
  cv->planar = 1;
  cv->num_boundaries = 0;
  cv->bdrys = nullptr;
}

bool arrays_present(const VOQbsp_curve *cv) { return cv->poles && cv->knots && cv->weights; }

// The whole circle about c of radius r in the plane of the orthonormal X, Y, starting at c + r X.
void write_circle(VOQbsp_curve *cv, const double c[3], double r, const double X[3], const double Y[3]) {
  static const double kWeights[7] = {1, 0.5, 1, 0.5, 1, 0.5, 1};
  // Unweighted poles as multiples of r X and r Y: on-curve every 120 degrees, corners at twice the radius.
  static const double kX[7] = {1, 1, -0.5, -2, -0.5, 1, 1};
  static const double kY[7] = {0, 2 * kHalfSqrt3, kHalfSqrt3, 0, -kHalfSqrt3, -2 * kHalfSqrt3, 0};
  arc_header(cv);
  for (int i = 0; i < 7; ++i) {
    cv->weights[i] = kWeights[i];
    for (int k = 0; k < 3; ++k) cv->poles[3 * i + k] = (c[k] + r * (kX[i] * X[k] + kY[i] * Y[k])) * kWeights[i];
  }
  arc_knots(cv, 3);
  cv->phy_closed = 1;
}

// The header of a whole circle; false with rc 3 when the record lacks an array.
bool circle_header(VOQbsp_curve *cv, int *rc) {
  arc_header(cv);
  cv->num_poles = 7;
  cv->num_knots = 10;
  if (arrays_present(cv)) return true;
  *rc = BSRC_NULL_CURVE;
  return false;
}

// The circle of the frame N, X, Y written, its normal and type handed out where asked.
void circle_out(VOQbsp_curve *cv, const double c[3], double r, const double N[3], const double X[3],
                const double Y[3], double normal_out[3], int *type_out) {
  if (normal_out) std::memcpy(normal_out, N, 3 * sizeof(double));
  write_circle(cv, c, r, X, Y);
  if (type_out) *type_out = BSCONIC_CIRCLE;
}

// An on-curve pole at angle t of the arc's frame; quarter turns land exactly on the axes.
void on_curve_pole(const double c[3], double r, const double x[3], const double y[3], double t, double out[3]) {
  const double deg = t * 57.29577951308232;
  double cs = std::cos(t), sn = std::sin(t);
  if (std::fabs(deg) < 1e-10 || std::fabs(deg - 360) < 1e-10) cs = 1, sn = 0;
  else if (std::fabs(deg - 90) < 1e-10) cs = 0, sn = 1;
  else if (std::fabs(deg - 180) < 1e-10) cs = -1, sn = 0;
  else if (std::fabs(deg - 270) < 1e-10) cs = 0, sn = -1;
  for (int k = 0; k < 3; ++k) out[k] = c[k] + r * cs * x[k] + r * sn * y[k];
}

// The middle pole of the segment whose on-curve poles are seg[0..2] and seg[6..8]: the chord midpoint m pushed
// out from the centre to where the end tangents meet, r / cos h = r^2 / |m - c| away. Taking cos h from the
// points themselves keeps the pole on both tangents whatever rounding the points carry.
void corner_pole(const double c[3], double r, double *seg) {
  double m[3];
  for (int k = 0; k < 3; ++k) m[k] = (seg[k] + seg[6 + k]) / 2 - c[k];
  const double grow = r * r / dot3(m, m);
  for (int k = 0; k < 3; ++k) seg[3 + k] = c[k] + m[k] * grow;
}

// rc for the arguments of a builder: 3 for a missing record or point, -2 for a point that is not finite.
int argument_failure(const VOQbsp_curve *cv, std::initializer_list<const double *> points) {
  if (!cv) return BSRC_NULL_CURVE;
  for (const double *p : points)
    if (!p) return BSRC_NULL_CURVE;
  for (const double *p : points)
    if (!finite3(p)) return BSRC_OUT_OF_RANGE;
  return 0;
}

// The failure code of a frame step: the callee's, or -1 when it left none.
int frame_failure(int callee_rc) { return callee_rc != 0 ? callee_rc : BSRC_ZERO_WEIGHT; }

}  // namespace

void BScarcwts(double sweep_h, double weights[3]) {
  // cos directly: the half-angle tangent form (1 - t^2) / (1 + t^2) is the same value an ulp less accurate.
  weights[0] = weights[2] = 1;
  weights[1] = std::cos(sweep_h);
  BSfaulthook("bscarcwts", nullptr);
}

BSboolean BSprepcarc(int *rc, const double start[3], const double centre[3], const double end[3],
                     const double normal[3], VOQbsp_curve *cv, double normal_out[3], int *type_out) {
  *rc = 0;
  BSboolean built = BSFALSE;
  do {
    if ((*rc = argument_failure(cv, {start, centre, end, normal})) != 0) break;
    int lrc = 0;
    if (!BSdistnct2(&lrc, start, centre) || !BSdistnct2(&lrc, centre, end) || !BSdistnct2(&lrc, start, end)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double vs[3], ve[3], e[3];
    for (int k = 0; k < 3; ++k) vs[k] = start[k] - centre[k], ve[k] = end[k] - centre[k];
    const double r = norm3(vs), re = norm3(ve);
    for (int k = 0; k < 3; ++k) e[k] = centre[k] + ve[k] * (r / re);
    if (!BSdistnct2(&lrc, start, e)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    arc_header(cv);
    // rc 3, not 0: a caller that trusts rc would otherwise read an arc that was never written.
    if (!arrays_present(cv)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    double n[3] = {normal[0], normal[1], normal[2]};
    if (!BSnorvec(rc, n)) break;
    double x[3], y[3], c[3];
    for (int k = 0; k < 3; ++k) x[k] = vs[k] / r;
    // A normal along the start radius leaves no in-plane direction (rc -6, as for a null normal).
    cross3(n, x, y);
    if (!BSnorvec(rc, y)) break;
    // The arc lies in the plane through the centre normal to `normal`: the start and end must lie in it. A normal
    // leaning out of it (beyond rounding) is refused; what rounding leaves is taken out, so that the arc is a
    // circle's exactly (its weights follow the sweep about the normal).
    const double lean_start = dot3(n, x), lean_end = dot3(n, ve) / re;
    if (std::fabs(lean_start) > 1e-6 || std::fabs(lean_end) > 1e-6) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    for (int k = 0; k < 3; ++k) n[k] -= lean_start * x[k];
    if (!BSnorvec(rc, n)) break;
    if (normal_out) std::memcpy(normal_out, n, sizeof n);
    cross3(n, x, y);
    if (!BSnorvec(rc, y)) break;
    cross3(vs, ve, c);
    double a = std::fabs(std::atan2(dot3(c, n), dot3(vs, ve)));
    if (dot3(y, ve) < 0) a = kTwoPi - a;
    const int segs = bsconics::arc_segments(a);
    const double h = a / (2 * segs);
    double *P = cv->poles;
    if (segs == 1) {
      double t2[3], ec[3], c1[3], c2[3], dist = 0;
      for (int k = 0; k < 3; ++k) ec[k] = e[k] - centre[k];
      cross3(ec, n, t2);
      if (!BSnorvec(rc, t2)) break;
      BSboolean parallel = BSFALSE;
      if (!BSlldist(rc, start, e, y, t2, &parallel, &dist, c1, c2) || *rc != 0) break;
      if (parallel) {
        *rc = BSRC_OUT_OF_RANGE;
        break;
      }
      // The tangent lines only decide whether there is a corner at all. The corner itself is reached from the
      // chord: lines this oblique lose a digit of their intersection for every decade the sweep shrinks.
      std::memcpy(P, start, 3 * sizeof(double));
      std::memcpy(P + 6, e, 3 * sizeof(double));
      corner_pole(centre, r, P);
    } else {
      for (int i = 0; i <= segs; ++i) on_curve_pole(centre, r, x, y, i * a / segs, P + 6 * i);
      for (int i = 0; i < segs; ++i) corner_pole(centre, r, P + 6 * i);
    }
    double chord_mid[3];
    for (int k = 0; k < 3; ++k) chord_mid[k] = (P[k] + P[6 + k]) / 2 - P[3 + k];
    if (norm3(chord_mid) <= kFlat) {
      *rc = kRcTooFlat;
      break;
    }
    double w[3];
    BScarcwts(h, w);
    for (int i = 0; i <= 2 * segs; ++i) cv->weights[i] = i % 2 ? w[1] : 1;
    arc_knots(cv, segs);
    cv->phy_closed = 0;
    if (type_out) *type_out = BSCONIC_CIRCLE;
    const int np = cv->num_poles;
    BSwght_p(rc, P, cv->weights, &np, P);
    std::memcpy(P, start, 3 * sizeof(double));
    std::memcpy(P + 3 * (np - 1), e, 3 * sizeof(double));
    built = BSTRUE;
  } while (false);
  BSexit(rc, "BSprepcarc", "bsprepcarc");
  return built;
}

BSboolean BSarc3pts(int *rc, const double p1[3], const double p2[3], const double p3[3], VOQbsp_curve *cv) {
  *rc = 0;
  BSboolean built = BSFALSE;
  do {
    if ((*rc = argument_failure(cv, {p1, p2, p3})) != 0) break;
    if (BScollin(rc, p1, p2, p3)) *rc = BSRC_COLLINEAR_POLES;
    if (*rc != 0) break;
    // The centre where the perpendicular bisectors meet, in closed form from the corner of the largest angle: the
    // two sides that meet there are the shortest, so their cross product keeps its digits however thin the
    // triangle. Taken from the middle point instead, nearly collinear points or ends that nearly meet cross two
    // long, nearly parallel sides and lose the centre. Going round the corners in order keeps the sense of
    // (p3 - p2) x (p1 - p2), with which the counter-clockwise arc from p1 to p3 passes through p2.
    const double *P[3] = {p1, p2, p3};
    double side[3][3], len2[3];
    for (int i = 0; i < 3; ++i) {
      for (int k = 0; k < 3; ++k) side[i][k] = P[(i + 2) % 3][k] - P[(i + 1) % 3][k];
      len2[i] = dot3(side[i], side[i]);
    }
    const int at = len2[0] >= len2[1] && len2[0] >= len2[2] ? 0 : len2[1] >= len2[2] ? 1 : 2;
    double u[3], v[3], n[3], grow[3], centre[3];
    for (int k = 0; k < 3; ++k) u[k] = P[(at + 1) % 3][k] - P[at][k], v[k] = P[(at + 2) % 3][k] - P[at][k];
    cross3(u, v, n);
    const double nn = dot3(n, n), uu = dot3(u, u), vv = dot3(v, v);
    for (int k = 0; k < 3; ++k) grow[k] = uu * v[k] - vv * u[k];
    cross3(grow, n, centre);
    for (int k = 0; k < 3; ++k) centre[k] = P[at][k] + centre[k] / (2 * nn);
    if (!BSnorvec(rc, n)) break;
    double normal_out[3];
    if (!BSprepcarc(rc, p1, centre, p3, n, cv, normal_out, nullptr)) break;
    std::memcpy(cv->poles, p1, 3 * sizeof(double));
    std::memcpy(cv->poles + 3 * (cv->num_poles - 1), p3, 3 * sizeof(double));
    built = BSTRUE;
  } while (false);
  BSexit(rc, "BSarc3pts", "bsarc3pts");
  return built;
}

BSboolean BSprepcirc(int *rc, const double centre[3], const double *radius, const double normal[3],
                     VOQbsp_curve *cv, double normal_out[3], int *type_out) {
  *rc = 0;
  BSboolean built = BSFALSE;
  do {
    if ((*rc = argument_failure(radius ? cv : nullptr, {centre, normal})) != 0) break;
    if (!(std::isfinite(*radius) && *radius > BStoltab[bstol::dist_tol])) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!circle_header(cv, rc)) break;
    double N[3], X[3], Y[3];
    int lrc = 0;
    if (!BSbasisvect(&lrc, normal, N, X, Y)) {
      *rc = frame_failure(lrc);
      break;
    }
    circle_out(cv, centre, *radius, N, X, Y, normal_out, type_out);
    built = BSTRUE;
  } while (false);
  BSexit(rc, "BSprepcirc", "bsprepcirc");
  return built;
}

BSboolean BSprepcircp(int *rc, const double centre[3], const double point[3], const double normal[3],
                      VOQbsp_curve *cv, double normal_out[3], int *type_out) {
  *rc = 0;
  BSboolean built = BSFALSE;
  do {
    if ((*rc = argument_failure(cv, {centre, point, normal})) != 0) break;
    const double tol = BStoltab[bstol::dist_tol];
    double X[3], N[3], Y[3];
    for (int k = 0; k < 3; ++k) X[k] = point[k] - centre[k];
    const double r = norm3(X), nl = norm3(normal);
    if (r <= tol || nl <= tol) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    for (int k = 0; k < 3; ++k) X[k] /= r, N[k] = normal[k] / nl;
    // A point off the plane would tilt the circle away from the normal the caller asked for.
    if (std::fabs(dot3(X, N)) * r > tol) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (!circle_header(cv, rc)) break;
    // Normalised, Y keeps the circle round even when the point lies a little off the plane.
    cross3(N, X, Y);
    int lrc = 0;
    if (!BSnorvec(&lrc, Y)) {
      *rc = frame_failure(lrc);
      break;
    }
    circle_out(cv, centre, r, N, X, Y, normal_out, type_out);
    built = BSTRUE;
  } while (false);
  BSexit(rc, "BSprepcircp", "bsprepcircp");
  return built;
}

BSboolean BScirrdcr(int *rc, const double *radius, const double centre[3], VOQbsp_curve *cv) {
  *rc = 0;
  BSboolean built = BSFALSE;
  static const double kUp[3] = {0, 0, 1};
  if (!radius || !centre || !cv)
    *rc = BSRC_NULL_CURVE;
  else if (!(*radius > 0))
    *rc = BSRC_OUT_OF_RANGE;
  else
    built = BSprepcirc(rc, centre, radius, kUp, cv, nullptr, nullptr);
  BSexit(rc, "BScirrdcr", "bscirrdcr");
  return built;
}

namespace {
// Curvature, radius and centre of curvature from a point and its first two derivatives (rows of 3).
struct CurvatureSide {
  double curv = 0, radius = 0, centre[3] = {0, 0, 0};
  bool from(const double *ders) {
    const double *P = ders, *D1 = ders + 3, *D2 = ders + 6;
    const double speed = norm3(D1);
    if (!(speed >= BStoltab[bstol::dist_tol])) return false;
    double b[3], towards[3];
    cross3(D1, D2, b);
    curv = norm3(b) / (speed * speed * speed);
    if (!(curv > BStoltab[bstol::dist_sqtol]) || !std::isfinite(curv)) return false;
    radius = 1 / curv;
    cross3(b, D1, towards);
    const double len = norm3(towards);
    for (int k = 0; k < 3; ++k) centre[k] = P[k] + radius * towards[k] / len;
    return true;
  }
};
}  // namespace

BSboolean BSrdcencrcv(int *rc, const VOQbsp_curve *cv, const double *u, BSboolean *two_sided, double *curv_left,
                      double *curv_right, double *radius_left, double *radius_right, double centre_left[3],
                      double centre_right[3]) {
  *rc = 0;
  BSboolean found = BSFALSE;
  do {
    if (!cv || !u || !two_sided || !curv_left || !curv_right || !radius_left || !radius_right || !centre_left ||
        !centre_right) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!std::isfinite(*u)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSboolean degenerate = BSFALSE;
    BStstcvdegn(cv, &degenerate, rc);
    if (*rc != 0) break;
    if (degenerate) {
      *rc = BSRC_NULL_VECTOR;
      *two_sided = BSFALSE;
      *curv_left = *curv_right = *radius_left = *radius_right = 0;
      // The curve's own point, not the stored (weighted) coordinates.
      const double w = cv->rational ? cv->weights[0] : 1.0;
      for (int k = 0; k < 3; ++k) centre_left[k] = cv->poles[k] / w, centre_right[k] = 0;
      break;
    }
    const int nder = 2;
    double left[9], right[9];
    BSboolean sides = BSFALSE;
    if (!BScveval_b(rc, cv, u, &nder, nullptr, &sides, left, right)) break;
    CurvatureSide L, R;
    if (!L.from(left) || (sides && !R.from(right))) {
      *rc = BSRC_NULL_VECTOR;
      break;
    }
    if (!sides) R = L;
    *two_sided = sides;
    *curv_left = L.curv, *curv_right = R.curv;
    *radius_left = L.radius, *radius_right = R.radius;
    std::memcpy(centre_left, L.centre, sizeof L.centre);
    std::memcpy(centre_right, R.centre, sizeof R.centre);
    found = BSTRUE;
  } while (false);
  BSexit(rc, "BSrdcencrcv", "bsrdcencrcv");
  return found;
}

BSboolean BScoincida(int n, const double *pts, int *rc) {
  *rc = 0;
  BSboolean same = BSFALSE;
  if (n < 0 || (n > 0 && !pts)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    // The pointer array lives in scratch doubles: on the stack while it is small, else on the heap.
    BSscratch<0> work;
    const std::size_t bytes = static_cast<std::size_t>(n) * sizeof(const double *);
    double *block = work.take((bytes + sizeof(double) - 1) / sizeof(double));
    if (!block) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      const double **ptrs = reinterpret_cast<const double **>(block);
      for (int i = 0; i < n; ++i) ptrs[i] = pts + 3 * static_cast<std::size_t>(i);
      same = BScoincidpa(n, ptrs, rc);
    }
  }
  BSexit(rc, "BScoincida", "bscoincida");
  return *rc == 0 ? same : BSFALSE;
}
