// The general singular value decomposition A = U diag(s) V^T of a dense column-major matrix with at least as
// many rows as columns: Householder reduction to upper bidiagonal form, then implicitly shifted QR sweeps on the
// bidiagonal with the rotations carried into U and V.
#include "bspline/numerics.h"

#include <cmath>

namespace {

constexpr int kLocalCopy = 400;

// The Euclidean norm of n values with stride, scaled so that neither the squares overflow nor underflow.
double scaled_norm(const double *x, int n, int stride) {
  double r = 0.0, t = 0.0;
  for (int i = 0; i < n; ++i) {
    const double a = std::fabs(x[i * stride]);
    if (a == 0.0) continue;
    if (a > r) {
      t = (r == 0.0 ? 0.0 : t * (r / a) * (r / a)) + 1.0;
      r = a;
    } else {
      t += (a / r) * (a / r);
    }
  }
  return r * std::sqrt(t);
}

// Turns x[0..n) (stride) into the vector v of the reflection I - v v^T that maps x onto (-beta, 0, ..., 0), and
// answers -beta. When x has nothing below its first entry no reflection is needed: v becomes 0 and x[0] is
// answered.
double make_reflection(double *x, int n, int stride) {
  bool below = false;
  for (int i = 1; i < n && !below; ++i) below = x[i * stride] != 0.0;
  if (!below) {
    const double d = x[0];
    for (int i = 0; i < n; ++i) x[i * stride] = 0.0;
    return d;
  }
  const double nu = scaled_norm(x, n, stride);
  const double beta = x[0] >= 0.0 ? nu : -nu;
  const double den = std::sqrt((std::fabs(x[0]) + nu) * nu);
  x[0] = (x[0] + beta) / den;
  for (int i = 1; i < n; ++i) x[i * stride] /= den;
  return -beta;
}

// y := (I - v v^T) y over n values; v and y with their own strides.
void reflect(const double *v, int vstride, double *y, int ystride, int n) {
  double t = 0.0;
  for (int i = 0; i < n; ++i) t += v[i * vstride] * y[i * ystride];
  if (t == 0.0) return;
  for (int i = 0; i < n; ++i) y[i * ystride] -= t * v[i * vstride];
}

// The plane rotation (c, s) with c a + s b = r and -s a + c b = 0; a becomes r.
void givens(double *a, double b, double *c, double *s) {
  const double roe = std::fabs(*a) > std::fabs(b) ? *a : b;
  const double scale = std::fabs(*a) + std::fabs(b);
  if (scale == 0.0) {
    *c = 1.0;
    *s = 0.0;
    *a = 0.0;
    return;
  }
  double r = scale * std::sqrt((*a / scale) * (*a / scale) + (b / scale) * (b / scale));
  if (roe < 0.0) r = -r;
  *c = *a / r;
  *s = b / r;
  *a = r;
}

// Columns x and y of a matrix (n rows): x := c x + s y, y := c y - s x.
void rotate_columns(double *m, int ld, int n, int x, int y, double c, double s) {
  if (!m) return;
  double *px = m + static_cast<std::ptrdiff_t>(x) * ld, *py = m + static_cast<std::ptrdiff_t>(y) * ld;
  for (int i = 0; i < n; ++i) {
    const double a = px[i], b = py[i];
    px[i] = c * a + s * b;
    py[i] = c * b - s * a;
  }
}

void swap_columns(double *m, int ld, int n, int x, int y) {
  if (!m) return;
  double *px = m + static_cast<std::ptrdiff_t>(x) * ld, *py = m + static_cast<std::ptrdiff_t>(y) * ld;
  for (int i = 0; i < n; ++i) {
    const double t = px[i];
    px[i] = py[i];
    py[i] = t;
  }
}

void normalise_column(double *m, int ld, int n, int x) {
  if (!m) return;
  double *px = m + static_cast<std::ptrdiff_t>(x) * ld;
  const double len = scaled_norm(px, n, 1);
  if (len == 0.0) return;
  for (int i = 0; i < n; ++i) px[i] /= len;
}

}  // namespace

