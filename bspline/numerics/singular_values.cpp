// Singular values of point data. The three-dimensional case, by far the most frequent (principal axes of a
// curve's poles), avoids the general decomposition: a Jacobi eigen-solution of the 3x3 Gram matrix gives the
// first axis and a single plane rotation the other two. Any other dimension goes through the general
// decomposition of the point matrix (bidiagonal reduction and shifted QR, bidiagonal_svd.cpp).
#include "bspline/numerics.h"

#include <cmath>
#include <cstring>

#include "bspline/core/exit.h"
#include "bspline/numerics/numerics_internal.h"

namespace {

constexpr double kEps = 2.220446049250313e-16;

// One Jacobi rotation of the symmetric matrix s (full storage, kept symmetric) in the plane of its largest
// off-diagonal element; vecs accumulates the rotations as columns.
void jacobi_rotation(double s[3][3], double vecs[3][3]) {
  // The planes are oriented cyclically so that for a02 the entry a22 plays the part of a_pp.
  int p = 0, q = 1;
  double big = std::fabs(s[0][1]);
  if (std::fabs(s[0][2]) > big) {
    big = std::fabs(s[0][2]);
    p = 2, q = 0;
  }
  if (std::fabs(s[1][2]) > big) p = 1, q = 2;
  const int r = 3 - p - q;

  double app = s[p][p], aqq = s[q][q], apq = s[p][q];
  // Rotating with the larger diagonal entry first keeps c^2 >= 1/2; the exchange is undone below by the
  // rotation (c, s) -> (s, -c).
  const bool exchanged = aqq > app;
  if (exchanged) {
    const double t = app;
    app = aqq;
    aqq = t;
    apq = -apq;
  }
  double c = 1.0, sn = 0.0;
  if (app != aqq) {
    const double d = (app - aqq) / 2.0;
    const double r2 = apq * apq + d * d;
    if (r2 == d * d) {
      sn = -apq / (app - aqq);
      c = 1.0;
    } else {
      const double rr = std::sqrt(r2);
      if (rr != 0.0) {
        c = std::sqrt((d / rr + 1.0) / 2.0);
        sn = c == 0.0 ? 1.0 : -(apq / rr) * 0.5 / c;
      }
    }
  } else if (apq != 0.0) {
    c = 0.7071067811865476;
    sn = -0.7071067811865476;
  }
  const double cc = c * c, ss = sn * sn, t = 2.0 * c * sn * apq;
  double npp, nqq;
  if (cc + ss == cc) {
    npp = app - t;
    nqq = aqq + t;
  } else {
    npp = cc * app + ss * aqq - t;
    nqq = ss * app + cc * aqq + t;
  }
  if (exchanged) {
    const double t2 = c;
    c = sn;
    sn = -t2;
  }
  s[p][p] = npp;
  s[q][q] = nqq;
  s[p][q] = s[q][p] = 0.0;
  const double apr = s[p][r], aqr = s[q][r];
  s[p][r] = s[r][p] = c == 1.0 ? apr - sn * aqr : c * apr - sn * aqr;
  s[q][r] = s[r][q] = c == 1.0 ? sn * apr + aqr : sn * apr + c * aqr;
  for (int i = 0; i < 3; ++i) {
    const double vp = vecs[i][p], vq = vecs[i][q];
    vecs[i][p] = c * vp - sn * vq;
    vecs[i][q] = sn * vp + c * vq;
  }
}

}  // namespace

