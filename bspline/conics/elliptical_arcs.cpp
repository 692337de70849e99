// Elliptical arcs from centre, semi-axis ends and angles. An ellipse is the affine image of a circle of radius r1
// whose second coordinate is stretched by r2 / r1, and a parametric angle of the ellipse is the angle on that
// circle: the arc is built as a circular arc in the ellipse's own frame, stretched, and mapped into place.
// Sweeps below pi/4 are cut from a quarter circle instead, where the tangent lines of so short an arc would meet
// too obliquely to place its middle pole well.
#include "bspline/conics.h"

#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/measure/measure_internal.h"
#include "bspline/numerics.h"

#include <cmath>
#include <cstring>

namespace {

using bsmeasure::cross3;
using bsmeasure::dot3;

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kEps = 2.220446049250313e-15;
constexpr double kHalfSqrt3 = 0.8660254037844386;
constexpr double kRootHalf = 0.7071067811865476;
constexpr int kPerpTol = 3;  // tolerance entry for the perpendicularity of the axes

bool finite3(const double *v) { return !v || (std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2])); }

double norm3(const double v[3]) { return std::sqrt(dot3(v, v)); }

// A local rational quadratic record over fixed arrays.
struct LocalArc {
  double poles[21], knots[10], weights[7];
  VOQbsp_curve cv{};
  LocalArc(int num_poles, const double *knot_vector, const double *w, BSboolean closed) {
    cv.order = 3;
    cv.periodic = 0;
    cv.non_uniform = 1;
    cv.num_poles = num_poles;
    cv.poles = poles;
    cv.num_knots = num_poles + 3;
    cv.knots = knots;
    cv.rational = 1;
    cv.weights = weights;
    cv.planar = 1;
    cv.phy_closed = closed;
    std::memcpy(knots, knot_vector, cv.num_knots * sizeof(double));
    std::memcpy(weights, w, num_poles * sizeof(double));
  }
};

// The angle of a point seen from the centre, counter-clockwise from axis1 towards axis2, in [0, 2 pi). Within
// ang_tol of an axis it is that axis's angle exactly.
bool angle_of_point(const double centre[3], const double pt[3], const double a1[3], const double a2[3],
                    double ang_tol, double *angle, int *rc) {
  double v[3] = {pt[0] - centre[0], pt[1] - centre[1], pt[2] - centre[2]};
  if (!BSnorvec(rc, v)) return false;
  const double c = dot3(v, a1), s = dot3(v, a2);
  // atan2 rather than acos(|c|): near the first axis acos would lose half the digits and call a point a
  // thousandth of a radian off the axis one on it.
  double alpha = std::atan2(std::fabs(s), std::fabs(c));
  if (std::fabs(c) < ang_tol) alpha = kHalfPi;
  else if (std::fabs(s) < ang_tol) alpha = 0;
  if (c >= 0 && s < 0) *angle = kTwoPi - alpha;
  else if (c < 0 && s >= 0) *angle = kPi - alpha;
  else if (c < 0 && s < 0) *angle = alpha + kPi;
  else *angle = alpha;
  return true;
}

// Whole turns off an angle until it lies in [0, 2 pi) (closed: [0, 2 pi], 2 pi itself kept).
double into_turn(double a, bool closed) {
  if (a < 0 || a > kTwoPi || (!closed && a == kTwoPi)) {
    a = std::fmod(a, kTwoPi);
    if (a < 0) a += kTwoPi;
    if (!closed && a >= kTwoPi) a = 0;
  }
  return a;
}

// The point of the circle of radius r at angle a; quarter turns within ang_tol land exactly on the axes.
void circle_point(double r, double a, double ang_tol, double out[3]) {
  double cs = std::cos(a), sn = std::sin(a);
  if (std::fabs(a) < ang_tol || std::fabs(a - kTwoPi) < ang_tol) cs = 1, sn = 0;
  else if (std::fabs(a - kHalfPi) < ang_tol) cs = 0, sn = 1;
  else if (std::fabs(a - kPi) < ang_tol) cs = -1, sn = 0;
  else if (std::fabs(a - 3 * kHalfPi) < ang_tol) cs = 0, sn = -1;
  out[0] = r * cs;
  out[1] = r * sn;
  out[2] = 0;
}