void BSbidag2sv(double *s, double *e, double *u, int ju, double *v, int jv, const double *a, int rows, int columns,
                int *rc) {
  *rc = 0;
  BSscratch<kLocalCopy> scratch;
  do {
    const int m = rows, n = columns;
    if (n < 1 || m < n || ju < 0 || ju > 3 || jv < 0 || jv > 3 || !BSallfinite(m * n, a)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const bool want_u = ju != 0 && !(ju == 2 && m == n);
    const bool want_v = jv != 0;
    const std::size_t size = static_cast<std::size_t>(m) * static_cast<std::size_t>(n);
    double *w = scratch.take(size);
    if (!w) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    for (std::size_t i = 0; i < size; ++i) w[i] = a[i];
    auto at = [&](int i, int j) -> double & { return w[static_cast<std::ptrdiff_t>(j) * m + i]; };

    // The left reflection of column j stays in rows j.. of that column, the right reflection of row j in
    // columns j+1.. of that row; a zero vector stands for "no reflection".
    for (int j = 0; j < n; ++j) {
      s[j] = make_reflection(&at(j, j), m - j, 1);
      for (int c = j + 1; c < n; ++c) reflect(&at(j, j), 1, &at(j, c), 1, m - j);
      if (j + 1 < n) {
        e[j] = make_reflection(&at(j, j + 1), n - j - 1, m);
        for (int r = j + 1; r < m; ++r) reflect(&at(j, j + 1), m, &at(r, j + 1), m, n - j - 1);
      }
    }

    if (want_u) {
      for (int c = 0; c < n; ++c)
        for (int r = 0; r < m; ++r) u[static_cast<std::ptrdiff_t>(c) * m + r] = r == c ? 1.0 : 0.0;
      for (int j = n - 1; j >= 0; --j)
        for (int c = j; c < n; ++c) reflect(&at(j, j), 1, u + static_cast<std::ptrdiff_t>(c) * m + j, 1, m - j);
    }
    if (want_v) {
      for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) v[static_cast<std::ptrdiff_t>(c) * n + r] = r == c ? 1.0 : 0.0;
      for (int j = n - 2; j >= 0; --j)
        for (int c = j + 1; c < n; ++c)
          reflect(&at(j, j + 1), m, v + static_cast<std::ptrdiff_t>(c) * n + j + 1, 1, n - j - 1);
    }
  } while (false);
  BSexit(rc, "BSbidag2sv", "bsbidag2sv");
}

