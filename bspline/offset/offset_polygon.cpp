// The offset control polygon: the end poles move along the normals of the end legs, each interior pole to the
// point where its two offset legs meet; a curve that jumps is offset part by part. It is the starting guess of the
// span offset, which then checks it against the true offset and refines where it is not close enough.
#include <cassert>
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

// Pole i of cv, unweighted, in the xy plane.
void plane_pole(const VOQbsp_curve *cv, int i, double q[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  q[0] = cv->poles[3 * i] / w;
  q[1] = cv->poles[3 * i + 1] / w;
  q[2] = 0.0;
}

// The unit normal of the leg a -> b: t x normal for normal (0, 0, +-1).
bool leg_normal(const double a[3], const double b[3], const double normal[3], double n[3], int *rc) {
  const double tx = b[0] - a[0], ty = b[1] - a[1];
  if (normal[2] == 1.0)
    n[0] = ty, n[1] = -tx;
  else
    n[0] = -ty, n[1] = tx;
  n[2] = 0.0;
  return BSnorvec(rc, n) != 0;
}

// Writes the xy point p (z = 0) as pole i of out, weighted like pole i of cv.
void put_pole(const VOQbsp_curve *cv, int i, const double p[3], VOQbsp_curve *out) {
  double w = 1.0;
  if (cv->rational) {
    w = cv->weights[i];
    if (out->weights) out->weights[i] = w;
  }
  if (!out->rational) w = 1.0;
  out->poles[3 * i] = p[0] * w;
  out->poles[3 * i + 1] = p[1] * w;
  out->poles[3 * i + 2] = 0.0;
}

// Index of the first pole after `from` (stepping by `step`, ending before `stop`) that is not the same xy point
// as `from`, by its largest component; -1 when there is none.
int distinct_pole(const VOQbsp_curve *cv, int from, int step, int stop) {
  // The smallest denormal of single precision, squared against the largest component: legs shorter than that
  // have no direction.
  constexpr double kTiny = 1.401298464324817e-45;
  double a[3], q[3];
  plane_pole(cv, from, a);
  for (int i = from + step; i != stop; i += step) {
    plane_pole(cv, i, q);
    const double big = std::fmax(std::fabs(q[0] - a[0]), std::fabs(q[1] - a[1]));
    if (big * big > kTiny) return i;
  }
  return -1;
}

// Pole i, an end of the polygon or of a part of it that a jump cuts off, moved along the normal of its own leg
// (to pole i + step; step +1 where the part starts at i, -1 where it ends there), or of the first leg onwards
// that is not degenerate.
void set_end_pole(int i, int step, const VOQbsp_curve *cv, double dist, const double normal[3], int side,
                  VOQbsp_curve *out, int *rc) {
  const int n = cv->num_poles;
  const bool first = step > 0;
  double q0[3], q1[3], nv[3];
  plane_pole(cv, i, q0);
  plane_pole(cv, i + step, q1);
  // The leg keeps the polygon's direction of travel, so that the normal points to the same side at both ends.
  bool ok = first ? leg_normal(q0, q1, normal, nv, rc) : leg_normal(q1, q0, normal, nv, rc);
  if (!ok) {
    *rc = 0;
    const int j = first ? distinct_pole(cv, i, 1, n) : distinct_pole(cv, i, -1, -1);
    if (j < 0) {
      *rc = BSRC_NULL_VECTOR;
      return;
    }
    plane_pole(cv, j, q1);
    ok = first ? leg_normal(q0, q1, normal, nv, rc) : leg_normal(q1, q0, normal, nv, rc);
    if (!ok) return;
  }
  double p[3];
  for (int c = 0; c < 2; ++c) p[c] = q0[c] + side * dist * nv[c];
  p[2] = 0.0;
  put_pole(cv, i, p, out);
}

// Whether the curve jumps between poles j and j + 1: an interior knot of full multiplicity lies between the last
// span that uses pole j and the first that uses pole j + 1, so the leg joining them is no part of the curve.
bool jumps_after(const VOQbsp_curve *cv, int j) {
  const int k = cv->order, n = cv->num_poles;
  const double *t = cv->knots;
  return j >= k - 1 && j + k <= n - 1 && t[j + 1] == t[j + k] && t[j + 1] > t[k - 1] && t[j + k] < t[n];
}

// q moved along the normal of the leg a -> b, or of the chord fa -> fb when a -> b has no direction.
bool offset_leg(const double a[3], const double b[3], const double fa[3], const double fb[3], const double q[3],
                double dist, const double normal[3], int side, double out[3], int *rc) {
  double nv[3];
  if (!leg_normal(a, b, normal, nv, rc)) {
    *rc = 0;
    if (!leg_normal(fa, fb, normal, nv, rc)) return false;
  }
  for (int k = 0; k < 2; ++k) out[k] = q[k] + side * dist * nv[k];
  out[2] = 0.0;
  return true;
}

bool bad_arguments(const VOQbsp_curve *cv, const double normal[3], double dist, int side, VOQbsp_curve *out,
                   int *rc) {
  if (!normal || !out || !out->poles || (cv && cv->rational && out->rational && !out->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv)) != 0) {
  } else if (!std::isfinite(dist) || !BSallfinite(3, normal) || (side != 1 && side != -1) ||
             out->num_poles < cv->num_poles) {
    *rc = BSRC_OUT_OF_RANGE;
  }
  return *rc != 0;
}