// The whole ellipse in its frame, starting at parametric angle s.
void whole_ellipse(double r1, double r2, double s, double ang_tol, LocalArc *arc) {
  static const double kX[7] = {1, 0.5, -0.5, -1, -0.5, 0.5, 1};  // weighted, on the unit circle's plane
  static const double kY[7] = {0, kHalfSqrt3, kHalfSqrt3, 0, -kHalfSqrt3, -kHalfSqrt3, 0};
  const bool turned = !(s < ang_tol);
  const double cs = std::cos(s), sn = std::sin(s);
  for (int i = 0; i < 7; ++i) {
    const double X = kX[i], Y = kY[i];
    arc->poles[3 * i] = (turned ? cs * X - sn * Y : X) * r1;
    arc->poles[3 * i + 1] = (turned ? sn * X + cs * Y : Y) * r2;
    arc->poles[3 * i + 2] = 0;
  }
}

}  // namespace

void BSphyparang(double a, double b, double angle, int to_parametric, double *out, int *rc) {
  *rc = 0;
  if (!out) {
    *rc = BSRC_NULL_CURVE;
  } else if (!(a > 0 && b > 0) || !std::isfinite(a) || !std::isfinite(b) || !std::isfinite(angle)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const double k = to_parametric ? a / b : b / a;
    // The quadrant rule below holds for [0, 2 pi] only.
    const double t = into_turn(angle, true);
    const double x = t * 0.6366197723675814;
    double r = t;
    if (!((x - std::trunc(x)) * kHalfPi < 1e-10)) {
      if (t < kHalfPi) r = std::atan(k * std::tan(t));
      else if (t < kPi) r = kPi - std::atan(k * std::tan(kPi - t));
      else if (t < 3 * kHalfPi) r = kPi + std::atan(k * std::tan(t - kPi));
      else r = kTwoPi - std::atan(k * std::tan(kTwoPi - t));
    }
    if (r > kTwoPi) r -= kTwoPi;
    *out = r;
  }
  BSexit(rc, "BSphyparang", "bsphyparang");
}

void BSangarctou(double total_angle, double angle, double *u, int *rc) {
  *rc = 0;
  do {
    if (!u) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    // An arc without sweep has no parameters, whatever angle is asked.
    if (!std::isfinite(total_angle) || !std::isfinite(angle) || std::fabs(total_angle) < kEps) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (std::fabs(angle) < kEps) {
      *u = 0;
      break;
    }
    // A clockwise whole turn stays clockwise.
    if (std::fabs(total_angle) > kTwoPi) total_angle = std::copysign(kTwoPi, total_angle);
    const double T = std::fabs(total_angle);
    if (total_angle > 0 && std::fabs(T - angle) < kEps) {
      *u = 1;
      break;
    }
    double a = BSdmod(angle, kTwoPi, rc);
    if (*rc != 0) break;
    if (std::fabs(a) < kEps) {
      *u = 0;
      break;
    }
    if (a < 0) a += kTwoPi;
    if (std::fabs(T - a) < kEps && total_angle > 0) {
      *u = 1;
      break;
    }
    if (total_angle > 0 && a > total_angle) {
      *u = 1;
      break;
    }
    if (total_angle <= 0) {
      if (!(a >= kTwoPi + total_angle)) {
        *u = 1;
        break;
      }
      a = kTwoPi - a;  // counted clockwise from here on
    }
    if (T - a < kEps) {
      *u = 1;
      break;
    }
    const int n = bsconics::arc_segments(T);
    bool done = false;
    for (int i = 1; i < n && !done; ++i)
      if (std::fabs(a - i * T / n) < kEps) *u = static_cast<double>(i) / n, done = true;
    if (done) break;
    const double seg = T / n;
    const double k = std::trunc(a / seg);
    const double r = BSdmod(a, seg, rc);
    if (*rc != 0) break;
    if (std::fabs(r) < kEps) {
      *u = k / n;
      break;
    }
    // Within segment k, with end weights 1 and middle weight w = cos(seg / 2), the point at t lies at angle r
    // where its projection on the segment's start radius is cos r times its distance. The coefficients are
    // written with half-angle sines: 1 - cos r itself would lose the small angles.
    const double h = seg / 2, w = std::cos(h);
    const double sr = std::sin(r / 2), m = 2 * sr * sr;
    const double cdiff = -2 * std::sin((seg + r) / 2) * std::sin((seg - r) / 2);  // cos(seg) - cos(r)
    const double coef[3] = {m, 2 * (m * w - m), cdiff + m - 2 * m * w};
    const std::int16_t degree = 2;
    double re[2], im[2];
    if (!BSrpoly(rc, coef, &degree, re, im)) break;
    double t = -1;
    for (int j = 0; j < 2 && t < 0; ++j) {
      if (im[j] != 0) continue;
      if (re[j] >= -1e-12 && re[j] <= 1 + 1e-12) t = std::fmin(std::fmax(re[j], 0.0), 1.0);
    }
    if (t < 0) {
      *rc = BSRC_ZERO_WEIGHT;
      break;
    }
    *u = (k + t) / n;
  } while (false);
  BSexit(rc, "BSangarctou", "bsangarctou");
}

