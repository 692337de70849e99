// The shape of a point set (usually a curve's poles): coincident, collinear, coplanar or spatial, with its
// principal axes, and the least-squares point, line or plane that a caller asks for. The fit trusts the Jacobi
// eigen-analysis of the second moments while it is well conditioned, checks its signs against the closed-form
// solver, and falls back to a singular value decomposition of the centred points otherwise.
#include "bspline/numerics.h"

#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/numerics/numerics_internal.h"

namespace {

constexpr int kLocalPoints = 200;

double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void diff3(const double a[3], const double b[3], double out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = a[i] - b[i];
}

// The largest squared distance of the points from the line through c along the unit vector dir, as |d x dir|^2:
// |d|^2 - (d.dir)^2 cancels to rounding noise above dist_sqtol once the points lie some tens of units from c.
double max_line_distsq(int n, const double *pts, const double c[3], const double dir[3]) {
  double worst = 0.0;
  for (int i = 0; i < n; ++i) {
    double d[3];
    diff3(pts + 3 * i, c, d);
    const double x = d[1] * dir[2] - d[2] * dir[1], y = d[2] * dir[0] - d[0] * dir[2],
                 z = d[0] * dir[1] - d[1] * dir[0];
    worst = std::fmax(worst, x * x + y * y + z * z);
  }
  return worst;
}

// The largest distances of the points on either side of the plane through c with unit normal nrm.
void plane_sides(int n, const double *pts, const double c[3], const double nrm[3], double *above, double *below) {
  *above = *below = 0.0;
  for (int i = 0; i < n; ++i) {
    double d[3];
    diff3(pts + 3 * i, c, d);
    const double s = dot3(d, nrm);
    *above = std::fmax(*above, s);
    *below = std::fmax(*below, -s);
  }
}

double plane_deviation(int mode, int n, const double *pts, const double c[3], const double nrm[3]) {
  double above, below;
  plane_sides(n, pts, c, nrm, &above, &below);
  return mode == BSFIT_PLANE ? std::fmax(above, below) : above + below;
}

// e^T S e for the symmetric 3x3 S (row by row).
double quad_form(const double S[9], const double e[3]) {
  double r = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r += e[i] * S[3 * i + j] * e[j];
  return r;
}

}  // namespace

void BSgmprppts3(int n, const double *points, double tol, int *shape, double centroid[3], double vec[3], int *rc) {
  *rc = 0;
  BSstackblock stack;
  double *blocks = nullptr;
  do {
    if (n < 1 || !(tol >= 0) || !std::isfinite(tol) || !BSallfinite(3 * n, points)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    for (int k = 0; k < 3; ++k) centroid[k] = 0.0;
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) centroid[k] += points[3 * i + k];
    for (int k = 0; k < 3; ++k) centroid[k] /= n;

    blocks = BSscratchtake(3 * static_cast<std::size_t>(n), &stack);
    if (!blocks) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) blocks[k * n + i] = points[3 * i + k] - centroid[k];
    double sv[3], V[9];
    bssvd::sngvald3v_in_place(n, blocks, sv, V, rc);
    if (*rc != 0) break;

    // Root-mean-square spread along each axis.
    int small = 0;
    const double rn = std::sqrt(static_cast<double>(n));
    for (int k = 0; k < 3; ++k)
      if (std::fabs(sv[k]) / rn < tol) ++small;
    if (small == 0) {
      *shape = BSSHAPE_SPATIAL;
    } else if (small == 1) {
      *shape = BSSHAPE_COPLANAR;
      BSvcross(rc, V, V + 3, vec);
      BSnorvec(rc, vec);
    } else if (small == 2) {
      *shape = BSSHAPE_COLLINEAR;
      for (int k = 0; k < 3; ++k) vec[k] = V[k];
      BSnorvec(rc, vec);
    } else {
      *shape = BSSHAPE_COINCIDENT;
    }
  } while (false);
  BSscratchrelease(blocks);
  BSexit(rc, "BSgmprppts3", "bsgmprppts3");
}