// Interior pole i of a checked polygon (BSsetq's work).
void set_interior_pole(int i, const VOQbsp_curve *cv, double dist, const double normal[3], int side,
                       VOQbsp_curve *out, int *rc) {
  do {
    // Checked before any pole is read: a pole without a successor has no outgoing leg.
    if (i < 1 || i >= cv->num_poles - 1) {
      *rc = BSRC_OFFSET_PASSES;
      break;
    }
    // Beside a jump the pole ends a part of the curve: it has one leg, and no mitre with the leg across the jump.
    const bool jump_in = jumps_after(cv, i - 1), jump_out = jumps_after(cv, i);
    if (jump_in != jump_out) {
      set_end_pole(i, jump_in ? 1 : -1, cv, dist, normal, side, out, rc);
      break;
    }
    double prev[3], q[3], next[3], A[3], B[3];
    plane_pole(cv, i - 1, prev);
    plane_pole(cv, i, q);
    plane_pole(cv, i + 1, next);
    if (!offset_leg(prev, q, prev, next, q, dist, normal, side, A, rc) ||
        !offset_leg(q, next, prev, next, q, dist, normal, side, B, rc))
      break;
    double p[3] = {0.0, 0.0, 0.0};
    double d2 = 0.0;
    for (int k = 0; k < 2; ++k) d2 += (A[k] - B[k]) * (A[k] - B[k]);
    if (std::sqrt(d2) < BStoltab[bstol::dist_tol]) {
      for (int k = 0; k < 2; ++k) p[k] = (A[k] + B[k]) / 2;
    } else {
      double u[3] = {A[0] - q[0], A[1] - q[1], 0.0}, v[3] = {B[0] - q[0], B[1] - q[1], 0.0};
      const double len = std::hypot(u[0], u[1]);
      if (!BSnorvec(rc, u) || !BSnorvec(rc, v)) break;
      const double c = u[0] * v[0] + u[1] * v[1];
      if (c >= BStoltab[3] - 1.0) {
        // The mitre: the two offset legs meet on the bisector, len / cos(half angle) from the pole.
        double m[3] = {(u[0] + v[0]) / 2, (u[1] + v[1]) / 2, 0.0};
        if (!BSnorvec(rc, m)) break;
        const double s = len / (u[0] * m[0] + u[1] * m[1]);
        for (int k = 0; k < 2; ++k) p[k] = q[k] + s * m[k];
      } else {
        // The polygon turns back on itself: the legs' offsets never meet.
        for (int k = 0; k < 2; ++k) p[k] = A[k];
      }
    }
    put_pole(cv, i, p, out);
  } while (false);
}