void BSsingbval(double *s, int k, double *e, BSboolean lower, double *u, int ldu, int rows, int ju, double *v,
                int ldv, int columns, int jv, double *work1, double *work2, int *rc) {
  *rc = 0;
  if (k > 0 && (!BSallfinite(k, s) || !BSallfinite(k - 1, e))) {
    *rc = BSRC_OUT_OF_RANGE;  // a NaN never tests negligible: the sweeps would run to their limit
    BSexit(rc, "BSsingbval", "bssingbval");
    return;
  }
  // Left rotations go to `left`, right ones to `right`; a wide matrix exchanges the two.
  double *left = ju ? u : nullptr, *right = jv ? v : nullptr;
  int ldl = ldu, nl = rows, ldr = ldv, nr = columns;
  if (lower) {
    double *t = left;
    left = right;
    right = t;
    int ti = ldl;
    ldl = ldr;
    ldr = ti;
    ti = nl;
    nl = nr;
    nr = ti;
  }
  // e[i] couples s[i] and s[i+1]; the coupling below the last value reads as 0.
  auto E = [&](int i) { return i < k - 1 ? e[i] : 0.0; };
  auto setE = [&](int i, double x) {
    if (i < k - 1) e[i] = x;
  };

  const int limit = 50 * k;
  int sweeps = 0;
  int hi = k - 1;  // the active block is lo..hi
  while (hi >= 0 && k > 0) {
    // The largest lo below which the block splits off (a negligible coupling).
    int lo = hi;
    while (lo > 0) {
      const double test = std::fabs(s[lo - 1]) + std::fabs(s[lo]);
      if (test + std::fabs(E(lo - 1)) == test) {
        setE(lo - 1, 0.0);
        break;
      }
      --lo;
    }
    if (lo == hi) {
      // s[hi] has converged: make it non-negative, the sign going into the left factor.
      if (s[hi] < 0.0) {
        s[hi] = -s[hi];
        if (left) {
          double *col = left + static_cast<std::ptrdiff_t>(hi) * ldl;
          for (int i = 0; i < nl; ++i) col[i] = -col[i];
        }
      }
      --hi;
      continue;
    }
    // A negligible diagonal entry inside the block lets its coupling be chased out by rotations.
    int zero = -1;
    for (int i = hi; i >= lo; --i) {
      double test = 0.0;
      if (i != hi) test += std::fabs(E(i));
      if (i != lo) test += std::fabs(E(i - 1));
      if (test + std::fabs(s[i]) == test) {
        s[i] = 0.0;
        zero = i;
        break;
      }
    }
    if (zero == hi) {
      // Chase e[hi-1] up through the columns.
      double f = E(hi - 1);
      setE(hi - 1, 0.0);
      for (int j = hi - 1; j >= lo; --j) {
        double c, sn;
        givens(&s[j], f, &c, &sn);
        if (j != lo) {
          f = -sn * E(j - 1);
          setE(j - 1, c * E(j - 1));
        }
        rotate_columns(right, ldr, nr, j, hi, c, sn);
      }
      continue;
    }
    if (zero >= lo) {
      // s[zero] is 0: chase e[zero] along its row.
      double f = E(zero);
      setE(zero, 0.0);
      for (int j = zero + 1; j <= hi; ++j) {
        double c, sn;
        givens(&s[j], f, &c, &sn);
        f = -sn * E(j);
        setE(j, c * E(j));
        rotate_columns(left, ldl, nl, j, zero, c, sn);
      }
      continue;
    }

    if (++sweeps > limit) {
      *rc = -1;
      break;
    }
    // One implicit QR sweep on lo..hi with the shift from the trailing 2x2 block of B^T B.
    const double scale =
        std::fmax(std::fmax(std::fmax(std::fabs(s[hi]), std::fabs(s[hi - 1])), std::fmax(std::fabs(E(hi - 1)), std::fabs(s[lo]))),
                  std::fabs(E(lo)));
    const double sm = s[hi] / scale, smm1 = s[hi - 1] / scale, emm1 = E(hi - 1) / scale;
    const double sl = s[lo] / scale, el = E(lo) / scale;
    const double b = ((smm1 + sm) * (smm1 - sm) + emm1 * emm1) / 2.0;
    const double cc = (sm * emm1) * (sm * emm1);
    double shift = 0.0;
    if (b != 0.0 || cc != 0.0) {
      shift = std::sqrt(b * b + cc);
      if (b < 0.0) shift = -shift;
      shift = cc / (b + shift);
    }
    double f = (sl + sm) * (sl - sm) + shift;
    double g = sl * el;
    for (int j = lo; j < hi; ++j) {
      double c, sn;
      givens(&f, g, &c, &sn);
      if (j != lo) setE(j - 1, f);
      f = c * s[j] + sn * E(j);
      setE(j, c * E(j) - sn * s[j]);
      g = sn * s[j + 1];
      s[j + 1] = c * s[j + 1];
      rotate_columns(right, ldr, nr, j, j + 1, c, sn);
      givens(&f, g, &c, &sn);
      s[j] = f;
      f = c * E(j) + sn * s[j + 1];
      s[j + 1] = -sn * E(j) + c * s[j + 1];
      g = sn * E(j + 1);
      setE(j + 1, c * E(j + 1));
      rotate_columns(left, ldl, nl, j, j + 1, c, sn);
    }
    setE(hi - 1, f);
  }

  if (*rc == 0) {
    // Decreasing order, the columns of both factors permuted alike and brought back to unit length.
    for (int i = 0; i < k - 1; ++i) {
      int best = i;
      for (int j = i + 1; j < k; ++j)
        if (s[j] > s[best]) best = j;
      if (best != i) {
        const double t = s[i];
        s[i] = s[best];
        s[best] = t;
        swap_columns(left, ldl, nl, i, best);
        swap_columns(right, ldr, nr, i, best);
      }
    }
    for (int i = 0; i < k; ++i) {
      normalise_column(left, ldl, nl, i);
      normalise_column(right, ldr, nr, i);
    }
  }
  BSexit(rc, "BSsingbval", "bssingbval");
}
