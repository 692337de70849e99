// Bounds on the squared distance between query points and a curve or one Legendre span of it: point to oriented
// box (segment, parallelogram, box), bounding spheres, and the drivers that fall back from the box to the sphere
// when no box can be had. A bound may be loose but is never wrong: min_sq never exceeds, and max_sq never falls
// short of, the squared distance to any point of the curve.
#include "bspline/core/exit.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"

#include <cfloat>
#include <cmath>

namespace {
double dot(int dim, const double *a, const double *b) {
  double s = 0;
  for (int c = 0; c < dim; ++c) s += a[c] * b[c];
  return s;
}

// An axis whose squared length underflows counts as none: the bounds divide by that square, and a subnormal
// square has lost its digits (2.3e-162 squares to 4.9e-324, not 5.3e-324), enough to throw the point's
// projection off the box and the lower bound past the curve. Leaving out an axis that short moves the distances
// bounded by less than its length, 1.5e-154.
bool is_zero(int dim, const double *v) {
  double s = 0;
  for (int c = 0; c < dim; ++c) s += v[c] * v[c];
  return s < DBL_MIN;
}

double sq_distance(int dim, const double *a, const double *b) {
  double s = 0;
  for (int c = 0; c < dim; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return s;
}

// A point far out in the double range overflows the products of the bounds into infinities whose difference is
// NaN, which compares as no bound at all: such a point gets the bounds that claim nothing instead.
void claim_nothing_for_nan(double *min_sq, double *max_sq) {
  if (std::isnan(*min_sq) || std::isnan(*max_sq)) {
    *min_sq = 0;
    *max_sq = DBL_MAX;
  }
}

// Bounds from a sphere of centre c and radius r (DBL_MAX: no bound).
void sphere_bounds(int dim, const double *c, double r, const double *p, double *min_sq, double *max_sq) {
  if (r == DBL_MAX) {
    *min_sq = 0;
    *max_sq = DBL_MAX;
    return;
  }
  const double d = std::sqrt(sq_distance(dim, p, c));
  *min_sq = d > r ? (d - r) * (d - r) : 0;
  *max_sq = (d + r) * (d + r);
  claim_nothing_for_nan(min_sq, max_sq);
}

// The active query points (coordinate blocks) of a bound driver: bounded by an oriented box from the first point
// on, and by a sphere from the point where the box gives out. settle(i) runs after each point's bounds.
struct QueryPoints {
  int dim, num_pts;
  const double *pts;
  const unsigned char *active;
  double *min_sq, *max_sq;
  double *p = nullptr, *sphere_center = nullptr;
  bsmeasure::LocalWork<16> work{};

  bool ready(int *rc) {
    if (dim < 1) {
      *rc = BSRC_OUT_OF_RANGE;
      return false;
    }
    p = work.take(2 * static_cast<std::size_t>(dim));
    if (!p) {
      *rc = BSRC_NO_SCRATCH;
      return false;
    }
    sphere_center = p + dim;
    return true;
  }
  void gather(int i) {
    for (int c = 0; c < dim; ++c) p[c] = pts[c * num_pts + i];
  }
  // The index of the first point the box could not bound (num_pts when it bounded them all).
  template <class Settle>
  int by_box(bool have_box, const double *center, const double *axes, Settle settle) {
    if (!have_box) return 0;
    for (int i = 0; i < num_pts; ++i) {
      if (!active[i]) continue;
      gather(i);
      int rc = 0;
      BSminmaxbox(dim, axes, center, p, &min_sq[i], &max_sq[i], &rc);
      if (rc != 0) return i;
      settle(i);
    }
    return num_pts;
  }
  template <class Settle>
  void by_sphere(int from, double r, Settle settle) {
    for (int i = from; i < num_pts; ++i) {
      if (!active[i]) continue;
      gather(i);
      sphere_bounds(dim, sphere_center, r, p, &min_sq[i], &max_sq[i]);
      settle(i);
    }
  }
};
}  // namespace

void BSmnmxseg(int dim, const double *center, const double *a1, const double *p, double *min_sq, double *max_sq) {
  double v[3], a[3];
  for (int c = 0; c < dim; ++c) {
    v[c] = p[c] - center[c];
    a[c] = a1[c];
  }
  const double va = dot(dim, v, a), aa = dot(dim, a, a);
  double t = va / aa;
  if (t < 0) {
    t = -t;
    for (int c = 0; c < dim; ++c) a[c] = -a[c];
  }
  const double m = std::fmin(t, 1.0);
  double s = 0;
  for (int c = 0; c < dim; ++c) s += (v[c] - m * a[c]) * (v[c] - m * a[c]);
  *min_sq = s;
  *max_sq = dot(dim, v, v) + 2 * std::fabs(va) + aa;
  BSfaulthook("bsmnmxseg", nullptr);
}

void BSmnmxpt2(int dim, const double *center, const double *a1, const double *a2, const double *p, double *min_sq,
               double *max_sq, int *rc) {
  *rc = 0;
  double v[3], b1[3], b2[3];
  for (int c = 0; c < dim; ++c) {
    v[c] = p[c] - center[c];
    b1[c] = a1[c];
    b2[c] = a2[c];
  }
  double far = 0;
  for (int i = -1; i <= 1; i += 2)
    for (int j = -1; j <= 1; j += 2) {
      double s = 0;
      for (int c = 0; c < dim; ++c) {
        const double x = v[c] - i * b1[c] - j * b2[c];
        s += x * x;
      }
      far = std::fmax(far, s);
    }
  *max_sq = far;
  // The Gram system is solved on the unit axes: with the raw axes its determinant is a fourth power of their
  // lengths, subnormal for half-axes near 1e-77 and 0 below, and the coordinates lose their digits long before
  // the test for zero sees it. On unit axes the determinant is the squared sine of the angle between them.
  const double n1 = std::sqrt(dot(dim, b1, b1)), n2 = std::sqrt(dot(dim, b2, b2));
  double u1[3], u2[3];
  for (int c = 0; c < dim; ++c) {
    u1[c] = b1[c] / n1;
    u2[c] = b2[c] / n2;
  }
  const double cs = dot(dim, u1, u2), r1 = dot(dim, v, u1), r2 = dot(dim, v, u2);
  const double det = 1 - cs * cs;
  if (!(det > 4 * DBL_EPSILON)) {
    // Parallel half-axes (to rounding): the figure is a segment whose ends the plane coordinates cannot place.
    // No lower bound is claimed rather than a wrong one.
    *min_sq = 0;
  } else {
    double s = (r1 - cs * r2) / det / n1, t = (r2 - cs * r1) / det / n2;
    if (s < 0) {
      s = -s;
      for (int c = 0; c < dim; ++c) b1[c] = -b1[c];
    }
    if (t < 0) {
      t = -t;
      for (int c = 0; c < dim; ++c) b2[c] = -b2[c];
    }
    if (s <= 1 && t <= 1) {
      double q = 0;
      for (int c = 0; c < dim; ++c) {
        const double x = v[c] - s * b1[c] - t * b2[c];
        q += x * x;
      }
      *min_sq = q;
    } else {
      // Outside: the nearest point lies on one of the two edges facing p.
      double e1[3], e2[3], lo1, lo2, hi;
      for (int c = 0; c < dim; ++c) {
        e1[c] = center[c] + b1[c];
        e2[c] = center[c] + b2[c];
      }
      BSmnmxseg(dim, e1, b2, p, &lo1, &hi);
      BSmnmxseg(dim, e2, b1, p, &lo2, &hi);
      *min_sq = std::fmin(lo1, lo2);
    }
  }
  BSexit(rc, "BSmnmxpt2", "bsmnmxpt2");
}

void BSmnmxbx2(const double *half_axes, const double *center, const double *p, double *min_sq, double *max_sq,
               int *rc) {
  *rc = 0;
  const double *a1 = half_axes, *a2 = half_axes + 2;
  const bool z1 = is_zero(2, a1), z2 = is_zero(2, a2);
  if (z1 && z2) {
    *min_sq = *max_sq = sq_distance(2, p, center);
  } else if (z1) {
    *rc = BSRC_OUT_OF_RANGE;  // axes are filled in order
  } else if (z2) {
    BSmnmxseg(2, center, a1, p, min_sq, max_sq);
  } else {
    BSmnmxpt2(2, center, a1, a2, p, min_sq, max_sq, rc);
  }
  BSexit(rc, "BSmnmxbx2", "bsmnmxbx2");
}

void BSmnmxbx3(const double *half_axes, const double *center, const double *p, double *min_sq, double *max_sq,
               int *rc) {
  *rc = 0;
  const double *a1 = half_axes, *a2 = half_axes + 3, *a3 = half_axes + 6;
  const bool z1 = is_zero(3, a1), z2 = is_zero(3, a2), z3 = is_zero(3, a3);
  if (z1 && z2 && z3) {
    *min_sq = *max_sq = sq_distance(3, p, center);
  } else if ((z1 && !(z2 && z3)) || (z2 && !z3)) {
    *rc = BSRC_OUT_OF_RANGE;  // axes are filled in order
  } else if (z2) {
    BSmnmxseg(3, center, a1, p, min_sq, max_sq);
  } else if (z3) {
    BSmnmxpt2(3, center, a1, a2, p, min_sq, max_sq, rc);
  } else {
    // The third axis stands perpendicular to the other two: p's offset along it adds to both bounds.
    const double l3 = bsmeasure::dot3(a3, a3);
    const double s = ((p[0] - center[0]) * a3[0] + (p[1] - center[1]) * a3[1] + (p[2] - center[2]) * a3[2]) / l3;
    const double q[3] = {p[0] - s * a3[0], p[1] - s * a3[1], p[2] - s * a3[2]};
    BSmnmxpt2(3, center, a1, a2, q, min_sq, max_sq, rc);
    if (*rc == 0) {
      // Squared as distances, not as (|s| ∓ 1)² · |a3|²: a far point over a thin box gives an |s| whose square
      // overflows while the distance itself does not.
      const double as = std::fabs(s), n3 = std::sqrt(l3), off = as * n3;
      if (as > 1) *min_sq += (off - n3) * (off - n3);
      *max_sq += (off + n3) * (off + n3);
    }
  }
  BSexit(rc, "BSmnmxbx3", "bsmnmxbx3");
}

void BSminmaxbox(int dim, const double *half_axes, const double *center, const double *p, double *min_sq,
                 double *max_sq, int *rc) {
  *rc = 0;
  if (dim == 3) {
    BSmnmxbx3(half_axes, center, p, min_sq, max_sq, rc);
  } else if (dim == 2) {
    BSmnmxbx2(half_axes, center, p, min_sq, max_sq, rc);
  } else {
    *min_sq = 0;
    *max_sq = DBL_MAX;
  }
  if (*rc == 0) claim_nothing_for_nan(min_sq, max_sq);
  BSexit(rc, "BSminmaxbox", "bsminmaxbox");
}

void BSptsphere(int dim, int n, const double *pts, double *center, double *radius) {
  for (int c = 0; c < dim; ++c) {
    double s = 0;
    for (int i = 0; i < n; ++i) s += pts[c * n + i];
    center[c] = n > 0 ? s / n : 0;
  }
  double r = 0;
  for (int i = 0; i < n; ++i) {
    double s = 0;
    for (int c = 0; c < dim; ++c) s += (pts[c * n + i] - center[c]) * (pts[c * n + i] - center[c]);
    r = std::fmax(r, s);
  }
  *radius = std::sqrt(r);
  BSfaulthook("bsptsphere", nullptr);
}

void BSminmaxbsc(int order, int num_poles, int dim, int rational, const double *knots, const double *poles,
                 int num_pts, const double *pts, const unsigned char *active, double *min_sq, double *max_sq,
                 int *rc) {
  *rc = 0;
  bsmeasure::LocalWork<300> pole_work;
  QueryPoints q{dim, num_pts, pts, active, min_sq, max_sq};
  do {
    if (!q.ready(rc)) break;
    double center[3], axes[9];
    int brc = BSRC_NO_OBLIQUE_BOX;
    if (dim <= 3) BSoblboxbsc(order, num_poles, knots, dim, rational, poles, center, axes, &brc);
    const int from = q.by_box(brc == 0, center, axes, [](int) {});
    if (from >= num_pts) break;
    // No box (a straight curve has no second derivative to span one): the sphere around the poles.
    const double *cart = bsmeasure::cartesian_blocks(pole_work, dim, num_poles, rational != 0, poles);
    if (!cart) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double r = 0;
    BSptsphere(dim, num_poles, cart, q.sphere_center, &r);
    q.by_sphere(from, r, [](int) {});
  } while (false);
  BSexit(rc, "BSminmaxbsc", "bsminmaxbsc");
}

void BSlgdsphere(int deg, int, int dim, const double *coeffs, double *center, double *radius) {
  const int stride = deg + 1;
  for (int c = 0; c < dim; ++c) center[c] = coeffs[c * stride];
  double r = 0;
  for (int j = 1; j <= deg; ++j) {
    double s = 0;
    for (int c = 0; c < dim; ++c) s += coeffs[c * stride + j] * coeffs[c * stride + j];
    r += std::sqrt(s);
  }
  *radius = r;
  BSfaulthook("bslgdsphere", nullptr);
}

void BSlgdsphrat(int deg, int, int dim, const double *coeffs, double *center, double *radius) {
  const int stride = deg + 1;
  const double *w = coeffs + dim * stride;
  double W = 0;
  for (int j = 1; j <= deg; ++j) W += std::fabs(w[j]);
  const double w0 = std::fabs(w[0]);
  for (int c = 0; c < dim; ++c) center[c] = w[0] != 0 ? coeffs[c * stride] / w[0] : coeffs[c * stride];
  if (W >= w0) {
    // The weight may vanish on the span: the curve is unbounded there.
    *radius = DBL_MAX;
  } else {
    // x(t) - c0/w0 = sum_j (c_j w0 - c0 w_j) P_j(t) / (w0 W(t)), and |W(t)| >= |w0| - W.
    double s = 0;
    for (int c = 0; c < dim; ++c)
      for (int j = 1; j <= deg; ++j) s += std::fabs(coeffs[c * stride] * w[j] - w[0] * coeffs[c * stride + j]);
    *radius = s / ((w0 - W) * w0);
  }
  BSfaulthook("bslgdsphrat", nullptr);
}

void BSboxcvlgd(int deg, int dim, BSboolean rational, const double *coeffs, int num_pts, const double *pts,
                const double *limit, unsigned char *active, double *min_sq, double *max_sq, int *rc) {
  *rc = 0;
  QueryPoints q{dim, num_pts, pts, active, min_sq, max_sq};
  if (q.ready(rc)) {
    // A point stays active while the span may come within its limit.
    auto keep_active = [&](int i) {
      if (!(limit[i] == DBL_MAX || min_sq[i] <= limit[i] * limit[i])) active[i] = 0;
    };
    double center[3], axes[9];
    int brc = BSRC_NO_OBLIQUE_BOX;
    if (dim <= 3) {
      if (rational)
        BSboxcvlgr(deg, dim, coeffs, center, axes, &brc);
      else
        BSboxcvlgp(deg, dim, coeffs, center, axes, &brc);
    }
    const int from = q.by_box(brc == 0, center, axes, keep_active);
    if (from < num_pts) {
      double r = 0;
      if (rational)
        BSlgdsphrat(deg, 0, dim, coeffs, q.sphere_center, &r);
      else
        BSlgdsphere(deg, 0, dim, coeffs, q.sphere_center, &r);
      q.by_sphere(from, r, keep_active);
    }
  }
  BSexit(rc, "BSboxcvlgd", "bsboxcvlgd");
}
