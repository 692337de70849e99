// Whether a planar rational quadratic B-spline, given by its coefficient rows (x row, y row, weight row, the
// coordinates weighted), is exactly a circular arc in the standard parametrisation: every span carries the same
// weight function, symmetric about the span's middle. The weights alone then fix the sweep and the canonical
// unit circle with those weights; the curve is that circle scaled and moved when its rows, turned into the frame
// of the arc's middle, are c W + r X and c' W + r Y of the canonical rows X, Y, W for one c, c' and r.
//
// Only counter-clockwise arcs pass: the frame's first axis is the tangent turned clockwise, and the radius is
// taken with its sign from the middle point, so a clockwise arc fails the tangent fit. Its callers measure angles
// counter-clockwise from the middle and would place a clockwise arc's parameters mirrored.
//
// These routines push a failure onto the error trace without calling the test hook; the two centre fits push
// nothing.
#include "bspline/conics.h"

#include "bspline/knots.h"
#include "bspline/legendre.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kEps = 2.220446049250313e-14;

void report(int rc, const char *name) {
  if (rc != 0) BStracepush(rc, name);
}

bool all_finite(std::size_t count, const double *v) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

}  // namespace

void BSclccvsvrv(int n, const double *weights, const double *knots, double *row_x, double *row_y, double *sweep,
                 int *rc) {
  *rc = 0;
  do {
    if (!weights || !knots || !row_x || !row_y || !sweep || n < 3) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSscratch<15> work;
    double *bez = work.take(4 * static_cast<std::size_t>(n) - 7);
    if (!bez) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    int spans = 0;
    double *breaks = bez + 3 * (n - 2);
    BSbstobez(2, n, 1, knots, weights, &spans, bez, breaks, rc);
    if (*rc != 0) break;
    // Two poles per span and a shared end: a knot of multiplicity 1 inside cannot carry a standard circle.
    if (n != 2 * spans + 1) {
      *rc = BSRC_NOT_CIRCLE;
      break;
    }
    // Weights at the scale of their largest: a circle with all weights multiplied stays the same circle.
    double scale = 1;
    for (int i = 0; i < n; ++i) scale = std::max(scale, std::fabs(weights[i]));
    const double eps = kEps * scale;
    // The right half of each span's weight in power form from the span's middle: a0 + a1 s + a2 s^2.
    double first[3] = {0, 0, 0};
    bool circle = true;
    for (int s = 0; s < spans && circle; ++s) {
      double half[3], a[3];
      BSbezrhalf(2, bez + 3 * s, half);
      BSbeztcan(2, half, a);
      if (s == 0) {
        std::memcpy(first, a, sizeof a);
        circle = a[0] >= 0 && a[2] >= 0;
      } else {
        circle = std::fabs(a[0] - first[0]) <= eps && std::fabs(a[2] - first[2]) <= eps;
      }
      circle = circle && std::fabs(a[1]) <= eps;
    }
    const double r0 = std::sqrt(first[0]), r2 = std::sqrt(first[2]);
    if (!circle || !(r0 >= kEps) || !(r2 >= kEps)) {
      *rc = BSRC_NOT_CIRCLE;
      break;
    }
    const double h = 2 * std::atan(r2 / r0);
    *sweep = spans * h;
    // The unit circle with weight a0 + a2 t^2 over t in [-1, 1], its middle at angle 0.
    const double X[3] = {first[0], 0, -first[2]}, Y[3] = {0, 2 * r0 * r2, 0};
    for (int s = 0; s < spans && *rc == 0; ++s) {
      const double turn = (2 * s - spans + 1) * h, cs = std::cos(turn), sn = std::sin(turn);
      double *rows[2] = {row_x, row_y};
      for (int r = 0; r < 2 && *rc == 0; ++r) {
        double c[3], u[3], b[3];
        for (int j = 0; j < 3; ++j) c[j] = r == 0 ? cs * X[j] - sn * Y[j] : sn * X[j] + cs * Y[j];
        // In the span's own variable u = (t + 1) / 2.
        u[0] = c[0] - c[1] + c[2];
        u[1] = 2 * c[1] - 4 * c[2];
        u[2] = 4 * c[2];
        BScantbez(2, u, b, rc);
        if (*rc != 0) break;
        double *row = rows[r] + 2 * s;
        if (s > 0 && !(std::fabs(row[0] - b[0]) <= eps)) {
          *rc = BSRC_ZERO_WEIGHT;
          break;
        }
        std::memcpy(row, b, sizeof b);
      }
    }
  } while (false);
  report(*rc, "BSclccvsvrv");
}

void BSlocfrmcrc(int n, const double *knots, const double *coef, double point[2], double frame[4], int *rc) {
  *rc = 0;
  do {
    if (!knots || !coef || !point || !frame) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double out[4], t[3];
    BSevalbsp(2, n, 2, 1, coef, knots, (knots[0] + knots[n + 2]) / 2, 1, out, rc);
    if (*rc != 0) break;
    t[0] = out[2], t[1] = out[3], t[2] = 0;
    if (!BSnorvec(rc, t)) break;
    point[0] = out[0], point[1] = out[1];
    frame[0] = t[1], frame[1] = -t[0];
    frame[2] = t[0], frame[3] = t[1];
  } while (false);
  report(*rc, "BSlocfrmcrc");
}

