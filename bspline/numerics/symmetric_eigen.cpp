// Eigenvalues and eigenvectors of symmetric matrices. Two independent solvers serve the least-squares fit, which
// compares them: a closed form for 3x3 (the characteristic cubic, elimination for the vectors, nearly equal values
// merged into one eigenspace) and the cyclic Jacobi method for any order.
#include "bspline/core/exit.h"
#include "bspline/numerics.h"

#include <cmath>

namespace {

constexpr double kTinyPivot = 1.0020841800044864e-292;

void swap_values(double &a, double &b) {
  const double t = a;
  a = b;
  b = t;
}

// Scale on which eigenvalues are compared for merging: that of singular values, signed.
double merge_scale(double x) { return x <= 0.0 ? -std::sqrt(std::fabs(x)) : std::sqrt(x); }

}  // namespace

void BSeigval3x3(const double m[9], int *count, double values[3], int *rc) {
  *rc = 0;
  *count = 0;
  do {
    if (!BSallfinite(9, m)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double mx = std::fmax(std::fabs(m[0]), std::fmax(std::fabs(m[4]), std::fabs(m[8])));
    double tol = 1e-10 * mx;
    const int off[6] = {1, 2, 3, 5, 6, 7};
    bool diagonal = mx > 0.0;
    for (int i = 0; i < 6 && diagonal; ++i) diagonal = std::fabs(m[off[i]]) < tol;
    if (diagonal) {
      values[0] = m[0], values[1] = m[4], values[2] = m[8];
    } else {
      if (mx == 0.0) tol = 0.0;
      const double tol2 = 10.0 * tol * tol;
      double cof[3] = {m[4] * m[8] - m[5] * m[7], m[3] * m[8] - m[5] * m[6], m[3] * m[7] - m[4] * m[6]};
      for (double &x : cof)
        if (std::fabs(x) < 2.0 * tol2) x = 0.0;
      double c[4];
      c[0] = -(m[0] * cof[0] - m[1] * cof[1] + m[2] * cof[2]);
      if (std::fabs(c[0]) < 1e-12) c[0] = 0.0;
      c[1] = (m[0] * m[4] - m[1] * m[3]) + (m[0] * m[8] - m[2] * m[6]) + (m[4] * m[8] - m[5] * m[7]);
      if (std::fabs(c[1]) < tol2) c[1] = 0.0;
      c[2] = -(m[0] + m[4] + m[8]);
      c[3] = 1.0;
      const std::int16_t degree = 3;
      double re[3], im[3];
      BSrpoly(rc, c, &degree, re, im);
      if (*rc != 0) break;
      for (int i = 0; i < 3; ++i) values[i] = re[i];
    }
    *count = 3;
    // Decreasing magnitude. The test is written so that a NaN keeps exchanging and is refused.
    bool exchanged = true;
    for (int pass = 0; pass < 3 && exchanged; ++pass) {
      exchanged = false;
      for (int i = 0; i < 2; ++i)
        if (!(std::fabs(values[i]) >= std::fabs(values[i + 1]))) {
          swap_values(values[i], values[i + 1]);
          exchanged = true;
        }
      if (pass == 2 && exchanged) *rc = BSRC_OUT_OF_RANGE;
    }
  } while (false);
  BSexit(rc, "BSeigval3x3", "bseigval3x3");
}

void BSeigvcm3x3(const double m[9], double lambda, int multiplicity, int *count, double vectors[9], int *rc) {
  *rc = 0;
  do {
    if (multiplicity < 1 || multiplicity > 3 || !std::isfinite(lambda) || !BSallfinite(9, m)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (multiplicity == 3) {
      *count = 3;
      for (int i = 0; i < 9; ++i) vectors[i] = i % 4 == 0 ? 1.0 : 0.0;
      break;
    }
    double b[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) b[i][j] = m[3 * i + j] - (i == j ? lambda : 0.0);
    int col[3] = {0, 1, 2};
    auto exchange = [&](int r0, int r1, int c0, int c1) {
      for (int j = 0; j < 3; ++j) swap_values(b[r0][j], b[r1][j]);
      for (int i = 0; i < 3; ++i) swap_values(b[i][c0], b[i][c1]);
      const int t = col[c0];
      col[c0] = col[c1];
      col[c1] = t;
    };

    // Full pivoting: the rank of B = M - lambda I is what the multiplicity says it is. The largest entry of the
    // block from (k, k) (a later one only when strictly larger) moves to (k, k).
    auto pivot = [&](int k) {
      int pr = k, pc = k;
      for (int i = k; i < 3; ++i)
        for (int j = k; j < 3; ++j)
          if (std::fabs(b[i][j]) > std::fabs(b[pr][pc])) pr = i, pc = j;
      exchange(k, pr, k, pc);
      return std::fabs(b[k][k]) >= kTinyPivot;
    };
    // Row r loses (b[r][k] / b[k][k]) times row k.
    auto eliminate = [&](int r, int k) {
      const double f = b[r][k] / b[k][k];
      for (int j = 0; j < 3; ++j) b[r][j] -= f * b[k][j];
    };
    if (!pivot(0)) {
      *rc = -5;
      break;
    }
    eliminate(1, 0);
    eliminate(2, 0);
    if (multiplicity == 2) {
      *count = 2;
      double *v0 = vectors, *v1 = vectors + 3;
      v0[col[0]] = b[0][1] / b[0][0], v0[col[1]] = -1.0, v0[col[2]] = 0.0;
      v1[col[0]] = b[0][2] / b[0][0], v1[col[1]] = 0.0, v1[col[2]] = -1.0;
      break;
    }
    if (!pivot(1)) {
      *rc = -5;
      break;
    }
    eliminate(2, 1);
    eliminate(0, 1);
    *count = 1;
    vectors[col[2]] = -1.0;
    vectors[col[0]] = b[0][2] / b[0][0];
    vectors[col[1]] = b[1][2] / b[1][1];
    BSnorvec(rc, vectors);
  } while (false);
  BSexit(rc, "BSeigvcm3x3", "bseigvcm3x3");
}

void BSeig3x3(const double m[9], int *count, double values[3], double vectors[9], int *rc) {
  *rc = 0;
  *count = 0;
  // Entries beyond 1e12 are scaled down: the absolute thresholds below are meant for moderate matrices.
  double big = 0.0;
  for (int i = 0; i < 9; ++i) big = std::fmax(big, std::fabs(m[i]));
  const bool scaled = big > 1e12;
  do {
    double w[9];
    for (int i = 0; i < 9; ++i) w[i] = scaled ? m[i] * 1e-12 : m[i];

    BSeigval3x3(w, count, values, rc);
    if (*rc != 0 || *count <= 0) break;

    if (std::fabs(values[1]) < 1e-10) values[1] = 0.0;
    if (std::fabs(values[2]) < 1e-10) {
      values[2] = 0.0;
    } else if (values[2] < 0.0 && std::fabs(values[2]) < 1e-8) {
      values[1] += values[2];
      values[2] = 0.0;
    }

    // Groups of (nearly) equal values. A merged pair keeps its sign: the comparison scale only lets values of
    // one sign meet, and the mean of the values is then the mean of the pair.
    const double tol = BStoltab[bstol::dist_tol];
    double gval[3];
    int gmult[3], groups = 1;
    gval[0] = values[0];
    gmult[0] = 1;
    if (std::fabs(merge_scale(values[0]) - merge_scale(values[1])) > tol) {
      gval[groups] = values[1];
      gmult[groups++] = 1;
    } else {
      values[0] = values[1] = (values[0] + values[1]) / 2.0;
      gval[0] = values[0];
      gmult[0] = 2;
    }
    if (std::fabs(merge_scale(values[1]) - merge_scale(values[2])) > tol) {
      gval[groups] = values[2];
      gmult[groups++] = 1;
    } else if (gmult[0] == 2) {
      gmult[0] = 3;
      values[2] = values[1];
    } else {
      values[1] = values[2] = (values[1] + values[2]) / 2.0;
      gval[groups - 1] = values[1];
      gmult[groups - 1] = 2;
    }

    int row = 0;
    for (int g = 0; g < groups && row < 3; ++g) {
      int got = 0;
      BSeigvcm3x3(w, gval[g], gmult[g], &got, vectors + 3 * row, rc);
      if (*rc != 0) break;
      row += got;
      if (groups == 2 && got == 2) break;
    }
    if (*rc != 0) break;

    int lrc = 0;
    double t[3];
    double *r0 = vectors, *r1 = vectors + 3, *r2 = vectors + 6;
    if (groups == 3) {
      // A right-handed frame: the third row follows the first two unless it is nearly parallel to their cross
      // product already, in which case only its sign is set.
      BSvcross(&lrc, r0, r1, t);
      const double d = BSvdot(&lrc, t, r2);
      if (std::fabs(d) >= BStoltab[3]) {
        if (d < 0.0)
          for (int i = 0; i < 3; ++i) r2[i] = -r2[i];
      } else {
        for (int i = 0; i < 3; ++i) r2[i] = d >= 0.0 ? t[i] : -t[i];
      }
    } else if (groups == 2 && gmult[0] == 2) {
      BSvcross(&lrc, r0, r1, r2);
    } else if (groups == 2) {
      BSvcross(&lrc, r0, r1, t);
      if (BSvlengthsq(&lrc, t) >= BStoltab[5]) {
        for (int i = 0; i < 3; ++i) r2[i] = t[i];
      } else {
        BSvcross(&lrc, r0, r2, t);
        if (BSvlengthsq(&lrc, t) < BStoltab[5]) {
          *rc = -1;
          break;
        }
        for (int i = 0; i < 3; ++i) r1[i] = t[i];
      }
    }
  } while (false);
  if (scaled && *count > 0)
    for (int i = 0; i < 3; ++i) values[i] *= 1e12;
  BSexit(rc, "BSeig3x3", "bseig3x3");
}

void BSeigmatvv1(int n, int lda, const double *a, int job, double *values, double *vectors, int *rc) {
  *rc = 0;
  BSscratch<80> scratch;
  do {
    if (n < 1) break;
    bool finite = true;
    for (int i = 0; i < n && finite; ++i) finite = BSallfinite(n - i, a + static_cast<std::size_t>(i) * lda + i);
    if (!finite) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const std::size_t nn = static_cast<std::size_t>(n);
    double *w = scratch.take(nn * (nn + 2));
    if (!w) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    double *b = w + nn * nn, *z = b + nn;
    auto A = [&](int i, int j) -> double & { return w[static_cast<std::size_t>(i) * nn + j]; };
    for (int i = 0; i < n; ++i)
      for (int j = i; j < n; ++j) A(i, j) = a[static_cast<std::size_t>(i) * lda + j];
    const bool want = job == 2;
    if (want)
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) vectors[static_cast<std::size_t>(i) * nn + j] = i == j ? 1.0 : 0.0;
    double s0 = 0.0;
    for (int i = 0; i < n; ++i) {
      values[i] = b[i] = A(i, i);
      z[i] = 0.0;
      s0 += std::fabs(A(i, i));
    }
    auto rotate = [](double &x, double &y, double s, double tau) {
      const double g = x, h = y;
      x = g - s * (h + g * tau);
      y = h + s * (g - h * tau);
    };

    for (int sweep = 0; sweep < 50; ++sweep) {
      double sm = 0.0;
      for (int p = 0; p < n - 1; ++p)
        for (int q = p + 1; q < n; ++q) sm += std::fabs(A(p, q));
      if (sm <= 10.0 * n * s0 * 2.220446049250313e-16) break;
      const double thresh = sweep < 4 ? 0.2 * sm / (static_cast<double>(n) * n) : 1e-50;
      for (int p = 0; p < n - 1; ++p)
        for (int q = p + 1; q < n; ++q) {
          const double g = 100.0 * std::fabs(A(p, q));
          if (sweep >= 5 && std::fabs(values[p] + g) == std::fabs(values[p]) &&
              std::fabs(values[q] + g) == std::fabs(values[q])) {
            A(p, q) = 0.0;
            continue;
          }
          if (!(std::fabs(A(p, q)) > thresh)) continue;
          double h = values[q] - values[p];
          double t;
          if (std::fabs(h) + g == std::fabs(h)) {
            t = A(p, q) / h;
          } else if (A(p, q) == 0.0) {
            t = 0.0;
          } else {
            const double theta = 0.5 * h / A(p, q);
            t = 1.0 / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
            if (theta < 0.0) t = -t;
          }
          const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c, tau = s / (1.0 + c);
          h = t * A(p, q);
          z[p] -= h;
          z[q] += h;
          values[p] -= h;
          values[q] += h;
          A(p, q) = 0.0;
          for (int r = 0; r < p; ++r) rotate(A(r, p), A(r, q), s, tau);
          for (int r = p + 1; r < q; ++r) rotate(A(p, r), A(r, q), s, tau);
          for (int r = q + 1; r < n; ++r) rotate(A(p, r), A(q, r), s, tau);
          if (want)
            for (int i = 0; i < n; ++i)
              rotate(vectors[static_cast<std::size_t>(p) * nn + i], vectors[static_cast<std::size_t>(q) * nn + i], s,
                     tau);
        }
      for (int i = 0; i < n; ++i) {
        b[i] += z[i];
        values[i] = b[i];
        z[i] = 0.0;
      }
    }

    // Decreasing; among equal maxima the last is taken.
    for (int i = 0; i < n - 1; ++i) {
      int best = i;
      for (int j = i + 1; j < n; ++j)
        if (values[j] >= values[best]) best = j;
      if (best == i) continue;
      swap_values(values[i], values[best]);
      if (want)
        for (int j = 0; j < n; ++j)
          swap_values(vectors[static_cast<std::size_t>(i) * nn + j], vectors[static_cast<std::size_t>(best) * nn + j]);
    }
  } while (false);
  BSexit(rc, "BSeigmatvv1", "bseigmatvv1");
}