void BSjacobmat3(const double a[9], double values[3], double vectors[9], int *rc) {
  *rc = 0;
  do {
    if (!a || !values || !vectors || !BSallfinite(9, a)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    double s[3][3] = {{a[0], a[1], a[2]}, {a[1], a[4], a[5]}, {a[2], a[5], a[8]}};
    double v[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    jacobi_rotation(s, v);
    const double tol = BStoltab[bstol::zero_tol] * (s[0][0] + s[1][1] + s[2][2]);
    for (int i = 0; i < 50; ++i) {
      if (!(std::fabs(s[0][1]) > tol || std::fabs(s[0][2]) > tol || std::fabs(s[1][2]) > tol)) break;
      jacobi_rotation(s, v);
    }
    // Sort by decreasing value, equal values keeping their index order; row k of vectors is column k of v.
    int idx[3] = {0, 1, 2};
    for (int i = 1; i < 3; ++i)
      for (int j = i; j > 0 && s[idx[j]][idx[j]] > s[idx[j - 1]][idx[j - 1]]; --j) {
        const int t = idx[j];
        idx[j] = idx[j - 1];
        idx[j - 1] = t;
      }
    for (int k = 0; k < 3; ++k) {
      values[k] = s[idx[k]][idx[k]];
      for (int i = 0; i < 3; ++i) vectors[3 * k + i] = v[i][idx[k]];
    }
  } while (false);
  BSexit(rc, "BSjacobmat3", "bsjacobmat3");
}

void BSsngvaljc3(int n, const double *p, double values[3], double vectors[9], int *rc) {
  *rc = 0;
  if (!p || !values || !vectors || (n > 0 && !BSallfinite(3 * n, p))) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double g[9] = {};
    for (int i = 0; i < 3; ++i)
      for (int j = i; j < 3; ++j) {
        double sum = 0.0;
        for (int k = 0; k < n; ++k) sum += p[i * n + k] * p[j * n + k];
        g[3 * i + j] = g[3 * j + i] = sum;
      }
    BSjacobmat3(g, values, vectors, rc);
  }
  BSexit(rc, "BSsngvaljc3", "bssngvaljc3");
}

void BSsngvald2v(int n, const double *p, double sv[2], double v[4], int *rc) {
  *rc = 0;
  do {
    if (!p || !sv || !v || (n > 0 && !BSallfinite(2 * n, p))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    sv[0] = sv[1] = 0.0;
    v[0] = 1.0, v[1] = 0.0, v[2] = 0.0, v[3] = 1.0;
    if (n < 1) break;
    const double *x = p, *y = p + n;
    double sxx = 0.0, syy = 0.0, sxy = 0.0;
    for (int k = 0; k < n; ++k) {
      sxx += x[k] * x[k];
      syy += y[k] * y[k];
      sxy += x[k] * y[k];
    }
    double t;
    if (sxx != syy) {
      // The tangent of half the angle whose tangent is t2.
      const double t2 = 2.0 * sxy / (sxx - syy);
      t = t2 / (std::sqrt(t2 * t2 + 1.0) + 1.0);
    } else if (sxy == 0.0) {
      sv[0] = sv[1] = std::sqrt(sxx);
      break;
    } else {
      t = sxy >= 0.0 ? 1.0 : -1.0;
    }
    const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
    double s1 = 0.0, s2 = 0.0;
    for (int k = 0; k < n; ++k) {
      const double a = c * x[k] + s * y[k], b = c * y[k] - s * x[k];
      s1 += a * a;
      s2 += b * b;
    }
    s1 = std::sqrt(s1);
    s2 = std::sqrt(s2);
    if (s1 >= s2) {
      sv[0] = s1, sv[1] = s2;
      v[0] = c, v[1] = s, v[2] = -s, v[3] = c;
    } else {
      sv[0] = s2, sv[1] = s1;
      v[0] = -s, v[1] = c, v[2] = -c, v[3] = -s;
    }
  } while (false);
  BSexit(rc, "BSsngvald2v", "bssngvald2v");
}

namespace {

// BSsngvald3v, projecting into scratch, or into p itself for a caller done with it (in_place): each point is
// projected whole before its place is written, so no second array is needed.
void sngvald3v(int n, const double *p, double *in_place, double sv[3], double v[9], int *rc) {
  double *q = nullptr;
  BSstackblock stack;
  do {
    if (!p || !sv || !v || (n > 0 && !BSallfinite(3 * n, p))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    for (int i = 0; i < 3; ++i) sv[i] = 0.0;
    for (int i = 0; i < 9; ++i) v[i] = 0.0;
    double values[3], e[9];
    BSsngvaljc3(n, p, values, e, rc);
    if (*rc != 0) break;
    sv[0] = std::sqrt(std::fmax(values[0], 0.0));

    q = in_place ? in_place : BSscratchtake(n > 0 ? 2 * static_cast<std::size_t>(n) : 0, &stack);
    if (!q) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    bool spread = false;
    const double *e1 = e + 3, *e2 = e + 6;
    for (int k = 0; k < n; ++k) {
      const double a = p[k], b = p[n + k], c = p[2 * n + k];
      const double x = e1[0] * a + e1[1] * b + e1[2] * c, y = e2[0] * a + e2[1] * b + e2[2] * c;
      q[k] = x, q[n + k] = y;
      if (std::fabs(x) > sv[0] * kEps || std::fabs(y) > sv[0] * kEps) spread = true;
    }
    double w[4] = {1.0, 0.0, 0.0, 1.0};
    if (spread) {
      double sv2[2];
      BSsngvald2v(n, q, sv2, w, rc);
      if (*rc != 0) break;
      sv[1] = sv2[0];
      sv[2] = sv2[1];
    } else {
      // Nothing beyond rounding noise off the first axis: a rotation in that plane would only turn noise.
      sv[1] = values[1];
      sv[2] = values[2];
    }
    for (int i = 0; i < 3; ++i) {
      v[i] = e[i];
      v[3 + i] = w[0] * e[3 + i] + w[1] * e[6 + i];
      v[6 + i] = w[2] * e[3 + i] + w[3] * e[6 + i];
    }
  } while (false);
  if (!in_place) BSscratchrelease(q);
}

}  // namespace

void BSsngvald3v(int n, const double *p, double sv[3], double v[9], int *rc) {
  *rc = 0;
  sngvald3v(n, p, nullptr, sv, v, rc);
  BSexit(rc, "BSsngvald3v", "bssngvald3v");
}

void bssvd::sngvald3v_in_place(int n, double *p, double sv[3], double v[9], int *rc) {
  *rc = 0;
  sngvald3v(n, p, p, sv, v, rc);
  BSexit(rc, "BSsngvald3v", "bssngvald3v");
}

void BSsingsv(double *u, int ldu, int ju, double *s, double *v, int ldv, int jv, double *a, int lda, int rows,
              int columns, double *work, int *rc) {
  *rc = 0;
  do {
    // Only the decomposition with both factors exists, on a matrix stored without padding.
    if (ju != 1 || jv != 1 || lda != rows || ldu != rows || ldv != columns ||
        (rows > 0 && columns > 0 && !BSallfinite(rows * columns, a))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSbidag2sv(s, work, u, 1, v, 1, a, rows, columns, rc);
    if (*rc != 0) break;
    const int k = rows < columns ? rows : columns;
    if (k < 2) {
      if (s[0] < 0.0) {
        s[0] = -s[0];
        for (int i = 0; i < rows; ++i) u[i] = -u[i];
      }
      break;
    }
    BSsingbval(s, k, work, rows < columns ? BSTRUE : BSFALSE, u, ldu, rows, 1, v, ldv, columns, 1, work + k - 1,
               work + 2 * k - 1, rc);
  } while (false);
  BSexit(rc, "BSsingsv", "bssingsv");
}

void BSsingval(int m, int n, const double *a, double *u, double *s, double *v, int *rc) {
  *rc = 0;
  double *block = nullptr;
  BSstackblock stack;
  do {
    if (m < 1 || n < 1 || !BSallfinite(m * n, a)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t big = static_cast<std::size_t>(m > n ? m : n);
    const std::size_t mn = static_cast<std::size_t>(m) * static_cast<std::size_t>(n);
    block = BSscratchtake(3 * big + 2 * mn, &stack);
    if (!block) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *x = block;          // n x m, column-major: column i holds coordinate i of every point
    double *left = x + mn;      // n x m, column-major
    double *work = left + mn;   // 3 max(m, n)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) x[i * n + j] = a[j * m + i];
    // The input is checked: unless a fault hook must see the exits of the routines the decomposition is made
    // of, it runs without them and without their checks. Should it fail, the routines give the failure.
    bool done = false;
    if (!bstest::slow_roads() && n >= m && m >= 2) {
      bssvd::decompose(x, n, m, left, s, v, work, rc);
      done = *rc == 0;
      if (!done) {
        *rc = 0;
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < m; ++i) x[i * n + j] = a[j * m + i];
      }
    }
    if (!done) BSsingsv(left, n, 1, s, v, m, 1, x, n, n, m, work, rc);
    if (*rc != 0) break;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < m; ++i) u[j * m + i] = left[i * n + j];
  } while (false);
  BSscratchrelease(block);
  BSexit(rc, "BSsingval", "bssingval");
}