void BStrbsnf(int n, int dim, const double *coef, const double *matrix, double *out, int *rc) {
  *rc = 0;
  if (!coef || !matrix || !out || n < 0 || dim < 1) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    for (int r = 0; r < dim; ++r)
      for (int c = 0; c < n; ++c) {
        double s = 0;
        for (int k = 0; k < dim; ++k) s += matrix[r * dim + k] * coef[k * n + c];
        out[r * n + c] = s;
      }
    std::memcpy(out + dim * n, coef + dim * n, static_cast<std::size_t>(n) * sizeof(double));
  }
  report(*rc, "BStrbsnf");
}

void BScrcctrn(int n, const double *rotated, double y0, const double *work, double tol, double *c1, int *rc) {
  *rc = 0;
  BSscratch<18> scratch;
  double *d = scratch.take(2 * static_cast<std::size_t>(n));
  if (!d) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  // In the frame the first row is c1 W + (y0 - c1) X: c1 (W - X) = R - y0 X, fitted by least squares.
  const double *X = work, *W = work + 2 * n;
  double *e = d + n, S = 0, P = 0, scale = 1;
  for (int i = 0; i < n; ++i) {
    scale = std::max(scale, std::fabs(W[i]));
    d[i] = W[i] - X[i];
    e[i] = rotated[i] - y0 * X[i];
    S += d[i] * d[i];
    P += d[i] * e[i];
  }
  if (!(std::fabs(S) >= kEps)) {
    *rc = BSRC_NOT_CIRCLE;
    return;
  }
  // The residuals are weighted: at the scale of the weights, as in BSclccvsvrv.
  const double c = P / S;
  for (int i = 0; i < n; ++i)
    if (!(std::fabs(c * d[i] - e[i]) <= tol * scale)) {
      *rc = BSRC_NOT_CIRCLE;
      return;
    }
  *c1 = c;
}

void BScrcctrt(int n, const double *rotated, double y0, const double *work, double c1, double tol, double *c2,
               int *rc) {
  *rc = 0;
  BSscratch<9> scratch;
  double *v = scratch.take(static_cast<std::size_t>(n));
  if (!v) {
    *rc = BSRC_NO_SCRATCH;
    return;
  }
  // The second row is c2 W + r Y with r = y0 - c1.
  const double *Y = work + n, *W = work + 2 * n, *R = rotated + n, r = y0 - c1;
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += v[i] = (R[i] - r * Y[i]) / W[i];
  const double c = sum / n;
  for (int i = 0; i < n; ++i)
    if (!(std::fabs(c - v[i]) <= tol)) {
      *rc = BSRC_NOT_CIRCLE;
      return;
    }
  *c2 = c;
}

void BSgeocrcbsp(int degree, int n, const double *knots, int dim, int rational, const double *coef, double tol,
                 int *is_circle, double centre[2], double mid_point[2], double *work, double *sweep, int *rc) {
  *rc = 0;
  do {
    if (is_circle) *is_circle = 0;
    // A NaN tol would let every comparison pass and make anything a circle.
    if (!is_circle || !centre || !mid_point || !sweep || !coef || !work || !knots || n < 3 || !(tol > 0) ||
        !std::isfinite(tol)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (degree != 2 || dim != 2 || rational != 1) break;
    const std::size_t rows = 3 * static_cast<std::size_t>(n);
    if (!all_finite(rows, coef) || !all_finite(static_cast<std::size_t>(n) + 3, knots)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    std::memcpy(work + 2 * n, coef + 2 * n, static_cast<std::size_t>(n) * sizeof(double));
    BSclccvsvrv(n, work + 2 * n, knots, work, work + n, sweep, rc);
    if (*rc != 0) {
      if (*rc == BSRC_NOT_CIRCLE) *rc = 0;  // not a circle is an answer
      break;
    }
    BSscratch<27> scratch;
    double *rotated = scratch.take(rows);
    if (!rotated) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double frame[4], c1 = 0, c2 = 0;
    BSlocfrmcrc(n, knots, coef, mid_point, frame, rc);
    if (*rc == 0) BStrbsnf(n, 2, coef, frame, rotated, rc);
    if (*rc != 0) break;
    const double y0 = frame[0] * mid_point[0] + frame[1] * mid_point[1];
    int fit = 0;
    BScrcctrn(n, rotated, y0, work, tol, &c1, &fit);
    if (fit == 0) BScrcctrt(n, rotated, y0, work, c1, tol, &c2, &fit);
    if (fit != 0) {
      if (fit != BSRC_NOT_CIRCLE) *rc = fit;
      break;
    }
    centre[0] = c1 * frame[0] + c2 * frame[2];
    centre[1] = c1 * frame[1] + c2 * frame[3];
    *is_circle = 1;
  } while (false);
  report(*rc, "BSgeocrcbsp");
}