// BSsetq from inside the polygon routines: its exit is left out on success, and taken on failure so that the
// trace reads as it did. Only while no fault handler listens (set_span_poles checks).
void set_q(int i, const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve *out,
           int *rc) {
  set_interior_pole(i, cv, dist, normal, side, out, rc);
  if (*rc != 0) BSexit(rc, "BSsetq", "bssetq");
}

// The poles that span s of a checked polygon uses (BSsetspn's work).
void set_span_poles(int s, const VOQbsp_curve *cv, double dist, const double normal[3], int side,
                    VOQbsp_curve *out, int *rc) {
  const bool quiet = !bstest::slow_roads();
  do {
    const int k = cv->order, n = cv->num_poles;
    if (s < k - 1 || s > n - 1) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (s == k - 1) {
      set_end_pole(0, 1, cv, dist, normal, side, out, rc);
      for (int i = 1; i <= k - 3 && *rc == 0; ++i) (quiet ? set_q : BSsetq)(i, cv, dist, normal, side, out, rc);
      if (*rc != 0) break;
    }
    if (s >= 2) (quiet ? set_q : BSsetq)(s - 1, cv, dist, normal, side, out, rc);
    if (*rc != 0) break;
    if (s < n - 1)
      (quiet ? set_q : BSsetq)(s, cv, dist, normal, side, out, rc);
    else
      set_end_pole(n - 1, -1, cv, dist, normal, side, out, rc);
  } while (false);
}

}  // namespace

void BSsetq(int i, const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve *out,
            int *rc) {
  *rc = 0;
  do {
    if (bad_arguments(cv, normal, dist, side, out, rc)) break;
    set_interior_pole(i, cv, dist, normal, side, out, rc);
  } while (false);
  BSexit(rc, "BSsetq", "bssetq");
}

void BSsetspn(int s, const VOQbsp_curve *cv, double dist, const double normal[3], int side, VOQbsp_curve *out,
              int *rc) {
  *rc = 0;
  do {
    if (bad_arguments(cv, normal, dist, side, out, rc)) break;
    set_span_poles(s, cv, dist, normal, side, out, rc);
  } while (false);
  BSexit(rc, "BSsetspn", "bssetspn");
}

void bsoffset::set_span(int s, const VOQbsp_curve *cv, double dist, const double normal[3], int side,
                        VOQbsp_curve *out, int *rc) {
  if (bstest::slow_roads()) return BSsetspn(s, cv, dist, normal, side, out, rc);
  assert(normal && out && out->poles && cv && cv->poles && cv->num_poles <= out->num_poles &&
         (side == 1 || side == -1));
  *rc = 0;
  set_span_poles(s, cv, dist, normal, side, out, rc);
  if (*rc != 0) BSexit(rc, "BSsetspn", "bssetspn");
}

void bsoffset::set_polygon(const VOQbsp_curve *cv, double dist, const double normal[3], int side,
                           VOQbsp_curve *out, int *rc) {
  *rc = 0;
  const int n = cv->num_poles;
  // A pole depends on the curve alone, so each is set once, in the order the spans first set them. A failure is
  // left to the spans in turn, which fail at the same pole and leave the trace they always left.
  if (!bstest::slow_roads() && n >= 2) {
    set_end_pole(0, 1, cv, dist, normal, side, out, rc);
    for (int i = 1; i <= n - 2 && *rc == 0; ++i) set_interior_pole(i, cv, dist, normal, side, out, rc);
    if (*rc == 0) set_end_pole(n - 1, -1, cv, dist, normal, side, out, rc);
    if (*rc == 0) return;
    *rc = 0;
  }
  for (int s = cv->order - 1; s <= n - 1 && *rc == 0; ++s) set_span(s, cv, dist, normal, side, out, rc);
}