void BSsrtptslnv(int n, const double *points, BSboolean rational, const double *weights, const double dir[3],
                 int *order, int *rc) {
  *rc = 0;
  BSscratch<500> scratch;
  do {
    if (n < 2 || !BSallfinite(3 * n, points) || (rational && weights && !BSallfinite(n, weights))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (std::fabs(dir[k]) > std::fabs(dir[axis])) axis = k;
    double *keys = scratch.take(static_cast<std::size_t>(n));
    if (!keys) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int i = 0; i < n; ++i) keys[i] = points[3 * i + axis] / (rational && weights ? weights[i] : 1.0);
    BStagsort(rc, &n, keys, order);
  } while (false);
  BSexit(rc, "BSsrtptslnv", "bssrtptslnv");
}

void BSlsqptlnpl(int n, const double *points, const double *weights, int mode, int *type, double point[3],
                 double vec[3], double *deviation, int *rc) {
  *rc = 0;
  BSscratch<3 * kLocalPoints> pts_scratch, centred_scratch, left_scratch;
  do {
    if (mode < BSFIT_POINT || mode > BSFIT_PLANE_THICK || n < 1 || !BSallfinite(3 * n, points) ||
        (weights && !BSallfinite(n, weights))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    *deviation = 0.0;
    const double dist_tol = BStoltab[bstol::dist_tol];
    const double dist_sqtol = BStoltab[bstol::dist_sqtol];

    if (weights) {
      // All weights zero would pass the quarter-of-the-mean rule and divide by zero below.
      double mean = 0.0;
      for (int i = 0; i < n; ++i) mean += weights[i];
      if (!(mean / n > 0.0)) {
        *rc = BSRC_DEGENERATE;
        break;
      }
    }
    if (!BSavgpts(rc, n, points, weights, point)) break;
    const double *c = point;

    double *pts = pts_scratch.take(3 * static_cast<std::size_t>(n));
    if (!pts) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) pts[3 * i + k] = points[3 * i + k] / (weights ? weights[i] : 1.0);
    // A weight near the bottom of the double range throws its point (or the average) past it.
    if (!BSallfinite(3 * n, pts) || !BSallfinite(3, point)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }

    const double ptol = dist_sqtol / 4.0;
    double far2 = 0.0;
    for (int i = 0; i < n; ++i) {
      double d[3];
      diff3(pts + 3 * i, c, d);
      far2 = std::fmax(far2, dot3(d, d));
    }
    // Points spread past the square root of the double range overflow every squared distance and moment below:
    // refused like points past the range, instead of answered with an infinite deviation or a NaN direction.
    if (!std::isfinite(far2)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (mode == BSFIT_POINT) {
      if (far2 > ptol) {
        *type = BSKIND_NONE;
        *deviation = std::sqrt(far2);
      } else {
        *type = BSKIND_POINT;
      }
      break;
    }
    if (far2 <= ptol) {
      *type = BSKIND_POINT;
      break;
    }

    const double *p0 = pts, *p1 = pts + 3, *p2 = pts + 6;
    if (n == 2) {
      *type = BSKIND_LINE;
      for (int k = 0; k < 3; ++k) point[k] = p0[k];
      diff3(p1, p0, vec);
      BSnorvec(rc, vec);
      break;
    }

    if (n == 3) {
      double d01[3], d02[3], d12[3];
      diff3(p1, p0, d01);
      diff3(p2, p0, d02);
      diff3(p2, p1, d12);
      const double l01 = dot3(d01, d01), l02 = dot3(d02, d02), l12 = dot3(d12, d12);
      if (l01 < dist_sqtol || l02 < dist_sqtol || l12 < dist_sqtol) {
        // Two of the three coincide: the line through the distinct pair. When the first point is close to both
        // others, the second and third are the pair.
        *type = BSKIND_LINE;
        const double *d = l01 >= dist_sqtol ? d01 : l02 >= dist_sqtol ? d02 : d12;
        for (int k = 0; k < 3; ++k) vec[k] = d[k];
        BSnorvec(rc, vec);
        break;
      }
      int ord[3];
      BSsrtptslnv(3, pts, BSFALSE, nullptr, d02, ord, rc);
      if (*rc != 0) break;
      const double *first = pts + 3 * ord[0], *mid = pts + 3 * ord[1], *last = pts + 3 * ord[2];
      double dist = 0.0;
      if (!BSdistptli(rc, mid, first, last, &dist)) break;
      if (dist >= dist_tol) {
        *type = BSKIND_PLANE;
        for (int k = 0; k < 3; ++k) point[k] = p0[k];
        double a[3] = {d01[0], d01[1], d01[2]}, b[3] = {d02[0], d02[1], d02[2]};
        if (!BSnorvec(rc, a) || !BSnorvec(rc, b)) break;
        BSvcross(rc, a, b, vec);
        BSnorvec(rc, vec);
      } else {
        *type = BSKIND_LINE;
        diff3(last, first, vec);
        BSnorvec(rc, vec);
      }
      break;
    }

    // Second moments about the centroid (not divided by n).
    double S[9] = {};
    for (int i = 0; i < n; ++i) {
      double d[3];
      diff3(pts + 3 * i, c, d);
      for (int r = 0; r < 3; ++r)
        for (int s = r; s < 3; ++s) S[3 * r + s] += d[r] * d[s];
    }
    bool too_far = false;
    for (int r = 0; r < 3; ++r)
      for (int s = r; s < 3; ++s) {
        S[3 * s + r] = S[3 * r + s];
        too_far = too_far || S[3 * r + s] > 1e31;
      }
    if (too_far) {
      *rc = -3;
      break;
    }

    int count3 = 3, rc3 = 0, rcj = 0;
    double lam3[3], E3[9], lam[3], E[9];
    BSeig3x3(S, &count3, lam3, E3, &rc3);
    BSeigmatvv1(3, 3, S, 2, lam, E, &rcj);
    const bool closed_ok = rc3 == 0;
    if (closed_ok && rcj == 0)
      for (int i = 0; i < 3; ++i)
        if (dot3(E + 3 * i, E3 + 3 * i) < 0.0)
          for (int k = 0; k < 3; ++k) E[3 * i + k] = -E[3 * i + k];

    const bool use_eigen =
        rcj == 0 && ((lam[0] != 0.0 && std::fabs(lam[2]) / std::fabs(lam[0]) > 1e-14) || std::fabs(lam[2]) < 1e-12);
    if (use_eigen) {
      const int usable = count3 < 3 ? count3 : 3;
      if (usable <= 0) {
        *rc = -1;
        break;
      }
      if (mode == BSFIT_LINE) {
        // The smallest residual sum(|p - c|^2) - sum((e.(p - c))^2) is the largest e^T S e.
        int best = 0;
        for (int i = 1; i < usable; ++i)
          if (quad_form(S, E + 3 * i) > quad_form(S, E + 3 * best)) best = i;
        for (int k = 0; k < 3; ++k) vec[k] = E[3 * best + k];
        if (!BSnorvec(rc, vec)) break;
        const double worst = max_line_distsq(n, pts, c, vec);
        if (worst > dist_sqtol) {
          *type = BSKIND_NONE;
          *deviation = std::sqrt(worst);
        } else {
          *type = BSKIND_LINE;
        }
        break;
      }
      int normal = 0;
      for (int i = 1; i < usable; ++i)
        if (quad_form(S, E + 3 * i) < quad_form(S, E + 3 * normal)) normal = i;
      // Points on a line leave the normal undetermined: try the two other axes as the line first.
      bool on_line = false;
      for (int i = 0; i < usable && !on_line; ++i) {
        if (i == normal) continue;
        double dir[3] = {E[3 * i], E[3 * i + 1], E[3 * i + 2]};
        if (!BSnorvec(rc, dir)) break;
        if (max_line_distsq(n, pts, c, dir) <= dist_sqtol) {
          on_line = true;
          *type = BSKIND_LINE;
          for (int k = 0; k < 3; ++k) vec[k] = dir[k];
        }
      }
      if (*rc != 0 || on_line) break;
      for (int k = 0; k < 3; ++k) vec[k] = E[3 * normal + k];
      if (!BSnorvec(rc, vec)) break;
      double above, below;
      plane_sides(n, pts, c, vec, &above, &below);
      if (above > dist_tol || below > dist_tol) {
        *type = BSKIND_NONE;
        *deviation = mode == BSFIT_PLANE ? std::fmax(above, below) : above + below;
      } else {
        *type = BSKIND_PLANE;
      }
      break;
    }

    // Singular value fall-back on the centred points.
    double *centred = centred_scratch.take(3 * static_cast<std::size_t>(n));
    double *left = left_scratch.take(3 * static_cast<std::size_t>(n));
    if (!centred || !left) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (int i = 0; i < n; ++i) diff3(pts + 3 * i, c, centred + 3 * i);
    double sig[3], V[9];
    BSsingval(3, n, centred, left, sig, V, rc);
    if (*rc != 0) break;
    if (closed_ok && count3 > 0)
      for (int i = 0; i < 3; ++i)
        if (dot3(V + 3 * i, E3 + 3 * i) < 0.0)
          for (int k = 0; k < 3; ++k) V[3 * i + k] = -V[3 * i + k];
    const double *v0 = V, *v2 = V + 6;

    const double T = 10.0 * dist_tol;
    auto plane_candidate = [&]() {
      for (int i = 0; i < n; ++i) {
        double d[3];
        diff3(pts + 3 * i, c, d);
        if (std::fabs(dot3(v2, d)) > dist_tol) return BSKIND_NONE;
      }
      return BSKIND_PLANE;
    };
    auto line_candidate = [&]() {
      double c1[3];
      for (int k = 0; k < 3; ++k) c1[k] = c[k] + v0[k];
      for (int i = 0; i < n; ++i) {
        double dist = 0.0;
        int lrc = 0;
        if (!BSdistptli(&lrc, pts + 3 * i, c, c1, &dist) || dist > dist_tol) return plane_candidate();
      }
      return BSKIND_LINE;
    };
    auto point_candidate = [&]() {
      for (int i = 1; i < n; ++i) {
        double d[3];
        diff3(pts + 3 * i, p0, d);
        if (dot3(d, d) > dist_sqtol) return line_candidate();
      }
      return BSKIND_POINT;
    };
    auto line_or_point = [&]() { return std::fabs(sig[0]) >= T ? line_candidate() : point_candidate(); };

    int zeros = 0;
    for (int i = 0; i < 3; ++i)
      if (std::fabs(sig[i]) < 1e-12) ++zeros;
    int t;
    if (zeros == 3)
      t = BSKIND_POINT;
    else if (zeros == 2)
      t = std::fabs(sig[0]) < T ? point_candidate() : BSKIND_LINE;
    else if (zeros == 1)
      t = std::fabs(sig[1]) < T ? line_or_point() : BSKIND_PLANE;
    else if (std::fabs(sig[2]) < T)
      t = std::fabs(sig[1]) >= T ? plane_candidate() : line_or_point();
    else
      t = BSKIND_NONE;

    if (mode == BSFIT_LINE) {
      if (t != BSKIND_POINT) {
        for (int k = 0; k < 3; ++k) vec[k] = v0[k];
        if (!BSnorvec(rc, vec)) break;
        if (t == BSKIND_PLANE || t == BSKIND_NONE) {
          t = BSKIND_NONE;
          *deviation = std::sqrt(max_line_distsq(n, pts, c, vec));
        } else {
          t = BSKIND_LINE;
        }
      }
    } else if (t != BSKIND_POINT) {
      const double *src = t == BSKIND_LINE ? v0 : v2;
      for (int k = 0; k < 3; ++k) vec[k] = src[k];
      if (!BSnorvec(rc, vec)) break;
      if (t == BSKIND_NONE) *deviation = plane_deviation(mode, n, pts, c, vec);
    }
    *type = t;
  } while (false);
  BSexit(rc, "BSlsqptlnpl", "bslsqptlnpl");
}
