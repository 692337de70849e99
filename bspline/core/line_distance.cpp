// Distance and nearest points of two infinite lines, with the small least-squares solver behind it.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "bspline/core/lines_internal.h"

#include <cmath>

namespace {
constexpr double kEps = 2.220446049250313e-15;

double dot3(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Householder reflection of the column x (m entries, stride 2 in the row-major 3 x 2 matrix) that zeroes all but
// its first entry; returns that entry and leaves v, beta for the other column and the right-hand side. The sign
// is chosen against the leading entry so that nothing cancels.
double reflect(const double *x, int m, int stride, double v[3], double *beta, bool *ok) {
  double norm = 0;
  for (int i = 0; i < m; ++i) norm += x[i * stride] * x[i * stride];
  norm = std::sqrt(norm);
  if (norm < kEps) {
    *ok = false;
    return 0;
  }
  const double lead = x[0];
  const double alpha = std::fabs(lead) < kEps || lead > 0 ? -norm : norm;
  for (int i = 0; i < m; ++i) v[i] = x[i * stride];
  v[0] -= alpha;
  double s = 0;
  for (int i = 0; i < m; ++i) s += v[i] * v[i];
  *beta = s > 0 ? 2.0 / s : 0.0;
  *ok = true;
  return alpha;
}

void apply(double *y, int m, int stride, const double v[3], double beta) {
  double s = 0;
  for (int i = 0; i < m; ++i) s += v[i] * y[i * stride];
  s *= beta;
  for (int i = 0; i < m; ++i) y[i * stride] -= s * v[i];
}
}  // namespace

int bslines::solve3x2(double a[6], double b[3], double x[2]) {
  double v[3], beta;
  bool ok;
  const double r00 = reflect(a, 3, 2, v, &beta, &ok);
  if (!ok) return BSRC_ZERO_WEIGHT;
  apply(a + 1, 3, 2, v, beta);
  apply(b, 3, 1, v, beta);
  const double r11 = reflect(a + 3, 2, 2, v, &beta, &ok);
  if (!ok) return BSRC_ZERO_WEIGHT;
  apply(b + 1, 2, 1, v, beta);
  if (std::fabs(r11) < 2.220446049250313e-16) return BSRC_ZERO_INTERVAL;
  x[1] = b[1] / r11;
  x[0] = (b[0] - a[1] * x[1]) / r00;
  return 0;
}

BSboolean BSlsq3x2(int *rc, const double A[6], const double rhs[3], double sol[2]) {
  double a[6] = {A[0], A[1], A[2], A[3], A[4], A[5]};
  double b[3] = {rhs[0], rhs[1], rhs[2]};
  *rc = bslines::solve3x2(a, b, sol);
  BSexit(rc, "BSlsq3x2", "bslsq3x2");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSlldist(int *rc, const double p1[3], const double p2[3], const double d1[3], const double d2[3],
                   BSboolean *parallel, double *dist, double closest1[3], double closest2[3]) {
  *rc = 0;
  const double l1 = std::sqrt(dot3(d1, d1)), l2 = std::sqrt(dot3(d2, d2));
  if (l1 < kEps || l2 < kEps) {
    *rc = BSRC_NULL_VECTOR;
  } else {
    double u1[3], u2[3], w[3];
    for (int i = 0; i < 3; ++i) {
      u1[i] = d1[i] / l1;
      u2[i] = d2[i] / l2;
      w[i] = p2[i] - p1[i];
    }
    const double c = dot3(u1, u2);
    bool par = std::fabs(1 - c * c) < kEps;
    if (!par) {
      const double A[6] = {u1[0], -u2[0], u1[1], -u2[1], u1[2], -u2[2]};
      double st[2];
      BSlsq3x2(rc, A, w, st);
      if (*rc == BSRC_ZERO_INTERVAL) {
        *rc = 0;
        par = true;
      } else if (*rc == 0) {
        for (int i = 0; i < 3; ++i) {
          closest1[i] = p1[i] + st[0] * u1[i];
          closest2[i] = p2[i] + st[1] * u2[i];
        }
      }
    }
    if (par) {
      const double s1 = 0.5 * dot3(u1, w), s2 = 0.5 * dot3(u2, w);
      for (int i = 0; i < 3; ++i) {
        closest1[i] = p1[i] + s1 * u1[i];
        closest2[i] = p2[i] - s2 * u2[i];
      }
    }
    *parallel = par ? BSTRUE : BSFALSE;
    if (*rc == 0) {
      double d[3] = {closest2[0] - closest1[0], closest2[1] - closest1[1], closest2[2] - closest1[2]};
      *dist = std::sqrt(dot3(d, d));
    }
  }
  BSexit(rc, "BSlldist", "bslldist");
  return BSTRUE;
}
