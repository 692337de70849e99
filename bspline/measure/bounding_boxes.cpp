// Boxes around curves for the pruning of intersection and distance searches: axis-aligned box tests, the dual
// bases of box axes, the oriented box of points along given directions, of a curve's poles along its first and
// second derivatives, and of one span given as Legendre series. Every box rests on the convex hull of the poles
// or on |P_j(t)| <= 1 for the Legendre polynomials on [-1, 1]; none is tight.
#include "bspline/core/exit.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {
constexpr double kMinAxisComponent = 1e-6;
// Sine of the smallest angle between the first two axes that still spans a box: a box skewed further grows
// long axes whose dual basis loses the curve in rounding, and the bounding sphere serves better.
constexpr double kMinAxisSine = 1e-3;

bool has_component(const double *v, int dim, double at_least) {
  for (int c = 0; c < dim; ++c)
    if (std::fabs(v[c]) >= at_least) return true;
  return false;
}

// Dual basis of dim axes (dim x dim doubles).
void dual_basis(int dim, const double *axes, double *dual, int *rc) {
  if (dim == 3)
    BSboxinvabc(axes, dual, rc);
  else
    BSboxinvab(axes, dual, rc);
}

// Half-extents of a Legendre series about its centre along axes b (dual basis given): the sum over j >= 1 of
// |d_j . dual_i|, scaled; d_j the j-th coefficient vector, gathered from coordinate blocks of stride deg + 1.
void legendre_box(int deg, int dim, const double *d, int stride, double factor, const double *b, double *half_axes,
                  int *rc) {
  double dual[9];
  dual_basis(dim, b, dual, rc);
  if (*rc != 0) return;
  for (int i = 0; i < dim; ++i) {
    double e = 0;
    for (int j = 1; j <= deg; ++j) {
      double x = 0;
      for (int c = 0; c < dim; ++c) x += d[c * stride + j] * dual[i * dim + c];
      e += std::fabs(x);
    }
    for (int c = 0; c < dim; ++c) half_axes[i * dim + c] = factor * e * b[i * dim + c];
  }
}

// Base axes from the first two coefficient vectors (and their cross product in space); false when they are
// too near parallel for a box. The sine asked is the B-spline box's: the dual basis and the plane coordinates of
// a point against the box magnify rounding by about its inverse square, and at a sine of 1e-6 a span some
// thousands long put a point the curve passes through 0.06 off its box.
bool base_axes(int dim, const double *c1, const double *c2, double *b) {
  double l1 = 0, l2 = 0;
  for (int c = 0; c < dim; ++c) {
    l1 += c1[c] * c1[c];
    l2 += c2[c] * c2[c];
  }
  const double s = 1 / std::sqrt(l1 + l2);
  l1 = std::sqrt(l1), l2 = std::sqrt(l2);
  double plus = 0, minus = 0;
  for (int c = 0; c < dim; ++c) {
    const double u = s * (l1 * c2[c] + l2 * c1[c]), v = s * (l1 * c2[c] - l2 * c1[c]);
    plus += u * u;
    minus += v * v;
  }
  const double thr = 1e-16 * std::fmax(l1, l2);
  if (!(plus >= thr) || !(minus >= thr)) return false;
  // On the unit vectors, so that the test holds at any scale.
  double u1[3], u2[3], sine[3];
  for (int c = 0; c < dim; ++c) u1[c] = c1[c] / l1, u2[c] = c2[c] / l2;
  const double sq_sine = dim == 3 ? (bsmeasure::cross3(u1, u2, sine), bsmeasure::dot3(sine, sine))
                                  : (u1[0] * u2[1] - u1[1] * u2[0]) * (u1[0] * u2[1] - u1[1] * u2[0]);
  if (!(sq_sine >= kMinAxisSine * kMinAxisSine)) return false;
  for (int c = 0; c < dim; ++c) {
    b[c] = c1[c];
    b[dim + c] = c2[c];
  }
  if (dim == 3) {
    bsmeasure::cross3(c1, c2, b + 6);
    if (b[6] == 0 && b[7] == 0 && b[8] == 0) return false;
  }
  return true;
}
}  // namespace