void BSelarptang(const double centre[3], const double axis_pt1[3], const double axis_pt2[3], double start_angle,
                 double sweep_angle, std::int16_t parametric, const double *axis1, const double *axis2,
                 const void *normal_given, const double *start_pt, const double *end_pt, std::uint16_t *is_circle,
                 VOQbsp_curve **cv, int *rc) {
  *rc = 0;
  if (is_circle) *is_circle = 0;
  do {
    if (!centre || !axis_pt1 || !axis_pt2 || !cv || !*cv) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!finite3(centre) || !finite3(axis_pt1) || !finite3(axis_pt2) || !finite3(axis1) || !finite3(axis2) ||
        !finite3(start_pt) || !finite3(end_pt) || !std::isfinite(sweep_angle) ||
        !(std::isfinite(start_angle) || (start_pt && end_pt))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double dist_tol = BStoltab[bstol::dist_tol];
    double d1[3], d2[3];
    for (int k = 0; k < 3; ++k) d1[k] = axis_pt1[k] - centre[k], d2[k] = axis_pt2[k] - centre[k];
    const double r1 = norm3(d1), r2 = norm3(d2);
    const double ang_tol = dist_tol / std::fmax(r1, r2);
    if (r1 < dist_tol || r2 < dist_tol) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double a1[3], a2[3];
    std::memcpy(a1, axis1 ? axis1 : d1, sizeof a1);
    std::memcpy(a2, axis2 ? axis2 : d2, sizeof a2);
    if ((!axis1 && !BSnorvec(rc, a1)) || (!axis2 && !BSnorvec(rc, a2))) break;
    // Axis ends this near the centre give the frame too short a base; a unit step along the axis does not.
    double p1[3], p2[3], frame[9];
    for (int k = 0; k < 3; ++k) {
      p1[k] = axis_pt1[k] + (r1 < 10 * dist_tol ? a1[k] : 0);
      p2[k] = axis_pt2[k] + (r2 < 10 * dist_tol ? a2[k] : 0);
    }
    const BSboolean sense = BSTRUE;
    if (!BSlocalcord(rc, centre, p1, p2, &sense, frame)) break;
    const double ratio = r2 / r1;
    if (std::fabs(r1 - r2) < dist_tol && is_circle) *is_circle = 1;
    if (!normal_given) {
      double n[3];
      cross3(a1, a2, n);
      if (!BSnorvec(rc, n)) break;
    }
    if (std::fabs(dot3(a1, a2)) >= BStoltab[kPerpTol]) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double s = start_angle, e = start_angle + sweep_angle;
    if (start_pt && !angle_of_point(centre, start_pt, a1, a2, ang_tol, &s, rc)) break;
    if (end_pt && !angle_of_point(centre, end_pt, a1, a2, ang_tol, &e, rc)) break;
    s = into_turn(s, false);
    e = into_turn(e, true);
    // Angles from points are geometric whatever the caller's angles are.
    if ((start_pt || !parametric) && (BSphyparang(r1, r2, s, 1, &s, rc), *rc != 0)) break;
    if ((end_pt || !parametric) && (BSphyparang(r1, r2, e, 1, &e, rc), *rc != 0)) break;
    if (std::fabs(e) < ang_tol) e = kTwoPi;
    if (std::fabs(s - kTwoPi) < ang_tol) s = 0;
    const bool whole = std::fabs(sweep_angle - kTwoPi) < ang_tol;
    const double gap = std::fabs(e - s);
    if (!whole && (gap < ang_tol || std::fabs(gap - kTwoPi) < ang_tol)) {
      *rc = BSRC_OUT_OF_RANGE;  // an arc of no sweep
      break;
    }
    double sweep = e - s;
    if (sweep < 0) sweep += kTwoPi;
    const double one = 1.0;
    if (whole) {
      static const double kKnots[10] = {0, 0, 0, 1.0 / 3, 1.0 / 3, 2.0 / 3, 2.0 / 3, 1, 1, 1};
      static const double kWeights[7] = {1, 0.5, 1, 0.5, 1, 0.5, 1};
      LocalArc arc(7, kKnots, kWeights, BSTRUE);
      whole_ellipse(r1, r2, s, ang_tol, &arc);
      BScvntoo(rc, centre, frame, &one, &arc.cv, *cv);
      break;  // end weights are 1 already
    }
    if (sweep >= 0.7853981633974483) {
      double sp[3], ep[3], nout[3];
      const double origin[3] = {0, 0, 0}, up[3] = {0, 0, 1};
      circle_point(r1, s, ang_tol, sp);
      circle_point(r1, e, ang_tol, ep);
      if (!BSprepcarc(rc, sp, origin, ep, up, *cv, nout, nullptr)) break;
    } else {
      static const double kKnots[6] = {0, 0, 0, 1, 1, 1};
      const double kWeights[3] = {1, kRootHalf, 1};
      LocalArc quarter(3, kKnots, kWeights, BSFALSE);
      const double cs = s == 0 ? 1 : std::cos(s), sn = s == 0 ? 0 : std::sin(s);
      // Weighted poles: the corner (r1 (cos s - sin s), r1 (sin s + cos s)) carries the weight 1/sqrt 2.
      const double q[9] = {r1 * cs, r1 * sn, 0, (r1 * cs - r1 * sn) * kRootHalf, (r1 * sn + r1 * cs) * kRootHalf, 0,
                           -r1 * sn, r1 * cs, 0};
      std::memcpy(quarter.poles, q, sizeof q);
      double u = 0;
      const double u0 = 0;
      const BSboolean test_planar = BSFALSE;
      BSangarctou(kHalfPi, sweep, &u, rc);
      if (*rc != 0 || !BSactivsplt(rc, &quarter.cv, &u0, &u, *cv, &test_planar)) break;
      (*cv)->planar = 1;
      std::memcpy((*cv)->knots, kKnots, sizeof kKnots);
    }
    VOQbsp_curve *out = *cv;
    for (int i = 0; i < out->num_poles; ++i) out->poles[3 * i + 1] *= ratio;
    if (!BScvntoo(rc, centre, frame, &one, out, out)) break;
    // Arcs from BSprepcarc end in weight 1 exactly; renormalising them would only add rounding.
    if (out->weights[0] != 1 || out->weights[out->num_poles - 1] != 1) BSchgecvwts(out, cv, rc);
  } while (false);
  BSexit(rc, "BSelarptang", "bselarptang");
}