BSboolean BSbxint(int *rc, const double min1[3], const double max1[3], const double min2[3], const double max2[3]) {
  *rc = 0;
  const double tol = BStoltab[bstol::dist_tol];
  BSboolean overlap = BSTRUE;
  for (int c = 0; c < 3; ++c)
    if (max1[c] + tol < min2[c] || max2[c] + tol < min1[c]) overlap = BSFALSE;
  BSexit(rc, "BSbxint", "bsbxint");
  return overlap;
}

BSboolean BSptinbx(int *rc, const double *p, const double *min, const double *max, const int *dim) {
  *rc = 0;
  // dist_tol over the whole diagonal: each side grows by its share of it.
  const double tol = BStoltab[bstol::dist_tol] / std::sqrt(3.0);
  BSboolean inside = BSTRUE;
  for (int c = 0; c < *dim; ++c)
    if (!(min[c] - tol <= p[c] && p[c] <= max[c] + tol)) inside = BSFALSE;
  BSexit(rc, "BSptinbx", "bsptinbx");
  return inside;
}

BSboolean BSbx3(int *rc, const double p[3], const double min[3], const double max[3], double *dist_sq) {
  *rc = 0;
  double s = 0;
  for (int c = 0; c < 3 && *rc == 0; ++c) {
    if (min[c] > max[c]) {
      *rc = 1;  // an inverted box
    } else {
      const double q = std::fmin(std::fmax(p[c], min[c]), max[c]);
      s += (p[c] - q) * (p[c] - q);
    }
  }
  if (*rc == 0) *dist_sq = s;
  BSexit(rc, "BSbx3", "bsbx3");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSpolesbox(int *rc, const int *num_poles, const double *poles, const double *weights, double min[3],
                     double max[3]) {
  *rc = 0;
  for (int c = 0; c < 3; ++c) {
    min[c] = DBL_MAX;
    max[c] = -DBL_MAX;
  }
  // Plain comparisons settle every step but a tie, which std::fmin and std::fmax decide as before (the sign of a
  // zero); a NaN changes nothing, as with them. Without weights there is nothing to divide by: the intersection of
  // a span with the rest of its curve boxes that rest for every span.
  const auto take = [min, max](int c, double x) {
    if (x < min[c])
      min[c] = x;
    else if (x == min[c])
      min[c] = std::fmin(min[c], x);
    if (x > max[c])
      max[c] = x;
    else if (x == max[c])
      max[c] = std::fmax(max[c], x);
  };
  if (weights) {
    for (int i = 0; i < *num_poles; ++i)
      for (int c = 0; c < 3; ++c) take(c, poles[3 * i + c] / weights[i]);
  } else {
    for (int i = 0; i < *num_poles; ++i)
      for (int c = 0; c < 3; ++c) take(c, poles[3 * i + c]);
  }
  BSexit(rc, "BSpolesbox", "bspolesbox");
  return BSTRUE;
}

void BSendptinbx(int *rc, const VOQbsp_curve *cv, BSboolean *inside) {
  *rc = 0;
  *inside = BSFALSE;
  if (!cv || !cv->poles || (cv->rational && !cv->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else if (cv->num_poles >= 2) {
    const int n = cv->num_poles, m = n - 1, three = 3;
    const double *w = cv->rational ? cv->weights : nullptr;
    double first[3], last[3], lo[3], hi[3];
    for (int c = 0; c < 3; ++c) {
      first[c] = cv->poles[c] / (w ? w[0] : 1.0);
      last[c] = cv->poles[3 * m + c] / (w ? w[m] : 1.0);
    }
    BSpolesbox(rc, &m, cv->poles + 3, w ? w + 1 : nullptr, lo, hi);
    *inside = BSptinbx(rc, first, lo, hi, &three);
    if (!*inside) {
      BSpolesbox(rc, &m, cv->poles, w, lo, hi);
      *inside = BSptinbx(rc, last, lo, hi, &three);
    }
  }
  BSexit(rc, "BSendptinbx", "bsendptinbx");
}

bool BSpoles_advance(const VOQbsp_curve *cv) {
  if (!cv || !cv->poles || (cv->rational && !cv->weights) || cv->num_poles < 2) return false;
  const int n = cv->num_poles;
  // The unit step from pole j to the next; false for a repeated pole. The derivative of the curve is a blend of
  // steps with non-negative factors (for a rational curve of positive weights, of the steps between any two
  // poles, which are sums of consecutive ones).
  auto unit_step = [cv](int j, double u[3]) {
    const double w0 = cv->rational ? cv->weights[j] : 1.0, w1 = cv->rational ? cv->weights[j + 1] : 1.0;
    double sq = 0;
    for (int c = 0; c < 3; ++c) {
      u[c] = cv->poles[3 * (j + 1) + c] / w1 - cv->poles[3 * j + c] / w0;
      sq += u[c] * u[c];
    }
    if (!(sq > 0)) return false;
    const double len = std::sqrt(sq);
    for (int c = 0; c < 3; ++c) u[c] /= len;
    return true;
  };
  double d[3] = {0, 0, 0}, u[3];
  bool moves = false;
  for (int j = 0; j < n; ++j) {
    const double w = cv->rational ? cv->weights[j] : 1.0;
    if (!(w > 0)) return false;
    for (int c = 0; c < 3; ++c)
      if (!std::isfinite(cv->poles[3 * j + c] / w)) return false;
  }
  for (int j = 0; j + 1 < n; ++j)
    if (unit_step(j, u)) {
      moves = true;
      for (int c = 0; c < 3; ++c) d[c] += u[c];
    }
  if (!moves) return false;
  // From the mean step, the step the direction advances least along is added to it until it advances along all
  // (each addition turns it towards the cone of the steps, when the cone is narrower than a half turn).
  for (int round = 0; round < 64; ++round) {
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    double least = 1e-12 * len, worst[3] = {0, 0, 0};
    bool short_of = false;
    for (int j = 0; j + 1 < n; ++j) {
      if (!unit_step(j, u)) continue;
      const double along = d[0] * u[0] + d[1] * u[1] + d[2] * u[2];
      if (!(along > least)) {
        least = along;
        std::memcpy(worst, u, sizeof worst);
        short_of = true;
      }
    }
    if (!short_of) return len > 0;
    for (int c = 0; c < 3; ++c) d[c] += worst[c];
  }
  return false;
}

void BSboxinvab(const double m[4], double inv[4], int *rc) {
  *rc = 0;
  const double det = m[0] * m[3] - m[2] * m[1];
  if (det == 0) {
    *rc = BSRC_SINGULAR_AXES;
  } else {
    const double r[4] = {m[3] / det, -m[2] / det, -m[1] / det, m[0] / det};
    for (int i = 0; i < 4; ++i) inv[i] = r[i];
  }
  BSexit(rc, "BSboxinvab", "bsboxinvab");
}

void BSboxinvabc(const double axes[9], double dual[9], int *rc) {
  *rc = 0;
  const double *a1 = axes, *a2 = axes + 3, *a3 = axes + 6;
  double x[3];
  BSvcross(rc, a1, a2, x);
  const double g = bsmeasure::dot3(x, x), l3 = bsmeasure::dot3(a3, a3);
  // A null third axis has no dual either.
  if (g == 0 || l3 == 0) {
    *rc = BSRC_SINGULAR_AXES;
  } else {
    const double l1 = bsmeasure::dot3(a1, a1), l2 = bsmeasure::dot3(a2, a2), d12 = bsmeasure::dot3(a1, a2);
    double r[9];
    for (int c = 0; c < 3; ++c) {
      r[c] = (l2 * a1[c] - d12 * a2[c]) / g;
      r[3 + c] = (l1 * a2[c] - d12 * a1[c]) / g;
      r[6 + c] = a3[c] / l3;
    }
    for (int i = 0; i < 9; ++i) dual[i] = r[i];
  }
  BSexit(rc, "BSboxinvabc", "bsboxinvabc");
}

void BSboxpole(int n, int dim, const double *pts, const double *dirs, double *center, double *half_axes, int *rc) {
  *rc = 0;
  double dual[9];
  if (dim != 2 && dim != 3) {
    *rc = BSRC_NO_OBLIQUE_BOX;
  } else if (n < 1) {
    *rc = BSRC_DEGENERATE;
  } else {
    dual_basis(dim, dirs, dual, rc);
  }
  if (*rc == 0) {
    double centroid[3] = {0, 0, 0};
    for (int c = 0; c < dim; ++c) {
      for (int i = 0; i < n; ++i) centroid[c] += pts[c * n + i];
      centroid[c] /= n;
    }
    // The coordinates along each axis are only needed for their extremes: no table of them is kept.
    double lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
    for (int i = 0; i < n; ++i)
      for (int a = 0; a < dim; ++a) {
        double x = 0;
        for (int c = 0; c < dim; ++c) x += (pts[c * n + i] - centroid[c]) * dual[a * dim + c];
        lo[a] = std::fmin(lo[a], x);
        hi[a] = std::fmax(hi[a], x);
      }
    for (int c = 0; c < dim; ++c) center[c] = centroid[c];
    for (int a = 0; a < dim; ++a)
      for (int c = 0; c < dim; ++c) {
        center[c] += (hi[a] + lo[a]) / 2 * dirs[a * dim + c];
        half_axes[a * dim + c] = (hi[a] - lo[a]) / 2 * dirs[a * dim + c];
      }
  }
  BSexit(rc, "BSboxpole", "bsboxpole");
}

void BSoblboxbsc(int order, int num_poles, const double *knots, int dim, int rational, const double *poles,
                 double *center, double *half_axes, int *rc) {
  *rc = 0;
  bsmeasure::LocalWork<300> work;
  do {
    if (dim != 2 && dim != 3) {
      *rc = BSRC_NO_OBLIQUE_BOX;
      break;
    }
    const double u = (knots[0] + knots[num_poles]) / 2;
    double d[9];
    BSevalbsp(order - 1, num_poles, dim, rational, poles, knots, u, 2, d, rc);
    if (*rc != 0) break;
    double axes[9];
    for (int c = 0; c < dim; ++c) {
      axes[c] = d[dim + c];
      axes[dim + c] = d[2 * dim + c];
    }
    if (dim == 3) bsmeasure::cross3(axes, axes + 3, axes + 6);
    bool ok = true;
    for (int a = 0; a < dim; ++a) ok = ok && has_component(axes + a * dim, dim, kMinAxisComponent);
    // The component test is absolute: a straight curve over short knot gaps has large derivatives whose
    // rounding passes it while they stay parallel. Axes that nearly are give a dual basis that amplifies
    // rounding past any box, so their angle is tested against their lengths too.
    if (ok) {
      double l1 = 0, l2 = 0;
      for (int c = 0; c < dim; ++c) l1 += axes[c] * axes[c], l2 += axes[dim + c] * axes[dim + c];
      const double det2 = axes[0] * axes[3] - axes[1] * axes[2];
      const double cross = dim == 3 ? bsmeasure::dot3(axes + 6, axes + 6) : det2 * det2;
      ok = cross >= kMinAxisSine * kMinAxisSine * l1 * l2;
    }
    if (!ok) {
      *rc = BSRC_NO_OBLIQUE_BOX;  // a straight stretch (no second derivative) or a stationary point
      break;
    }
    const double *pts = bsmeasure::cartesian_blocks(work, dim, num_poles, rational != 0, poles);
    if (!pts) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    BSboxpole(num_poles, dim, pts, axes, center, half_axes, rc);
  } while (false);
  BSexit(rc, "BSoblboxbsc", "bsoblboxbsc");
}

void BSboxcvlgp(int deg, int dim, const double *coeffs, double *center, double *half_axes, int *rc) {
  *rc = 0;
  const int stride = deg + 1;
  if (dim != 2 && dim != 3) {
    *rc = BSRC_NO_OBLIQUE_BOX;
  } else {
    for (int c = 0; c < dim; ++c) center[c] = coeffs[c * stride];
    for (int i = 0; i < dim * dim; ++i) half_axes[i] = 0;
    if (deg == 1) {
      for (int c = 0; c < dim; ++c) half_axes[c] = coeffs[c * stride + 1];
    } else if (deg >= 2) {
      double c1[3], c2[3], b[9];
      for (int c = 0; c < dim; ++c) {
        c1[c] = coeffs[c * stride + 1];
        c2[c] = coeffs[c * stride + 2];
      }
      if (!base_axes(dim, c1, c2, b))
        *rc = BSRC_NO_OBLIQUE_BOX;  // parallel leading coefficients
      else
        legendre_box(deg, dim, coeffs, stride, 1.0, b, half_axes, rc);
    }
  }
  BSexit(rc, "BSboxcvlgp", "bsboxcvlgp");
}

void BSboxcvlgr(int deg, int dim, const double *coeffs, double *center, double *half_axes, int *rc) {
  *rc = 0;
  const int stride = deg + 1;
  do {
    if ((dim != 2 && dim != 3) || deg < 0) {
      *rc = BSRC_NO_OBLIQUE_BOX;
      break;
    }
    const double *w = coeffs + dim * stride;
    for (int i = 0; i < dim * dim; ++i) half_axes[i] = 0;
    if (deg == 0) {
      if (w[0] == 0) {
        *rc = BSRC_NO_OBLIQUE_BOX;
        break;
      }
      for (int c = 0; c < dim; ++c) center[c] = coeffs[c * stride] / w[0];
      break;
    }
    if (deg == 1) {
      // A weight that vanishes on the span sends the curve through infinity: no box holds it.
      if (!(std::fabs(w[1]) < std::fabs(w[0]))) {
        *rc = BSRC_NO_OBLIQUE_BOX;
        break;
      }
      for (int c = 0; c < dim; ++c) {
        const double e0 = (coeffs[c * stride] - coeffs[c * stride + 1]) / (w[0] - w[1]);
        const double e1 = (coeffs[c * stride] + coeffs[c * stride + 1]) / (w[0] + w[1]);
        center[c] = (e0 + e1) / 2;
        half_axes[c] = (e1 - e0) / 2;
      }
      break;
    }
    // x(t) - x0 = sum_{j>=1} d_j P_j(t) / W(t) with x0 = c_0 / w_0 and d_j = c_j - x0 w_j; |W(t)| is at least
    // |w_0| - sum |w_j|, so the polynomial box of the d_j, widened by 1 / (|w_0| - sum |w_j|), holds the span.
    double S = 0;
    for (int j = 1; j <= deg; ++j) S += std::fabs(w[j]);
    if (!(S < 1) || !(S < std::fabs(w[0]))) {
      *rc = BSRC_NO_OBLIQUE_BOX;
      break;
    }
    const double sign = w[0] < 0 ? -1.0 : 1.0, w0 = sign * w[0];
    bsmeasure::LocalWork<192> work;
    double *dj = work.take(static_cast<std::size_t>(dim) * stride);
    if (!dj) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int c = 0; c < dim; ++c) {
      const double x0 = coeffs[c * stride] / w[0];
      center[c] = x0;
      dj[c * stride] = 0;
      for (int j = 1; j <= deg; ++j) dj[c * stride + j] = sign * (coeffs[c * stride + j] - x0 * w[j]);
    }
    double c1[3], c2[3], b[9];
    for (int c = 0; c < dim; ++c) {
      c1[c] = dj[c * stride + 1];
      c2[c] = dj[c * stride + 2];
    }
    if (!base_axes(dim, c1, c2, b)) {
      *rc = BSRC_NO_OBLIQUE_BOX;
      break;
    }
    legendre_box(deg, dim, dj, stride, 1 / (w0 - S), b, half_axes, rc);
  } while (false);
  BSexit(rc, "BSboxcvlgr", "bsboxcvlgr");
}
